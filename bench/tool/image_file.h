// SPDX-License-Identifier: Apache-2.0
#pragma once
// Image files as the devices expect them: pseudo-random data followed by the 204-byte trailer
// with the length and checksum. The same seed gives the same bytes.
#include <cstdint>
#include <string>

namespace quillon::bench {

// false (with errno set) when the file cannot be written.
bool write_image_file(const std::string& path, uint64_t data_bytes, uint32_t seed);

}  // namespace quillon::bench
