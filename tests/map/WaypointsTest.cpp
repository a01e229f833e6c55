#include "map/Waypoints.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "net/NetSocket.h"
#include "net/UploadGate.h"
#include "tests/net/NetTestSupport.h"
#include "tests/support/ScriptedAsker.h"
#include "view/SceneCamera.h"

namespace {

MapGeometry shippedMapGeometry() {
    MapGeometry geometry;
    initMapGeometry(geometry, 989, 826);
    return geometry;
}

void addWaypoint(Waypoints& waypoints, double lat, double lon) {
    const auto i = static_cast<std::size_t>(waypoints.waypointCount++);
    waypoints.waypointLat[i] = lat;
    waypoints.waypointLon[i] = lon;
}

std::string datagramText(const UplinkDatagram& datagram) {
    return std::string(reinterpret_cast<const char*>(datagram.data()),
                       strnlen(reinterpret_cast<const char*>(datagram.data()), kUplinkSize - 1));
}

// A double-click on client pixel (x, y) of a window of the reference frame's size, unzoomed.
void doubleClickAt(Waypoints& waypoints, const MapGeometry& geometry, int x, int y,
                   const DoubleClickActions& actions) {
    const auto at = toDoubleClickPosition(x, y, kReferenceWidth, kReferenceHeight);
    ASSERT_TRUE(at.has_value());
    dispatchDoubleClick(waypoints, geometry, MapWindow{}, *at, actions);
}

// Counts what a double-click asked of the view.
struct ActionLog {
    int uploads = 0, mapDialogs = 0, beeps = 0;
    DoubleClickActions actions() {
        return {[this] { ++uploads; }, [this] { ++mapDialogs; }, [this] { ++beeps; }};
    }
};

TEST(WaypointUploadDatagram, HoldsTheTextZerosAndChecksum) {
    struct Case {
        const char* name;
        std::vector<std::pair<double, double>> route;
        std::string text;
        int checksum;  // -1: not checked beyond the sum itself
    };
    const std::string eightFull = [] {
        std::string text = "W 8";
        for (int i = 0; i < 8; ++i) text += " 99.999999 -99.999999 ";
        return text;
    }();
    const Case cases[] = {
        {"empty list", {}, "W 0", 167},
        {"two waypoints",
         {{39.9871, -75.2123}, {39.98655, -75.21}},
         "W 2 39.987100 -75.212300  39.986550 -75.210000 ",
         240},
        // The widest coordinates that still print in ten characters fill bytes 0..178 exactly.
        {"eight widest", std::vector<std::pair<double, double>>(8, {99.999999, -99.999999}), eightFull, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Waypoints waypoints;
        for (const auto& [lat, lon] : c.route) addWaypoint(waypoints, lat, lon);
        const auto datagram = buildWaypointUploadDatagram(waypoints, waypoints.waypointCount);
        ASSERT_TRUE(datagram.has_value());
        EXPECT_EQ(datagramText(*datagram), c.text);
        for (std::size_t i = c.text.size(); i < kUplinkSize - 1; ++i) EXPECT_EQ((*datagram)[i], 0) << i;
        unsigned sum = 0;
        for (std::size_t i = 0; i < kUplinkSize - 1; ++i) sum += (*datagram)[i];
        EXPECT_EQ((*datagram)[kUplinkSize - 1], sum % 256);
        if (c.checksum >= 0) {
            EXPECT_EQ((*datagram)[kUplinkSize - 1], c.checksum);
        }
    }
    EXPECT_EQ(eightFull.size(), 179u);
}

TEST(WaypointUploadDatagram, RefusesCoordinatesThatDoNotFitTheirTenCharacters) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto& [lat, lon] : std::vector<std::pair<double, double>>{
             {39.98, -100.5}, {1000.0, -75.2}, {39.98, -1e300}, {nan, -75.2}, {39.98, inf}}) {
        SCOPED_TRACE(testing::Message() << lat << ", " << lon);
        Waypoints waypoints;
        addWaypoint(waypoints, 39.9871, -75.2123);
        addWaypoint(waypoints, lat, lon);
        EXPECT_FALSE(buildWaypointUploadDatagram(waypoints, 2).has_value());
        // A bad waypoint beyond the ones sent does not matter.
        EXPECT_TRUE(buildWaypointUploadDatagram(waypoints, 1).has_value());
    }
}

TEST(WaypointLabels, FormatLatitudeAndLongitudeWhole) {
    // Two blanks, then the number right-aligned in ten places.
    EXPECT_EQ(formatWaypointLatLabel(1, 39.9871), "[1]:    39.98710N");
    EXPECT_EQ(formatWaypointLonLabel(-75.2123), "       -75.21230W");
    EXPECT_EQ(formatWaypointLatLabel(100, -5.5), "[100]:    -5.50000N");
    // Far wider than a fixed 28-byte label: printed whole, never past a buffer.
    const std::string huge = formatWaypointLonLabel(-1e300);
    EXPECT_EQ(huge.size(), 6u + 1 + 301 + 6 + 1);
    EXPECT_EQ(huge.substr(0, 8), "      -1");
    EXPECT_EQ(huge.substr(huge.size() - 7), ".00000W");
}

TEST(DoubleClick, ScalesTheClientPositionIntoTheReferenceFrame) {
    struct Case {
        double x, y;
        int width, height;
        bool placed;
        int referenceX, referenceY;
    };
    const Case cases[] = {
        {300, 270, 512, 336, true, 600, 540},
        // Truncated, not rounded: 0.999 x 2 = 1.998.
        {0.999, 0.999, 512, 336, true, 1, 1},
        {10, 10, 0, 672, false, 0, 0},
        {10, 10, 1024, -5, false, 0, 0},
        {1e300, 10, 1024, 672, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " in " << c.width << "x" << c.height);
        const auto at = toReferenceFrame(c.x, c.y, c.width, c.height, 1024, 672);
        ASSERT_EQ(at.has_value(), c.placed);
        if (!at) continue;
        EXPECT_EQ(at->x, c.referenceX);
        EXPECT_EQ(at->y, c.referenceY);
    }
}

TEST(DoubleClick, HitsButtonsAndTheMapBoxAtTheirEdges) {
    enum Effect { nothing, upload, loadMap, clear, added };
    struct Case {
        int x, y;
        Effect effect;
    };
    // The map is hit where it is drawn: its edges fall inside pixels 23 and 661 across and 106 and
    // 640 down, and a pixel counts when its centre lies on the map.
    const Case cases[] = {
        {24, 107, added},    {661, 640, added},   {23, 107, nothing},  {24, 106, nothing},
        {662, 300, nothing}, {300, 641, nothing}, {678, 520, upload},  {812, 560, upload},
        {677, 540, nothing}, {813, 540, nothing}, {700, 519, nothing}, {700, 561, nothing},
        {678, 573, loadMap}, {812, 616, loadMap}, {700, 572, nothing}, {700, 617, nothing},
        {824, 518, clear},   {959, 560, clear},   {823, 540, nothing}, {960, 540, nothing},
        {900, 517, nothing}, {900, 561, nothing},
    };
    const MapGeometry geometry = shippedMapGeometry();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "reference " << c.x << "," << c.y);
        Waypoints waypoints;
        addWaypoint(waypoints, 39.9871, -75.2123);
        waypoints.routeShown = 1;
        ActionLog log;
        doubleClickAt(waypoints, geometry, c.x, c.y, log.actions());
        EXPECT_EQ(log.uploads, c.effect == upload ? 1 : 0);
        EXPECT_EQ(log.mapDialogs, c.effect == loadMap ? 1 : 0);
        EXPECT_EQ(log.beeps, c.effect == upload || c.effect == loadMap || c.effect == clear ? 1 : 0);
        EXPECT_EQ(waypoints.uploadPressed, c.effect == upload ? 1 : 0);
        EXPECT_EQ(waypoints.loadMapPressed, c.effect == loadMap ? 1 : 0);
        EXPECT_EQ(waypoints.clearPressed, c.effect == clear ? 1 : 0);
        EXPECT_EQ(waypoints.waypointCount, c.effect == clear ? 0 : c.effect == added ? 2 : 1);
        EXPECT_EQ(waypoints.routeShown, c.effect == clear ? 0 : 1);
    }
}

TEST(DoubleClick, PlacesWaypointsOnTheMapUntilTheListIsFull) {
    const MapGeometry geometry = shippedMapGeometry();
    Waypoints waypoints;
    ActionLog log;
    doubleClickAt(waypoints, geometry, 24, 107, log.actions());
    doubleClickAt(waypoints, geometry, 661, 640, log.actions());
    ASSERT_EQ(waypoints.waypointCount, 2);
    // Within the pixel at the map's corners: half a pixel is 0.0055 scene units across and down,
    // which the corner scales turn into degrees.
    const double pixel = 0.011;
    EXPECT_NEAR(waypoints.waypointSceneX[0], geometry.mapLeft, pixel);
    EXPECT_NEAR(waypoints.waypointSceneY[0], geometry.mapTop, pixel);
    EXPECT_NEAR(waypoints.waypointLat[0], geometry.upperLeftLat, pixel * std::fabs(geometry.latPerUnit));
    EXPECT_NEAR(waypoints.waypointLon[0], geometry.upperLeftLon, pixel * geometry.lonPerUnit);
    EXPECT_NEAR(waypoints.waypointSceneX[1], geometry.mapRight, pixel);
    EXPECT_NEAR(waypoints.waypointSceneY[1], geometry.mapBottom, pixel);
    EXPECT_NEAR(waypoints.waypointLat[1], geometry.lowerRightLat, pixel * std::fabs(geometry.latPerUnit));
    EXPECT_NEAR(waypoints.waypointLon[1], geometry.lowerRightLon, pixel * geometry.lonPerUnit);
    // The position and the coordinates of a waypoint agree.
    for (std::size_t i = 0; i < 2; ++i) {
        const auto back = geoToScene(geometry, waypoints.waypointLat[i], waypoints.waypointLon[i]);
        ASSERT_TRUE(back);
        EXPECT_NEAR(back->x, waypoints.waypointSceneX[i], 1e-9);
        EXPECT_NEAR(back->y, waypoints.waypointSceneY[i], 1e-9);
    }
    EXPECT_EQ(log.beeps, 0);

    while (waypoints.waypointCount < kWaypointCapacity)
        doubleClickAt(waypoints, geometry, 300, 300, log.actions());
    const Waypoints full = waypoints;
    doubleClickAt(waypoints, geometry, 400, 400, log.actions());
    EXPECT_EQ(waypoints.waypointCount, kWaypointCapacity);
    EXPECT_EQ(waypoints.waypointLat, full.waypointLat);
    EXPECT_EQ(log.beeps, 1);
}

// The telemetry socket on an ephemeral loopback port and an aircraft that may have spoken to it.
class WaypointUploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(socket.create("UDP"), 1);
        ASSERT_EQ(socket.bindPort(0), 1);
        sockaddr_in local{};
        socklen_t length = sizeof local;
        ASSERT_EQ(::getsockname(socket.socketHandle(), reinterpret_cast<sockaddr*>(&local), &length), 0);
        port = ntohs(local.sin_port);
    }
    void TearDown() override { socket.close(); }

    // One telemetry datagram from the aircraft, so that replies have a destination.
    void hearAircraft() {
        ASSERT_GT(aircraft.sendTo(port, "telemetry"), 0);
        char buffer[64];
        ASSERT_GT(socket.receiveFrom(buffer, sizeof buffer), 0);
        ASSERT_TRUE(senders.admit(socket.lastSender(), 0));
    }

    RecordingNotifier notifier;
    NetSocket socket{notifier};
    int port = 0;
    LoopbackUdp aircraft;
    Waypoints waypoints;
    TelemetrySenders senders;
    ScriptedAsker asker;
    UploadGate gate{socket, senders, asker, notifier, [] { return 0; }};
};

TEST_F(WaypointUploadTest, AsksBeforeCuttingTheListAndSendsTheFirstEightOnlyOnSend) {
    for (int i = 0; i < 10; ++i) addWaypoint(waypoints, 39.98 + i * 0.001, -75.21 - i * 0.001);
    const auto expected = buildWaypointUploadDatagram(waypoints, 8);
    ASSERT_TRUE(expected.has_value());
    hearAircraft();

    // Cancel: nothing goes out and the list keeps all ten.
    asker.answers = {false};
    uploadWaypoints(waypoints, gate, notifier);
    std::string received;
    EXPECT_FALSE(aircraft.receive(received, std::chrono::milliseconds(100)));
    EXPECT_EQ(waypoints.waypointCount, 10);
    EXPECT_EQ(waypoints.routeShown, 0);

    uploadWaypoints(waypoints, gate, notifier);
    ASSERT_TRUE(aircraft.receive(received));
    EXPECT_EQ(received, std::string(expected->begin(), expected->end()));
    EXPECT_EQ(received.substr(0, 3), "W 8");
    EXPECT_EQ(waypoints.waypointCount, 8);
    EXPECT_EQ(waypoints.routeShown, 1);
    EXPECT_TRUE(notifier.messages().empty());
    const std::string cut =
        "Only the first eight of the 10 waypoints are sent, and the other 2 are taken off "
        "the list. Send the first eight?";
    EXPECT_EQ(asker.questions, (std::vector<std::string>{cut, cut}));

    // Eight or fewer: nothing to ask.
    uploadWaypoints(waypoints, gate, notifier);
    EXPECT_TRUE(aircraft.receive(received));
    EXPECT_EQ(asker.questions.size(), 2u);
}

TEST_F(WaypointUploadTest, SendsNothingAndSaysWhyWhenItCannot) {
    struct Case {
        const char* name;
        bool heard;
        double lon;
        const char* message;
    };
    const Case cases[] = {
        {"before any telemetry", false, -75.21, kNoAircraftHeardMessage},
        {"longitude too wide", true, -100.5, kWaypointsDoNotFitMessage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.heard && !senders.currentSender()) hearAircraft();
        waypoints = Waypoints{};
        for (int i = 0; i < 10; ++i) addWaypoint(waypoints, 39.98, i == 4 ? c.lon : -75.21);
        const std::size_t shownBefore = notifier.messages().size();

        uploadWaypoints(waypoints, gate, notifier);

        std::string received;
        EXPECT_FALSE(aircraft.receive(received, std::chrono::milliseconds(200)));
        EXPECT_EQ(waypoints.waypointCount, 10);
        EXPECT_EQ(waypoints.routeShown, 0);
        const auto messages = notifier.messages();
        ASSERT_EQ(messages.size(), shownBefore + 1);
        EXPECT_EQ(messages.back().first, "Orvane");
        EXPECT_EQ(messages.back().second, c.message);
    }
}

}  // namespace
