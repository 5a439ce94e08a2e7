# Run by CPack on the staged install tree before it packs it (CPACK_PRE_BUILD_SCRIPTS): strips
# the two programs the way Debian's own packaging does (debug symbols, and the .comment and .note
# sections that say which compiler built them).
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file ${staged})
  if(file MATCHES "/bin/vellumry$|/libexec/vellumry/vellumry-decode$")
    execute_process(COMMAND strip --remove-section=.comment --remove-section=.note --strip-unneeded "${file}"
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "strip failed on ${file}")
    endif()
    message(STATUS "stripped ${file}")
  endif()
endforeach()
