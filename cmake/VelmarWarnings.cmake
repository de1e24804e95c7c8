# Our own targets build warning-free; third-party headers are pulled in as
# system includes by their imported targets, so -Werror only bites our code.
function(velmar_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()
