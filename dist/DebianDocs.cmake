# The two files Debian wants in every package's documentation folder, made from the project's
# own: copyright (from LICENSE, in the machine-readable format) and changelog.gz (one entry for
# the version of cmake/Version.cmake). Both are installed everywhere, so that every package
# holds the same files.
include(${PROJECT_SOURCE_DIR}/cmake/Gzip.cmake)

# LICENSE is the MIT licence, which the machine-readable format calls Expat. Another licence
# needs another short name here, so anything else stops the configuration.
function(qkl_write_copyright OUTPUT)
  set(license "${PROJECT_SOURCE_DIR}/LICENSE")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${license}")
  file(READ "${license}" text)
  if(NOT text MATCHES "^MIT License\n\nCopyright \\(c\\) ([^\n]+)\n\n(.+[^\n])\n*$")
    message(FATAL_ERROR "${license} is not the MIT licence with one copyright line: "
                        "the Debian copyright file cannot be made from it")
  endif()
  set(holders "${CMAKE_MATCH_1}")
  # A field's continuation lines start with a space; a blank line between paragraphs is " .".
  string(REPLACE "\n\n" "\n.\n" body "${CMAKE_MATCH_2}")
  string(REPLACE "\n" "\n " body " ${body}")
  file(CONFIGURE OUTPUT "${OUTPUT}" @ONLY CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: @PROJECT_NAME@

Files: *
Copyright: @holders@
License: Expat
@body@
")
endfunction()

# The entry is dated when the build is configured, or at SOURCE_DATE_EPOCH when that is set
# (string(TIMESTAMP) reads it), for a reproducible package.
function(qkl_write_changelog OUTPUT DEBIAN_VERSION MAINTAINER)
  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  file(CONFIGURE OUTPUT "${OUTPUT}" @ONLY CONTENT
"@PROJECT_NAME@ (@DEBIAN_VERSION@) unstable; urgency=medium

  * Release @QKL_VERSION_TEXT@.

 -- @MAINTAINER@  @date@
")
endfunction()
