# SPDX-License-Identifier: GPL-3.0-or-later
# QCustomPlot for the Windows window. Debian packages it for Linux only
# (libqcustomplot-dev, found there as QCustomPlotQt6); for Windows it is
# compiled here from Debian's source package of the same version, which
# scripts/windows-qcustomplot fetches into its cache and prints:
#   -DVYX_QCUSTOMPLOT_SOURCE=$(scripts/windows-qcustomplot)
# It is a static library, linked into vyx-cfg.exe and the window's tests:
# QCustomPlot is GPL-3.0-or-later like vyx-cfg, so a DLL would buy no licence
# freedom, and static linking needs no export and import defines
# (QCUSTOMPLOT_COMPILE_LIBRARY / QCUSTOMPLOT_USE_LIBRARY) on the library and
# every user, and no further DLL beside the program, in the installer and in
# the uninstaller's list. The target carries the name of Debian's Linux one,
# so ui/ links QCustomPlotQt6::QCustomPlotQt6 on both systems.
set(VYX_QCUSTOMPLOT_SOURCE "" CACHE PATH
    "Debian's QCustomPlot source for the Windows window (the folder scripts/windows-qcustomplot prints)")
if(NOT VYX_QCUSTOMPLOT_SOURCE)
  message(FATAL_ERROR "the window for Windows needs QCustomPlot's source: configure with "
                      "-DVYX_QCUSTOMPLOT_SOURCE=$(scripts/windows-qcustomplot)")
endif()
foreach(file qcustomplot.cpp qcustomplot.h)
  if(NOT EXISTS ${VYX_QCUSTOMPLOT_SOURCE}/${file})
    message(FATAL_ERROR "VYX_QCUSTOMPLOT_SOURCE=${VYX_QCUSTOMPLOT_SOURCE} holds no ${file} "
                        "(scripts/windows-qcustomplot prints the folder that does)")
  endif()
endforeach()

# Its header in a folder of its own, so the source package's other files are
# never on the include path; included as #include <qcustomplot.h>, as on Linux.
set(VYX_QCUSTOMPLOT_INCLUDE ${CMAKE_BINARY_DIR}/third-party/qcustomplot)
file(MAKE_DIRECTORY ${VYX_QCUSTOMPLOT_INCLUDE})
file(CREATE_LINK ${VYX_QCUSTOMPLOT_SOURCE}/qcustomplot.h ${VYX_QCUSTOMPLOT_INCLUDE}/qcustomplot.h SYMBOLIC)

# AUTOMOC finds the header beside qcustomplot.cpp.
add_library(vyx_qcustomplot STATIC ${VYX_QCUSTOMPLOT_SOURCE}/qcustomplot.cpp)
set_target_properties(vyx_qcustomplot PROPERTIES AUTOMOC ON)
# Another project's code: its warnings are not ours to fix (-w), and a user of
# its header sees none either (SYSTEM).
target_compile_options(vyx_qcustomplot PRIVATE -w)
target_include_directories(vyx_qcustomplot SYSTEM PUBLIC ${VYX_QCUSTOMPLOT_INCLUDE})
target_link_libraries(vyx_qcustomplot PUBLIC Qt6::Widgets Qt6::PrintSupport)
add_library(QCustomPlotQt6::QCustomPlotQt6 ALIAS vyx_qcustomplot)
