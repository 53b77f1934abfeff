# Cross-builds talvo.exe for 64-bit Windows with Debian's mingw-w64 (the
# posix thread model, for std::thread in the tests):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TALVO_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TALVO_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALVO_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TALVO_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TALVO_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One file to copy: the C and C++ runtimes and winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# The built programs run under wine on the build machine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
