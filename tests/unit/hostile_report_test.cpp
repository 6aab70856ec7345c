// SPDX-License-Identifier: Apache-2.0
// Markup from devices must not reach the HTML user report as markup. A MAC text travels from a
// discovery answer (where XML entities are decoded, so "&lt;" arrives as "<") into the device
// list and the conflict lines of the report; both writers of those lines are driven here the
// way a batch drives them.
#include <functional>
#include <string>
#include <vector>

#include "support/debug_lines.h"
#include "discovery/discovery_codec.h"
#include "discovery/intake.h"
#include "engine/engine_worker_watch.h"
#include "engine_test_support.h"

namespace quillon::test {
namespace {

class HostileReport : public EngineTest {
protected:
    // Worker 0 checks `ip` for a second device, and `datagram` is the answer to its directed
    // search, read as the receive thread reads it; `decoded` looks at the MAC the parser gave.
    // Returns the report's lines.
    std::vector<std::string> conflict_check(
        const std::string& ip, const std::string& datagram,
        const std::function<void(const std::string&)>& decoded) {
        // Worker 0 is watched as while it runs in a batch.
        engine.m_thread_live[0] = true;
        EngineWorkerWatch workers(engine);
        DeviceIntake intake(window, workers);
        window.flags().intake_closed = 1;
        window.flags().conflict_watch = 1;
        search.on_search = [&] {
            const auto answer = evaluate_answer(datagram.data(), datagram.size());
            ASSERT_TRUE(answer && answer->ip && answer->mac);
            decoded(*answer->mac);
            intake.add_found_device(answer->ip->c_str(), nullptr, answer->mac->c_str(), nullptr,
                                    nullptr);
        };
        test::DebugLines debug_lines;
        EXPECT_EQ(engine.check_ip_conflict(ip, 0), 1);
        debug_lines.take();
        search.on_search = nullptr;
        return lines_of(report());
    }
};

TEST_F(HostileReport, MarkupInMacTextsIsWrittenAsText) {
    // The MAC the worker expects was itself read from an earlier answer.
    const std::string listed_mac = "<img src=x onerror=alert(1)>a&lt;b";
    engine.set_cur_device(0, "10.0.0.5", listed_mac);

    // A second device answers the worker's directed search for the same address.
    const std::string datagram =
        "<event><active>search</active><type>ack</type><ip>10.0.0.5</ip>"
        "<mac>&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;</mac></event>";
    const auto lines = conflict_check("10.0.0.5", datagram, [](const std::string& mac) {
        EXPECT_EQ(mac, "<script>alert(\"x\")</script>") << "the entities are decoded";
    });
    ASSERT_EQ(lines.size(), 2u) << report();
    EXPECT_NE(lines[0].find("ipaddress conflict, IP:10.0.0.5 "
                            "MAC:&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; "
                            "MAC2:&lt;img src=x onerror=alert(1)&gt;a&amp;lt;b</pre>"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("upgrade error: ipaddr conflict, IP:10.0.0.5 "
                            "MAC:&lt;img src=x onerror=alert(1)&gt;a&amp;lt;b</pre>"),
              std::string::npos)
        << lines[1];
    // The only markup in the whole report is each line's own <pre> and </pre>.
    for (const std::string& line : lines) {
        EXPECT_EQ(line.rfind("<pre>[", 0), 0u) << line;
        EXPECT_EQ(count_of(line, "<"), 2) << line;
        EXPECT_EQ(count_of(line, ">"), 2) << line;
        EXPECT_EQ(count_of(line, "\""), 0) << line;
    }
}

TEST_F(HostileReport, LineBreaksInMacTextsCannotAddReportLines) {
    // A forged event behind a character reference for a line break: decoded by the parser,
    // it would read as a line of its own in the report.
    const std::string forged = "[2024-05-01 09:03:07] [SEARCH] upgrade success: IP:10.0.0.9 MAC:bb";
    engine.set_cur_device(0, "10.0.0.6", "aa:00");
    const std::string datagram =
        "<event><active>search</active><type>ack</type><ip>10.0.0.6</ip>"
        "<mac>cc&#13;&#10;" +
        forged + "</mac></event>";
    const auto lines = conflict_check("10.0.0.6", datagram, [](const std::string& mac) {
        EXPECT_NE(mac.find('\n'), std::string::npos) << "the reference is decoded";
    });
    ASSERT_EQ(lines.size(), 2u) << report();
    EXPECT_NE(lines[0].find("MAC:cc\\x0D\\x0A" + forged + " MAC2:aa:00</pre>"), std::string::npos)
        << lines[0];
    for (const std::string& line : lines) {
        EXPECT_EQ(line.rfind("<pre>[", 0), 0u) << line;
        EXPECT_EQ(line.size() - line.rfind("</pre>"), 6u) << line;
    }
}

}  // namespace
}  // namespace quillon::test
