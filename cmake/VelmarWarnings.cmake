# Our own targets build warning-free; third-party headers are pulled in as
# system includes by their imported targets, so -Werror only bites our code.
#
# -Werror is for the development, sanitizer, fuzz and CI builds. A release
# build leaves it off: a newer compiler's new warning must not stop a user or
# a packager from building the program.
if(CMAKE_BUILD_TYPE MATCHES "^(Release|MinSizeRel)$")
  set(_velmar_werror_default OFF)
else()
  set(_velmar_werror_default ON)
endif()
option(VELMAR_WERROR "Treat warnings in our own targets as errors" ${_velmar_werror_default})

function(velmar_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(VELMAR_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
