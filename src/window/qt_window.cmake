# SPDX-License-Identifier: Apache-2.0
# The Qt main window: widgets bound to the controller, list model and the window port for the GUI
# thread.
if(NOT QUILLON_BUILD_WINDOW)
  return()
endif()
# The Qt files live in qt/ and are globbed from there alone; the toolkit-free libraries of this
# folder list their own sources.
file(GLOB quillon_window_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/qt/*.cpp)
add_library(quillon_window_qt STATIC ${quillon_window_srcs})
set_target_properties(quillon_window_qt PROPERTIES AUTOMOC ON)
quillon_publish_headers(quillon_window_qt window)
target_link_libraries(quillon_window_qt PUBLIC Qt6::Widgets quillon_window_controller quillon_window quillon_contract quillon_texts quillon_log
                      quillon_images quillon_platform quillon_version Threads::Threads)
