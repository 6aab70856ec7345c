// SPDX-License-Identifier: Apache-2.0
#pragma once
// One upgrade connection as a device handles it: header, image data with S records, burning
// with B records, F, then the reboot record or the end of the connection.
#include <cstddef>
#include <functional>
#include <string>

#include "fleet_state.h"
#include "options.h"
#include "platform/unique_fd.h"
#include "record_log.h"

namespace quillon::devsim {

struct SessionContext {
    FleetState& state;
    const SimOptions& options;
    RecordLog& log;
    int stop_fd;                      // readable once the simulator stops
    std::function<void()> on_reboot;  // tells the listener side that a device went away
};

// Runs the whole connection on the calling thread and writes its record. `attempt` is the
// device's connection number (FleetState::begin_connection). Returns the record's result text.
std::string run_session(SessionContext& ctx, std::size_t device, int attempt, UniqueFd conn);

// A connection that the device turns away ("refuse" limited by "first"): closed with a reset at
// once, and recorded with the result "refused".
void refuse_session(SessionContext& ctx, std::size_t device, int attempt, UniqueFd conn);

}  // namespace quillon::devsim
