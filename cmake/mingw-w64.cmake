# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix threads model):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# Builds the core, vyx.exe and the tests that need no pseudo-terminal; with wine
# installed, the tests run under it through CTest.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VYX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VYX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VYX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VYX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VYX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The executables carry their C++ runtime, so vyx.exe runs from any folder
# without the compiler's DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(VYX_WINE wine)
if(VYX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VYX_WINE})
endif()
