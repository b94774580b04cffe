# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix threads model):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# Builds the core, vyx.exe and the tests that need no pseudo-terminal; with wine
# installed, the tests run under it through CTest. With the window, Qt's own
# toolchain file comes first and loads this one, and QCustomPlot's source is named:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=QT/lib/cmake/Qt6/qt.toolchain.cmake \
#         -DQT_CHAINLOAD_TOOLCHAIN_FILE=$PWD/cmake/mingw-w64.cmake \
#         -DVYX_QCUSTOMPLOT_SOURCE=$(scripts/windows-qcustomplot)
# (QT is the prefix scripts/windows-qt prints).
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

find_program(VYX_WINE wine)
if(VYX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VYX_WINE})
endif()
