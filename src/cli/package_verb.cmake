# SPDX-License-Identifier: Apache-2.0
# The "package" verb of quillon-cli, kept as a target of its own so that the tool's main file can
# link it: target_link_libraries(quillon-cli PRIVATE quillon_cli_package). A second include does nothing.
include_guard(GLOBAL)
# text_out: the verb prints names from the package, which are untrusted like device texts.
add_library(quillon_cli_package STATIC ${CMAKE_SOURCE_DIR}/src/cli/package_verb.cpp
            ${CMAKE_SOURCE_DIR}/src/cli/text_out.cpp)
target_include_directories(quillon_cli_package PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(quillon_cli_package PUBLIC quillon_images CLI11::CLI11)
