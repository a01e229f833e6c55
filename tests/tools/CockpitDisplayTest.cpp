// The cockpit display program's parts: packet decoding, the receiving socket and the painting.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "tools/cockpit/CockpitPacket.h"
#include "tools/cockpit/CockpitReceiver.h"
#include "tools/cockpit/FlightDisplayPainter.h"

namespace {

constexpr std::size_t kPacketSize = 696;

// A feed packet laid out by hand, independently of the ground station's encoder.
struct HandPacket {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kPacketSize, 0);
    HandPacket& set(std::size_t offset, double value) {
        std::memcpy(bytes.data() + offset, &value, sizeof value);  // the test host is little-endian
        return *this;
    }
};

HandPacket samplePacket() {
    HandPacket packet;
    packet.set(16, 39.988141).set(24, -75.21188);
    packet.set(40, 5.73).set(48, -11.46).set(56, 57.3);
    packet.set(64, 150).set(72, 150).set(80, 20).set(88, 20);
    packet.set(120, 0.573).set(128, 1.5).set(136, -2.865);
    return packet;
}

}  // namespace

TEST(CockpitPacketDecoder, DecodesEveryFieldItShows) {
    const HandPacket packet = samplePacket();
    const auto reading = decodeCockpitPacket(packet.bytes.data(), packet.bytes.size());
    ASSERT_TRUE(reading.has_value());
    EXPECT_EQ(39.988141, reading->latitude);
    EXPECT_EQ(-75.21188, reading->longitude);
    EXPECT_EQ(5.73, reading->pitch);
    EXPECT_EQ(-11.46, reading->roll);
    EXPECT_EQ(57.3, reading->heading);
    EXPECT_EQ(150.0, reading->altitude);
    EXPECT_EQ(20.0, reading->airspeed);
    EXPECT_EQ(0.573, reading->rollRate);
    EXPECT_EQ(1.5, reading->pitchRate);
    EXPECT_EQ(-2.865, reading->yawRate);
}

TEST(CockpitPacketDecoder, RefusesWrongLengthsAndNumbersThatAreNotFinite) {
    const HandPacket valid = samplePacket();
    std::vector<std::uint8_t> longer = valid.bytes;
    longer.resize(2000, 0);
    for (std::size_t length :
         {std::size_t{0}, std::size_t{8}, kPacketSize - 1, kPacketSize + 1, std::size_t{2000}})
        EXPECT_FALSE(decodeCockpitPacket(longer.data(), length).has_value()) << "length " << length;
    EXPECT_FALSE(decodeCockpitPacket(nullptr, kPacketSize).has_value());

    struct Case {
        std::size_t offset;
        double value;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const Case& bad :
         {Case{40, nan}, Case{48, inf}, Case{56, -inf}, Case{64, nan}, Case{80, inf}, Case{136, nan}}) {
        HandPacket packet = samplePacket();
        packet.set(bad.offset, bad.value);
        EXPECT_FALSE(decodeCockpitPacket(packet.bytes.data(), kPacketSize).has_value())
            << "offset " << bad.offset;
    }
}

class CockpitReceiverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(receiver_.open(0)) << receiver_.error();
        sender_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(sender_, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(receiver_.boundPort());
        ASSERT_EQ(0, ::connect(sender_, reinterpret_cast<sockaddr*>(&to), sizeof to));
    }
    void TearDown() override {
        if (sender_ >= 0) ::close(sender_);
    }
    void send(const std::vector<std::uint8_t>& datagram) {
        ASSERT_EQ(static_cast<ssize_t>(datagram.size()),
                  ::send(sender_, datagram.data(), datagram.size(), 0));
    }

    CockpitReceiver receiver_;
    int sender_ = -1;
};

TEST_F(CockpitReceiverTest, KeepsTheNewestGoodPacketAndCountsTheRefused) {
    send(samplePacket().set(40, 3.0).bytes);
    send(std::vector<std::uint8_t>(kPacketSize - 1, 0));
    // Longer than the receive buffer: must be refused whole, not taken as its first 696 bytes.
    std::vector<std::uint8_t> oversized = samplePacket().set(40, 66.0).bytes;
    oversized.resize(4000, 0xEE);
    send(oversized);
    send(std::vector<std::uint8_t>(kPacketSize + 1, 0));
    send(samplePacket().set(48, std::numeric_limits<double>::quiet_NaN()).bytes);
    send(samplePacket().set(40, 7.0).bytes);

    EXPECT_EQ(2, receiver_.drain());
    EXPECT_EQ(2, receiver_.acceptedCount());
    EXPECT_EQ(4, receiver_.refusedCount());
    ASSERT_TRUE(receiver_.latest().has_value());
    EXPECT_EQ(7.0, receiver_.latest()->pitch);
    EXPECT_EQ(0, receiver_.drain());
}

TEST_F(CockpitReceiverTest, DrainsAFloodInBoundedSteps) {
    const int sent = CockpitReceiver::kMaxDatagramsPerDrain + 2;
    for (int i = 0; i < sent; ++i) send(samplePacket().set(56, i).bytes);
    EXPECT_EQ(CockpitReceiver::kMaxDatagramsPerDrain, receiver_.drain());
    EXPECT_EQ(2, receiver_.drain());
    ASSERT_TRUE(receiver_.latest().has_value());
    EXPECT_EQ(sent - 1, receiver_.latest()->heading);
}

namespace {

QImage render(const FlightDisplayFrame& frame, QSize size = {800, 600}) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    paintFlightDisplay(painter, size, frame);
    painter.end();
    return image;
}

FlightDisplayFrame liveFrame(double pitch, double roll) {
    FlightDisplayFrame frame;
    CockpitReading reading;
    reading.pitch = pitch;
    reading.roll = roll;
    frame.reading = reading;
    frame.dataCurrent = true;
    return frame;
}

QRgb rgb(const QColor& color) {
    return color.rgb();
}

}  // namespace

TEST(FlightDisplayPainter, HorizonFollowsPitchAndRoll) {
    // The attitude window is centred at (400, 270) of an 800 x 600 picture; the sample points lie
    // 160 pixels right of the centre, clear of the ladder, the bank scale and the aircraft symbol.
    struct Case {
        double pitch;
        double roll;
        int y;
        bool sky;
    };
    const Case cases[] = {
        {0, 0, 250, true},    {0, 0, 290, false},
        {10, 0, 300, true},   {-10, 0, 240, false},  // nose up moves the horizon down
        {0, 30, 220, false},  {0, -30, 320, true},   // right bank raises the horizon on the right
        {0, 390, 220, false},                        // a full turn more is the same bank
    };
    for (const Case& c : cases) {
        const QImage image = render(liveFrame(c.pitch, c.roll));
        EXPECT_EQ(rgb(c.sky ? flight_display::kSky : flight_display::kGround), image.pixel(560, c.y))
            << "pitch " << c.pitch << " roll " << c.roll << " y " << c.y;
    }
}

TEST(FlightDisplayPainter, ShowsNoDataBeforeTheFirstPacketAndWhenStale) {
    FlightDisplayFrame never;
    FlightDisplayFrame stale = liveFrame(0, 0);
    stale.dataCurrent = false;
    for (const FlightDisplayFrame* frame : {&never, &stale}) {
        const QImage image = render(*frame);
        EXPECT_EQ(rgb(flight_display::kNoDataBackground), image.pixel(560, 250));
        int warningPixels = 0;
        for (int y = 220; y < 320; ++y)
            for (int x = 260; x < 540; ++x)
                warningPixels += image.pixel(x, y) == rgb(flight_display::kWarning);
        EXPECT_GT(warningPixels, 800) << "no prominent NO DATA banner";
    }
}

TEST(FlightDisplayPainter, ScalesIntoAnyWindowAndSurvivesAbsurdValues) {
    FlightDisplayFrame wild = liveFrame(1e300, -1e300);
    wild.reading->heading = 1e300;
    wild.reading->altitude = 1e300;
    wild.reading->airspeed = -1e300;
    wild.reading->yawRate = 1e300;
    for (QSize size : {QSize(1600, 1200), QSize(1, 1), QSize(3000, 200)}) render(wild, size);

    // Doubling the window doubles the picture: the horizon sample moves with it.
    const QImage large = render(liveFrame(0, 30), QSize(1600, 1200));
    EXPECT_EQ(rgb(flight_display::kGround), large.pixel(1120, 440));
    EXPECT_EQ(rgb(flight_display::kSky), large.pixel(1120, 300));
}

int main(int argc, char** argv) {
    // Fonts need a platform; the offscreen one needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
