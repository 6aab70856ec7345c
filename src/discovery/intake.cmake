# SPDX-License-Identifier: Apache-2.0
# The device intake and the device-type rules: a library of its own, so that the engine and the
# front ends can link it without the discovery sockets.
add_library(quillon_discovery_intake STATIC
  ${CMAKE_CURRENT_LIST_DIR}/intake.cpp
  ${CMAKE_CURRENT_LIST_DIR}/device_type.cpp)
quillon_publish_headers(quillon_discovery_intake discovery)
target_link_libraries(quillon_discovery_intake PUBLIC quillon_contract quillon_texts quillon_log)
