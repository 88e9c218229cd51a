# Cross build for macOS with the zig compiler, whose clang (`zig cc`, `zig c++`) carries the
# macOS headers, the system libraries to link against and libc++ for both architectures, so a
# Linux machine can check that the tool compiles and links for a Mac. The programs are not run.
#   -DQKL_ZIG=<zig executable>          default: zig on the PATH
#   -DQKL_MACOS_ARCH=x86_64 | arm64     default: x86_64
# This compiler's libc++ is version 16 and it has no framework headers: docs/STYLE.md says what
# that means for the code.
set(CMAKE_SYSTEM_NAME Darwin)

if(NOT QKL_MACOS_ARCH)
  set(QKL_MACOS_ARCH x86_64)
endif()
if(QKL_MACOS_ARCH STREQUAL "x86_64")
  set(qkl_zig_arch x86_64)
elseif(QKL_MACOS_ARCH STREQUAL "arm64")
  set(qkl_zig_arch aarch64)
else()
  message(FATAL_ERROR "QKL_MACOS_ARCH is \"${QKL_MACOS_ARCH}\": give x86_64 or arm64")
endif()
set(CMAKE_SYSTEM_PROCESSOR ${QKL_MACOS_ARCH})

if(NOT QKL_ZIG)
  find_program(QKL_ZIG zig)
endif()
if(NOT QKL_ZIG)
  message(FATAL_ERROR "zig was not found: put it on the PATH or give its path with -DQKL_ZIG=...")
endif()

# CMake takes a compiler without arguments, so each tool is a small script that runs zig with its
# subcommand and the target. The scripts live in the top build folder; the compiler checks' own
# projects are handed its path.
if(NOT QKL_ZIG_WRAPPERS)
  set(QKL_ZIG_WRAPPERS "${CMAKE_BINARY_DIR}/zig-wrappers")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QKL_MACOS_ARCH QKL_ZIG QKL_ZIG_WRAPPERS)

# qkl_zig_wrapper(<script name> <zig subcommand and arguments> [<shell line run first>])
function(qkl_zig_wrapper name arguments)
  set(script "${QKL_ZIG_WRAPPERS}/${name}")
  # Rewritten only when its text changes, so a new configuration rebuilds nothing.
  file(CONFIGURE OUTPUT "${script}" CONTENT "#!/bin/sh\n${ARGN}exec \"${QKL_ZIG}\" ${arguments} \"$@\"\n" @ONLY)
  file(CHMOD "${script}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
       WORLD_READ WORLD_EXECUTE)
endfunction()
# CMake's check of an Apple compiler asks the linker for its search paths with -Wl,-v, which zig
# refuses; without that check the build knows neither the pointer size nor the linker's paths.
set(drop_linker_verbose "for arg do shift; [ \"$arg\" = -Wl,-v ] || set -- \"$@\" \"$arg\"; done\n")
qkl_zig_wrapper(cc "cc -target ${qkl_zig_arch}-macos" "${drop_linker_verbose}")
qkl_zig_wrapper(c++ "c++ -target ${qkl_zig_arch}-macos" "${drop_linker_verbose}")
qkl_zig_wrapper(ar ar)
qkl_zig_wrapper(ranlib ranlib)

set(CMAKE_C_COMPILER "${QKL_ZIG_WRAPPERS}/cc")
set(CMAKE_CXX_COMPILER "${QKL_ZIG_WRAPPERS}/c++")
set(CMAKE_AR "${QKL_ZIG_WRAPPERS}/ar" CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB "${QKL_ZIG_WRAPPERS}/ranlib" CACHE FILEPATH "Archive indexer")

# Nothing of the build machine's libraries or headers belongs in a macOS program.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
