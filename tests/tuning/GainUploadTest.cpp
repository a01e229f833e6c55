#include "tuning/GainUpload.h"

#include <gtest/gtest.h>

#include <string>

#include "net/NetSocket.h"
#include "net/UploadGate.h"
#include "tests/support/ScriptedAsker.h"
#include "tests/tuning/TuningTestSupport.h"

namespace {

std::string textOf(const GainUploadPacket& packet) {
    return std::string(reinterpret_cast<const char*>(packet.data()));
}

TEST(GainUploadPacket, KnownDatagrams) {
    struct Case {
        int mode;
        double p, i, d;
        const char* text;
        std::uint8_t checksum;
    };
    const Case cases[] = {
        {0, 0.256, 0.0, 0.011, "G 0 0.256000 0.000000 0.011000", 0x80},
        {4, 1.0, 0.5, 0.0, "G 4 1.000000 0.500000 0.000000", 0x7b},
        {2, -0.5, 12.25, 1e-7, "G 2 -0.500000 12.250000 0.000000", 0xdf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto packet = buildGainUploadPacket(c.mode, c.p, c.i, c.d);
        ASSERT_TRUE(packet);
        const std::string text = c.text;
        EXPECT_EQ(textOf(*packet), text);
        for (std::size_t byte = text.size(); byte < kUplinkSize - 1; ++byte)
            ASSERT_EQ((*packet)[byte], 0) << byte;
        EXPECT_EQ((*packet)[kUplinkSize - 1], c.checksum);
    }
}

TEST(GainUploadPacket, TextMustLeaveRoomForItsTerminator) {
    // "%f" of 1e148 is 156 characters, which makes the text exactly 178: the longest that fits.
    const auto longest = buildGainUploadPacket(0, 1e148, 0, 0);
    ASSERT_TRUE(longest);
    EXPECT_EQ(textOf(*longest).size(), 178u);
    EXPECT_EQ((*longest)[178], 0);
    for (const double tooLarge : {1e149, -1e148, 1e170, 1e300}) {
        EXPECT_FALSE(buildGainUploadPacket(0, tooLarge, 0, 0)) << tooLarge;
        EXPECT_FALSE(buildGainUploadPacket(3, 0, 0, tooLarge)) << tooLarge;
    }
}

TEST(SendGainUpload, GoesOnlyThroughTheGateToTheSenderOfTelemetry) {
    RecordingNotifier notifier;
    NetSocket telemetrySocket(notifier);
    ASSERT_EQ(telemetrySocket.startup(), 1);
    ASSERT_EQ(telemetrySocket.create("UDP"), 1);
    ASSERT_EQ(telemetrySocket.bindPort(0), 1);
    TelemetrySenders senders;
    ScriptedAsker asker;
    UploadGate gate(telemetrySocket, senders, asker, notifier, [] { return 0; });
    LoopbackPeer aircraft;

    EXPECT_EQ(sendGainUpload(gate, 0, 0.256, 0, 0.011), GainUploadResult::notSent);
    EXPECT_FALSE(aircraft.receive(50));
    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_EQ(notifier.messages[0], kNoAircraftHeardMessage);

    aircraft.sendTo(boundPort(telemetrySocket.socketHandle()), "telemetry");
    char line[200];
    ASSERT_GT(telemetrySocket.receiveFrom(line, sizeof line), 0);
    ASSERT_TRUE(senders.admit(telemetrySocket.lastSender(), 0));

    EXPECT_EQ(sendGainUpload(gate, 0, 1e170, 0, 0), GainUploadResult::doesNotFit);
    EXPECT_EQ(sendGainUpload(gate, 4, 1, 0.5, 0), GainUploadResult::sent);
    const auto received = aircraft.receive(1000);
    ASSERT_TRUE(received);
    const auto expected = buildGainUploadPacket(4, 1, 0.5, 0);
    ASSERT_TRUE(expected);
    EXPECT_EQ(*received, std::vector<std::uint8_t>(expected->begin(), expected->end()));
    // The refused upload before it sent nothing, and nothing was asked.
    EXPECT_FALSE(aircraft.receive(50));
    EXPECT_EQ(notifier.messages.size(), 1u);
    EXPECT_TRUE(asker.questions.empty());
    telemetrySocket.close();
}

}  // namespace
