// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <pthread.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "discovery/discovery_codec.h"

namespace quillon {
namespace {

using namespace std::string_literals;

const std::string kHead = "<event><active>search</active><type>ack</type>";

std::optional<DiscoveryAnswer> eval(const std::string& s) {
    return evaluate_answer(s.data(), s.size());
}

std::string full_answer() {
    return kHead +
           "<ip>10.0.0.7</ip><id>1019901</id><mac>00:11:22:33:44:55</mac>"
           "<version>V2.1</version></event>";
}

std::string padded(std::string s, std::size_t size) {
    s.resize(size, ' ');  // trailing blanks after the root are ignored by the parser
    return s;
}

TEST(DiscoveryRequest, IsTheExact83ByteDocument) {
    const std::string r = build_search_request();
    EXPECT_EQ(r,
              "<?xml version=\"1.0\" ?>\n"
              "<event>\n"
              "\t<active>search</active>\n"
              "\t<type>req</type>\n"
              "</event>\n");
    EXPECT_EQ(r.size(), 83u);
    EXPECT_TRUE(is_search_request(r.data(), r.size()));
    EXPECT_FALSE(eval(r)) << "our own request must never be taken for an answer";
}

TEST(DiscoveryAnswerEval, ReadsAllFourTexts) {
    auto a = eval(full_answer());
    ASSERT_TRUE(a);
    EXPECT_EQ(a->ip, "10.0.0.7");
    EXPECT_EQ(a->id, "1019901");
    EXPECT_EQ(a->mac, "00:11:22:33:44:55");
    EXPECT_EQ(a->version, "V2.1");
    EXPECT_FALSE(is_search_request(full_answer().data(), full_answer().size()));
}

TEST(DiscoveryAnswerEval, ActiveAndTypeMustMatchExactly) {
    for (const char* head :
         {"<event><active>Search</active><type>ack</type>",
          "<event><active>search</active><type>ACK</type>",
          "<event><active>searching</active><type>ack</type>",
          "<event><active>search</active><type>req</type>",
          "<event><active>search</active></event>", "<event><type>ack</type></event>",
          "<event><active/><type>ack</type>", "<Event><active>search</active><type>ack</type>",
          "<event><x><active>search</active><type>ack</type></x>"}) {
        EXPECT_FALSE(eval(std::string(head) + "<ip>1.2.3.4</ip></event>")) << head;
    }
}

TEST(DiscoveryAnswerEval, MissingOrEmptyElementsAreAbsent) {
    auto a = eval(kHead + "<id>5</id><mac></mac><version/></event>");
    ASSERT_TRUE(a);
    EXPECT_FALSE(a->ip) << "no ip child: the address is absent";
    EXPECT_EQ(a->id, "5");
    EXPECT_FALSE(a->mac);
    EXPECT_FALSE(a->version);
    // Extra elements and a declaration change nothing.
    a = eval("<?xml version=\"1.0\"?>" + kHead + "<name>x</name><ip>1.2.3.4</ip></event>");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->ip, "1.2.3.4");
}

TEST(DiscoveryAnswerEval, TextsAreBytesWithEntitiesDecoded) {
    auto a = eval(kHead + "<version>V1 &lt;b&gt; &amp; \xe4\xb8\xad\xff</version></event>");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->version, "V1 <b> & \xe4\xb8\xad\xff");
}

TEST(DiscoveryAnswerEval, BuildAnswerRoundTrips) {
    DiscoveryAnswer in;
    in.ip = "198.18.0.10";
    in.id = "01010101";
    in.mac = "<&\"'>";
    const std::string wire = build_answer(in);
    auto out = eval(wire);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->ip, in.ip);
    EXPECT_EQ(out->id, in.id);
    EXPECT_EQ(out->mac, in.mac);
    EXPECT_FALSE(out->version);
    EXPECT_EQ(wire.find("<version"), std::string::npos);
}

TEST(DiscoveryAnswerEval, DatagramOf2047BytesIsEvaluatedAndLongerIsDropped) {
    const std::string at_limit = padded(full_answer(), kMaxDatagram);
    ASSERT_EQ(at_limit.size(), 2047u);
    EXPECT_TRUE(eval(at_limit));
    EXPECT_FALSE(eval(padded(full_answer(), kMaxDatagram + 1)));
    EXPECT_FALSE(eval(padded(full_answer(), 65507)));
}

TEST(DiscoveryAnswerEval, ElementsBeforeASyntaxErrorCount) {
    auto a = eval(kHead + "<ip>1.2.3.4</ip><mac>aa</wrong><version>V</version></event>");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->ip, "1.2.3.4");
    EXPECT_EQ(a->mac, "aa");
    EXPECT_FALSE(a->version) << "read after the error";
    // A datagram cut off in the middle.
    a = eval(kHead + "<ip>1.2.3.4</ip><id>12");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->ip, "1.2.3.4");
    EXPECT_EQ(a->id, "12");
    EXPECT_TRUE(eval("<event><active>search</active><type>ack"));
}

TEST(DiscoveryAnswerEval, ZeroBytesEndTheText) {
    std::string s = full_answer() + "\0<junk>"s;
    EXPECT_TRUE(eval(s)) << "a zero after the document is harmless";
    s = "<event><active>search</active>\0<type>ack</type></event>"s;
    EXPECT_FALSE(eval(s)) << "nothing after a zero byte is read";
    s = kHead + "<ip>1.2\0.3.4</ip></event>"s;
    auto a = eval(s);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->ip, "1.2");
    EXPECT_FALSE(eval(std::string(100, '\0')));
}

TEST(DiscoveryAnswerEval, GarbageIsDropped) {
    EXPECT_FALSE(evaluate_answer(nullptr, 0));
    EXPECT_FALSE(evaluate_answer("", 0));
    for (const std::string& s :
         {"search ack"s, "<"s, "<<<<>>>>"s, "<event"s, "</event>"s, "junk"s + full_answer(),
          "<!-- "s + full_answer(), "<![CDATA["s + full_answer(), "\xef\xbb\xbf\xef"s}) {
        EXPECT_FALSE(eval(s)) << s;
    }
}

TEST(DiscoveryNesting, ElementStartsBeyondTheCapAreCutOff) {
    std::string flat;
    for (std::size_t i = 0; i < kMaxElementStarts; ++i) flat += "<a/>";
    flat += "</x><!-- <? --><?pi?>";
    EXPECT_EQ(xml_parse_limit(flat.data(), flat.size()), flat.size());
    const std::string over = flat + "<b>";
    EXPECT_EQ(xml_parse_limit(over.data(), over.size()), flat.size());
}

TEST(DiscoveryNesting, DeepNestingCostsNoMoreThanTheCap) {
    std::string deep;
    while (deep.size() + 3 <= kMaxDatagram) deep += "<a>";
    EXPECT_FALSE(eval(deep));
    // What came before the excess still counts.
    std::string after_answer = kHead + "<ip>1.2.3.4</ip>";
    while (after_answer.size() + 3 <= kMaxDatagram) after_answer += "<a>";
    auto a = eval(after_answer);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->ip, "1.2.3.4");
}

// The cap exists so that evaluation is safe on a thread with a modest stack: with the cap
// the deepest datagram takes about 40 KiB, without it about 120 KiB.
constexpr std::size_t kSmallStack = 72 * 1024;

TEST(DiscoveryNesting, DeepestDatagramIsSafeOnASmallStack) {
    std::string deep;
    while (deep.size() + 4 <= kMaxDatagram) deep += "<a\t>";
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, kSmallStack), 0);
    pthread_t t;
    auto run = [](void* arg) -> void* {
        auto* s = static_cast<std::string*>(arg);
        static bool got;
        got = evaluate_answer(s->data(), s->size()).has_value();
        return &got;
    };
    ASSERT_EQ(pthread_create(&t, &attr, run, &deep), 0);
    void* result = nullptr;
    pthread_join(t, &result);
    pthread_attr_destroy(&attr);
    EXPECT_FALSE(*static_cast<bool*>(result));
}

// Random damage to a valid answer (run under the sanitizers, this is what finds memory
// faults): every outcome must be an answer made of the datagram's bytes, or nothing.
TEST(DiscoveryAnswerEval, MutatedAnswersNeverBreakTheParser) {
    std::mt19937 rng(8400);
    const std::string base = full_answer();
    const char tricky[] = {'<', '>', '/', '&', ';',  '#',    'x',    '"',    '\'', '!',
                           '?', '-', '[', ']', '\0', '\xef', '\xbb', '\xbf', ' '};
    int evaluated = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string s = base;
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            const std::size_t pos = rng() % (s.size() + 1);
            const char c = (rng() % 2) ? tricky[rng() % sizeof tricky] : static_cast<char>(rng());
            switch (rng() % 3) {
                case 0:
                    if (pos < s.size()) s[pos] = c;
                    break;
                case 1: s.insert(pos, 1, c); break;
                default:
                    if (pos < s.size()) s.erase(pos, 1 + rng() % 4);
                    break;
            }
        }
        auto a = eval(s);
        if (!a) continue;
        ++evaluated;
        for (const auto& text : {a->ip, a->id, a->mac, a->version}) {
            if (!text) continue;
            ASSERT_LT(text->size(), s.size()) << s;
            ASSERT_EQ(text->find('\0'), std::string::npos) << s;
        }
    }
    EXPECT_GT(evaluated, 0);
}

// Several threads build and evaluate at once, as the receive thread and the workers do.
TEST(DiscoveryCodecThreads, ConcurrentUseSharesNothing) {
    const std::string request = build_search_request();
    const std::string answer = full_answer();
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                if (build_search_request() != request) ++mismatches[t];
                auto a = eval(answer);
                if (!a || a->ip != "10.0.0.7") ++mismatches[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int m : mismatches) EXPECT_EQ(m, 0);
}

}  // namespace
}  // namespace quillon
