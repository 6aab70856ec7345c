# SPDX-License-Identifier: Apache-2.0
# The desktop program: start-up of the window, the engine and discovery.
if(NOT QUILLON_BUILD_WINDOW OR NOT TARGET quillon_window)
  return()
endif()
add_library(quillon_desktop STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/qt/quillon_app.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/qt/upgrade_engine_link.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/qt/unfinished_batch_check.cpp)
set_target_properties(quillon_desktop PROPERTIES AUTOMOC ON)
target_include_directories(quillon_desktop PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(quillon_desktop PUBLIC quillon_window quillon_engine quillon_discovery
                      quillon_intake quillon_settings quillon_log quillon_platform)
# Every batch keeps a journal; start-up looks at the last one.
target_link_libraries(quillon_desktop PUBLIC quillon_journal)
add_executable(quillon ${CMAKE_CURRENT_SOURCE_DIR}/qt/main.cpp)
target_link_libraries(quillon PRIVATE quillon_desktop quillon_version)
