# SPDX-License-Identifier: Apache-2.0
# The layers' walls: a header of a library that a target does not link must not be found. Each
# check is a one-file target, left out of the normal build, whose source includes one allowed
# header and then one forbidden one; its test builds it and passes only when the compiler stops
# at the forbidden header. The allowed header first, so that a broken include path in general
# does not pass for a wall.
#   quillon_wall_check(<name> LINKS <library> ALLOWED <header> FORBIDDEN <header>)
if(CMAKE_CROSSCOMPILING)
  return()
endif()
function(quillon_wall_check name)
  cmake_parse_arguments(ARG "" "LINKS;ALLOWED;FORBIDDEN" "" ${ARGN})
  set(src ${CMAKE_CURRENT_BINARY_DIR}/walls/${name}.cpp)
  file(CONFIGURE OUTPUT ${src} CONTENT "#include ${ARG_ALLOWED}\n#include ${ARG_FORBIDDEN}\n")
  add_library(quillon_wall_${name} OBJECT EXCLUDE_FROM_ALL ${src})
  target_link_libraries(quillon_wall_${name} PRIVATE ${ARG_LINKS})
  add_test(NAME wall_${name}
    COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target quillon_wall_${name})
  string(REGEX REPLACE "[\"<>]" "" header ${ARG_FORBIDDEN})
  string(REPLACE "." "\\." header ${header})
  # GCC: "x.h: No such file or directory"; clang: "'x.h' file not found".
  set_tests_properties(wall_${name} PROPERTIES LABELS unit TIMEOUT 120 RESOURCE_LOCK build_tree
    PASS_REGULAR_EXPRESSION "${header}'?:? (No such file or directory|file not found)")
endfunction()

# The engine sees neither discovery nor the window; the toolkit-free window sees no Qt.
quillon_wall_check(engine_without_discovery LINKS quillon_engine
  ALLOWED "\"engine/upgrade_engine.h\"" FORBIDDEN "\"discovery/intake.h\"")
quillon_wall_check(engine_without_window LINKS quillon_engine
  ALLOWED "\"engine/upgrade_engine.h\"" FORBIDDEN "\"window/device_table.h\"")
quillon_wall_check(window_without_qt LINKS quillon_window
  ALLOWED "\"window/device_table.h\"" FORBIDDEN "<QWidget>")
