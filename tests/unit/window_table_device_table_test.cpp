// SPDX-License-Identifier: Apache-2.0
#include "window/device_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

// Records every notification as a line, to check what a view would be told and when.
class Recorder : public DeviceTableObserver {
public:
    explicit Recorder(const DeviceTable& t) : table_(t) {}
    void rows_about_to_be_inserted(int f, int l) override {
        log.push_back("about_insert " + std::to_string(f) + "-" + std::to_string(l) +
                      " n=" + std::to_string(table_.row_count()));
    }
    void rows_inserted(int f, int l) override {
        log.push_back("inserted " + std::to_string(f) + "-" + std::to_string(l) +
                      " n=" + std::to_string(table_.row_count()));
    }
    void cell_changed(int r, int c) override {
        log.push_back("cell " + std::to_string(r) + "," + std::to_string(c) + "=" +
                      table_.get_cell(r, c));
    }
    void check_changed(int r) override {
        log.push_back("check " + std::to_string(r) + "=" + (table_.get_check(r) ? "1" : "0"));
    }
    void rows_about_to_be_reset() override {
        log.push_back("about_reset n=" + std::to_string(table_.row_count()));
    }
    void rows_reset() override { log.push_back("reset n=" + std::to_string(table_.row_count())); }
    void rows_about_to_be_reordered() override {
        log.push_back("about_reorder first=" + table_.get_cell(0, col_ip));
    }
    void rows_reordered(const std::vector<int>& order) override {
        std::string s = "reordered";
        for (int i : order) s += " " + std::to_string(i);
        log.push_back(s + " first=" + table_.get_cell(0, col_ip));
    }
    std::vector<std::string> log;

private:
    const DeviceTable& table_;
};

DeviceRow make_row(const std::string& id, const std::string& ip, bool ticked, int tag) {
    DeviceRow r;
    r.cells[col_id] = id;
    r.cells[col_ip] = ip;
    r.ticked = ticked;
    r.tag = tag;
    return r;
}

TEST(DeviceTable, AppendRowGivesLastIndexWithOnlyColumnZeroUntickedTagZero) {
    DeviceTable t;
    EXPECT_EQ(t.column_count(), 10);
    EXPECT_EQ(t.row_count(), 0);
    EXPECT_EQ(t.append_row("1"), 0);
    EXPECT_EQ(t.append_row("2"), 1);
    ASSERT_EQ(t.row_count(), 2);
    EXPECT_EQ(t.get_cell(1, col_id), "2");
    for (int c = 1; c < 10; ++c) EXPECT_EQ(t.get_cell(1, c), "") << c;
    EXPECT_FALSE(t.get_check(1));
    EXPECT_EQ(t.get_tag(1), 0);

    t.set_cell(1, col_version, "V1.2");
    t.set_check(1, true);
    t.set_tag(1, 7);
    EXPECT_EQ(t.get_cell(1, col_version), "V1.2");
    EXPECT_TRUE(t.get_check(1));
    EXPECT_EQ(t.get_tag(1), 7);
    // Row 0 is untouched by row 1's changes.
    EXPECT_EQ(t.get_cell(0, col_version), "");
    EXPECT_FALSE(t.get_check(0));
    EXPECT_EQ(t.get_tag(0), 0);
}

TEST(DeviceTable, BadIndexesDoNothingAndReadEmpty) {
    DeviceTable t;
    t.append_row("1");
    t.set_cell(0, col_ip, "10.0.0.1");
    t.set_check(0, true);
    t.set_tag(0, 3);
    const std::vector<DeviceRow> before = t.rows();

    for (int row : {-1, 1, 1000}) {
        t.set_cell(row, col_ip, "x");
        t.set_check(row, false);
        t.set_tag(row, 9);
        EXPECT_EQ(t.get_cell(row, col_ip), "");
        EXPECT_FALSE(t.get_check(row));
        EXPECT_EQ(t.get_tag(row), kNoWorker);  // no worker takes a row that is not there
        EXPECT_EQ(t.row(row), nullptr);
    }
    for (int col : {-1, 10, 11}) {
        t.set_cell(0, col, "x");
        EXPECT_EQ(t.get_cell(0, col), "");
    }
    EXPECT_EQ(t.rows(), before);
}

TEST(DeviceTable, ObserversHearEachChangeAtTheRightMoment) {
    DeviceTable t;
    Recorder rec(t);
    t.add_observer(&rec);
    t.add_observer(&rec);  // added once only

    t.append_row("1");
    t.set_cell(0, col_ip, "10.0.0.1");
    t.set_cell(0, col_ip, "10.0.0.1");  // same text: nothing to repaint
    t.set_check(0, true);
    t.set_check(0, true);
    t.set_tag(0, 4);             // the tag is not shown: no notification
    t.set_cell(5, col_ip, "x");  // bad row: no notification
    t.clear_rows();

    EXPECT_EQ(rec.log, (std::vector<std::string>{"about_insert 0-0 n=0", "inserted 0-0 n=1",
                                                 "cell 0,1=10.0.0.1", "check 0=1",
                                                 "about_reset n=1", "reset n=0"}));

    t.remove_observer(&rec);
    rec.log.clear();
    t.append_row("1");
    EXPECT_TRUE(rec.log.empty());
}

TEST(DeviceTable, ReorderMovesWholeRowsAndRefusesNonPermutations) {
    DeviceTable t;
    t.append_row(make_row("1", "a", true, 0));
    t.append_row(make_row("2", "b", false, 1));
    t.append_row(make_row("3", "c", true, 2));
    const std::vector<DeviceRow> before = t.rows();
    Recorder rec(t);
    t.add_observer(&rec);

    for (const std::vector<int>& bad :
         {std::vector<int>{0, 1}, {0, 1, 1}, {0, 1, 3}, {-1, 0, 1}, {0, 1, 2, 3}}) {
        EXPECT_FALSE(t.reorder(bad));
        EXPECT_EQ(t.rows(), before);
    }
    EXPECT_TRUE(rec.log.empty());

    ASSERT_TRUE(t.reorder({2, 0, 1}));
    EXPECT_EQ(t.rows()[0], before[2]);
    EXPECT_EQ(t.rows()[1], before[0]);
    EXPECT_EQ(t.rows()[2], before[1]);
    EXPECT_EQ(rec.log,
              (std::vector<std::string>{"about_reorder first=a", "reordered 2 0 1 first=c"}));
    t.remove_observer(&rec);
}

TEST(DeviceTable, StableSortKeepsEqualRowsInTheirOrder) {
    DeviceTable t;
    // Sorted by TYPE; rows of the same type must stay in their ID order.
    const char* types[] = {"PANEL", "MONITOR", "PANEL", "MONITOR", "PANEL"};
    for (int i = 0; i < 5; ++i) {
        DeviceRow r = make_row(std::to_string(i + 1), "10.0.0." + std::to_string(i + 1), i % 2, i);
        r.cells[col_type] = types[i];
        t.append_row(r);
    }
    t.stable_sort_rows([](const DeviceRow& a, const DeviceRow& b) {
        return a.cells[col_type] < b.cells[col_type];
    });
    std::vector<std::string> ids;
    for (const DeviceRow& r : t.rows()) ids.push_back(r.cells[col_id]);
    EXPECT_EQ(ids, (std::vector<std::string>{"2", "4", "1", "3", "5"}));
    // Ticks and tags travel with their rows.
    EXPECT_TRUE(t.get_check(0));
    EXPECT_EQ(t.get_tag(0), 1);
    EXPECT_FALSE(t.get_check(2));
    EXPECT_EQ(t.get_tag(2), 0);
}

TEST(DeviceTable, AssignRowsReplacesEverythingWithOneReset) {
    DeviceTable t;
    t.append_row("1");
    Recorder rec(t);
    t.add_observer(&rec);
    t.assign_rows({make_row("4", "a", true, 0), make_row("9", "b", false, 0)});
    EXPECT_EQ(t.row_count(), 2);
    EXPECT_EQ(t.get_cell(1, col_id), "9");
    EXPECT_EQ(rec.log, (std::vector<std::string>{"about_reset n=1", "reset n=2"}));
    t.remove_observer(&rec);
}

}  // namespace
}  // namespace quillon
