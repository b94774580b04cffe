# SPDX-License-Identifier: GPL-3.0-or-later
# What the Windows window needs beside it, in the build's bin/ (so the window
# and its tests run there under wine) and in the installed folder (the
# installer's contents): Qt's DLLs (Core, Gui, Widgets, PrintSupport) and
# plugins (and, for the tests, QtTest and the offscreen platform in bin/ only),
# the compiler's runtime DLLs, Qt's Polish translations and the Cousine font.
# Qt finds its plugins in the program's folder (platforms/, styles/); the
# window loads the translations and the font from translations/ and fonts/
# there.
set(VYX_BIN ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})

set(VYX_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "the compiler's ${dll} is not found (${path})")
  endif()
  get_filename_component(path "${path}" REALPATH)
  list(APPEND VYX_RUNTIME_DLLS ${path})
endforeach()

set(VYX_QT_TRANSLATIONS /usr/share/qt6/translations/qtbase_pl.qm)
set(VYX_FONTS /usr/share/fonts/truetype/croscore/Cousine-Regular.ttf
              /usr/share/fonts/truetype/croscore/Cousine-Bold.ttf)
foreach(file ${VYX_QT_TRANSLATIONS} ${VYX_FONTS})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${file} is missing (scripts/setup installs it)")
  endif()
endforeach()

# PrintSupport for QCustomPlot (linked into the window, cmake/WindowsQCustomPlot.cmake).
set(VYX_QT_DLLS Qt6::Core Qt6::Gui Qt6::Widgets Qt6::PrintSupport)
set(VYX_QT_PLUGINS platforms Qt6::QWindowsIntegrationPlugin styles Qt6::QWindowsVistaStylePlugin)

set(copies)
foreach(target ${VYX_QT_DLLS} Qt6::Test)
  list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}> ${VYX_BIN})
endforeach()
# The tests' platform, in bin/ only.
list(APPEND copies COMMAND ${CMAKE_COMMAND} -E make_directory ${VYX_BIN}/platforms
                   COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::QOffscreenIntegrationPlugin>
                           ${VYX_BIN}/platforms)
list(LENGTH VYX_QT_PLUGINS n)
math(EXPR last "${n} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET VYX_QT_PLUGINS ${i} folder)
  list(GET VYX_QT_PLUGINS ${j} target)
  list(APPEND copies COMMAND ${CMAKE_COMMAND} -E make_directory ${VYX_BIN}/${folder}
                     COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}> ${VYX_BIN}/${folder})
  install(FILES $<TARGET_FILE:${target}> DESTINATION ${folder})
endforeach()
add_custom_target(windows_runtime ALL
  ${copies}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VYX_RUNTIME_DLLS} ${VYX_BIN}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VYX_BIN}/translations ${VYX_BIN}/fonts
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VYX_QT_TRANSLATIONS} ${VYX_BIN}/translations
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VYX_FONTS} ${VYX_BIN}/fonts
  VERBATIM)
add_dependencies(vyx-cfg windows_runtime)

# The installed folder: the installer packs it as it is.
install(TARGETS vyx-cfg vyx RUNTIME DESTINATION .)
foreach(target ${VYX_QT_DLLS})
  install(FILES $<TARGET_FILE:${target}> DESTINATION .)
endforeach()
install(FILES ${VYX_RUNTIME_DLLS} DESTINATION .)
install(FILES ${VYX_QT_TRANSLATIONS} DESTINATION translations)
install(FILES ${VYX_FONTS} DESTINATION fonts)
install(FILES ${VYX_DEVICE_FILES} DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${CMAKE_SOURCE_DIR}/THIRD-PARTY.md DESTINATION .)
