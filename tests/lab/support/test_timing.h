// SPDX-License-Identifier: Apache-2.0
#pragma once
// Built only into quillon-cli-lab, the lab tests' copy of quillon-cli; the shipped programs never
// read these variables. QUILLON_TEST_TIMING=fast shortens the waits that add nothing to
// a test (the three-second conflict wait per image, the search window, the pauses between
// passes); with it, QUILLON_TEST_IDLE_MS and QUILLON_TEST_CONNECT_MS set the exchange's idle
// limit and the wait per connection attempt. The programs' defaults are untouched unless that
// variable is set exactly so.
namespace quillon::cli {

// Applies the test timings when the environment asks for them; true when it did.
bool apply_test_timing_from_env();

}  // namespace quillon::cli
