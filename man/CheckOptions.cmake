# Compares the options that PROGRAM's help texts list with those that the OPTIONS section of its
# manual page PAGE describes. HELP_ARGUMENT holds the arguments that show a help text; a program
# with commands has one for each, separated by commas ("--help,load --help"). NOT_IN_HELP names
# options the page describes though the help leaves them out.

# Help: options that begin a line, and those in brackets on its first (usage) line.
string(REPLACE "," ";" help_runs "${HELP_ARGUMENT}")
set(help_options)
foreach(run IN LISTS help_runs)
  separate_arguments(arguments UNIX_COMMAND "${run}")
  execute_process(COMMAND "${PROGRAM}" ${arguments} OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REPLACE "\n" ";" help_lines "${out}${err}")
  list(GET help_lines 0 usage_line)
  string(REGEX MATCHALL "\\[[^]]*\\]" bracketed "${usage_line}")
  string(REGEX MATCHALL "--?[a-z][a-z-]*" run_options "${bracketed}")
  list(APPEND help_options ${run_options})
  foreach(line IN LISTS help_lines)
    if(line MATCHES "^ *(--?[a-z][a-z-]*)")
      list(APPEND help_options "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endforeach()
list(APPEND help_options ${NOT_IN_HELP})
list(REMOVE_DUPLICATES help_options)

# Page: the first option word of each tag line (the line after .TP) in the OPTIONS section.
file(STRINGS "${PAGE}" page_lines)
set(in_options FALSE)
set(tag_next FALSE)
set(page_options)
foreach(line IN LISTS page_lines)
  if(line MATCHES "^\\.SH")
    string(REGEX MATCH "^\\.SH +\"?OPTIONS" in_options "${line}")
  elseif(in_options AND line MATCHES "^\\.TP")
    set(tag_next TRUE)
  elseif(tag_next)
    set(tag_next FALSE)
    string(REGEX REPLACE "\\\\f[BIRP]|\\\\&" "" plain "${line}")
    string(REPLACE "\\-" "-" plain "${plain}")
    if(plain MATCHES "(--?[a-z][a-z-]*)")
      list(APPEND page_options "${CMAKE_MATCH_1}")
    endif()
  endif()
endforeach()

set(only_in_help ${help_options})
if(page_options)
  list(REMOVE_ITEM only_in_help ${page_options})
endif()
set(only_in_page ${page_options})
list(REMOVE_ITEM only_in_page ${help_options})
if(NOT help_options OR only_in_help OR only_in_page)
  message(FATAL_ERROR "options of ${PROGRAM} and ${PAGE} differ\n"
                      "  in the help only: ${only_in_help}\n  in the page only: ${only_in_page}\n"
                      "  help: ${help_options}\n  page: ${page_options}")
endif()
list(LENGTH page_options count)
message(STATUS "${count} options, the same in the help and the page: ${page_options}")
