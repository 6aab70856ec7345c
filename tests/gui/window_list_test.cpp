// SPDX-License-Identifier: Apache-2.0
// Sorting, the type filter, the row actions and the hidden conflict test.
#include <QClipboard>
#include <QHeaderView>
#include <QMouseEvent>

#include "window/qt/ping_window.h"
#include "window/row_compare.h"
#include "window_fixture.h"

namespace quillon::test {
namespace {

TEST(RowKeys, ParseLikeTheirColumns) {
    EXPECT_EQ(ip_key("10.0.0.9"), 0x0A000009u);
    EXPECT_LT(ip_key("10.0.0.9"), ip_key("10.0.0.10"));
    EXPECT_EQ(ip_key("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(ip_key("10-1-2-3"), ip_key("10.1.2.3"));  // any one separator character
    EXPECT_EQ(ip_key("10.1.x.3"), 0x0A010000u);         // parts after a failure count as 0
    EXPECT_EQ(ip_key(""), 0u);
    EXPECT_EQ(mac_key("AA:bb:0C:d:e:F0"),
              (std::array<uint8_t, 6>{0xAA, 0xBB, 0x0C, 0x0D, 0x0E, 0xF0}));
    EXPECT_EQ(mac_key("1ff:0:0:0:0:0")[0], 0xFF);  // low 8 bits
    EXPECT_EQ(id_key("12abc"), 12);
    EXPECT_EQ(id_key("abc"), 0);
    EXPECT_EQ(id_key("99999999999999999999999"), id_key("99999999999999999999999"));
}

TEST(RowKeys, CompareCellsByColumn) {
    EXPECT_LT(compare_cells("2", "10", 0, true), 0);
    EXPECT_GT(compare_cells("2", "10", 0, false), 0);
    EXPECT_LT(compare_cells("10.0.0.9", "10.0.0.10", 1, true), 0);
    EXPECT_GT(compare_cells("10.0.0.9", "10.0.0.10", 2, true), 0);  // text elsewhere
    EXPECT_EQ(compare_cells("AA:BB:CC:DD:EE:FF", "aa:bb:cc:dd:ee:ff", 3, true), 0);
    EXPECT_LT(compare_cells("0a:00:00:00:00:00", "0B:00:00:00:00:00", 3, true), 0);
    EXPECT_LT(compare_cells("10.1", "9.0", 9, true), 0);  // versions compare as text
    EXPECT_GT(compare_cells("\xE4", "a", 4, true), 0);    // bytes are unsigned
}

class ListTest : public WindowTest {
protected:
    void click_header(int column) {
        auto* list = ctl<QTableView>(IDC_DEVICE_LIST);
        emit list->horizontalHeader()->sectionClicked(column);
    }
};

TEST_F(ListTest, SortingByColumns) {
    add_device("10.0.0.10", "aa:00:00:00:00:03", "PANEL", "9.0");
    add_device("10.0.0.9", "AA:00:00:00:00:01", "PANEL", "10.1");
    add_device("10.0.0.100", "aa:00:00:00:00:02", "PANEL", "9.5");
    dlg->flags().intake_closed = 0;

    click_header(0);  // first click on ID: descending
    EXPECT_EQ(column(0), (std::vector<std::string>{"3", "2", "1"}));
    EXPECT_EQ(dlg->flags().intake_closed.load(), 1);
    EXPECT_FALSE(dlg->sort_ascending());
    click_header(0);
    EXPECT_EQ(column(0), (std::vector<std::string>{"1", "2", "3"}));

    click_header(1);  // numeric, not textual
    EXPECT_EQ(column(1), (std::vector<std::string>{"10.0.0.9", "10.0.0.10", "10.0.0.100"}));
    click_header(1);
    EXPECT_EQ(column(1), (std::vector<std::string>{"10.0.0.100", "10.0.0.10", "10.0.0.9"}));

    click_header(3);  // MAC bytes, case-insensitive
    EXPECT_EQ(column(3), (std::vector<std::string>{"AA:00:00:00:00:01", "aa:00:00:00:00:02",
                                                   "aa:00:00:00:00:03"}));
    click_header(9);  // VERSION is text: "10.1" before "9.0"
    EXPECT_EQ(column(9), (std::vector<std::string>{"10.1", "9.0", "9.5"}));

    // The tags were set to the positions before the sort: each row keeps its own.
    for (int r = 0; r < 3; ++r) {
        const std::string ip = cell(r, 1);
        // Before the VERSION sort the rows stood by MAC.
        const int before = ip == "10.0.0.9" ? 0 : ip == "10.0.0.100" ? 1 : 2;
        EXPECT_EQ(table_of(*dlg).get_tag(r), before) << ip;
    }
}

TEST_F(ListTest, SortingIsRefusedDuringABatch) {
    add_device("10.0.0.2", "aa:00:00:00:00:02", "PANEL");
    add_device("10.0.0.1", "aa:00:00:00:00:01", "PANEL");
    engine.running_flag = 1;
    click_header(1);
    EXPECT_EQ(column(1), (std::vector<std::string>{"10.0.0.2", "10.0.0.1"}));
    EXPECT_EQ(dlg->sort_column(), 0);
    EXPECT_EQ(dlg->flags().intake_closed.load(), 1);
}

TEST_F(ListTest, FilterKeepsTicksAndShowsRecordIds) {
    add_device("10.0.0.1", "aa:00:00:00:00:01", "PANEL");
    add_device("10.0.0.2", "aa:00:00:00:00:02", "MONITOR");
    add_device("10.0.0.3", "aa:00:00:00:00:03", "PANEL");
    dlg->port().set_check(2, false);  // untick the second PANEL

    auto* filter = combo(IDC_TYPE_FILTER);
    filter->setCurrentIndex(filter->findText("MONITOR"));
    EXPECT_EQ(column(1), std::vector<std::string>{"10.0.0.2"});
    EXPECT_EQ(column(0), std::vector<std::string>{"2"});  // the record's ID, a gap
    EXPECT_EQ(dlg->flags().intake_closed.load(), 1);

    filter->setCurrentIndex(filter->findText("PANEL"));
    EXPECT_EQ(column(1), (std::vector<std::string>{"10.0.0.1", "10.0.0.3"}));
    EXPECT_TRUE(dlg->port().get_check(0));
    EXPECT_FALSE(dlg->port().get_check(1));

    filter->setCurrentIndex(filter->findText("PERSON"));  // no such device: empty
    EXPECT_EQ(dlg->port().row_count(), 0);

    filter->setCurrentIndex(0);  // ALL: every record with its saved tick
    EXPECT_EQ(column(1), (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
    EXPECT_TRUE(dlg->port().get_check(0));
    EXPECT_TRUE(dlg->port().get_check(1));
    EXPECT_FALSE(dlg->port().get_check(2));
}

TEST_F(ListTest, FilterInRangeModeUsesTheRangeRecords) {
    add_device("10.0.0.1", "aa:00:00:00:00:01", "PANEL");
    box(IDC_RANGE_BOX)->click();
    dlg->port().add_range_row("10.0.0.1");
    dlg->port().add_range_row("10.0.0.50");
    auto* filter = combo(IDC_TYPE_FILTER);
    filter->setCurrentIndex(filter->findText("PANEL"));
    EXPECT_EQ(column(1), std::vector<std::string>{"10.0.0.1"});
    filter->setCurrentIndex(0);
    EXPECT_EQ(column(1), (std::vector<std::string>{"10.0.0.1", "10.0.0.50"}));
}

TEST_F(ListTest, RightClickCopiesIdentity) {
    add_device("10.0.0.1", "aa:00:00:00:00:01", "PANEL", "V2.3");
    add_device("10.0.0.2", "aa:00:00:00:00:02", "PANEL", "");
    dlg->on_row_right_click(0);
    EXPECT_EQ(QApplication::clipboard()->text(),
              QStringLiteral("IP:10.0.0.1 MAC:aa:00:00:00:00:01 VER:V2.3"));
    dlg->on_row_right_click(1);
    EXPECT_EQ(QApplication::clipboard()->text(),
              QStringLiteral("IP:10.0.0.2 MAC:aa:00:00:00:00:02"));
    dlg->on_row_right_click(-1);  // no row: nothing
    EXPECT_EQ(QApplication::clipboard()->text(),
              QStringLiteral("IP:10.0.0.2 MAC:aa:00:00:00:00:02"));
}

TEST_F(ListTest, MouseOnTheListReachesTheRowActions) {
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    add_device("127.0.0.1", "aa:00:00:00:00:01", "PANEL", "V1");
    auto* list = ctl<QTableView>(IDC_DEVICE_LIST);
    const QPoint p = list->visualRect(list->model()->index(0, 2)).center();
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, p);
    EXPECT_EQ(QApplication::clipboard()->text(),
              QStringLiteral("IP:127.0.0.1 MAC:aa:00:00:00:00:01 VER:V1"));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, p);
    EXPECT_EQ(dlg->urls, std::vector<std::string>{"http://127.0.0.1"});
    QTest::mouseDClick(list->viewport(), Qt::RightButton, {}, p);
    EXPECT_EQ(dlg->pings, std::vector<std::string>{"127.0.0.1"});
    // Below the last row there is no row: nothing happens.
    const QPoint empty(p.x(), list->viewport()->height() - 2);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, empty);
    EXPECT_EQ(dlg->urls.size(), 1u);
}

TEST_F(ListTest, OnlyAPlainIpv4AddressIsOpenedOrPinged) {
    // Row texts come from the network.
    for (const char* ip : {"", "10.0.0.1; rm -rf /", "-c 1000 10.0.0.1", "10.0.0", "10.0.0.256",
                           "example.org", "10.0.0.1 "}) {
        make_window();
        add_device(ip, "aa:00:00:00:00:01", "PANEL");
        if (dlg->port().row_count() == 0)
            static_cast<GuiWindowPort&>(dlg->port()).device_table().append_row("1");
        table_of(*dlg).set_cell(0, 1, ip);
        dlg->on_row_double_click(0);
        dlg->on_row_right_double_click(0);
        EXPECT_TRUE(dlg->urls.empty()) << ip;
        EXPECT_TRUE(dlg->pings.empty()) << ip;
    }
    make_window();
    add_device("10.9.8.7", "aa:00:00:00:00:01", "PANEL");
    dlg->on_row_double_click(0);
    EXPECT_EQ(dlg->urls, std::vector<std::string>{"http://10.9.8.7"});
    dlg->on_row_double_click(-1);
    dlg->on_row_right_double_click(-1);
    EXPECT_EQ(dlg->urls.size(), 1u);
    EXPECT_TRUE(dlg->pings.empty());
}

TEST_F(ListTest, PingRunsWithoutAShellAndTheWindowStaysResponsive) {
    dlg->real_ping = true;
    add_device("127.0.0.1", "aa:00:00:00:00:01", "PANEL");
    dlg->on_row_right_double_click(0);
    auto* ping = dlg->findChild<PingWindow*>("ping_window");
    ASSERT_NE(ping, nullptr);
    EXPECT_EQ(ping->process().program(), QStringLiteral("ping"));
    EXPECT_EQ(ping->process().arguments(), (QStringList{QStringLiteral("-c"), QStringLiteral("4"),
                                                        QStringLiteral("127.0.0.1")}));
    // While ping runs, a worker's request to the window is served.
    std::atomic<bool> served{false};
    std::thread worker([&] {
        dlg->port().show_count(1, 1);
        served = true;
    });
    ASSERT_TRUE(wait_until([&] { return served.load(); }));
    worker.join();
    EXPECT_FALSE(ping->finished() && ping->output().isEmpty());
    ASSERT_TRUE(wait_until([&] { return ping->finished(); }, std::chrono::seconds(15)));
    EXPECT_FALSE(ping->output().isEmpty());
}

TEST_F(ListTest, HiddenConflictTest) {
    engine.conflict = true;
    dlg->flags().intake_closed = 0;
    button(IDC_CONFLICT_TEST)->click();
    ASSERT_EQ(discovery.searches.size(), 1u);
    EXPECT_EQ(discovery.searches[0].both, 0);
    EXPECT_EQ(discovery.searches[0].target, CQuillonDlg::kConflictTestIp);
    EXPECT_EQ(engine.probe_ip, CQuillonDlg::kConflictTestIp);
    EXPECT_EQ(engine.probe_mac, CQuillonDlg::kConflictTestMac);
    EXPECT_EQ(dlg->flags().intake_closed.load(), 1);
    EXPECT_EQ(dlg->flags().conflict_watch.load(), 1);
    ASSERT_TRUE(wait_until([&] { return !dlg->shown.empty(); }));
    EXPECT_EQ(dlg->texts(),
              std::vector<std::string>{std::string("Conflict ip: ") + CQuillonDlg::kConflictTestIp +
                                       ", mac: " + CQuillonDlg::kConflictTestMac});
    EXPECT_FALSE(engine.conflict);  // cleared

    // No conflict reported: no message.
    dlg->shown.clear();
    const int checks = dlg->conflict_checks();
    button(IDC_CONFLICT_TEST)->click();
    ASSERT_TRUE(wait_until([&] { return dlg->conflict_checks() == checks + 1; }));
    EXPECT_TRUE(dlg->shown.empty());
}

}  // namespace
}  // namespace quillon::test
