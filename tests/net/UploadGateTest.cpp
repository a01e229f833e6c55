#include "net/UploadGate.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>

#include "net/NetSocket.h"
#include "tests/net/NetTestSupport.h"
#include "tests/support/ScriptedAsker.h"

namespace {

// The ground station's telemetry socket and two aircraft on two loopback addresses; the gate with
// a clock and answers set by the test.
class UploadGateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ground.create("UDP"), 1);
        ASSERT_EQ(ground.bindPort(0), 1);
        sockaddr_in local{};
        socklen_t length = sizeof local;
        ASSERT_EQ(::getsockname(ground.socketHandle(), reinterpret_cast<sockaddr*>(&local), &length), 0);
        port = ntohs(local.sin_port);
    }
    void TearDown() override { ground.close(); }

    // One telemetry line from `aircraft`, put to the receiver's senders at `atMs`; whether it was taken.
    bool hear(const LoopbackUdp& aircraft, std::int32_t atMs) {
        char buffer[64];
        return aircraft.sendTo(port, "telemetry") > 0 && ground.receiveFrom(buffer, sizeof buffer) > 0 &&
               senders.admit(ground.lastSender(), atMs);
    }
    UploadOutcome upload() { return gate.send({UploadRequest::Kind::gains}, datagram); }
    static bool receives(const LoopbackUdp& aircraft) {
        std::string received;
        return aircraft.receive(received, std::chrono::milliseconds(100)) && received.size() == kUplinkSize;
    }

    RecordingNotifier notifier;
    NetSocket ground{notifier};
    int port = 0;
    TelemetrySenders senders;
    ScriptedAsker asker;
    std::int32_t nowMs = 0;
    UploadGate gate{ground, senders, asker, notifier, [this] { return nowMs; }};
    const UplinkDatagram datagram = *frameUplinkText("G 1 0.326000 0.040000 0.023000");
    const LoopbackUdp aircraftA{ipv4("127.0.0.1")};
    const LoopbackUdp aircraftB{ipv4("127.0.0.2")};
};

TEST_F(UploadGateTest, AChangedDestinationIsConfirmedAndSendReachesTheShownAddressOnly) {
    ASSERT_TRUE(hear(aircraftA, 0));
    // The first upload of the run, and another to the same aircraft: nothing to ask.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(upload(), UploadOutcome::sent);
        EXPECT_TRUE(receives(aircraftA));
    }
    EXPECT_TRUE(asker.questions.empty());

    ASSERT_TRUE(hear(aircraftB, 10));
    const std::string toB = "Send to the aircraft at " + formatSender(aircraftB.address()) + "?";
    asker.answers = {false};
    EXPECT_EQ(upload(), UploadOutcome::cancelled);
    EXPECT_FALSE(receives(aircraftA));
    EXPECT_FALSE(receives(aircraftB));

    // While the question is open A is heard again: Send still goes where the question said.
    asker.whileAsking = [&] { EXPECT_TRUE(hear(aircraftA, 20)); };
    EXPECT_EQ(upload(), UploadOutcome::sent);
    asker.whileAsking = nullptr;
    EXPECT_TRUE(receives(aircraftB));
    EXPECT_FALSE(receives(aircraftA));
    EXPECT_EQ(asker.questions, (std::vector<std::string>{toB, toB}));

    // B is now the destination to compare with: going back to A is a change too.
    EXPECT_EQ(upload(), UploadOutcome::sent);
    EXPECT_TRUE(receives(aircraftA));
    EXPECT_EQ(asker.questions.back(), "Send to the aircraft at " + formatSender(aircraftA.address()) + "?");
    EXPECT_TRUE(notifier.messages().empty());
}

TEST_F(UploadGateTest, WhileTwoSendersAreHeardEveryUploadNamesItsDestinationFirst) {
    ASSERT_TRUE(hear(aircraftA, 0));
    ASSERT_TRUE(hear(aircraftB, 100));
    const std::string toB = "Send to the aircraft at " + formatSender(aircraftB.address()) + "?";
    // The first upload of the run, then the same destination again, gains and waypoints alike.
    struct Case {
        UploadRequest request;
        bool answer;
    };
    const Case cases[] = {
        {{UploadRequest::Kind::gains}, false},
        {{UploadRequest::Kind::gains}, true},
        {{UploadRequest::Kind::waypoints, 3}, true},
        {{UploadRequest::Kind::gains}, true},
    };
    for (const Case& c : cases) {
        nowMs += 100;
        asker.questions.clear();
        asker.answers = {c.answer};
        EXPECT_EQ(gate.send(c.request, datagram), c.answer ? UploadOutcome::sent : UploadOutcome::cancelled);
        EXPECT_EQ(receives(aircraftB), c.answer);
        EXPECT_EQ(asker.questions, std::vector<std::string>{toB});
    }
    // Once A has been quiet for the window, an upload to B goes without a question.
    ASSERT_TRUE(hear(aircraftB, 5050));
    nowMs = 5100;
    asker.questions.clear();
    EXPECT_EQ(upload(), UploadOutcome::sent);
    EXPECT_TRUE(receives(aircraftB));
    EXPECT_TRUE(asker.questions.empty());
}

TEST_F(UploadGateTest, AnUploadAfterMoreThanThreeSecondsWithoutTelemetryIsConfirmed) {
    // The clock wraps between the line and the uploads.
    constexpr std::int32_t heardAt = INT32_MAX - 500;
    ASSERT_TRUE(hear(aircraftA, heardAt));
    struct Case {
        std::int32_t silenceMs;
        const char* question;  // nothing asked when null
        bool answer;
    };
    const Case cases[] = {
        {3000, nullptr, true},
        {3001, "No telemetry for 3 s: the aircraft may not receive this. Send anyway?", false},
        {9999, "No telemetry for 9 s: the aircraft may not receive this. Send anyway?", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.silenceMs);
        nowMs = static_cast<std::int32_t>(static_cast<std::uint32_t>(heardAt) +
                                          static_cast<std::uint32_t>(c.silenceMs));
        asker.questions.clear();
        asker.answers = {c.answer};
        const bool sent = !c.question || c.answer;
        EXPECT_EQ(upload(), sent ? UploadOutcome::sent : UploadOutcome::cancelled);
        EXPECT_EQ(receives(aircraftA), sent);
        EXPECT_EQ(asker.questions,
                  c.question ? std::vector<std::string>{c.question} : std::vector<std::string>{});
    }
}

TEST_F(UploadGateTest, NothingIsSentOrAskedWithoutADestination) {
    struct Case {
        const char* name;
        std::optional<AircraftAddress> pin;
        bool heardA;
        std::string message;
    };
    const Case cases[] = {
        {"nothing heard", std::nullopt, false, kNoAircraftHeardMessage},
        {"pinned aircraft not heard", AircraftAddress{ipv4("127.0.0.2"), 0}, true,
         "No telemetry has come from the aircraft's address 127.0.0.2 yet, so there is nowhere to send the "
         "upload. Nothing was sent."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        senders.pin(c.pin);
        if (c.heardA) {
            EXPECT_FALSE(hear(aircraftA, 0)) << "refused by the pin";
        }
        const std::size_t shown = notifier.messages().size();
        EXPECT_EQ(upload(), UploadOutcome::refused);
        EXPECT_FALSE(receives(aircraftA));
        EXPECT_FALSE(receives(aircraftB));
        ASSERT_EQ(notifier.messages().size(), shown + 1);
        EXPECT_EQ(notifier.messages().back().second, c.message);
    }
    EXPECT_TRUE(asker.questions.empty());
    EXPECT_FALSE(gate.lastDestination());
}

}  // namespace
