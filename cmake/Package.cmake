# SPDX-License-Identifier: GPL-3.0-or-later
# Linux install rules and the Debian package (cpack -G DEB, see scripts/package-deb):
#   /usr/bin/vyx-cfg, /usr/bin/vyx
#   /usr/share/vyx-cfg/devices/*.dat        the sample devices (the `devices` target)
#   /usr/share/applications/vyx-cfg.desktop, the icon in the hicolor theme
#   /usr/share/doc/vyx-cfg/copyright, changelog.gz; the manual pages
# An installed program finds the devices through PROGRAM_FOLDER/../share
# (base/DeviceFolders.h), so the data folder is not configurable apart
# from the prefix.
include(GNUInstallDirs)
set(VYX_PACKAGE_FILES ${CMAKE_SOURCE_DIR}/package/linux)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS vyx-cfg vyx RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The device files as devices/CMakeLists.txt builds them.
install(FILES ${VYX_DEVICE_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/vyx-cfg/devices)

install(FILES ${VYX_PACKAGE_FILES}/vyx-cfg.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VYX_PACKAGE_FILES}/vyx-cfg.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The changelog's newest entry must be this version: the package's version
# comes from project(VERSION), and Debian's tools read it from both.
file(STRINGS ${VYX_PACKAGE_FILES}/changelog VYX_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT VYX_CHANGELOG_TOP MATCHES "^vyx-cfg \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "package/linux/changelog: the newest entry is \"${VYX_CHANGELOG_TOP}\"; "
                      "add one for version ${PROJECT_VERSION}")
endif()
# Debian's compressed files: gzip -9n, without name or time stamp.
set(VYX_PACKAGE_GZ)
function(vyx_package_gzip source output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${source} ${output}
    DEPENDS ${source}
    VERBATIM)
  set(VYX_PACKAGE_GZ ${VYX_PACKAGE_GZ} ${output} PARENT_SCOPE)
endfunction()
set(VYX_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/package/changelog.gz)
vyx_package_gzip(${VYX_PACKAGE_FILES}/changelog ${VYX_CHANGELOG_GZ})
vyx_package_gzip(${VYX_PACKAGE_FILES}/vyx-cfg.1 ${CMAKE_BINARY_DIR}/package/vyx-cfg.1.gz)
vyx_package_gzip(${VYX_PACKAGE_FILES}/vyx.1 ${CMAKE_BINARY_DIR}/package/vyx.1.gz)
add_custom_target(package_files ALL DEPENDS ${VYX_PACKAGE_GZ})
install(FILES ${VYX_PACKAGE_FILES}/copyright ${VYX_CHANGELOG_GZ} DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_BINARY_DIR}/package/vyx-cfg.1.gz ${CMAKE_BINARY_DIR}/package/vyx.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(VYX_PACKAGE_MAINTAINER "Seed 704f091e maintainers <maintainers@users.noreply.c-seed-704f091e.example>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME vyx-cfg)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "vyx-cfg developers")
set(CPACK_PACKAGE_CONTACT ${VYX_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Modbus RTU master for field measuring devices")
set(CPACK_PACKAGE_DESCRIPTION
    "vyx-cfg reads, writes, monitors and calibrates the registers of a field
measuring device over Modbus RTU on a serial line, with every request and
reply shown as a hex dump; its window is in Polish. The registers of a
device come from its register description file (*.dat).

vyx, the command-line tool on the same core, dumps and builds register
description files, reads and writes registers, backs up and restores a
unit's parameters, and plays a device on a pseudo-terminal (vyx sim).")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # vyx-cfg_VERSION_amd64.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VYX_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the binaries cannot show: the window's Cousine font, and Qt's Polish
# translations that the window loads.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-croscore, qt6-translations-l10n")
include(CPack)
