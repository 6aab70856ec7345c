// SPDX-License-Identifier: Apache-2.0
// The floor the benchmarks hold the tool to: the protocol's waits, the dealing of devices to
// workers and the shared link. A floor set too high lets a slow tool pass.
#include <gtest/gtest.h>

#include <chrono>

#include "engine/wire_format.h"
#include "floor_model.h"
#include "platform/timing.h"

namespace quillon::bench {
namespace {

double secs(std::chrono::milliseconds ms) { return std::chrono::duration<double>(ms).count(); }
// What one image costs a worker before its data: the directed search's pause, three waits.
double image_waits() { return secs(timing().after_search) + 3 * secs(timing().conflict_wait_step); }

TEST(BenchWireBytes, EverySegmentCostsItsHeadersOnTheWire) {
    EXPECT_DOUBLE_EQ(wire_bytes(1448, 1500), 1514);           // one full segment: one frame
    EXPECT_DOUBLE_EQ(wire_bytes(1449, 1500), 1449 + 2 * 66);  // one byte more: a second frame
    EXPECT_DOUBLE_EQ(wire_bytes(100, 9000), 166);
}

TEST(BenchFloor, OneDeviceIsItsWaitsAndItsBytesAtTheLinkRate) {
    const double rate = 12.5e6;  // 100 Mbit/s
    BatchShape shape;
    shape.devices = 1;
    shape.image_bytes = {1000000, 2000000};
    const double expected = 2 * image_waits() + (wire_bytes(1000000 + kImageHeaderSize, 1500) +
                                                 wire_bytes(2000000 + kImageHeaderSize, 1500)) /
                                                    rate;
    EXPECT_NEAR(least_pass_time(batch_steps(shape), rate), expected, 1e-9);
}

TEST(BenchFloor, DevicesAreDealtInTurnAndTheBusiestWorkerDecides) {
    const double rate = 125e6;
    BatchShape shape;
    shape.workers = 10;
    shape.devices = 12;  // workers 0 and 1 get two devices, the rest one
    shape.image_bytes = {8 << 20};
    const auto steps = batch_steps(shape);
    ASSERT_EQ(steps.size(), 10u);
    EXPECT_EQ(steps[0].size(), 4u);
    EXPECT_EQ(steps[1].size(), 4u);
    EXPECT_EQ(steps[2].size(), 2u);
    const double one = image_waits() + wire_bytes((8 << 20) + kImageHeaderSize, 1500) / rate;
    EXPECT_NEAR(least_pass_time(steps, rate), 2 * one, 1e-9);
}

TEST(BenchFloor, ASlowLinkCarriesEveryByteOneAfterTheOther) {
    const double rate = 125e3;  // 1 Mbit/s: the bytes, not the waits, decide
    BatchShape shape;
    shape.workers = 4;
    shape.devices = 4;
    shape.image_bytes = {1 << 20};
    const double bytes = 4 * wire_bytes((1 << 20) + kImageHeaderSize, 1500);
    EXPECT_NEAR(least_pass_time(batch_steps(shape), rate), image_waits() + bytes / rate, 1e-9);
}

TEST(BenchFloor, RangeModeWaitsForEverySilentAddressInTurn) {
    const double rate = 125e6;
    BatchShape shape;
    shape.workers = 2;
    shape.range_mode = true;
    shape.answers = {false, true, false, true,
                     false};  // worker 0: three silent; worker 1: two devices
    shape.image_bytes = {1 << 20};
    const auto steps = batch_steps(shape);
    const double silent = 3 * secs(timing().echo_wait);
    const double device = secs(timing().after_search) + image_waits() +
                          wire_bytes((1 << 20) + kImageHeaderSize, 1500) / rate;
    EXPECT_NEAR(least_pass_time(steps, rate), std::max(silent, 2 * device), 1e-9);
    shape.answers = {false, false, false, false, false};
    EXPECT_NEAR(least_pass_time(batch_steps(shape), rate), 3 * secs(timing().echo_wait), 1e-9);
}

}  // namespace
}  // namespace quillon::bench
