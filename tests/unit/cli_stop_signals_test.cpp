// SPDX-License-Identifier: Apache-2.0
// Ctrl-C and SIGTERM while the headless batch sleeps until its end.
#include "platform/stop_signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "platform/unique_fd.h"

namespace quillon::cli {
namespace {

using namespace std::chrono_literals;

void write_event(int fd) {
    const uint64_t one = 1;
    ASSERT_EQ(::write(fd, &one, sizeof one), ssize_t(sizeof one));
}

TEST(CliStopSignals, WaitOrSleepsUntilTheOtherDescriptorOrASignalWakesIt) {
    StopSignals signals;  // before any thread: the threads below inherit the mask
    UniqueFd event(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    ASSERT_TRUE(event.valid());

    // The other descriptor: false, and no signal counted.
    std::thread writer([&] {
        std::this_thread::sleep_for(30ms);
        write_event(event.get());
    });
    EXPECT_FALSE(signals.wait_or(event.get()));
    writer.join();
    EXPECT_EQ(signals.count(), 0);
    uint64_t drained = 0;
    ASSERT_EQ(::read(event.get(), &drained, sizeof drained), ssize_t(sizeof drained));

    // A signal sent to the process while the wait sleeps.
    for (int sig : {SIGTERM, SIGINT}) {
        std::thread sender([sig] {
            std::this_thread::sleep_for(30ms);
            ::kill(::getpid(), sig);
        });
        EXPECT_TRUE(signals.wait_or(event.get()));
        sender.join();
    }
    EXPECT_EQ(signals.count(), 2);

    // One that came before the wait is taken at once, even with the other descriptor ready.
    ::kill(::getpid(), SIGINT);
    write_event(event.get());
    EXPECT_TRUE(signals.wait_or(event.get()));
    EXPECT_EQ(signals.count(), 3);
    EXPECT_FALSE(signals.wait_or(event.get()));  // the event is still there
}

TEST(CliStopSignals, WaitOrWithoutAnOtherDescriptorStillEnds) {
    StopSignals signals;
    // An event descriptor that could not be made: the wait looks every 100 ms instead of
    // sleeping for ever.
    EXPECT_FALSE(signals.wait_or(-1));
    EXPECT_EQ(signals.count(), 0);
}

}  // namespace
}  // namespace quillon::cli
