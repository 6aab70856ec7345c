# SPDX-License-Identifier: Apache-2.0
# Run by cpack (CPACK_PRE_BUILD_SCRIPTS, see install.cmake) once the package's files are staged:
# puts the Debian copyright file where Debian keeps a package's licence.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
# COPY, not INSTALL: the staging folder is named in full, and INSTALL would put DESTDIR before it.
file(COPY ${CPACK_QUILLON_COPYRIGHT}
  DESTINATION ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/quillon
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
