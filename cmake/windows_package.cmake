# SPDX-License-Identifier: Apache-2.0
# The portable Windows package: quillon-windows-x64-VERSION.zip in the build folder, holding
# quillon-cli.exe, README-windows.txt, Quillon's own licence (LICENSE.txt, Apache-2.0) and the
# licence texts of everything linked into it. Nothing
# to install, no administrator rights: it runs from any folder, a USB stick included.
#
#   cmake --build build-win --target windows_zip      (or: scripts/windows zip)
if(NOT TARGET quillon-cli)
  return()
endif()
set(QUILLON_MINGW_DOC_DIR /usr/share/doc CACHE PATH
  "where the build machine keeps the mingw-w64 packages' copyright files")
set(zip_name quillon-windows-x64-${PROJECT_VERSION})
set(zip_stage ${CMAKE_BINARY_DIR}/windows-zip/${zip_name})
set(zip_file ${CMAKE_BINARY_DIR}/${zip_name}.zip)
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/README-windows.txt.in
  ${CMAKE_BINARY_DIR}/windows-zip/README-windows.txt @ONLY NEWLINE_STYLE CRLF)
# Windows line ends, so that every editor there shows it as written (the text has no @ in it).
configure_file(${CMAKE_SOURCE_DIR}/LICENSE
  ${CMAKE_BINARY_DIR}/windows-zip/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)

# name=file of every licence text; the three built here come from their source packages.
set(licences ${QUILLON_THIRD_PARTY_LICENCES}
  "zlib=${QUILLON_MINGW_DOC_DIR}/libz-mingw-w64-dev/copyright"
  "mingw-w64-runtime=${QUILLON_MINGW_DOC_DIR}/mingw-w64-x86-64-dev/copyright"
  "gcc-runtime=${QUILLON_MINGW_DOC_DIR}/gcc-mingw-w64-x86-64-posix-runtime/copyright"
  "nlohmann-json=${QUILLON_MINGW_DOC_DIR}/nlohmann-json3-dev/copyright")
set(copy_licences)
set(licence_files)
foreach(l IN LISTS licences)
  string(REPLACE "=" ";" l ${l})
  list(GET l 0 name)
  list(GET l 1 file)
  list(APPEND copy_licences COMMAND ${CMAKE_COMMAND} -E copy ${file} ${zip_stage}/licences/${name}.txt)
  list(APPEND licence_files ${file})
endforeach()

add_custom_command(OUTPUT ${zip_file}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${zip_stage} ${zip_file}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_stage}/licences
  COMMAND ${CMAKE_STRIP} -o ${zip_stage}/quillon-cli.exe $<TARGET_FILE:quillon-cli>
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/windows-zip/README-windows.txt ${zip_stage}/
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/windows-zip/LICENSE.txt ${zip_stage}/
  ${copy_licences}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${zip_file} --format=zip ${zip_name}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/windows-zip
  DEPENDS quillon-cli ${CMAKE_BINARY_DIR}/windows-zip/README-windows.txt
          ${CMAKE_BINARY_DIR}/windows-zip/LICENSE.txt ${licence_files}
  COMMENT "Packing ${zip_name}.zip"
  VERBATIM)
add_custom_target(windows_zip DEPENDS ${zip_file})
