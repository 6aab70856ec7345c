// SPDX-License-Identifier: Apache-2.0
// The upgrade exchange against a fake device on 127.0.0.1: what is sent, how the device's records
// move the row, the bars and the status line, and how failures end the image.
#include <gtest/gtest.h>

#include <future>

#include "support/debug_lines.h"
#include "engine_test_support.h"

namespace quillon::test {
namespace {

constexpr int kW = 3;    // the worker under test
constexpr int kRow = 7;  // its device's row

// What the fake device received on its connection.
struct Received {
    std::mutex m;
    std::vector<uint8_t> head, data, after;  // after: what came once the device had answered
    bool eof = false;
};

struct Rec {
    uint32_t cmd, value;
};

// A device that takes the header and `data_len` data bytes, answers with `answer`, and then
// reads whatever else arrives until the tool closes the connection.
FakeDevice::Script device_script(Received& got, std::size_t data_len, std::vector<Rec> answer) {
    return [&got, data_len, answer](SocketHandle fd) {
        std::vector<uint8_t> head, data, after;
        if (!read_exact(fd, kImageHeaderSize, head)) return;
        if (!read_exact(fd, data_len, data)) return;
        for (auto r : answer) send_record(fd, r.cmd, r.value);
        const bool eof = read_to_eof(fd, after);
        std::lock_guard l(got.m);
        got.head = std::move(head);
        got.data = std::move(data);
        got.after = std::move(after);
        got.eof = eof;
    };
}

class EngineExchange : public EngineTest {
protected:
    void SetUp() override {
        engine.set_cur_device(kW, "127.0.0.1", "00:11:22:33:44:55");
        window.selected = kW;
    }
    int run(FakeDevice& dev, int slot, int images_done) {
        engine.m_port = dev.port();
        const int r = engine.process_one("127.0.0.1", slot, kW, kRow, images_done);
        EXPECT_TRUE(wait_until([&] { return dev.finished(); }));
        return r;
    }
};

TEST_F(EngineExchange, SendsHeaderThenDataAndSucceedsOnFinish) {
    const auto data = pattern(300000, 5);
    load({{data}});
    Received got;
    FakeDevice dev(device_script(got, data.size(), {{1, 50}, {2, 100}, {3, 1}}));

    test::DebugLines debug_lines;
    EXPECT_EQ(run(dev, 0, 0), 1);
    const std::string out = debug_lines.take();

    std::lock_guard l(got.m);
    ASSERT_EQ(got.head.size(), kImageHeaderSize);
    EXPECT_EQ(0, std::memcmp(got.head.data(), engine.m_img_head[0].bytes, kImageHeaderSize));
    EXPECT_EQ(got.data, data);
    EXPECT_TRUE(got.after.empty());  // no reboot record when the image does not ask for one
    EXPECT_TRUE(got.eof);            // the tool closed its socket
    EXPECT_FALSE(engine.m_sock[kW].valid());
    EXPECT_EQ(engine.m_sent[kW], data.size());
    EXPECT_EQ(window.column(6),
              (std::vector<std::string>{"connecting", "running", "sending", "burning", "finish"}));
    EXPECT_EQ(window.column(5),
              (std::vector<std::string>{"[B.S]: 25%", "[B.B]: 100%", "[B.F]: 100%"}));
    EXPECT_EQ(lines_of(out).back(), "process_one ret = 1");
    EXPECT_EQ(out.find("send reboot"), std::string::npos);
    // The directed search of the conflict check went to the device's address only.
    ASSERT_EQ(search.calls.size(), 1u);
    EXPECT_EQ(search.calls[0], (std::pair<int, std::string>{0, "127.0.0.1"}));
}

TEST_F(EngineExchange, LengthBelowTheDataSendsOnlyLengthBytesAfterTheWholeTrailer) {
    const auto data = pattern(5000, 9);
    ImageSpec img{data};
    img.length = 1234;
    load({img});
    Received got;
    FakeDevice dev(device_script(got, 1234, {{3, 1}}));
    EXPECT_EQ(run(dev, 0, 0), 1);
    std::lock_guard l(got.m);
    EXPECT_EQ(got.head.size(), kImageHeaderSize);
    EXPECT_EQ(got.data, std::vector<uint8_t>(data.begin(), data.begin() + 1234));
    EXPECT_TRUE(got.after.empty()) << got.after.size() << " bytes beyond the length";
    EXPECT_EQ(engine.m_sent[kW], 1234u);
}

TEST_F(EngineExchange, DevicePercentagesRunThroughTheImagesInEqualShares) {
    load({{pattern(100, 1)}, {pattern(2000, 2)}, {pattern(300, 3)}});
    Received got;
    FakeDevice dev(device_script(got, 2000, {{1, 50}, {2, 50}, {3, 1}}));
    EXPECT_EQ(run(dev, 1, 1), 1);  // second image of three, one already done
    EXPECT_EQ(window.column(5),
              (std::vector<std::string>{"[K.S]: 41%", "[K.B]: 58%", "[K.F]: 66%"}));
    EXPECT_EQ(window.device_bar(), (std::vector<int>{41, 58, 66}));
    EXPECT_EQ(window.image_bar(), (std::vector<int>{50, 50, 100}));
    const auto status = window.status_lines();
    ASSERT_EQ(status.size(), 5u);  // connecting, running, S, B, F
    EXPECT_EQ(status[2], "IP:127.0.0.1  image[kernel] sending [50%]");
    EXPECT_EQ(status[3], "IP:127.0.0.1  image[kernel] burning [50%]");
    EXPECT_EQ(status[4], "IP:127.0.0.1  image[kernel] finish");
    EXPECT_EQ(worker_status_text(engine.status(kW)), status[4]);
    EXPECT_EQ(engine.m_dev_percent[kW], 66);
    EXPECT_EQ(engine.m_img_percent[kW], 100);
}

TEST_F(EngineExchange, OnlyTheSelectedWorkerMovesTheStatusLineAndBars) {
    load({{pattern(100, 1)}, {pattern(200, 2)}});
    window.selected = kW + 1;
    Received got;
    FakeDevice dev(device_script(got, 200, {{1, 100}, {2, 100}, {3, 1}}));
    EXPECT_EQ(run(dev, 1, 1), 1);
    EXPECT_TRUE(window.status_lines().empty());
    EXPECT_TRUE(window.image_bar().empty());
    EXPECT_TRUE(window.device_bar().empty());
    // The row and the worker's own members follow all the same.
    EXPECT_EQ(window.column(5),
              (std::vector<std::string>{"[K.S]: 75%", "[K.B]: 100%", "[K.F]: 100%"}));
    EXPECT_EQ(worker_status_text(engine.status(kW)), "IP:127.0.0.1  image[kernel] finish");
}

TEST_F(EngineExchange, LastImageSendsOneRebootRecord) {
    load({{pattern(1000)}});
    engine.m_need_reboot[kW] = 1;
    Received got;
    FakeDevice dev(device_script(got, 1000, {{1, 100}, {2, 100}, {3, 1}}));
    test::DebugLines debug_lines;
    EXPECT_EQ(run(dev, 0, 0), 1);
    const std::string out = debug_lines.take();
    std::lock_guard l(got.m);
    ASSERT_EQ(got.after.size(), kCmdRecordSize);
    EXPECT_EQ(got.after[0], 4);
    EXPECT_EQ(got.after[1], 0);
    EXPECT_EQ(got.after[2], 0);
    EXPECT_EQ(got.after[3], 0);
    EXPECT_EQ(std::count(got.after.begin() + 4, got.after.end(), 0), long(kCmdRecordSize - 4));
    EXPECT_EQ(count_of(out, "send reboot \n"), 1);
}

TEST_F(EngineExchange, UnknownCommandCodesAreIgnored) {
    load({{pattern(1000)}});
    Received got;
    FakeDevice dev(device_script(got, 1000, {{0, 77}, {4, 77}, {9, 77}, {0xFFFFFFFF, 77}, {3, 1}}));
    EXPECT_EQ(run(dev, 0, 0), 1);
    EXPECT_EQ(window.column(5), (std::vector<std::string>{"[B.F]: 100%"}));
    EXPECT_EQ(window.image_bar(), (std::vector<int>{100}));
}

TEST_F(EngineExchange, FinishWithValueZeroFailsEvenAfterAllData) {
    load({{pattern(1000)}});
    engine.m_need_reboot[kW] = 1;
    Received got;
    FakeDevice dev(device_script(got, 1000, {{1, 30}, {3, 0}}));
    test::DebugLines debug_lines;
    EXPECT_EQ(run(dev, 0, 0), -1);
    const std::string out = debug_lines.take();
    EXPECT_EQ(window.image_bar().back(), 100);
    EXPECT_EQ(window.status_lines().back(), "IP:127.0.0.1  image[boot] finish");
    EXPECT_EQ(window.last(5), "[B.S]: 15%");  // the cells keep their last texts
    EXPECT_EQ(window.last(6), "sending");
    EXPECT_EQ(out.find("send reboot"), std::string::npos);
    EXPECT_EQ(lines_of(out).back(), "process_one ret = -1");
    std::lock_guard l(got.m);
    EXPECT_TRUE(got.after.empty());
}

TEST_F(EngineExchange, PercentagesBeyondAHundredAreHeldAtAHundred) {
    load({{pattern(1000)}});
    Received got;
    FakeDevice dev(device_script(got, 1000, {{1, 0xFFFFFFFF}, {2, 250}, {3, 1}}));
    EXPECT_EQ(run(dev, 0, 0), 1);
    EXPECT_EQ(window.column(5),
              (std::vector<std::string>{"[B.S]: 50%", "[B.B]: 100%", "[B.F]: 100%"}));
    EXPECT_EQ(window.image_bar(), (std::vector<int>{100, 100, 100}));
}

TEST_F(EngineExchange, ADeviceClosingMidImageFailsIt) {
    load({{pattern(8 << 20)}});
    FakeDevice dev([](SocketHandle fd) {
        std::vector<uint8_t> head;
        read_exact(fd, kImageHeaderSize + 1000, head);
    });
    test::DebugLines debug_lines;
    EXPECT_EQ(run(dev, 0, 0), -1);
    const std::string out = debug_lines.take();
    EXPECT_EQ(lines_of(out).back(), "process_one ret = -1");
    EXPECT_FALSE(engine.m_sock[kW].valid());
}

TEST_F(EngineExchange, ASilentDeviceIsLostAfterTheIdleLimit) {
    timing().exchange_idle_limit = 300ms;
    load({{pattern(1000)}});
    Received got;
    FakeDevice dev(device_script(got, 1000, {}));  // takes everything, never answers
    test::DebugLines debug_lines;
    auto r = std::async(std::launch::async, [&] { return run(dev, 0, 0); });
    ASSERT_EQ(r.wait_for(20s), std::future_status::ready) << "the exchange never gave up";
    const std::string out = debug_lines.take();
    EXPECT_EQ(r.get(), -1);
    EXPECT_EQ(window.last(6), "Connection lost");
    EXPECT_EQ(lines_of(out).back(), "process_one ret = -1");
    std::lock_guard l(got.m);
    EXPECT_TRUE(got.eof);  // the socket was closed
}

TEST_F(EngineExchange, ADeviceThatStopsReadingDoesNotHoldTheSenderForEver) {
    timing().exchange_idle_limit = 300ms;
    load({{pattern(32 << 20)}});
    std::atomic<bool> release{false};
    FakeDevice dev(
        [&](SocketHandle fd) {
            std::vector<uint8_t> head;
            read_exact(fd, kImageHeaderSize, head);
            wait_until([&] { return release.load(); }, 30s);  // reads nothing more
        },
        4096);
    engine.m_port = dev.port();
    // A small send buffer makes "writable" mean "less room than one chunk" soon, as on a slow
    // link, so that a blocking send of a whole chunk would hang. The hook runs on the worker's
    // thread right after the connection is made.
    window.on_cell = [&](int, int col, const std::string& text) {
        if (col != 6 || text != "running") return;
        set_buffer_sizes(engine.m_sock[kW].get(), 0, 4096);
    };
    auto r = std::async(std::launch::async,
                        [&] { return engine.process_one("127.0.0.1", 0, kW, kRow, 0); });
    const bool ended = r.wait_for(20s) == std::future_status::ready;
    release = true;
    ASSERT_TRUE(ended) << "the exchange blocked in a send";
    EXPECT_EQ(r.get(), -1);
    EXPECT_EQ(window.last(6), "Connection lost");
    EXPECT_LT(engine.m_sent[kW], uint32_t(32 << 20));
    EXPECT_TRUE(wait_until([&] { return dev.finished(); }));
}

TEST_F(EngineExchange, AnUnloadedSlotFailsWithoutAnyTraffic) {
    load({{pattern(100)}});
    FakeDevice dev([](int) {});
    engine.m_port = dev.port();
    EXPECT_EQ(engine.process_one("127.0.0.1", 2, kW, kRow, 0), -1);
    EXPECT_EQ(engine.process_one("127.0.0.1", 9, kW, kRow, 0), -1);
    EXPECT_TRUE(search.calls.empty());
    EXPECT_EQ(dev.accepted(), 0);
}

TEST_F(EngineExchange, NoConnectionFailsTheImage) {
    load({{pattern(100)}});
    timing().connect_attempts = 2;
    timing().connect_wait = 50ms;
    ClosedPort closed;
    engine.m_port = closed.port();
    test::DebugLines debug_lines;
    EXPECT_EQ(engine.process_one("127.0.0.1", 0, kW, kRow, 0), -1);
    const std::string out = debug_lines.take();
    EXPECT_NE(out.find("connect 127.0.0.1 err !\n"), std::string::npos);
    EXPECT_EQ(window.last(6), "connecting");
    EXPECT_FALSE(engine.m_sock[kW].valid());
}

// ---- record reading, driven byte by byte through a loopback connection ----

class EngineRecords : public EngineTest {
protected:
    void SetUp() override {
        load({{pattern(100)}});
        engine.set_cur_device(kW, "127.0.0.1", "");
        ASSERT_TRUE(connected_pair(engine.m_sock[kW], peer));
    }
    static std::vector<uint8_t> records(std::initializer_list<Rec> recs) {
        std::vector<uint8_t> out;
        for (auto r : recs) {
            uint8_t b[kCmdRecordSize];
            CmdRecord{r.cmd, r.value}.encode(b);
            // The rest of a received record means nothing: fill it with noise.
            for (std::size_t i = 8; i < kCmdRecordSize; ++i) b[i] = uint8_t(i * 7);
            out.insert(out.end(), b, b + kCmdRecordSize);
        }
        return out;
    }
    int feed(const uint8_t* p, std::size_t n) {
        EXPECT_TRUE(write_all(peer.get(), p, n));
        // The bytes are on their way through the loopback; the engine reads without waiting.
        EXPECT_TRUE(wait_ready(engine.m_sock[kW].get(), false, 10s));
        return engine.recv_cmd(kW, 0, kRow, 0);
    }
    Socket peer;
};

TEST_F(EngineRecords, ARecordSplitAtAnyByteIsStillUnderstood) {
    const auto stream = records({{1, 40}, {2, 60}, {3, 1}});
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const std::size_t before = window.column(5).size();
        const int first = feed(stream.data(), cut);
        const int second = feed(stream.data() + cut, stream.size() - cut);
        EXPECT_EQ(first, 0);
        EXPECT_EQ(second, 1);
        const auto col5 = window.column(5);
        ASSERT_EQ(col5.size(), before + 3);
        EXPECT_EQ(col5[before], "[B.S]: 20%");
        EXPECT_EQ(col5[before + 1], "[B.B]: 80%");
        EXPECT_EQ(col5[before + 2], "[B.F]: 100%");
    }
}

TEST_F(EngineRecords, RecordsTrickledInPiecesOfEverySize) {
    const auto stream = records({{1, 10}, {2, 20}, {1, 30}, {3, 1}});
    for (std::size_t piece = 1; piece <= kCmdRecordSize + 1; ++piece) {
        SCOPED_TRACE("pieces of " + std::to_string(piece));
        const std::size_t before = window.column(5).size();
        int rc = 0;
        std::size_t off = 0;
        for (; off < stream.size() && rc == 0; off += piece)
            rc = feed(stream.data() + off, std::min(piece, stream.size() - off));
        EXPECT_EQ(rc, 1);
        EXPECT_GE(off, stream.size());  // the finish is acted on with its last byte, not before
        EXPECT_EQ(window.column(5).size(), before + 4);
    }
}

TEST_F(EngineRecords, SeveralRecordsInOneReadAreAllActedOn) {
    const auto stream = records({{1, 10}, {2, 20}, {1, 30}});
    EXPECT_EQ(feed(stream.data(), stream.size()), 0);
    EXPECT_EQ(window.column(5),
              (std::vector<std::string>{"[B.S]: 5%", "[B.B]: 60%", "[B.S]: 15%"}));
    EXPECT_EQ(window.column(6), (std::vector<std::string>{"sending", "burning", "sending"}));
}

TEST_F(EngineRecords, ReadingStopsAtTheRecordThatEndsTheImage) {
    for (uint32_t result : {1u, 0u}) {
        const std::size_t before = window.column(5).size();
        const auto stream = records({{1, 10}, {3, result}, {1, 90}, {2, 90}});
        EXPECT_EQ(feed(stream.data(), stream.size()), result ? 1 : -1);
        const auto col5 = window.column(5);
        ASSERT_EQ(col5.size(), before + (result ? 2 : 1));
        EXPECT_EQ(col5[before], "[B.S]: 5%");
        // Nothing of what followed the end was acted on.
        EXPECT_EQ(engine.m_img_percent[kW], 100);
        // The remainder is not carried into the next image.
        const auto next = records({{2, 40}});
        EXPECT_EQ(feed(next.data(), next.size()), 0);
        EXPECT_EQ(window.last(5), "[B.B]: 70%");
    }
}

TEST_F(EngineRecords, ClosedConnectionEndsTheImage) {
    const auto half = records({{1, 10}});
    EXPECT_EQ(feed(half.data(), 60), 0);
    peer.reset();
    ASSERT_TRUE(wait_ready(engine.m_sock[kW].get(), false, 10s));  // the close has come
    test::DebugLines debug_lines;
    EXPECT_EQ(engine.recv_cmd(kW, 0, kRow, 0), -1);
    EXPECT_EQ(debug_lines.take(), "recv_cmd ret <= 0 !\n");
    EXPECT_TRUE(window.column(5).empty());
}

}  // namespace
}  // namespace quillon::test
