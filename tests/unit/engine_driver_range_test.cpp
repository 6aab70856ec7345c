// SPDX-License-Identifier: Apache-2.0
// The batch driver in range mode over loopback addresses (every 127.x answers the echo there,
// so silent addresses are left to the lab tests) and the type filter. (A missing echo capability,
// a Linux matter: engine_driver_range_posix_test.cpp.)
#include "engine_driver_support.h"
#include "platform/icmp_echo.h"

namespace quillon::test {
namespace {

std::vector<std::string> range_ips(int first, int last) {
    std::vector<std::string> out;
    for (int i = first; i <= last; ++i) out.push_back("127.0.0." + std::to_string(i));
    return out;
}

// Whether this process may send an echo at all (Linux: a datagram or raw ICMP socket).
bool echo_possible() {
    const char payload[] = "x";
    return icmp_echo(parse_ipv4("127.0.0.1")->net, payload, 1, std::chrono::milliseconds(1000))
               .outcome != EchoResult::no_socket;
}

using DriverRange = DriverTest;

TEST_F(DriverRange, TwoWorkersVisitAlternateAddressesAndTheCounterStartsAtZeroOfFive) {
    if (!echo_possible()) GTEST_SKIP() << "no ICMP echo socket here";
    const auto addr = range_ips(10, 14);
    make_fleet(addr);
    images({1500});
    ASSERT_TRUE(start_range("127.0.0.10", 14, 2));
    ASSERT_TRUE(wait_batch());

    EXPECT_EQ(observer.ips_of_worker(0),
              (std::vector<std::string>{"127.0.0.10", "127.0.0.12", "127.0.0.14"}));
    EXPECT_EQ(observer.ips_of_worker(1), (std::vector<std::string>{"127.0.0.11", "127.0.0.13"}));
    ASSERT_EQ(observer.passes().size(), 1u);
    EXPECT_TRUE(observer.passes()[0].range);
    EXPECT_EQ(observer.passes()[0].total, 5);
    const auto counters_seen = counters.texts();
    ASSERT_FALSE(counters_seen.empty());
    EXPECT_EQ(counters_seen.front(), "(  0/5  )");
    EXPECT_EQ(widgets().counter, "(  5/5  )");

    // One row per answering address, unticked after success, saved in range_records.
    ASSERT_EQ(rows(), 5);
    std::set<std::string> listed;
    for (int r = 0; r < 5; ++r) {
        const DeviceRow d = row(r);
        listed.insert(d.cells[col_ip]);
        EXPECT_FALSE(d.ticked);
        EXPECT_EQ(d.cells[col_stat], "success");
        EXPECT_EQ(d.cells[col_begin].size(), 19u);
    }
    EXPECT_EQ(listed, std::set<std::string>(addr.begin(), addr.end()));
    const auto range = window.record_tables().copy(RecordTable::range);
    ASSERT_EQ(range.size(), 5u);
    for (auto& rec : range) EXPECT_EQ(rec[kRecordTickText], "FLASE");

    // Each address was asked to identify itself; range-mode report lines have the blanks.
    for (auto& ip : addr) {
        int asked = 0;
        for (auto& [both, target] : search.calls) asked += (both == 0 && target == ip) ? 1 : 0;
        EXPECT_GE(asked, 2) << ip;  // the row's fill-in, then the conflict check of its image
    }
    auto lines = report_lines();
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> want;
    for (auto& ip : addr) want.push_back("[IPSCAN] upgrade success: IP: " + ip + " MAC: </pre>");
    EXPECT_EQ(lines, want);
}

TEST_F(DriverRange, TheRangeMacFilledInByDiscoveryIsReportedAndAFailureStaysTicked) {
    if (!echo_possible()) GTEST_SKIP() << "no ICMP echo socket here";
    const auto addr = range_ips(20, 21);
    make_fleet(addr);
    images({700});
    fleet->set("127.0.0.21", {0, true});
    // The directed search's answer refreshes the range row and its record, as the intake does.
    window.set_range_box(true);
    search.on_search = [this] {
        const std::string ip = search.calls.back().second;
        if (ip.rfind("127.0.0.", 0) == 0)
            window.update_row_by_ip(ip, "01-01", "02:AA:00:00:00:" + ip.substr(8), "PANEL", "2.0",
                                    "Ready");
    };
    ASSERT_TRUE(start_range("127.0.0.20", 21, 1));
    ASSERT_TRUE(wait_batch());

    EXPECT_EQ(report_lines(),
              (std::vector<std::string>{
                  "[IPSCAN] upgrade success: IP: 127.0.0.20 MAC: 02:AA:00:00:00:20</pre>",
                  "[IPSCAN] upgrade failure: IP: 127.0.0.21 MAC: 02:AA:00:00:00:21</pre>",
              }));
    EXPECT_FALSE(row(0).ticked);
    EXPECT_TRUE(row(1).ticked);
    const auto range = window.record_tables().copy(RecordTable::range);
    EXPECT_EQ(range[0][kRecordTickText], "FLASE");
    EXPECT_EQ(range[1][kRecordTickText], "TRUE");
    // Range mode makes two attempts per image.
    EXPECT_EQ(fleet->connections("127.0.0.21"), 2);
}

TEST_F(DriverRange, AutoRetryAfterARangeScanRetriesTheFailedRowsInListMode) {
    if (!echo_possible()) GTEST_SKIP() << "no ICMP echo socket here";
    const auto addr = range_ips(30, 33);
    make_fleet(addr);
    images({700});
    fleet->set("127.0.0.32", {2, false});
    engine.m_auto_retry = 1;
    engine.m_ip_scan = 1;
    engine.m_ip_begin = host_order("127.0.0.30");
    engine.m_ip_end = 33;
    ASSERT_TRUE(start(3, true));
    ASSERT_TRUE(wait_batch());

    ASSERT_EQ(observer.passes().size(), 2u);
    EXPECT_TRUE(observer.passes()[0].range);
    EXPECT_FALSE(observer.passes()[1].range);
    EXPECT_EQ(observer.passes()[1].total, 1);
    EXPECT_EQ(observer.ips_of_pass(1), std::vector<std::string>{"127.0.0.32"});
    EXPECT_EQ(rows(), 4);  // the retry adds no row
    for (int r = 0; r < 4; ++r) EXPECT_FALSE(row(r).ticked) << r;
}

TEST_F(DriverRange, TheTypeFilterSkipsAnotherTypeWithoutRowCountOrLine) {
    if (!echo_possible()) GTEST_SKIP() << "no ICMP echo socket here";
    const auto addr = range_ips(40, 42);
    make_fleet(addr);
    images({700});
    // An earlier search saw the types; the range START empties the list, not found_records.
    add_row("127.0.0.40", "02:00:00:00:00:40", "PANEL");
    add_row("127.0.0.41", "02:00:00:00:00:41", "WALL");
    add_row("127.0.0.42", "02:00:00:00:00:42", "PANEL");
    window.clear_rows();
    window.choose_type_filter(1);  // "PANEL"
    ASSERT_EQ(window.type_filter_text(), "PANEL");
    ASSERT_TRUE(start_range("127.0.0.40", 42, 2));
    ASSERT_TRUE(wait_batch());

    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(row(0).cells[col_type], "PANEL");
    EXPECT_EQ(row(1).cells[col_type], "PANEL");
    EXPECT_EQ(fleet->connections("127.0.0.41"), 0);
    EXPECT_EQ(observer.ips_of_pass(0), (std::vector<std::string>{"127.0.0.40", "127.0.0.42"}));
    EXPECT_EQ(widgets().counter, "(  2/3  )");
    EXPECT_EQ(widgets().batch_bar, 66);
    for (auto& l : report_lines()) EXPECT_EQ(l.find("127.0.0.41"), std::string::npos) << l;
}

}  // namespace
}  // namespace quillon::test
