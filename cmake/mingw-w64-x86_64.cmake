# Cross build for 64-bit Windows with the MinGW-w64 compilers of Debian and
# Ubuntu (g++-mingw-w64-x86-64). The programs are linked statically, so they
# run on a bare Windows without the compiler's run-time DLLs, and run under
# Wine when they are executed on the build machine (the tests).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The "posix" thread model: GoogleTest needs std::mutex, which the "win32"
# model (the default alternative on Debian) lacks. -static links its
# threading library into the program as well.
set(SCOURBY_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SCOURBY_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SCOURBY_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${SCOURBY_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SCOURBY_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(SCOURBY_WINE wine)
if(SCOURBY_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SCOURBY_WINE})
endif()
