# Run by CPack on the staged tree before it packs it: Debian wants manual pages
# and the changelog compressed, without names or timestamps in the gzip header.
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/man/man1/*.1")
file(GLOB_RECURSE notes "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/doc/velmar/changelog")
foreach(file IN LISTS pages notes)
  execute_process(COMMAND gzip -9nf ${file} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gzip ${file} failed")
  endif()
endforeach()
if(NOT pages OR NOT notes)
  message(FATAL_ERROR "no manual pages or changelog under ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
