# The header-only libraries of qkl-tool: CLI11 (its command line) and nlohmann-json (its JSON
# output), as the targets qkl::cli11 and qkl::json. A native build finds them through their
# CMake packages (Debian libcli11-dev 2.1.2, nlohmann-json3-dev 3.11.2). A cross build searches
# only its own root and has neither; it takes the build machine's headers from a folder that
# holds nothing but the two libraries' header folders, as system includes so that their warnings
# stay out of -Werror (the build machine's /usr/include itself would bring its C library in).
set(QKL_HEADER_LIBRARY_ROOT /usr/include CACHE PATH
    "Where a cross build takes the CLI and nlohmann header folders from")

if(CMAKE_CROSSCOMPILING)
  set(qkl_header_folder ${PROJECT_BINARY_DIR}/header-libraries)
  foreach(qkl_header_library CLI nlohmann)
    if(NOT EXISTS ${QKL_HEADER_LIBRARY_ROOT}/${qkl_header_library})
      message(FATAL_ERROR "${QKL_HEADER_LIBRARY_ROOT}/${qkl_header_library} is missing: install "
                          "libcli11-dev and nlohmann-json3-dev, or set QKL_HEADER_LIBRARY_ROOT")
    endif()
    file(MAKE_DIRECTORY ${qkl_header_folder})
    file(CREATE_LINK ${QKL_HEADER_LIBRARY_ROOT}/${qkl_header_library}
         ${qkl_header_folder}/${qkl_header_library} SYMBOLIC)
  endforeach()
  add_library(qkl_cli11 INTERFACE)
  target_include_directories(qkl_cli11 SYSTEM INTERFACE ${qkl_header_folder})
  add_library(qkl_json INTERFACE)
  target_include_directories(qkl_json SYSTEM INTERFACE ${qkl_header_folder})
else()
  find_package(CLI11 2.1 CONFIG REQUIRED)
  find_package(nlohmann_json 3.11 CONFIG REQUIRED)
  add_library(qkl_cli11 INTERFACE)
  target_link_libraries(qkl_cli11 INTERFACE CLI11::CLI11)
  add_library(qkl_json INTERFACE)
  target_link_libraries(qkl_json INTERFACE nlohmann_json::nlohmann_json)
endif()
add_library(qkl::cli11 ALIAS qkl_cli11)
add_library(qkl::json ALIAS qkl_json)
