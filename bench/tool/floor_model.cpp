// SPDX-License-Identifier: Apache-2.0
#include "floor_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/wire_format.h"
#include "platform/timing.h"

namespace quillon::bench {

double wire_bytes(double payload, int mtu) {
    const double mss = mtu - 52;
    return payload + std::ceil(payload / mss) * (52 + 14);
}

double least_pass_time(const std::vector<StepList>& workers, double rate_bytes_s) {
    double longest = 0, all_bytes = 0;
    double first_send = std::numeric_limits<double>::infinity();
    for (const StepList& w : workers) {
        double t = 0;
        for (const Step& s : w) {
            if (s.wire_bytes > 0) first_send = std::min(first_send, t);
            t += s.wait_s + s.wire_bytes / rate_bytes_s;
            all_bytes += s.wire_bytes;
        }
        longest = std::max(longest, t);
    }
    const double link = all_bytes > 0 ? first_send + all_bytes / rate_bytes_s : 0;
    return std::max(longest, link);
}

std::vector<StepList> batch_steps(const BatchShape& shape) {
    const Timing& t = timing();
    const double search_pause = std::chrono::duration<double>(t.after_search).count();
    const double conflict = 3 * std::chrono::duration<double>(t.conflict_wait_step).count();
    const double echo = std::chrono::duration<double>(t.echo_wait).count();
    std::vector<StepList> steps(std::size_t(std::max(shape.workers, 1)));

    auto one_device = [&](StepList& out) {
        for (uint64_t n : shape.image_bytes) {
            // The conflict check: a directed search (and the sender's pause), then three waits.
            out.push_back({search_pause + conflict, 0});
            out.push_back({0, wire_bytes(double(n) + kImageHeaderSize, shape.mtu)});
        }
    };
    if (!shape.range_mode) {
        for (int d = 0; d < shape.devices; ++d) one_device(steps[std::size_t(d) % steps.size()]);
    } else {
        for (std::size_t a = 0; a < shape.answers.size(); ++a) {
            StepList& out = steps[a % steps.size()];
            if (!shape.answers[a]) {
                out.push_back({echo, 0});  // the echo wait runs out
                continue;
            }
            out.push_back({search_pause, 0});  // the search that fills in the new row
            one_device(out);
        }
    }
    return steps;
}

}  // namespace quillon::bench
