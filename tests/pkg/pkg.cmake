# SPDX-License-Identifier: Apache-2.0
# Packaging tests (label pkg): the packaging files, cmake --install, and the .deb on a clean
# Debian 12 root (needs root and the machine's Debian mirror; see pkg_deb_test.sh).
set(pkg_programs)
set(pkg_program_paths)
foreach(prog IN LISTS QUILLON_PROGRAMS)
  if(TARGET ${prog})
    list(APPEND pkg_programs ${prog})
    list(APPEND pkg_program_paths ${prog}=$<TARGET_FILE:${prog}>)
  endif()
endforeach()

add_test(NAME pkg_files
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/pkg_files_test.sh ${CMAKE_SOURCE_DIR} ${PROJECT_VERSION}
          ${pkg_program_paths})
add_test(NAME pkg_install
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/pkg_install_test.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION}
          ${pkg_programs})
set_tests_properties(pkg_files pkg_install PROPERTIES LABELS pkg TIMEOUT 120)

# debootstrap's root is cached in pkg-cache/ of the build tree (see the script); a cold run takes
# a few minutes, most of it downloading. A package is built from release builds only: a
# sanitizer build would ship the sanitizer runtime.
if(QUILLON_SANITIZE)
  return()
endif()
add_test(NAME pkg_deb
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/pkg_deb_test.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}
          ${PROJECT_VERSION} ${CMAKE_BINARY_DIR}/pkg-cache ${pkg_programs})
set_tests_properties(pkg_deb PROPERTIES LABELS pkg TIMEOUT 1200 SKIP_RETURN_CODE 77
  RESOURCE_LOCK pkg_cache)
if(TARGET quillon-mkimage)
  set_tests_properties(pkg_deb PROPERTIES ENVIRONMENT "QL_MKIMAGE=$<TARGET_FILE:quillon-mkimage>")
endif()
