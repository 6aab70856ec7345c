// SPDX-License-Identifier: Apache-2.0
#pragma once
// The extra fields of a zip entry that decide where its data lies and what it is called: the
// Zip64 extended information (sizes and offset beyond 32 bits) and Info-ZIP's Unicode Path.
// Every input is untrusted; a malformed block is an answer, never a read past its end.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// The value a 32-bit field of the central directory holds when the real one is in the Zip64 field.
inline constexpr std::uint64_t kZip64Marker = 0xFFFFFFFFu;

// The data of the first field `id` in an extra-field block; nothing when it is absent or the
// block is cut short before it.
std::optional<std::string_view> find_extra_field(std::string_view extra, std::uint16_t id);

struct Zip64Values {
    std::uint64_t uncompressed = 0;
    std::uint64_t compressed = 0;
    std::optional<std::uint64_t> header_offset;  // set only when the field carried it
};

// Resolves the sizes of an entry from its central-directory values: each size that reads
// kZip64Marker is taken, in the fixed order uncompressed, compressed, from the Zip64 field
// (0x0001); the local header's offset follows them when the field holds another 8 bytes.
// False when a marked size has no value there.
bool resolve_zip64(std::string_view extra, std::uint64_t uncompressed, std::uint64_t compressed,
                   Zip64Values& out);

// The name carried by an Info-ZIP Unicode Path field (0x7075), UTF-8, when its version is 1 and
// its CRC-32 is that of `raw_name` (the name in the header); otherwise nothing: the field was
// written for another name, and the header's name counts.
std::optional<std::string> unicode_path_name(std::string_view extra, std::string_view raw_name);

}  // namespace quillon
