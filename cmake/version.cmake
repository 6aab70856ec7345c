# SPDX-License-Identifier: Apache-2.0
# The project version for the programs' --version: build/generated/quillon_version.h, made from
# project(VERSION ...) so that the packages, the metainfo and the programs never disagree.
# Programs link the interface library quillon_version and include "quillon_version.h".
configure_file(${CMAKE_CURRENT_LIST_DIR}/quillon_version.h.in
  ${CMAKE_BINARY_DIR}/generated/quillon_version.h @ONLY)
add_library(quillon_version INTERFACE)
target_include_directories(quillon_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
