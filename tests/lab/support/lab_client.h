// SPDX-License-Identifier: Apache-2.0
#pragma once
// The tool's side of both exchanges, reduced to what the lab tests need: build an image, send it
// to a device and collect the device's records; send a search and collect the answers.
#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "discovery/discovery_codec.h"
#include "platform/unique_fd.h"

namespace quillon::labtest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kHeaderSize = 204;
constexpr std::size_t kRecordSize = 136;

// The image checksum written out bit by bit (reflected 0xEDB88320, start 0, no final inversion),
// independent of the simulator's table-driven one.
uint32_t image_crc(const std::vector<uint8_t>& data, uint8_t xor_key, bool xor_flag);

struct Image {
    std::vector<uint8_t> header;  // 204 bytes
    std::vector<uint8_t> data;
};
// `size` pseudo-random bytes from `seed`, header with length = size and a correct crc.
Image make_image(std::size_t size, uint32_t seed, uint8_t xor_key = 0, bool xor_flag = false);
void set_le32(std::vector<uint8_t>& buf, std::size_t off, uint32_t v);

struct DevRecord {
    uint32_t cmd = 0;
    uint32_t value = 0;
    std::string text() const;  // "S10", "B0", "F1", "X9"
};

enum class ConnectResult { connected, refused, timeout, error };

class UpgradeClient {
public:
    // One attempt, waiting at most `wait`.
    ConnectResult connect(in_addr addr, uint16_t port, std::chrono::milliseconds wait);
    bool send_all(const uint8_t* p, std::size_t n);
    bool send_image(const Image& img, std::size_t data_bytes);  // header, then the first data_bytes
    // Reads whole records (reassembling split ones) until F, end of connection or the deadline.
    // Counts reads that returned part of a record in `short_reads`.
    std::vector<DevRecord> read_until_finish(std::chrono::milliseconds limit);
    bool send_reboot();
    // True when the device closed the connection (or reset it) within `limit`.
    bool wait_closed(std::chrono::milliseconds limit);
    // True when nothing at all arrives during `span` and the connection stays open.
    bool quiet_for(std::chrono::milliseconds span);
    void close() { fd_.reset(); }
    int short_reads = 0;
    bool peer_closed = false;

private:
    UniqueFd fd_;
};

// Connects until `want` is the outcome or the deadline passes; true when it was seen.
bool wait_for_connect_result(in_addr addr, uint16_t port, ConnectResult want,
                             std::chrono::milliseconds limit,
                             std::chrono::milliseconds per_try = 200ms);

struct Answer {
    std::string from;  // source address of the datagram
    DiscoveryAnswer answer;
};

// Sends one search request to `to`:`port` from `bind` (port 0 = any) and gathers the evaluated
// answers until `window` has passed. Broadcast only when `broadcast` is set: callers make sure
// they run inside a lab namespace.
std::vector<Answer> search(in_addr to, uint16_t port, std::chrono::milliseconds window,
                           in_addr bind = {}, uint16_t bind_port = 0, bool broadcast = false);

// A free port on loopback for TCP and UDP alike, as far as one can tell right now.
uint16_t free_port();

in_addr addr(const std::string& dotted);
std::string dotted(in_addr a);

// The value of `key` in one line of the simulator's record: a string without quotes, a number,
// or the raw text of an array.
std::optional<std::string> json_field(const std::string& line, const std::string& key);
// Every line of the record file whose "device" is `device`.
std::vector<std::string> record_lines(const std::string& path, const std::string& device);
// Waits until the record holds `count` lines for `device`; returns them.
std::vector<std::string> wait_record_lines(const std::string& path, const std::string& device,
                                           std::size_t count,
                                           std::chrono::milliseconds limit = 10s);

}  // namespace quillon::labtest
