#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include "discovery/device_type.h"
#include "discovery/intake.h"
#include "intake_fakes.h"
#include "texts/ui_texts.h"

namespace quillon {
namespace {

using test::FakeWorkers;
using test::RecordingPort;
using test::TempDir;

// 2023-11-14 22:13:20 UTC
std::time_t fixed_clock() { return 1700000000; }

int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
    return n;
}

class IntakeAddFound : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("TZ", "UTC0", 1);
        tzset();
        ui_texts().fill(true);
    }

    TempDir dir;
    RecordingPort port{dir.path() / "upgrade_user.html"};
    FakeWorkers workers;
    DeviceIntake intake{port, workers, &fixed_clock};
};

TEST_F(IntakeAddFound, OpenIntakeListsTheDeviceInOneCompoundRequest) {
    intake.add_found_device("198.18.0.10", "1019901", "00:11:22:33:44:55", "V2.1.0", "Ready");

    ASSERT_EQ(port.inserted.size(), 1u);
    const FoundDevice& d = port.inserted[0];
    EXPECT_EQ(d.ip, "198.18.0.10");
    EXPECT_EQ(d.devid, "01-01");
    EXPECT_EQ(d.mac, "00:11:22:33:44:55");
    EXPECT_EQ(d.type_name, "PANEL");
    EXPECT_EQ(d.version, "V2.1.0");
    EXPECT_EQ(d.status, "Ready");
    EXPECT_EQ(d.begin_time, "2023-11-14 22:13:20");
    // Nothing outside the compound call: a separate check and insert could interleave with the
    // window's own commands.
    EXPECT_EQ(port.unexpected, 0);
    EXPECT_EQ(port.range_box_queries, 0);
    EXPECT_TRUE(port.updates.empty());
}

TEST_F(IntakeAddFound, EveryDeviceTypeReachesTheRowWithItsDisplayId) {
    const struct {
        const char* id;
        const char* devid;
        const char* type;
    } cases[] = {
        {"10001", "10001", "CENTER"},      {"20000", "20000", "WALL"},
        {"30000", "30000", "OTHER"},       {"1019901", "01-01", "PANEL"},
        {"01010101", "01-01-0101", "MONITOR"}, {"1010101", "10-10-1001", "MONITOR"},
        {"12345678901", "0345-67-891 ", "PERSON"}, {"A123", "A123", "LIFT"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string ip = "198.18.0." + std::to_string(10 + n);
        intake.add_found_device(ip.c_str(), c.id, ("mac" + std::to_string(n)).c_str(), "v", "Ready");
        ++n;
        ASSERT_EQ(port.inserted.size(), static_cast<size_t>(n));
        EXPECT_EQ(port.inserted.back().devid, c.devid) << c.id;
        EXPECT_EQ(port.inserted.back().type_name, c.type) << c.id;
    }
}

TEST_F(IntakeAddFound, BeginTimeIsTheLocalTimeOfTheAnswer) {
    setenv("TZ", "CET-1", 1);
    tzset();
    intake.add_found_device("198.18.0.10", "1", "m", "v", "Ready");
    setenv("TZ", "UTC0", 1);
    tzset();
    ASSERT_EQ(port.inserted.size(), 1u);
    EXPECT_EQ(port.inserted[0].begin_time, "2023-11-14 23:13:20");
    EXPECT_EQ(format_begin_time(0), "1970-01-01 00:00:00");
    EXPECT_EQ(format_begin_time(951782400), "2000-02-29 00:00:00");
}

TEST_F(IntakeAddFound, AnswerWithoutUsableIpIsDroppedInEveryMode) {
    workers.count = 1;
    workers.set(0, "198.18.0.10", "aa");
    port.range_box = true;
    const std::string long_ip = "198.18.0.10" + std::string(5000, '0');
    const char* bad_ips[] = {nullptr,        "",           "198.18.0",   "198.18.0.256",
                             "198.18.0.10 ", " 198.18.0.10", "198.018.0.10", "host.example",
                             "http://x/",    "<b>1.2.3.4</b>", long_ip.c_str()};
    for (int closed = 0; closed <= 1; ++closed) {
        port.set_flags(closed, closed);
        for (const char* ip : bad_ips) intake.add_found_device(ip, "1019901", "bb", "v", "Ready");
    }
    EXPECT_TRUE(port.inserted.empty());
    EXPECT_TRUE(port.updates.empty());
    EXPECT_EQ(port.range_box_queries, 0);
    EXPECT_EQ(workers.conflict[0].load(), 0);
    EXPECT_EQ(port.unexpected, 0);
}

TEST_F(IntakeAddFound, MissingIdIsAnEmptyIdOfTypeLift) {
    intake.add_found_device("198.18.0.10", nullptr, "aa", "v", "Ready");
    ASSERT_EQ(port.inserted.size(), 1u);
    EXPECT_EQ(port.inserted[0].devid, "");
    EXPECT_EQ(port.inserted[0].type_name, "LIFT");

    port.set_flags(1, 0);
    port.range_box = true;
    intake.add_found_device("198.18.0.10", nullptr, "aa", "v", "Ready");
    ASSERT_EQ(port.updates.size(), 1u);
    EXPECT_EQ(port.updates[0].devid, "");
    EXPECT_EQ(port.updates[0].type_name, "LIFT");
}

TEST_F(IntakeAddFound, MissingMacVersionAndStatusBecomeEmptyAndReady) {
    intake.add_found_device("198.18.0.10", "10001", nullptr, nullptr, nullptr);
    ASSERT_EQ(port.inserted.size(), 1u);
    EXPECT_EQ(port.inserted[0].mac, "");
    EXPECT_EQ(port.inserted[0].version, "");
    EXPECT_EQ(port.inserted[0].status, T(TextId::st_ready));
    EXPECT_FALSE(port.inserted[0].status.empty());
}

TEST_F(IntakeAddFound, ClosedIntakeWithoutRangeBoxChangesNoRow) {
    port.set_flags(1, 0);
    intake.add_found_device("198.18.0.10", "1019901", "aa", "v", "Ready");
    port.set_flags(1, 1);
    intake.add_found_device("198.18.0.11", "1019901", "bb", "v", "Ready");
    EXPECT_TRUE(port.inserted.empty());
    EXPECT_TRUE(port.updates.empty());
    EXPECT_EQ(port.range_box_queries, 2);
    EXPECT_EQ(port.unexpected, 0);
}

TEST_F(IntakeAddFound, ClosedIntakeWithRangeBoxRefreshesTheRowsOfTheAddress) {
    port.set_flags(1, 0);
    port.range_box = true;
    intake.add_found_device("198.18.0.10", "12345678901", "aa:bb", "V3", "Ready");
    ASSERT_EQ(port.updates.size(), 1u);
    const test::RangeUpdate& u = port.updates[0];
    EXPECT_EQ(u.ip, "198.18.0.10");
    EXPECT_EQ(u.devid, "0345-67-891 ");
    EXPECT_EQ(u.mac, "aa:bb");
    EXPECT_EQ(u.type_name, "PERSON");
    EXPECT_EQ(u.version, "V3");
    EXPECT_EQ(u.status, "Ready");
    EXPECT_TRUE(port.inserted.empty());
}

TEST_F(IntakeAddFound, ConflictMarksEveryWorkerOnTheAddressWithItsOwnLine) {
    port.set_flags(1, 1);
    workers.count = 6;
    workers.set(0, "198.18.0.10", "AA");
    workers.set(1, "198.18.0.10", "BB");
    workers.set(2, "198.18.0.10", "");      // no MAC expected: nothing to compare
    workers.set(3, "198.18.0.11", "AA");    // another address
    workers.set(5, "198.18.0.10", "AA");
    workers.slots[5].exists = false;          // slot left over from an ended worker

    intake.add_found_device("198.18.0.10", "1019901", "CC", "v", "Ready");

    EXPECT_EQ(workers.conflict[0].load(), 1);
    EXPECT_EQ(workers.conflict[1].load(), 1);
    EXPECT_EQ(workers.conflict[2].load(), 0);
    EXPECT_EQ(workers.conflict[3].load(), 0);
    EXPECT_EQ(workers.conflict[4].load(), 0);
    EXPECT_EQ(workers.conflict[5].load(), 0);
    const std::string report = port.report_text();
    EXPECT_EQ(count_of(report, "ipaddress conflict"), 2) << report;
    EXPECT_EQ(count_of(report, "[USR] ipaddress conflict, IP:198.18.0.10 MAC:CC MAC2:AA"), 1)
        << report;
    EXPECT_EQ(count_of(report, "[USR] ipaddress conflict, IP:198.18.0.10 MAC:CC MAC2:BB"), 1)
        << report;
    EXPECT_TRUE(port.inserted.empty());
}

TEST_F(IntakeAddFound, ExpectedMacOrEmptyExpectedMacSetsNoFlag) {
    port.set_flags(1, 1);
    workers.count = 2;
    workers.set(0, "198.18.0.10", "AA");
    workers.set(1, "198.18.0.20", "");
    intake.add_found_device("198.18.0.10", "1", "AA", "v", "Ready");
    intake.add_found_device("198.18.0.20", "1", "CC", "v", "Ready");
    intake.add_found_device("198.18.0.20", "1", "", "v", "Ready");
    // Case matters: the comparison is byte for byte.
    intake.add_found_device("198.18.0.10", "1", "aa", "v", "Ready");
    EXPECT_EQ(workers.conflict[0].load(), 1);
    EXPECT_EQ(workers.conflict[1].load(), 0);
    EXPECT_EQ(count_of(port.report_text(), "ipaddress conflict"), 1);
}

TEST_F(IntakeAddFound, AnswerWithoutMacOnAWatchedAddressIsAConflict) {
    // It does not prove the expected device answered, and an image must not go to an address
    // that something else may claim.
    port.set_flags(1, 1);
    workers.count = 1;
    workers.set(0, "198.18.0.10", "AA");
    intake.add_found_device("198.18.0.10", "1", nullptr, "v", "Ready");
    EXPECT_EQ(workers.conflict[0].load(), 1);
    EXPECT_EQ(count_of(port.report_text(), "IP:198.18.0.10 MAC: MAC2:AA"), 1);
}

TEST_F(IntakeAddFound, ConflictWatchNeedsBothFlags) {
    workers.count = 1;
    workers.set(0, "198.18.0.10", "AA");
    port.set_flags(1, 0);  // closed, not watching
    intake.add_found_device("198.18.0.10", "1", "CC", "v", "Ready");
    port.set_flags(0, 1);  // open: the answer is a listing, not a comparison
    intake.add_found_device("198.18.0.10", "1", "CC", "v", "Ready");
    EXPECT_EQ(workers.conflict[0].load(), 0);
    EXPECT_EQ(count_of(port.report_text(), "ipaddress conflict"), 0);
    EXPECT_EQ(port.inserted.size(), 1u);
}

TEST_F(IntakeAddFound, ConflictAndRangeRefreshBothHappen) {
    port.set_flags(1, 1);
    port.range_box = true;
    workers.count = 1;
    workers.set(0, "198.18.0.10", "AA");
    intake.add_found_device("198.18.0.10", "1", "CC", "v", "Ready");
    EXPECT_EQ(workers.conflict[0].load(), 1);
    ASSERT_EQ(port.updates.size(), 1u);
    EXPECT_EQ(port.updates[0].mac, "CC");
}

TEST_F(IntakeAddFound, WorkerCountOutsideTheSlotsIsClamped) {
    port.set_flags(1, 1);
    for (int i = 0; i < WorkerWatch::kMaxWorkers; ++i) workers.set(i, "198.18.0.10", "AA");
    workers.count = 1000;
    intake.add_found_device("198.18.0.10", "1", "CC", "v", "Ready");
    ASSERT_EQ(workers.queried.size(), 10u);
    EXPECT_EQ(workers.queried.back(), 9);
    for (int i = 0; i < WorkerWatch::kMaxWorkers; ++i) EXPECT_EQ(workers.conflict[i].load(), 1);

    workers.queried.clear();
    workers.count = -5;
    intake.add_found_device("198.18.0.10", "1", "CC", "v", "Ready");
    EXPECT_TRUE(workers.queried.empty());

    workers.count = 3;
    intake.add_found_device("198.18.0.10", "1", "CC", "v", "Ready");
    EXPECT_EQ(workers.queried, (std::vector<int>{0, 1, 2}));
}

TEST_F(IntakeAddFound, HostileTextsPassThroughUnchangedAndUnformatted) {
    const std::string big(64 * 1024, 'M');
    const std::string markup = "<script>alert(1)</script>&amp;\"'";
    const std::string fmt = "%s%n%x%p%%";

    intake.add_found_device("198.18.0.10", markup.c_str(), big.c_str(), fmt.c_str(),
                            markup.c_str());
    ASSERT_EQ(port.inserted.size(), 1u);
    EXPECT_EQ(port.inserted[0].devid, markup);
    EXPECT_EQ(port.inserted[0].mac, big);
    EXPECT_EQ(port.inserted[0].version, fmt);
    EXPECT_EQ(port.inserted[0].status, markup);

    // The texts reach the report only as arguments, never as a format, and as text, not markup.
    port.set_flags(1, 1);
    workers.count = 2;
    workers.set(0, "198.18.0.10", fmt);
    workers.set(1, "198.18.0.10", "AA");
    intake.add_found_device("198.18.0.10", "1", (markup + fmt).c_str(), "v", "Ready");
    EXPECT_EQ(workers.conflict[0].load(), 1);
    EXPECT_EQ(workers.conflict[1].load(), 1);
    const std::string report = port.report_text();
    EXPECT_EQ(count_of(report, "ipaddress conflict"), 2);
    EXPECT_EQ(count_of(report, fmt), 3) << report;  // MAC of both lines, MAC2 of the first
    EXPECT_EQ(report.find("<script>"), std::string::npos) << report;
}

// The receive thread reports a conflict while the worker waits for it, as the conflict check
// does: the flag must reach the worker, and nothing here may race (run under TSan).
TEST_F(IntakeAddFound, ConflictReachesAWaitingWorker) {
    port.set_flags(1, 1);
    workers.count = 1;
    workers.set(0, "198.18.0.10", "AA");

    std::atomic<bool> seen{false};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::thread worker([&] {
        while (!seen && std::chrono::steady_clock::now() < deadline) {
            if (workers.conflict[0].exchange(0) == 1) seen = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::thread receiver([&] {
        while (!seen && std::chrono::steady_clock::now() < deadline) {
            intake.add_found_device("198.18.0.10", "1019901", "CC", "v", "Ready");
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    receiver.join();
    worker.join();
    EXPECT_TRUE(seen.load());
    EXPECT_GE(count_of(port.report_text(), "ipaddress conflict"), 1);
}

}  // namespace
}  // namespace quillon
