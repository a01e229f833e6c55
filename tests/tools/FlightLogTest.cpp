#include "map/GdalSupport.h"
#include "tools/log/FlightLog.h"

#include <gtest/gtest.h>

#include <cpl_conv.h>
#include <gdal.h>

#include <cstdio>
#include <string>
#include <vector>

#include "net/UplinkFrame.h"
#include "tests/record/RecordTestSupport.h"
#include "tools/log/FlightSeries.h"
#include "tools/log/LogReport.h"
#include "tools/log/LogTerrain.h"

namespace {

constexpr std::uint32_t kAircraft = 0x0A000002;  // 10.0.0.2
constexpr std::uint32_t kGround = 0x0A000001;
// 2026-12-08 20:32:47 UTC.
constexpr std::int64_t kStart = 1796761967LL * 1000000;

Bytes uplink(const std::string& text) {
    const auto framed = frameUplinkText(text, kUplinkTextFull);
    return Bytes(framed->begin(), framed->end());
}

FrameToWrite telemetry(std::int64_t at, const std::string& line) {
    return {at, udpPacket(kAircraft, 4000, kGround, 9001, bytesOf(line))};
}

FrameToWrite upload(std::int64_t at, const std::string& text) {
    return {at, udpPacket(kGround, 9001, kAircraft, 4000, uplink(text))};
}

std::string captured(void (*write)(const FlightLog&, std::FILE*), const FlightLog& log) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = ::open_memstream(&text, &size);
    write(log, out);
    std::fclose(out);
    std::string result(text, size);
    std::free(text);
    return result;
}

// Three lines (the third incomplete), a waypoint upload and a gain upload between them.
class ThreeLineFlight : public ::testing::Test {
protected:
    void SetUp() override {
        writeCapture(file(), DLT_RAW,
                     {telemetry(kStart,
                                "0.01 -0.02 0.03 0.1 0.2 -9.8 0.05 -0.1 1.57 0 0 0 120.5 18.2 40.123456 "
                                "-75.654321 130.0 1 2 1"),
                      telemetry(kStart + 20000, "0.5 0 0 0 0 0 0 0 0 0 0 0 100 15 40.2 -75.6 140.25 1 1 1"),
                      upload(kStart + 1000000, "W 2  39.987100 -75.212300  39.986550 -75.210000 "),
                      upload(kStart + 1100000, "G 0 0.256000 0.000000 0.011000"),
                      telemetry(kStart + 1500000, "1 2 3")});
        std::string error;
        ASSERT_TRUE(readFlightLog(file(), kDefaultTelemetryPort, log, error)) << error;
    }
    std::string file() const { return (scratch.path() / "three.pcap").string(); }

    ScratchFolder scratch;
    FlightLog log;
};

TEST_F(ThreeLineFlight, CsvHasOneRowPerLineWithEveryFieldExactly) {
    EXPECT_EQ(
        captured(writeCsv, log),
        "time_s,time_utc,sender,p,q,r,ax,ay,az,phi,theta,psi,aux10,aux11,aux12,palt,cas,lat,lon,alt,"
        "gpsStatus,ahrsStatus,navStatus\n"
        "0.000000,2026-12-08T20:32:47.000000Z,10.0.0.2:4000,0.01,-0.02,0.03,0.1,0.2,-9.8,0.05,-0.1,1.57,0,0,"
        "0,"
        "120.5,18.2,40.123456,-75.654321,130,1,2,1\n"
        "0.020000,2026-12-08T20:32:47.020000Z,10.0.0.2:4000,0.5,0,0,0,0,0,0,0,0,0,0,0,100,15,40.2,-75.6,140."
        "25,"
        "1,1,1\n"
        // Fields the line did not carry keep the values before it, as the ground station held them.
        "1.500000,2026-12-08T20:32:48.500000Z,10.0.0.2:4000,1,2,3,0,0,0,0,0,0,0,0,0,100,15,40.2,-75.6,140.25,"
        "1,1,1\n");
}

// Flat ground at 100 m under the first line only: the second lies north of the file, the third
// carries no position of its own.
TEST_F(ThreeLineFlight, WithElevationCsvAndInfoGiveTheGroundAndTheHeightAboveIt) {
    const std::string tif = (scratch.path() / "ground.tif").string();
    // The program's own drivers: a format it needs and does not register shows here.
    registerGdalDrivers();
    GDALDatasetH dataset =
        GDALCreate(GDALGetDriverByName("GTiff"), tif.c_str(), 20, 20, 1, GDT_Float32, nullptr);
    ASSERT_NE(dataset, nullptr);
    double transform[6] = {-75.7, 0.01, 0, 40.15, 0, -0.01};
    GDALSetGeoTransform(dataset, transform);
    GDALSetProjection(dataset,
                      "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],"
                      "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]]");
    std::vector<float> posts(400, 100.0f);
    ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(dataset, 1), GF_Write, 0, 0, 20, 20, posts.data(), 20, 20,
                           GDT_Float32, 0, 0),
              CE_None);
    GDALClose(dataset);
    std::vector<std::string> messages;
    addGround(log, {tif}, [&](const std::string& message) { messages.push_back(message); });
    EXPECT_TRUE(messages.empty());
    const std::string csv = captured(writeCsv, log);
    EXPECT_NE(csv.find("gpsStatus,ahrsStatus,navStatus,ground,agl\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("130,1,2,1,100,30\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("140.25,1,1,1,,\n"), std::string::npos) << csv;
    const std::string info = captured(writeInfo, log);
    EXPECT_NE(info.find("least height above ground 30.0 m at 40.12346 -75.65432, at 20:32:47"),
              std::string::npos)
        << info;
}

TEST(FlightLog, CommandsWithoutElevationKeepTheirColumns) {
    FlightLog log;
    EXPECT_EQ(captured(writeCsv, log).find("ground"), std::string::npos);
    EXPECT_EQ(captured(writeInfo, log).find("above ground"), std::string::npos);
}

TEST_F(ThreeLineFlight, GpxHasTheRouteAndTheTrackWithTimesAndHeights) {
    EXPECT_EQ(captured(writeGpx, log),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<gpx version=\"1.1\" creator=\"orvane-log\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
              "  <rte>\n"
              "    <name>Waypoint upload 1</name>\n"
              "    <desc>sent 2026-12-08T20:32:48.000000Z to 10.0.0.2:4000</desc>\n"
              "    <rtept lat=\"39.9871\" lon=\"-75.2123\"><name>1</name></rtept>\n"
              "    <rtept lat=\"39.98655\" lon=\"-75.21\"><name>2</name></rtept>\n"
              "  </rte>\n"
              "  <trk>\n"
              "    <name>three.pcap</name>\n"
              "    <trkseg>\n"
              "      <trkpt lat=\"40.123456\" lon=\"-75.654321\"><ele>130</ele>"
              "<time>2026-12-08T20:32:47.000000Z</time></trkpt>\n"
              "      <trkpt lat=\"40.2\" "
              "lon=\"-75.6\"><ele>140.25</ele><time>2026-12-08T20:32:47.020000Z</time></trkpt>\n"
              "    </trkseg>\n"
              "  </trk>\n"
              "</gpx>\n");
}

TEST_F(ThreeLineFlight, InfoTellsCountsGapsUploadsAndExtremes) {
    const std::string info = captured(writeInfo, log);
    for (const char* expected : {
             "start                    2026-12-08 20:32:47.000 UTC",
             "end                      2026-12-08 20:32:48.500 UTC",
             "duration                 0 h 00 min 01.5 s (1.5 s)",
             "link up                  0 h 00 min 01.0 s (1.0 s)",
             "clock steps              none\n",
             "aircraft                 10.0.0.2\n",
             "datagrams received       3\n",
             "lines decoded            3 (1 with fewer than twenty fields)",
             "link gaps over 1 s       1\n  20:32:47.020 UTC (+0.020000 s) for 1.480 s",
             "uploads                  2\n",
             "to 10.0.0.2:4000: 2 waypoints\n    1: 39.987100 -75.212300\n    2: 39.986550 -75.210000\n",
             "gains for mode 0 (Pitch Stabilization): P 0.256 I 0 D 0.011",
             "highest altitude         140.25 at 20:32:47.020 UTC",
             "highest airspeed         18.2 at 20:32:47.000 UTC",
             "distance flown           9.677 km",
             "last position heard      40.200000 -75.600000, altitude 140.25",
             "drops                    unknown",
         }) {
        EXPECT_NE(info.find(expected), std::string::npos) << "missing: " << expected << "\nin:\n" << info;
    }
}

TEST(FlightLog, DurationsAreRoundedOnceThenSplit) {
    const struct {
        std::int64_t micros;
        const char* text;
    } cases[] = {
        {0, "0 h 00 min 00.0 s (0.0 s)"},
        {119960000, "0 h 02 min 00.0 s (120.0 s)"},
        {59940000, "0 h 00 min 59.9 s (59.9 s)"},
        {3599950000, "1 h 00 min 00.0 s (3600.0 s)"},
        {37230449999, "10 h 20 min 30.4 s (37230.4 s)"},
    };
    for (const auto& c : cases) EXPECT_EQ(durationText(c.micros), c.text) << c.micros;
}

std::string readInfo(const std::string& file, FlightLog& log) {
    std::string error;
    EXPECT_TRUE(readFlightLog(file, kDefaultTelemetryPort, log, error)) << error;
    return captured(writeInfo, log);
}

// Thirty seconds at ten lines a second, the clock set back an hour at 15 s: the flight is counted
// as flown, in record order, and its curves run forward over those thirty seconds.
TEST(FlightLog, ClockSetBackDuringTheFlightCountsTheFlightAsFlown) {
    ScratchFolder scratch;
    const std::string file = (scratch.path() / "stepped.pcap").string();
    std::vector<FrameToWrite> frames;
    for (int i = 0; i < 300; ++i) {
        char line[120];
        std::snprintf(line, sizeof line, "0 0 0 0 0 0 0 0 0 0 0 0 100 18 40.%06d -75.5 %d 1 1 1", i, 100 + i);
        frames.push_back(telemetry(kStart + i * 100000LL - (i >= 150 ? 3600000000LL : 0), line));
    }
    writeCapture(file, DLT_RAW, frames);
    FlightLog log;
    const std::string info = readInfo(file, log);
    for (const char* expected :
         {"duration                 0 h 00 min 29.8 s (29.8 s)",
          "link up                  0 h 00 min 29.8 s (29.8 s)", "clock steps              1 back, 0 forward",
          "  +14.900001 s: the clock went back 3599.900000 s",
          "line rate                median 10, min 10 lines/s", "link gaps over 1 s       0\n",
          "highest altitude         399 at 19:33:16.900 UTC (+29.800001 s)"}) {
        EXPECT_NE(info.find(expected), std::string::npos) << "missing: " << expected << "\nin:\n" << info;
    }
    const FlightSummary summary = summarizeFlight(log);
    const auto forward = [](const std::vector<PlotPoint>& points) {
        for (std::size_t i = 1; i < points.size(); ++i) {
            if (points[i].x < points[i - 1].x || points[i].x < 0 || points[i].x > 30) return false;
        }
        return !points.empty();
    };
    EXPECT_TRUE(forward(seriesAgainstTime(
        log, [](const LoggedLine& l) { return double{l.values.alt}; }, 17)));
    const std::vector<PlotPoint> rate = lineRateSeries(log, summary);
    EXPECT_TRUE(forward(rate));
    EXPECT_EQ(rate.size(), 29u);
    std::string csv = captured(writeCsv, log);
    EXPECT_NE(csv.find("\n14.900001,2026-12-08T19:33:02.000000Z,"), std::string::npos) << csv.substr(0, 600);
}

// A few hundred bytes whose records lie at the two ends of the file format's clock: nothing is
// allocated for the span between them, and the jump is told, not flown.
TEST(FlightLog, RecordsAtTheEndsOfTheClockAreSummedUpAndPlottedInTheirOwnSize) {
    ScratchFolder scratch;
    const std::string file = (scratch.path() / "hostile.pcap").string();
    const std::string line = "0 0 0 0 0 0 0 0 0 0 0 0 100 18 40.1 -75.5 130 1 1 1";
    writeCapture(file, DLT_RAW,
                 {telemetry(0, line), telemetry(4294967295LL * 1000000, line), telemetry(5, line)});
    FlightLog log;
    const std::string info = readInfo(file, log);
    for (const char* expected :
         {"duration                 0 h 00 min 00.0 s (0.0 s)", "clock steps              1 back, 1 forward",
          "  +0.000001 s: the clock went forward 4294967295.000000 s"}) {
        EXPECT_NE(info.find(expected), std::string::npos) << "missing: " << expected << "\nin:\n" << info;
    }
    const FlightSummary summary = summarizeFlight(log);
    EXPECT_LE(summary.lineSeconds.size(), log.lines.size());
    EXPECT_LE(lineRateSeries(log, summary).size(), 3 * log.lines.size());
}

TEST(FlightLog, RefusedDatagramsDropsAndOtherTrafficAreCounted) {
    ScratchFolder scratch;
    const std::string file = (scratch.path() / "mixed.pcap").string();
    Bytes tcp = udpPacket(kAircraft, 4000, kGround, 80, bytesOf("x"));
    tcp[9] = 6;
    char note[80];
    const std::size_t noteLength = formatRecorderNote({3, 9}, note, sizeof note);
    Bytes oversizeCut = udpPacket(kAircraft, 4000, kGround, 9001, Bytes(250, '1'));
    oversizeCut.resize(kRecorderSnapLength);
    writeCapture(file, DLT_RAW,
                 {telemetry(kStart, ""),
                  {kStart + 1, oversizeCut, static_cast<std::uint32_t>(kIpv4UdpHeaderLength + 250)},
                  {kStart + 2, tcp},
                  {kStart + 3, udpPacket(kAircraft, 4000, kGround, 5800, bytesOf("cockpit"))},
                  {kStart + 4, udpPacket(loopbackHost(), kRecorderNotePort, loopbackHost(), kRecorderNotePort,
                                         Bytes(note, note + noteLength))}});
    FlightLog log;
    std::string error;
    ASSERT_TRUE(readFlightLog(file, kDefaultTelemetryPort, log, error)) << error;
    EXPECT_EQ(log.datagramsReceived, 2u);
    EXPECT_EQ(log.refusedEmpty, 1u);
    EXPECT_EQ(log.refusedOversize, 1u);
    EXPECT_EQ(log.otherRecords, 2u);
    EXPECT_EQ(log.drops, std::optional<std::uint64_t>(3));
    EXPECT_TRUE(log.lines.empty());

    // With another telemetry port, the cockpit datagram is the telemetry.
    ASSERT_TRUE(readFlightLog(file, 5800, log, error));
    EXPECT_EQ(log.datagramsReceived, 1u);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].fields, 0);
}

// A recording whose notes pin the aircraft halfway: another sender's lines count before the pin,
// as the live program took them, and are refused after it.
TEST(FlightLog, OnlyThePinnedAircraftsLinesAreTakenWhileTheNotesPinIt) {
    ScratchFolder scratch;
    const std::string file = (scratch.path() / "pinned.pcap").string();
    const auto note = [](std::int64_t at, std::optional<AircraftAddress> aircraft) {
        RecorderNote pin;
        pin.aircraftKnown = true;
        pin.aircraft = aircraft;
        char text[120];
        const std::size_t length = formatRecorderNote(pin, text, sizeof text);
        return FrameToWrite{at, udpPacket(loopbackHost(), kRecorderNotePort, loopbackHost(),
                                          kRecorderNotePort, Bytes(text, text + length))};
    };
    const auto stranger = [](std::int64_t at) {
        return FrameToWrite{at, udpPacket(0x0A000009, 4000, kGround, 9001, bytesOf("1 2 3"))};
    };
    writeCapture(file, DLT_RAW,
                 {note(kStart, std::nullopt), telemetry(kStart + 1, "1"), stranger(kStart + 2),
                  note(kStart + 3, AircraftAddress{htonl(kAircraft), 0}), telemetry(kStart + 4, "2"),
                  stranger(kStart + 5), stranger(kStart + 6), telemetry(kStart + 7, "3")});
    FlightLog log;
    std::string error;
    ASSERT_TRUE(readFlightLog(file, kDefaultTelemetryPort, log, error)) << error;
    EXPECT_EQ(log.lines.size(), 4u);
    EXPECT_EQ(log.refusedOtherSender, 2u);
    EXPECT_EQ(summarizeFlight(log).aircraftAddress, kAircraft);
}

}  // namespace
