// SPDX-License-Identifier: Apache-2.0
#pragma once
// The least wall time a batch can take: the waits the protocol makes, the order in which the
// driver deals devices to workers, and one shared link. Every worker runs its steps one after the
// other; a step is either a wait or a send of bytes. No schedule beats either bound:
// - the longest worker: its own waits, and its own bytes at the whole link's rate;
// - the link: every byte of every worker, from the end of the earliest first wait.
// Both can be met at once when the workers' sends do not overlap (they drift apart by
// themselves: ten workers that send in lock-step would share the link instead).
#include <cstdint>
#include <vector>

namespace quillon::bench {

struct Step {
    double wait_s = 0;      // a fixed wait, or ...
    double wire_bytes = 0;  // ... bytes to push through the link (frames as the link counts them)
};

using StepList = std::vector<Step>;

// Seconds until the last worker can have run its last step, with `rate_bytes_s` the link's rate.
double least_pass_time(const std::vector<StepList>& workers, double rate_bytes_s);

// Bytes on the wire for `payload` bytes of one TCP stream over a link with this MTU: every
// segment carries at most MTU - 52 payload bytes (IPv4, TCP and its timestamp option) and costs
// MTU + 14 bytes of frame (the Ethernet header, which the shaper counts).
double wire_bytes(double payload, int mtu);

struct BatchShape {
    int workers = 1;
    int mtu = 1500;
    std::vector<uint64_t> image_bytes;  // data bytes of every image sent to each device
    // list mode: `devices` rows, dealt in turn; range mode: the range's addresses in order,
    // each true when it answers the echo.
    bool range_mode = false;
    int devices = 0;
    std::vector<bool> answers;
};

// The steps of every worker for one pass of the batch driver with the tool's own timings.
std::vector<StepList> batch_steps(const BatchShape& shape);

}  // namespace quillon::bench
