# Formats the manual page PAGE with groff's man macros and every warning on: any warning fails.
find_program(GROFF groff)
if(NOT GROFF)
  message("groff is not installed: the page is not checked")
  return()
endif()
execute_process(COMMAND ${GROFF} -man -ww -z "${PAGE}"
                RESULT_VARIABLE result ERROR_VARIABLE warnings)
if(NOT result EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "groff -man -ww -z ${PAGE} (exit ${result}):\n${warnings}")
endif()
