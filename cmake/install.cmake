# SPDX-License-Identifier: Apache-2.0
# Installation and the Debian package.
#
#   cmake --install build [--prefix DIR]   the programs, their man pages and, with the desktop
#                                          program, its desktop entry, icons and AppStream metainfo
#   cd build && cpack -G DEB               quillon_<version>_<arch>.deb (installs below /usr)
#
# Included at the end of the top-level CMakeLists.txt, once every target is defined: a program
# that is not part of this build (no Qt, or not in the tree yet) is left out with its files.
include(GNUInstallDirs)

set(QUILLON_PROGRAMS quillon quillon-cli quillon-devsim)
set(quillon_packaging ${CMAKE_SOURCE_DIR}/packaging)
set(quillon_man_dir ${CMAKE_BINARY_DIR}/packaging/man)

foreach(prog IN LISTS QUILLON_PROGRAMS)
  if(NOT TARGET ${prog})
    message(STATUS "install: ${prog} is not built here and is left out")
    continue()
  endif()
  install(TARGETS ${prog} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # Man pages carry the project's version and are installed compressed, as Debian expects.
  configure_file(${quillon_packaging}/man/${prog}.1 ${quillon_man_dir}/${prog}.1 @ONLY)
  add_custom_command(
    OUTPUT ${quillon_man_dir}/gz/${prog}.1.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${quillon_man_dir}/${prog}.1 ${quillon_man_dir}/gz/${prog}.1
    COMMAND gzip -9nf ${quillon_man_dir}/gz/${prog}.1
    DEPENDS ${quillon_man_dir}/${prog}.1
    VERBATIM)
  list(APPEND quillon_man_pages ${quillon_man_dir}/gz/${prog}.1.gz)
  install(FILES ${quillon_man_dir}/gz/${prog}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(quillon_man_pages ALL DEPENDS ${quillon_man_pages})

# The desktop entry, icons and metainfo describe the desktop program: without it they would
# offer a menu entry that starts nothing.
if(TARGET quillon)
  install(FILES ${quillon_packaging}/quillon.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${quillon_packaging}/io.quillon.quillon.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(DIRECTORY ${quillon_packaging}/icons/hicolor
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
    FILES_MATCHING PATTERN "quillon.png")
  install(FILES ${quillon_packaging}/icons/quillon.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# --- Debian package -----------------------------------------------------------------------------
set(QUILLON_PACKAGE_MAINTAINER "Quillon maintainers <maintainers@quillon.invalid>"
  CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VENDOR Quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "upgrade the firmware of a building's intercom devices at once")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_FILE_NAME quillon-${PROJECT_VERSION})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILLON_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Debian's long description; the synopsis line above it is CPACK_PACKAGE_DESCRIPTION_SUMMARY.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Quillon finds a building's intercom devices (door stations, wall stations,
indoor monitors, management centres, lift controllers) on the local network,
by a discovery search or by probing an address range with ICMP echo, and
upgrades their firmware in parallel, retrying the devices that fail and
writing every result to an HTML report.
.
This package holds the desktop program quillon, the same engine without a
window for scripts and terminals (quillon-cli), and a simulated fleet of
devices for trying both out (quillon-devsim).")
# The libraries come from dpkg-shlibdeps; setcap is what the maintainer script needs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin")
# The user report and a device's web page are opened with xdg-open; the desktop program's ping
# window runs ping.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, iputils-ping")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${quillon_packaging}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# Debian's place for the licence: /usr/share/doc/quillon/copyright (Apache-2.0, machine-readable).
# It belongs to the package, not to every `cmake --install`, so it is added to the package's
# staging folder just before the .deb is made.
set(CPACK_QUILLON_COPYRIGHT ${quillon_packaging}/debian/copyright)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb_copyright.cmake)

include(CPack)
