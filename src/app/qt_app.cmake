# SPDX-License-Identifier: Apache-2.0
# The desktop program: start-up of the window, the engine and discovery.
if(NOT QUILLON_BUILD_WINDOW OR NOT TARGET quillon_window_qt)
  return()
endif()
add_library(quillon_app_qt STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/qt/quillon_app.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/qt/upgrade_engine_link.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/qt/unfinished_batch_check.cpp)
set_target_properties(quillon_app_qt PROPERTIES AUTOMOC ON)
quillon_publish_headers(quillon_app_qt app)
target_link_libraries(quillon_app_qt PUBLIC quillon_window_qt quillon_engine quillon_discovery
                      quillon_discovery_intake quillon_app quillon_texts quillon_log quillon_platform)
# Every batch keeps a journal; start-up looks at the last one.
target_link_libraries(quillon_app_qt PUBLIC quillon_journal)
add_executable(quillon ${CMAKE_CURRENT_SOURCE_DIR}/qt/main.cpp)
target_link_libraries(quillon PRIVATE quillon_app_qt quillon_version)
