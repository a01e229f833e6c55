#include "net/TelemetryReceiver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <optional>
#include <string>
#include <thread>

#include "net/NetSocket.h"
#include "net/TelemetryDecoder.h"
#include "net/UploadGate.h"
#include "tests/net/NetTestSupport.h"
#include "tests/support/ScriptedAsker.h"

namespace {

using Message = std::pair<std::string, std::string>;

const std::string kLine =
    "0.01 -0.02 0.03 0.1 0.2 -9.8 0.05 -0.1 1.57 0 0 0 120.5 18.2 40.123456 -75.654321 130.0 1 2 1";

// A receiver running on its own thread on a loopback port, as the program runs it.
struct RunningReceiver {
    explicit RunningReceiver(int receivePort, bool gatedMessages = false)
        : notifier(gatedMessages), port(receivePort), thread([this] {
              receiver.screenSenders(state.senders, [this] { return clockMs.load(); });
              receiver.run();
              finished.store(true);
          }) {}

    ~RunningReceiver() {
        receiver.requestStop();
        notifier.releaseAll();
        // A blocked receive returns with the next datagram.
        while (!finished.load()) {
            if (receiver.bound()) wake.sendTo(port, "");
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        thread.join();
        socket.close();
    }

    bool send(const std::string& bytes) {
        return sender.sendTo(port, bytes) == static_cast<int>(bytes.size());
    }
    bool waitForLines(std::uint64_t count) {
        return waitUntil([&] { return receiver.decodedLines() >= count; });
    }

    RecordingNotifier notifier;
    int port;
    NetSocket socket{notifier};
    TelemetryState state;
    TelemetryDecoder decoder{state};
    TelemetryReceiver receiver{socket, decoder, port};
    LoopbackUdp sender;
    LoopbackUdp wake;
    std::atomic<std::int32_t> clockMs{0};
    std::atomic<bool> finished{false};
    std::thread thread;  // last: starts once everything above exists
};

TEST(TelemetryReceiver, DecodesEachDatagramFromItsOwnBytesOnly) {
    RunningReceiver running(freeUdpPort());
    ASSERT_TRUE(waitUntil([&] { return running.receiver.bound(); }));
    EXPECT_TRUE(running.notifier.messages().empty());

    ASSERT_TRUE(running.send(kLine));
    ASSERT_TRUE(running.waitForLines(1));
    EXPECT_EQ(running.state.psi, 1.57f);
    EXPECT_EQ(running.state.lon, -75.654321);
    EXPECT_EQ(running.state.ahrsStatus, 2);
    EXPECT_EQ(running.state.newData, 1);
    EXPECT_EQ(running.state.linkAlive, 1);

    // Longer than the receive buffer: refused whole, no flag set, nothing changed.
    running.state.newData = 0;
    running.state.linkAlive = 0;
    std::string tooLong = "9 9 9 9 9 9 9 9 9 9 9 9 9 9 9 9 9 9 9 9";
    tooLong.resize(TelemetryReceiver::kReceiveBufferSize + 1, ' ');
    ASSERT_TRUE(running.send(tooLong));
    ASSERT_TRUE(waitUntil([&] { return running.receiver.refusedReceives() >= 1; }));
    EXPECT_EQ(running.receiver.decodedLines(), 1u);
    EXPECT_EQ(running.state.p, 0.01f);
    EXPECT_EQ(running.state.newData, 0);
    EXPECT_EQ(running.state.linkAlive, 0);

    // Exactly the buffer's size is still a line.
    std::string full = "11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30";
    full.resize(TelemetryReceiver::kReceiveBufferSize, ' ');
    ASSERT_TRUE(running.send(full));
    ASSERT_TRUE(running.waitForLines(2));
    EXPECT_EQ(running.state.ax, 14.0f);

    // A shorter line after it: were the longer line's leftover bytes read too, ax would become 13.
    ASSERT_TRUE(running.send("1 2 3"));
    ASSERT_TRUE(running.waitForLines(3));
    EXPECT_EQ(running.state.p, 1.0f);
    EXPECT_EQ(running.state.r, 3.0f);
    EXPECT_EQ(running.state.ax, 14.0f);

    // The sender of the last line is where replies go.
    ASSERT_EQ(running.socket.replyToSender("G", 1), 1);
    std::string reply;
    ASSERT_TRUE(running.sender.receive(reply));
    EXPECT_EQ(reply, "G");
}

TEST(TelemetryReceiver, RetriesTheBindUntilThePortIsFree) {
    const int port = freeUdpPort();
    const int blocker = holdUdpPort(port);
    ASSERT_GE(blocker, 0);

    RunningReceiver running(port, /*gatedMessages=*/true);
    // Each failed bind shows its message and waits for it to be dismissed; it comes back after the
    // box is closed while the port stays taken.
    ASSERT_TRUE(running.notifier.waitForMessages(1));
    EXPECT_EQ(running.notifier.messages().back(), (Message{"Orvane", "bind() error"}));
    EXPECT_FALSE(running.receiver.bound());
    running.notifier.releaseShown();
    ASSERT_TRUE(running.notifier.waitForMessages(2));
    EXPECT_EQ(running.notifier.messages().back(), (Message{"Orvane", "bind() error"}));

    ::close(blocker);
    running.notifier.releaseShown();
    ASSERT_TRUE(waitUntil([&] { return running.receiver.bound(); }));
    EXPECT_EQ(running.notifier.messages().size(), 2u);

    ASSERT_TRUE(running.send(kLine));
    ASSERT_TRUE(running.waitForLines(1));
    EXPECT_EQ(running.state.cas, 18.2f);
}

TEST(TelemetryReceiver, ReaderThreadSeesWholeValuesWhileLinesArrive) {
    RunningReceiver running(freeUdpPort());
    ASSERT_TRUE(waitUntil([&] { return running.receiver.bound(); }));

    // The user-interface side: reads every field and clears the flags, never waiting.
    std::atomic<bool> done{false};
    std::atomic<int> oddValues{0};
    std::thread reader([&] {
        TelemetryState& s = running.state;
        while (!done.load()) {
            if (s.newData.exchange(0) == 1) {
                const float p = s.p.load();
                const double lat = s.lat.load();
                // Every line carries p = n and lat = n / 2 for some n in 0..999.
                if (p < 0.0f || p > 999.0f || lat < 0.0 || lat > 500.0) oddValues.fetch_add(1);
                (void)s.packetInterval.load();
                (void)s.navStatus.load();
            }
            s.linkAlive.store(0);
        }
    });
    constexpr int kLines = 1000;
    for (int i = 0; i < kLines; ++i) {
        const std::string line = std::to_string(i) + " 0 0 0 0 0 0 0 0 0 0 0 0 0 " + std::to_string(i / 2.0) +
                                 " 0 0 1 2 " + std::to_string(i % 7);
        running.send(line);
        if (i % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Some lines may be dropped by a full socket buffer; the last one is sent until it arrives.
    const std::string last = "999 0 0 0 0 0 0 0 0 0 0 0 0 0 499.5 0 0 1 2 3";
    ASSERT_TRUE(waitUntil([&] {
        running.send(last);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return running.state.navStatus.load() == 3 && running.state.p.load() == 999.0f;
    }));
    done.store(true);
    reader.join();
    EXPECT_EQ(oddValues.load(), 0);
    EXPECT_EQ(running.state.lat, 499.5);
}

}  // namespace

namespace {

bool sameSender(const std::optional<sockaddr_in>& a, const sockaddr_in& b) {
    return a && a->sin_addr.s_addr == b.sin_addr.s_addr && a->sin_port == b.sin_port;
}

// A line whose first field marks who sent it.
std::string lineWithP(int p) {
    return std::to_string(p) + " 0 0 0 0 0 0 0 0 0 0 0 0 0 1 2 3 1 2 1";
}

// Two senders on two loopback addresses, as a second transmitter on the network would be.
struct TwoSenders {
    explicit TwoSenders(RunningReceiver& r) : running(r) {}

    // Sends one line at clock `nowMs` and waits until the receiver has taken or refused it.
    void sendAt(const LoopbackUdp& from, std::int32_t nowMs, const std::string& line) {
        running.clockMs.store(nowMs);
        const std::uint64_t before = running.receiver.decodedLines() + running.receiver.refusedSenders();
        ASSERT_EQ(from.sendTo(running.port, line), static_cast<int>(line.size()));
        ASSERT_TRUE(waitUntil(
            [&] { return running.receiver.decodedLines() + running.receiver.refusedSenders() > before; }));
    }

    RunningReceiver& running;
    const LoopbackUdp aircraft{ipv4("127.0.0.1")};
    const LoopbackUdp other{ipv4("127.0.0.2")};
};

}  // namespace

TEST(TelemetryReceiver, TwoSendersAreToldUntilOneAloneWasHeardForFiveSeconds) {
    RunningReceiver running(freeUdpPort());
    ASSERT_TRUE(waitUntil([&] { return running.receiver.bound(); }));
    TwoSenders senders(running);
    const TelemetrySenders& heard = running.state.senders;
    // The clock wraps between the second and the third line.
    constexpr std::int32_t t0 = INT32_MAX - 2000;
    const auto at = [](std::int32_t offset) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(t0) + static_cast<std::uint32_t>(offset));
    };
    struct Step {
        bool fromOther;
        std::int32_t sentAt;
        std::int32_t lookAt;
        bool several;
    };
    const Step steps[] = {
        {false, 0, 0, false},      {true, 1000, 1000, true},   {false, 3000, 3000, true},
        {false, 5999, 5999, true}, {false, 5999, 6000, false}, {false, 7000, 7000, false},
        {true, 8000, 8000, true},  {false, 8001, 12999, true}, {false, 8002, 13000, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.lookAt);
        senders.sendAt(step.fromOther ? senders.other : senders.aircraft, at(step.sentAt),
                       lineWithP(step.sentAt));
        EXPECT_EQ(heard.severalSenders(at(step.lookAt)), step.several);
        EXPECT_EQ(running.state.p.load(), static_cast<float>(step.sentAt));
    }
    EXPECT_TRUE(sameSender(heard.currentSender(), senders.aircraft.address()));
    EXPECT_EQ(running.receiver.refusedSenders(), 0u);
}

TEST(TelemetryReceiver, OnlyThePinnedAircraftIsDecodedAndAnsweredAndTheOthersAreCounted) {
    RunningReceiver running(freeUdpPort());
    ASSERT_TRUE(waitUntil([&] { return running.receiver.bound(); }));
    TwoSenders senders(running);
    TelemetrySenders& heard = running.state.senders;
    constexpr int kAircraftP = 7, kOtherP = 666;

    // Heard last before the pin, the other sender still cannot be answered once the pin excludes it.
    senders.sendAt(senders.aircraft, 0, lineWithP(kAircraftP));
    senders.sendAt(senders.other, 10, lineWithP(kOtherP));
    ASSERT_TRUE(sameSender(heard.uploadDestination(), senders.other.address()));
    const sockaddr_in aircraftAddress = senders.aircraft.address();
    heard.pin(AircraftAddress{aircraftAddress.sin_addr.s_addr, aircraftAddress.sin_port});
    EXPECT_FALSE(heard.uploadDestination());

    running.state.p = 0;
    for (std::int32_t i = 0; i < 3; ++i) {
        senders.sendAt(senders.other, 20 + i, lineWithP(kOtherP));
        EXPECT_EQ(running.state.p.load(), 0.0f);
    }
    senders.sendAt(senders.aircraft, 30, lineWithP(kAircraftP));
    EXPECT_EQ(running.state.p.load(), static_cast<float>(kAircraftP));
    EXPECT_EQ(running.receiver.refusedSenders(), 3u);
    EXPECT_EQ(heard.refusedDatagrams(), 3u);
    EXPECT_TRUE(sameSender(heard.lastRefused(), senders.other.address()));
    EXPECT_TRUE(sameSender(heard.uploadDestination(), aircraftAddress));
    // The refused lines do not count as a second sender either.
    EXPECT_FALSE(heard.severalSenders(30 + TelemetrySenders::kSeveralSendersWindowMs - 1));

    // An upload goes to the aircraft alone, although the other sent the socket's last datagram.
    senders.sendAt(senders.other, 40, lineWithP(kOtherP));
    ScriptedAsker asker;
    RecordingNotifier interfaceNotifier;
    UploadGate gate(running.socket, heard, asker, interfaceNotifier, [] { return 41; });
    const UplinkDatagram upload = *frameUplinkText("G 0 0.256000 0.000000 0.011000");
    ASSERT_EQ(gate.send({UploadRequest::Kind::gains}, upload), UploadOutcome::sent);
    std::string received;
    ASSERT_TRUE(senders.aircraft.receive(received));
    EXPECT_EQ(received.substr(0, 2), "G ");
    EXPECT_FALSE(senders.other.receive(received, std::chrono::milliseconds(100)));
    // The other's line of 10 ms was taken before the pin, so two senders were heard within the
    // window: the operator is asked, and the question names the aircraft.
    EXPECT_EQ(asker.questions, std::vector<std::string>{sendToQuestion(aircraftAddress)});
}
