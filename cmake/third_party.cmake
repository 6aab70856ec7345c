# SPDX-License-Identifier: Apache-2.0
# TinyXML, minizip and inih for a system that has no packages of them (the Windows cross build):
# built here as static libraries from the source packages in QUILLON_THIRD_PARTY_DIR, under the
# same target names that pkg-config gives elsewhere (PkgConfig::TINYXML, PkgConfig::MINIZIP,
# PkgConfig::INIH), so no module cares where its library came from.
#
# The Debian source packages are unpacked with dpkg-source, which applies Debian's patches (the
# security fixes among them), so Windows users run the same code as the Linux build links.
include_guard(GLOBAL)

set(QUILLON_THIRD_PARTY_DIR ${CMAKE_SOURCE_DIR}/../shared/third_party CACHE PATH
  "folder with the third-party source packages (TinyXML, minizip, inih)")
set(tp_src ${CMAKE_BINARY_DIR}/third_party/src)

# quillon_unpack(<name> <command...>): unpacks into ${tp_src}/<name> once per set of sources.
function(quillon_unpack name)
  set(dest ${tp_src}/${name})
  set(stamp ${tp_src}/${name}.unpacked)
  string(SHA256 key "${ARGN}")
  if(EXISTS ${stamp})
    file(READ ${stamp} old)
    if(old STREQUAL key)
      return()
    endif()
  endif()
  file(REMOVE_RECURSE ${dest})
  file(MAKE_DIRECTORY ${tp_src})
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${tp_src} RESULT_VARIABLE rc OUTPUT_QUIET
                  ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT EXISTS ${dest})
    message(FATAL_ERROR "unpacking ${name} failed: ${err}")
  endif()
  file(WRITE ${stamp} "${key}")
endfunction()

foreach(f tinyxml_2.6.2-6+deb12u1.dsc minizip_1.1-8+deb12u1.dsc inih-r55.tar.gz)
  if(NOT EXISTS ${QUILLON_THIRD_PARTY_DIR}/${f})
    message(FATAL_ERROR "${f} not found in QUILLON_THIRD_PARTY_DIR (${QUILLON_THIRD_PARTY_DIR})")
  endif()
endforeach()
find_program(QUILLON_DPKG_SOURCE dpkg-source REQUIRED)
# --no-check: the packages come without the signing keys; they are the ones the README names.
quillon_unpack(tinyxml ${QUILLON_DPKG_SOURCE} --no-check -x
  ${QUILLON_THIRD_PARTY_DIR}/tinyxml_2.6.2-6+deb12u1.dsc tinyxml)
quillon_unpack(minizip ${QUILLON_DPKG_SOURCE} --no-check -x
  ${QUILLON_THIRD_PARTY_DIR}/minizip_1.1-8+deb12u1.dsc minizip)
quillon_unpack(inih-r55 ${CMAKE_COMMAND} -E tar xzf ${QUILLON_THIRD_PARTY_DIR}/inih-r55.tar.gz)

# Third-party code keeps its own warnings to itself.
set(tp_quiet -w)
# The fuzz build instruments these copies too: the Windows users run them, not Debian's.
if(QUILLON_FUZZ AND CMAKE_C_COMPILER_ID MATCHES "Clang" AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  list(APPEND tp_quiet -fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer)
endif()

# TinyXML: its STL interface, as Debian's build (the patched header defines TIXML_USE_STL).
set(d ${tp_src}/tinyxml)
add_library(quillon_tp_tinyxml STATIC
  ${d}/tinystr.cpp ${d}/tinyxml.cpp ${d}/tinyxmlerror.cpp ${d}/tinyxmlparser.cpp)
target_include_directories(quillon_tp_tinyxml SYSTEM PUBLIC ${d})
target_compile_options(quillon_tp_tinyxml PRIVATE ${tp_quiet})
add_library(PkgConfig::TINYXML ALIAS quillon_tp_tinyxml)

# minizip: the library Debian ships (unzip, zip, their I/O layer) and, on Windows, its Win32 I/O
# with wide-character paths. Headers both as <unzip.h> and as <minizip/unzip.h>.
set(d ${tp_src}/minizip)
set(minizip_srcs ${d}/ioapi.c ${d}/unzip.c ${d}/zip.c ${d}/mztools.c)
if(WIN32)
  list(APPEND minizip_srcs ${d}/iowin32.c)
endif()
enable_language(C)
add_library(quillon_tp_minizip STATIC ${minizip_srcs})
target_include_directories(quillon_tp_minizip SYSTEM PUBLIC ${d} ${tp_src}/include)
file(MAKE_DIRECTORY ${tp_src}/include)
file(CREATE_LINK ${d} ${tp_src}/include/minizip SYMBOLIC)
target_compile_options(quillon_tp_minizip PRIVATE ${tp_quiet})
target_link_libraries(quillon_tp_minizip PUBLIC ZLIB::ZLIB)
add_library(PkgConfig::MINIZIP ALIAS quillon_tp_minizip)

# inih: the options of its own build's defaults, which Debian's libinih keeps.
set(d ${tp_src}/inih-r55)
add_library(quillon_tp_inih STATIC ${d}/ini.c)
target_include_directories(quillon_tp_inih SYSTEM PUBLIC ${d})
target_compile_options(quillon_tp_inih PRIVATE ${tp_quiet})
add_library(PkgConfig::INIH ALIAS quillon_tp_inih)

# The licence texts a Windows package must carry.
set(QUILLON_THIRD_PARTY_LICENCES
  "TinyXML=${tp_src}/tinyxml/debian/copyright"
  "minizip=${tp_src}/minizip/debian/copyright"
  "inih=${tp_src}/inih-r55/LICENSE.txt")
