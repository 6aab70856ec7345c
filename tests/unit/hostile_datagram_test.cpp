// SPDX-License-Identifier: Apache-2.0
// Discovery datagrams at their worst: far beyond the size that is read, and nested deeper than
// the parser should ever recurse. Each has a defined outcome, the same on every machine.
#include <gtest/gtest.h>
#include <pthread.h>

#include <string>

#include "discovery/discovery_codec.h"

namespace quillon {
namespace {

using namespace std::string_literals;

const std::string kHead = "<event><active>search</active><type>ack</type>";
const std::string kAnswer = kHead + "<ip>10.0.0.7</ip><mac>00:11:22:33:44:55</mac></event>";
constexpr std::size_t k64KiB = 64 * 1024;

std::optional<DiscoveryAnswer> eval(const std::string& s) {
    return evaluate_answer(s.data(), s.size());
}

// Each padding on its own would be harmless at 2047 bytes; at 64 KiB the datagram is dropped
// whole, whatever its first 2047 bytes say.
TEST(HostileDatagram, SixtyFourKiBAreDroppedWhole) {
    const std::string paddings[] = {" ", "\n", "\0"s, "<a/>", "<!-- -->"};
    for (const std::string& pad : paddings) {
        SCOPED_TRACE("padding \"" + pad + "\"");
        std::string fits = kAnswer, huge = kAnswer;
        while (fits.size() + pad.size() <= kMaxDatagram) fits += pad;
        while (huge.size() + pad.size() <= k64KiB) huge += pad;
        huge.resize(k64KiB, ' ');
        ASSERT_TRUE(eval(fits)) << "the padding itself is harmless";
        EXPECT_FALSE(eval(huge));
    }
    std::string request = build_search_request();
    EXPECT_TRUE(is_search_request(request.data(), request.size()));
    request.resize(k64KiB, '\0');  // a zero ends the text; the length still counts
    EXPECT_FALSE(is_search_request(request.data(), request.size()));
    EXPECT_FALSE(eval(std::string(k64KiB, '<')));
}

// The element cap decides exactly which elements count: the element whose start is the cap's
// last still counts, the one after it is read as if the datagram ended there.
TEST(HostileDatagram, ElementsCountUpToTheCapAndNoFurther) {
    const std::size_t head_starts = 3;  // event, active, type
    auto with_mac_at = [&](std::size_t start) {
        std::string s = kHead;
        for (std::size_t i = head_starts + 1; i < start; ++i) s += "<a/>";
        return s + "<mac>m</mac></event>";
    };
    auto last = eval(with_mac_at(kMaxElementStarts));
    ASSERT_TRUE(last);
    EXPECT_EQ(last->mac, "m");
    auto beyond = eval(with_mac_at(kMaxElementStarts + 1));
    ASSERT_TRUE(beyond) << "what came before the cap still counts";
    EXPECT_FALSE(beyond->mac);
}

// Nesting that would make the parser recurse hundreds of levels deep.
TEST(HostileDatagram, DeepNestingHasADefinedOutcome) {
    // The answer's texts behind a deep nest: the nest uses up the element cap.
    std::string behind = kHead;
    for (int i = 0; i < 250; ++i) behind += "<a>";
    for (int i = 0; i < 250; ++i) behind += "</a>";
    behind += "<ip>10.0.0.7</ip></event>";
    ASSERT_LE(behind.size(), kMaxDatagram);
    auto a = eval(behind);
    ASSERT_TRUE(a);
    EXPECT_FALSE(a->ip);

    // A whole answer at the bottom of nested events: the paths start at the outermost event,
    // whose first child is another event, so this is no answer at all.
    std::string inner;
    while (inner.size() + 7 + kAnswer.size() <= kMaxDatagram) inner += "<event>";
    inner += kAnswer;
    EXPECT_FALSE(eval(inner));

    // The same evaluated on a thread with a small stack, as a receive thread may have.
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 128 * 1024), 0);
    struct Job {
        const std::string* a;
        const std::string* b;
        int answers = -1;
    } job{&behind, &inner};
    auto run = [](void* arg) -> void* {
        auto* j = static_cast<Job*>(arg);
        j->answers = int(evaluate_answer(j->a->data(), j->a->size()).has_value()) +
                     int(evaluate_answer(j->b->data(), j->b->size()).has_value());
        return nullptr;
    };
    pthread_t t;
    ASSERT_EQ(pthread_create(&t, &attr, run, &job), 0);
    pthread_join(t, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(job.answers, 1);
}

}  // namespace
}  // namespace quillon
