# Compresses files at build time as Debian wants its manual pages and changelogs: gzip -9 for the
# best compression, -n to leave out the source's name and time, so the same source always gives
# the same bytes.
include_guard(GLOBAL)
find_program(QKL_GZIP gzip REQUIRED)

# Adds a rule that makes ${CMAKE_CURRENT_BINARY_DIR}/<name of SOURCE>.gz from SOURCE and sets
# OUTPUT_VARIABLE to its path. A target of the same folder must depend on that path.
function(qkl_gzip OUTPUT_VARIABLE SOURCE)
  get_filename_component(name "${SOURCE}" NAME)
  set(copy "${CMAKE_CURRENT_BINARY_DIR}/${name}")
  add_custom_command(OUTPUT "${copy}.gz"
                     COMMAND ${CMAKE_COMMAND} -E copy "${SOURCE}" "${copy}"
                     COMMAND ${QKL_GZIP} -9nf "${copy}"
                     DEPENDS "${SOURCE}"
                     COMMENT "Compressing ${name}"
                     VERBATIM)
  set(${OUTPUT_VARIABLE} "${copy}.gz" PARENT_SCOPE)
endfunction()
