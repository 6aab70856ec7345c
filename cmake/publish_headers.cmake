# SPDX-License-Identifier: Apache-2.0
# quillon_publish_headers(<target> <folder>): the headers of src/<folder> reach exactly the targets
# that link <target>. The folder is published alone, as include/<folder>/<folder> in the build
# tree (a symbolic link to src/<folder>), and include/<folder> becomes <target>'s public include
# directory: `#include "<folder>/x.h"` resolves for <target>, its own sources and whatever links
# it, and nowhere else, so that a library's link line is the wall between the layers.
# Libraries that share a folder (window, discovery, app) share its link.
function(quillon_publish_headers target folder)
  set(root ${CMAKE_BINARY_DIR}/include/${folder})
  if(NOT IS_SYMLINK ${root}/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
