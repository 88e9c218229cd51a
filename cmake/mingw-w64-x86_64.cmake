# Cross build for 64-bit Windows with the MinGW-w64 compilers (POSIX thread model, which
# std::thread needs). Programs are linked statically so that they run without DLLs beside
# them. The assembler that runs during the build is built for the build machine (tools/), so
# the build needs no Wine; the Windows tests set CMAKE_CROSSCOMPILING_EMULATOR to run there.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QKL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QKL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QKL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QKL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QKL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
