// SPDX-License-Identifier: Apache-2.0
// --canary and --max-failed on the command line: their checks, the rules a batch runs with (also
// when it resumes one), and how the summary names a rule that ended the batch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/batch_rules.h"
#include "cli/batch_summary.h"
#include "cli/upgrade_options.h"
#include "cli/upgrade_verb.h"
#include "journal/journal_doc.h"

namespace quillon::cli {
namespace {

// The upgrade verb's checks on a command line; the error text, empty when it passed.
std::string refusal(std::vector<std::string> args) {
    CLI::App app;
    std::function<int()> action;
    add_upgrade_verb(app, action);
    args.insert(args.begin(), "upgrade");
    std::reverse(args.begin(), args.end());  // CLI11 takes them last first
    try {
        app.parse(args);
    } catch (const CLI::ParseError& e) {
        return e.what();
    }
    return action ? std::string() : std::string("no action");
}

TEST(CliBatchRules, TheCommandLineChecksBothRules) {
    EXPECT_EQ(refusal({"--fw", "a.img", "--canary", "2", "--max-failed", "10%"}), "");
    EXPECT_EQ(refusal({"--fw", "a.img", "--max-failed", "0"}), "");
    EXPECT_EQ(refusal({"--resume", "--canary", "0", "--max-failed", "3"}), "");
    EXPECT_NE(
        refusal({"--fw", "a.img", "--max-failed", "ten"}).find("--max-failed 'ten' is neither"),
        std::string::npos);
    EXPECT_NE(refusal({"--fw", "a.img", "--max-failed", "150%"}).find("at most 100%"),
              std::string::npos);
    EXPECT_NE(refusal({"--resume", "--max-failed", "-1"}), "");
    EXPECT_NE(refusal({"--fw", "a.img", "--canary", "-1"}), "");
    EXPECT_NE(refusal({"--fw", "a.img", "--canary", "2", "--range", "10.0.0.1-9"})
                  .find("--canary needs a list of devices"),
              std::string::npos);
}

struct Said {
    std::vector<std::string> lines;
    std::function<void(const std::string&)> fn() {
        return [this](const std::string& t) { lines.push_back(t); };
    }
    bool has(const std::string& part) const {
        for (auto& l : lines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
};

TEST(CliBatchRules, WhatIsGivenRulesAndAResumeKeepsTheRulesOfItsBatch) {
    UpgradeOptions opt;
    RuleSettings r;
    std::string err;
    Said said;
    ASSERT_TRUE(choose_rules(opt, nullptr, r, err, said.fn()));
    EXPECT_EQ(r.canary, 0);
    EXPECT_FALSE(r.max_failed);
    EXPECT_TRUE(said.lines.empty());

    opt.canary = 3;
    opt.canary_given = true;
    opt.max_failed = "25%";
    ASSERT_TRUE(choose_rules(opt, nullptr, r, err, said.fn()));
    EXPECT_EQ(r.canary, 3);
    ASSERT_TRUE(r.max_failed);
    EXPECT_EQ(r.max_failed_text(), "25%");
    EXPECT_TRUE(said.has("Canary: the first 3 devices alone"));

    // A resumed batch whose canary had not been judged runs one again; its threshold stays.
    JournalDoc doc;
    doc.canary = 2;
    doc.max_failed = "4";
    UpgradeOptions resume;
    resume.resume = true;
    said.lines.clear();
    ASSERT_TRUE(choose_rules(resume, &doc, r, err, said.fn()));
    EXPECT_EQ(r.canary, 2);
    EXPECT_EQ(r.max_failed_text(), "4");
    EXPECT_TRUE(said.has("Canary of 2 from the batch resumed"));
    EXPECT_TRUE(said.has("--max-failed 4 from the batch resumed"));

    // Its canary passed: not again.
    doc.canary_passed = true;
    said.lines.clear();
    ASSERT_TRUE(choose_rules(resume, &doc, r, err, said.fn()));
    EXPECT_EQ(r.canary, 0);
    EXPECT_TRUE(said.has("The canary of the batch resumed passed"));

    // Given anew, the command line wins, also with 0 (no canary) .
    doc.canary_passed = false;
    resume.canary_given = true;
    resume.canary = 0;
    resume.max_failed = "1";
    ASSERT_TRUE(choose_rules(resume, &doc, r, err, said.fn()));
    EXPECT_EQ(r.canary, 0);
    EXPECT_EQ(r.max_failed_text(), "1");

    // A journal from before the rules resumes without them.
    JournalDoc old;
    UpgradeOptions plain;
    plain.resume = true;
    ASSERT_TRUE(choose_rules(plain, &old, r, err, said.fn()));
    EXPECT_EQ(r.canary, 0);
    EXPECT_FALSE(r.max_failed);
}

TEST(CliBatchRules, TheSummaryNamesTheRulesAndTheOneThatHaltedTheBatch) {
    SummaryDoc doc;
    doc.mode = "list";
    DeviceSummary d;
    d.ip = "198.18.0.10";
    d.outcome = "failure";
    doc.devices = {d};
    std::string json = summary_json(doc);
    EXPECT_NE(json.find(R"("canary":null,"max_failed":null,"halted":null)"), std::string::npos)
        << json;
    EXPECT_EQ(summary_table(doc).find("HALTED"), std::string::npos);

    doc.canary = 2;
    doc.max_failed = "10%";
    doc.halted = "max-failed 10% reached: 3 of 20 devices failed in pass 1 (2 allowed)";
    json = summary_json(doc);
    EXPECT_NE(
        json.find(
            R"x("canary":2,"max_failed":"10%","halted":"max-failed 10% reached: 3 of 20 devices failed in pass 1 (2 allowed)")x"),
        std::string::npos)
        << json;
    const std::string table = summary_table(doc);
    EXPECT_NE(
        table.find(
            "\nHALTED: max-failed 10% reached: 3 of 20 devices failed in pass 1 (2 allowed)\n"),
        std::string::npos)
        << table;
}

}  // namespace
}  // namespace quillon::cli
