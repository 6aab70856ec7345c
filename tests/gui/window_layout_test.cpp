// SPDX-License-Identifier: Apache-2.0
// The window's controls, their arrangement, keys, column widths and the about box.
#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>

#include "window/qt/about_dlg.h"
#include "window/qt/column_rule.h"
#include "window_fixture.h"

namespace quillon::test {
namespace {

// Rows of controls, top to bottom, each in its left-to-right order.
const std::vector<std::vector<int>> kRows = {
    {1038, 1021, 1022},
    {1037, 1000, 1001},
    {1036, 1004, 1005},
    {1035, 1007, 1009},
    {1034, 1018, 1019},
    {1024, 1008, 1011, 1040, 1028, 1026},
    {1032, 1012, 1029, 1013, 1033, 1027},
    {1042, 1043, 1041},
    {1014},
    {1015, 1030, 1023, 2},
};

TEST_F(WindowTest, EveryControlCarriesItsNumberAndTheRowsKeepTheirOrder) {
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    int last_row_bottom = -1;
    for (const auto& row : kRows) {
        int last_x = -1;
        int top = 1 << 30, bottom = -1;
        for (int id : row) {
            QWidget* w = ctl(id);
            ASSERT_NE(w, nullptr) << id;
            const QRect g = w->geometry();
            EXPECT_GT(g.left(), last_x) << "control " << id << " out of order in its row";
            last_x = g.left();
            top = std::min(top, g.top());
            bottom = std::max(bottom, g.bottom());
        }
        EXPECT_GT(top, last_row_bottom) << "row of " << row.front() << " overlaps the row above";
        last_row_bottom = bottom;
    }
    // The hidden conflict test command exists but is never shown.
    QWidget* hidden = ctl(IDC_CONFLICT_TEST);
    ASSERT_NE(hidden, nullptr);
    EXPECT_FALSE(hidden->isVisible());
}

TEST_F(WindowTest, TheListTakesTheRoomWhenTheWindowGrowsAndTheWindowHasAMinimumSize) {
    EXPECT_EQ(dlg->minimumSize(), QSize(665, 665));
    dlg->resize(700, 700);
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    const QSize list_before = ctl(IDC_DEVICE_LIST)->size();
    const int start_w = ctl(IDC_START)->width();
    dlg->resize(1000, 900);
    ASSERT_TRUE(wait_until([&] { return ctl(IDC_DEVICE_LIST)->height() > list_before.height(); }));
    EXPECT_GT(ctl(IDC_DEVICE_LIST)->width(), list_before.width());
    EXPECT_EQ(ctl(IDC_START)->width(), start_w);
    dlg->resize(100, 100);
    EXPECT_GE(dlg->width(), 665);
    EXPECT_GE(dlg->height(), 665);
}

TEST(ColumnRule, FractionsAndCaps) {
    using W = std::array<int, kColumns>;
    EXPECT_EQ(column_widths(800, true), (W{60, 130, 100, 130, 100, 100, 60, 70, 140, 300}));
    EXPECT_EQ(column_widths(500, true), (W{40, 95, 80, 105, 65, 75, 45, 50, 110, 200}));
    // Without caps (start-up) the plain fractions, truncated.
    EXPECT_EQ(column_widths(800, false), (W{64, 152, 128, 168, 104, 120, 72, 80, 176, 320}));
    EXPECT_EQ(column_widths(0, true), W{});
}

TEST_F(WindowTest, EveryResizeOfTheListAppliesTheCappedRule) {
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    auto* list = ctl<QTableView>(IDC_DEVICE_LIST);
    for (int target : {800, 500}) {
        const int frame = list->width() - list->viewport()->width();
        list->resize(target + frame, list->height());
        ASSERT_EQ(list->viewport()->width(), target);
        const auto want = column_widths(target, true);
        for (int c = 0; c < kColumns; ++c) {
            EXPECT_EQ(list->horizontalHeader()->sectionSize(c), want[c])
                << "width " << target << " column " << c;
        }
    }
}

TEST_F(WindowTest, EnterAndF1DoNothingAndEscapeIsExit) {
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    // Enter on the focused START button would refuse the empty list with a message.
    add_device("10.0.0.1", "aa:bb:cc:00:00:01", "PANEL");
    edit(IDC_BOOT_PATH)->setEnabled(true);
    edit(IDC_BOOT_PATH)->setText("/tmp/x.img");
    button(IDC_START)->setFocus();
    QTest::keyClick(button(IDC_START), Qt::Key_Return);
    QTest::keyClick(button(IDC_START), Qt::Key_Enter);
    QTest::keyClick(dlg.get(), Qt::Key_F1);
    QTest::keyClick(edit(IDC_BOOT_PATH), Qt::Key_Return);
    EXPECT_EQ(engine.batches, 0);
    EXPECT_TRUE(dlg->shown.empty());
    EXPECT_TRUE(dlg->isVisible());

    // Space still presses a button, as it always does.
    QTest::keyClick(button(IDC_START), Qt::Key_Space);
    EXPECT_EQ(engine.batches, 1);
    dlg->enter_idle();
    engine.running_flag = 0;

    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    EXPECT_FALSE(dlg->isVisible());  // idle: EXIT closes without a question
    EXPECT_TRUE(dlg->shown.empty());
}

TEST_F(WindowTest, AboutBoxIsReachableAndShowsTheVersion) {
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    bool found_action = false;
    bool about_shown = false;
    // The context menu offers the about item; choosing it opens the about box.
    QTimer::singleShot(50, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* menu = qobject_cast<QMenu*>(w);
            if (!menu || !menu->isVisible()) continue;
            for (QAction* a : menu->actions()) {
                if (a->text() == QStringLiteral("关于 Quillon(&A)...")) {
                    found_action = true;
                    QTimer::singleShot(50, [&] {
                        for (QWidget* t : QApplication::topLevelWidgets()) {
                            if (auto* about = qobject_cast<CAboutDlg*>(t);
                                about && about->isVisible()) {
                                about_shown = true;
                                about->accept();
                            }
                        }
                    });
                    a->trigger();
                }
            }
            menu->close();
        }
    });
    QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(5, 5), dlg->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(dlg.get(), &ev);
    EXPECT_TRUE(found_action);
    EXPECT_TRUE(about_shown);
    EXPECT_TRUE(dlg->isVisible());

    CAboutDlg about;
    auto* version = about.findChild<QLabel*>("about_version");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("Quillon，1.3 版"));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("关于 Quillon"));
    auto* ok = about.findChild<QPushButton*>("1");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("确定"));
}

TEST_F(WindowTest, StartUpStatesOfTheControls) {
    // Image slots in package mode.
    EXPECT_TRUE(box(IDC_ZIP_CHECK)->isChecked());
    EXPECT_TRUE(enabled(IDC_ZIP_PATH));
    EXPECT_TRUE(enabled(IDC_ZIP_BROWSE));
    EXPECT_EQ(text_of(IDC_ZIP_PATH), T(TextId::zip_hint));
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(box(kSlotCheck[i])->isChecked());
        EXPECT_FALSE(enabled(kSlotPath[i]));
        EXPECT_FALSE(enabled(kSlotBrowse[i]));
    }
    EXPECT_FALSE(box(IDC_RANGE_BOX)->isChecked());
    EXPECT_FALSE(box(IDC_AUTO_RETRY)->isChecked());
    EXPECT_TRUE(box(IDC_SELECT_ALL)->isChecked());
    EXPECT_FALSE(enabled(IDC_RANGE_START));
    EXPECT_FALSE(enabled(IDC_RANGE_END));
    EXPECT_EQ(text_of(IDC_RANGE_START), CQuillonDlg::kDefaultRangeStart);
    EXPECT_EQ(text_of(IDC_RANGE_END), "254");
    EXPECT_EQ(edit(IDC_RANGE_END)->maxLength(), 3);
    std::vector<std::string> threads;
    for (int n = 1; n <= 10; ++n) threads.push_back("Threads:[" + std::to_string(n) + "]");
    EXPECT_EQ(entries(IDC_THREADS), threads);
    EXPECT_EQ(combo(IDC_THREADS)->currentIndex(), 1);
    EXPECT_EQ(entries(IDC_WORKER_VIEW), (std::vector<std::string>{"[0]", "[1]"}));
    EXPECT_EQ(combo(IDC_WORKER_VIEW)->currentIndex(), 0);
    EXPECT_EQ(entries(IDC_TYPE_FILTER),
              (std::vector<std::string>{T(TextId::type_all), T(TextId::type_panel),
                                        T(TextId::type_monitor), T(TextId::type_person)}));
    EXPECT_EQ(text_of(IDC_COUNTER), "( 0/0 )");
    for (int id : {IDC_IMG_BAR, IDC_DEV_BAR, IDC_ALL_BAR}) {
        EXPECT_EQ(ctl<QProgressBar>(id)->value(), 0);
        EXPECT_EQ(ctl<QProgressBar>(id)->maximum(), 100);
    }
    EXPECT_EQ(dlg->flags().intake_closed.load(), 0);
    EXPECT_EQ(dlg->flags().conflict_watch.load(), 0);
    EXPECT_EQ(dlg->sort_column(), 0);
    EXPECT_TRUE(dlg->sort_ascending());
    EXPECT_EQ(text_of(IDC_START), "START");
    EXPECT_EQ(text_of(IDC_CLEAN), "CLEAN");
    EXPECT_EQ(text_of(IDC_SEARCH), "SEARCH");
    EXPECT_EQ(text_of(IDC_EXIT), "EXIT");
    auto* list = ctl<QTableView>(IDC_DEVICE_LIST);
    ASSERT_EQ(list->model()->columnCount(), 10);
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("ID"));
    EXPECT_EQ(list->model()->headerData(9, Qt::Horizontal).toString(), QStringLiteral("VERSION"));
}

TEST_F(WindowTest, AdaptersGiveTheBindAddressAndTheRangeStart) {
    dlg->set_adapters({"eth0", "wlan0"}, {"10.1.2.3", "192.168.5.6"});
    EXPECT_EQ(entries(IDC_ADAPTER), (std::vector<std::string>{"eth0", "wlan0"}));
    EXPECT_EQ(combo(IDC_ADAPTER)->currentIndex(), 0);
    EXPECT_EQ(text_of(IDC_RANGE_START), "10.1.2.250");
    EXPECT_EQ(ipv4_text(dlg->bind_addr()), "10.1.2.3");
    EXPECT_TRUE(dlg->shown.empty());
    EXPECT_TRUE(discovery.restarts.empty());  // start-up binds; only a change restarts

    // No adapter: the fixed default stays.
    make_window();
    dlg->set_adapters({}, {});
    EXPECT_EQ(text_of(IDC_RANGE_START), CQuillonDlg::kDefaultRangeStart);
    EXPECT_EQ(combo(IDC_ADAPTER)->count(), 0);

    // An address that does not parse: the message, and the any-address.
    make_window();
    dlg->set_adapters({"odd0"}, {"10.1.2.x"});
    EXPECT_EQ(dlg->texts(), std::vector<std::string>{"无效的IP地址"});
    EXPECT_EQ(dlg->bind_addr().net, 0u);
}

}  // namespace
}  // namespace quillon::test
