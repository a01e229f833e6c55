#include "record/FlightReplay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "net/SenderAddress.h"
#include "net/TelemetryValues.h"
#include "net/UplinkFrame.h"
#include "record/CaptureFormat.h"
#include "record/CapturedDatagram.h"
#include "record/ReplayClock.h"
#include "tests/record/RecordTestSupport.h"
#include "tests/record/RecordedReceiver.h"

namespace {

constexpr std::uint32_t kAircraft = 0x7F000001;
constexpr std::uint16_t kAircraftPort = 14550;
constexpr std::uint16_t kTelemetryPort = 9001;
constexpr std::int64_t kStart = 1796751167000000;  // 2026-12-08 20:52:47 UTC
constexpr std::int64_t kSecond = 1000000;

std::string lineText(int i) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "%d 0.02 0.03 0.1 0.2 -9.8 0.05 -0.1 %g 0 0 0 %d 18.5 39.98%04d -75.21%04d %d 1 2 1", i,
                  0.001 * i, 100 + i, i % 10000, i % 10000, 130 + i);
    return text;
}

FrameToWrite telemetryFrame(std::int64_t time, const std::string& text) {
    return {time, udpPacket(kAircraft, kAircraftPort, kAircraft, kTelemetryPort, bytesOf(text))};
}

FrameToWrite waypointFrame(std::int64_t time, const std::string& text) {
    const auto framed = frameUplinkText(text, kUplinkTextFull);
    return {time, udpPacket(kAircraft, kTelemetryPort, kAircraft, kAircraftPort,
                            Bytes(framed->begin(), framed->end()))};
}

// A minute at fifty lines a second with a three-second gap at 30 s, a waypoint upload at 10 s and
// another at 40 s, an empty datagram and a short line.
struct SyntheticFlight {
    std::vector<FrameToWrite> frames;
    std::vector<std::int64_t> lineTimes;
    SyntheticFlight() {
        for (int i = 0; i < 3000; ++i) {
            const std::int64_t time = kStart + i * 20000 + (i >= 1500 ? 3 * kSecond : 0);
            frames.push_back(telemetryFrame(time, i == 700 ? std::string("7 8 9") : lineText(i)));
            lineTimes.push_back(time);
            if (i == 500)
                frames.push_back(waypointFrame(time, "W 2  39.987100 -75.212300  39.986550 -75.210000 "));
            if (i == 2000) frames.push_back(waypointFrame(time, "W 1  39.900000 -75.200000 "));
            if (i == 900) frames.push_back(telemetryFrame(time, ""));
        }
    }
};

class FlightReplayFile : public ::testing::Test {
protected:
    void SetUp() override {
        writeCapture(path, DLT_RAW, flight.frames);
        std::string error;
        ASSERT_TRUE(replay.open(path, error)) << error;
    }
    ScratchFolder scratch;
    std::filesystem::path path = scratch.path() / "flight.pcap";
    SyntheticFlight flight;
    FlightReplay replay;
};

TEST_F(FlightReplayFile, SeekToEveryTenthSecondLandsOnTheLastLineAtOrBeforeIt) {
    ASSERT_EQ(replay.lines().size(), flight.lineTimes.size());
    EXPECT_EQ(replay.startMicros(), kStart);
    EXPECT_EQ(replay.endMicros(), flight.lineTimes.back());
    std::size_t expected = 0;
    for (std::int64_t at = kStart; at <= replay.endMicros(); at += kSecond / 10) {
        while (expected + 1 < flight.lineTimes.size() && flight.lineTimes[expected + 1] <= at) ++expected;
        const ReplayState state = replay.stateAt(at);
        ASSERT_NE(state.line, nullptr) << at;
        ASSERT_EQ(state.lineIndex, expected) << "at " << (at - kStart) << " us";
        EXPECT_EQ(state.line->timeMicros, flight.lineTimes[expected]);
        const bool inGap = at - flight.lineTimes[expected] >= kSecond;
        EXPECT_EQ(state.linkUp, !inGap) << "at " << (at - kStart) << " us";
    }
    EXPECT_EQ(replay.stateAt(kStart - 1).line, nullptr);
    EXPECT_FALSE(replay.stateAt(kStart - 1).linkUp);
}

TEST_F(FlightReplayFile, StateHoldsEveryFieldTheRateAndTheRouteOfItsMoment) {
    const ReplayState at500 = replay.stateAt(flight.lineTimes[500]);
    EXPECT_FLOAT_EQ(at500.line->values.p, 500);
    EXPECT_DOUBLE_EQ(at500.line->values.lat, 39.980500);
    EXPECT_DOUBLE_EQ(at500.line->values.lon, -75.210500);
    EXPECT_FLOAT_EQ(at500.line->values.alt, 630);
    EXPECT_EQ(at500.line->values.ahrsStatus, 2);
    // The upload was recorded in the same microsecond as line 500, after it: in record order it
    // comes just after that line.
    EXPECT_EQ(at500.route, nullptr);
    const ReplayState at501 = replay.stateAt(flight.lineTimes[501]);
    ASSERT_NE(at501.route, nullptr) << "the upload went out with line 500";
    ASSERT_EQ(at501.route->waypoints.size(), 2u);
    EXPECT_DOUBLE_EQ(at501.route->waypoints[1].lon, -75.21);
    EXPECT_EQ(replay.stateAt(flight.lineTimes[2001]).route->waypoints.size(), 1u);

    // A short line changes its three fields; the others keep line 699's values.
    const TelemetryValues& shortLine = replay.stateAt(flight.lineTimes[700]).line->values;
    EXPECT_FLOAT_EQ(shortLine.p, 7);
    EXPECT_FLOAT_EQ(shortLine.r, 9);
    EXPECT_FLOAT_EQ(shortLine.palt, 799);
    EXPECT_DOUBLE_EQ(shortLine.lat, 39.980699);

    // The rate as the receiver measured it: every eleventh line, over the eleven intervals before.
    EXPECT_EQ(replay.lines()[9].packetInterval, 0);
    EXPECT_NEAR(replay.lines()[21].packetInterval, 0.020, 1e-9);
    EXPECT_NEAR(replay.lines()[32].packetInterval, 0.020, 1e-9);
    EXPECT_NEAR(replay.lines()[31].packetInterval, 0.020, 1e-9);
    // The measurement across the gap shows it, as it did live.
    const std::size_t acrossGap = 1506;  // the first measurement after line 1500
    EXPECT_NEAR(replay.lines()[acrossGap].packetInterval, (10 * 0.020 + 3.020) / 11, 1e-9);
}

// Appends the records of `frames` to a capture file, the last one only up to `cutLast` bytes short.
void appendRecords(const std::filesystem::path& to, const std::vector<FrameToWrite>& frames,
                   std::size_t cutLast) {
    const std::filesystem::path piece = to.string() + ".piece";
    writeCapture(piece, DLT_RAW, frames);
    std::ifstream in(piece, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream out(to, std::ios::binary | std::ios::app);
    out << bytes.substr(CaptureReader::kFileHeaderLength,
                        bytes.size() - CaptureReader::kFileHeaderLength - cutLast);
}

TEST_F(FlightReplayFile, TheLastFixIsTheLastLineWithAGpsPositionAtOrBeforeTheMoment) {
    const auto& lines = replay.lines();
    EXPECT_EQ(replay.stateAt(kStart - 1).lastFix, nullptr);
    // The short line 700 carries no position: the fix stays the line before it.
    struct Case {
        std::int64_t at;
        std::size_t fixLine;
        bool linkUp;
    };
    const Case cases[] = {{flight.lineTimes[0], 0, true},
                          {flight.lineTimes[700], 699, true},
                          {flight.lineTimes[701], 701, true},
                          // two seconds into the three-second gap
                          {flight.lineTimes[1499] + 2 * kSecond, 1499, false}};
    for (const Case& c : cases) {
        const ReplayState state = replay.stateAt(c.at);
        ASSERT_NE(state.lastFix, nullptr) << c.fixLine;
        EXPECT_EQ(state.lastFix, &lines[c.fixLine]);
        EXPECT_EQ(state.linkUp, c.linkUp);
    }
}

TEST_F(FlightReplayFile, FileStillBeingWrittenIsFollowedUpToItsLastFlushedRecord) {
    const std::int64_t next = flight.lineTimes.back() + 20000;
    EXPECT_FALSE(replay.follow());
    appendRecords(path, {telemetryFrame(next, lineText(3000)), telemetryFrame(next + 20000, lineText(3001))},
                  10);
    EXPECT_TRUE(replay.follow());
    EXPECT_EQ(replay.lines().size(), 3001u) << "the half-written record waits";
    EXPECT_EQ(replay.endMicros(), next);
    EXPECT_TRUE(replay.problem().empty());
    // The writer flushes the rest of it.
    std::string whole;
    {
        const std::filesystem::path piece = path.string() + ".piece";
        std::ifstream in(piece, std::ios::binary);
        whole.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::ofstream(path, std::ios::binary | std::ios::app) << whole.substr(whole.size() - 10);
    EXPECT_TRUE(replay.follow());
    ASSERT_EQ(replay.lines().size(), 3002u);
    EXPECT_FLOAT_EQ(replay.lines().back().values.p, 3001);
}

// Thirty seconds at ten lines a second; at 10 s the clock was set back an hour (a time sync), and
// two lines came in one microsecond.
TEST(FlightReplay, EveryLineOfAFlightWhoseClockSteppedBackHasAMomentOfItsOwn) {
    ScratchFolder scratch;
    const std::filesystem::path path = scratch.path() / "stepped.pcap";
    std::vector<FrameToWrite> frames;
    std::vector<std::int64_t> recorded;
    for (int i = 0; i < 300; ++i) {
        const std::int64_t at =
            kStart + i * 100000 - (i >= 100 ? 3600 * kSecond : 0) - (i == 51 ? 100000 : 0);
        frames.push_back(telemetryFrame(at, lineText(i)));
        recorded.push_back(at);
    }
    writeCapture(path, DLT_RAW, frames);
    FlightReplay replay;
    std::string error;
    ASSERT_TRUE(replay.open(path, error)) << error;
    ASSERT_EQ(replay.lines().size(), 300u);
    // The tenth of a second across the step is not known: the flight goes on from its last line.
    EXPECT_EQ(replay.endMicros() - replay.startMicros(), 29800000 + 1);
    for (std::size_t i = 0; i < replay.lines().size(); ++i) {
        SCOPED_TRACE(i);
        const ReplayLine& line = replay.lines()[i];
        // A seek to its moment shows it, so one line on or back from it is the next or the one before.
        EXPECT_EQ(replay.stateAt(line.timeMicros).lineIndex, i);
        EXPECT_FLOAT_EQ(line.values.p, static_cast<float>(i));
        EXPECT_EQ(line.recordedMicros, recorded[i]) << "the live view's clock";
    }
}

// A capture of the link made by tcpdump on Linux's "any" device, with someone else's traffic in it.
TEST(FlightReplay, ReplaysACaptureOfAnotherToolTakingOnlyTheLink) {
    ScratchFolder scratch;
    const Bytes cooked = {0, 0, 3, 4, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0x08, 0x00};
    auto withCookedHeader = [&](const FrameToWrite& frame) {
        Bytes bytes = cooked;
        bytes.insert(bytes.end(), frame.frame.begin(), frame.frame.end());
        return FrameToWrite{frame.timeMicros, bytes};
    };
    const std::filesystem::path path = scratch.path() / "any.pcap";
    writeCapture(
        path, DLT_LINUX_SLL,
        {withCookedHeader(telemetryFrame(kStart, lineText(1))),
         withCookedHeader({kStart + 10000, udpPacket(kAircraft, 5353, kAircraft, 5353, bytesOf("mdns"))}),
         withCookedHeader(waypointFrame(kStart + 20000, "W 1  39.900000 -75.200000 ")),
         withCookedHeader(telemetryFrame(kStart + 30000, lineText(2)))});
    FlightReplay replay;
    std::string error;
    ASSERT_TRUE(replay.open(path, error)) << error;
    ASSERT_EQ(replay.lines().size(), 2u);
    EXPECT_FLOAT_EQ(replay.lines()[1].values.p, 2);
    ASSERT_EQ(replay.routes().size(), 1u);
    EXPECT_EQ(replay.stateAt(kStart + 25000).lineIndex, 0u);
    EXPECT_EQ(replay.stateAt(kStart + 25000).route, &replay.routes()[0]);
}

TEST_F(FlightReplayFile, DamagedRecordEndsTheIndexThereAndSaysWhy) {
    // A record header claiming more than any packet: nothing after it can be framed.
    std::string header(16, '\0');
    header[8] = '\x01';
    header[10] = '\x10';  // captured length 0x100001
    std::ofstream(path, std::ios::binary | std::ios::app) << header;
    appendRecords(path, {telemetryFrame(flight.lineTimes.back() + 20000, lineText(3000))}, 0);
    EXPECT_FALSE(replay.follow());
    EXPECT_EQ(replay.lines().size(), 3000u);
    EXPECT_NE(replay.problem().find(path.string()), std::string::npos) << replay.problem();
    EXPECT_FALSE(replay.follow()) << "nothing more is read after the damage";
}

TEST(FlightReplay, RefusesFilesItCannotReplayWithAMessageNamingThem) {
    ScratchFolder scratch;
    const std::filesystem::path text = scratch.path() / "notes.txt";
    std::ofstream(text) << "this is not a capture file at all";
    const std::filesystem::path uploadsOnly = scratch.path() / "uploads.pcap";
    writeCapture(uploadsOnly, DLT_RAW, {waypointFrame(kStart, "W 0")});
    for (const auto& path : {text, uploadsOnly, scratch.path() / "missing.pcap"}) {
        FlightReplay replay;
        std::string error;
        EXPECT_FALSE(replay.open(path, error));
        EXPECT_NE(error.find(path.string()), std::string::npos) << error;
    }
}

// The live receiver with the recorder, then the replay of what it recorded: line by line the
// replay at 1x shows the state the live decoder held, on the port the recording names, and none of
// the lines the live screen refused once the aircraft's address was pinned.
TEST(FlightReplay, ReplayAtNormalSpeedShowsTheStatesTheLiveDecoderHeld) {
    ScratchFolder scratch;
    std::vector<TelemetryValues> live;
    std::vector<bool> liveSeveral;
    std::filesystem::path file;
    std::uint64_t refusedLive = 0;
    {
        RecordedReceiver rig(scratch.path());
        LoopbackUdp intruder;
        ASSERT_TRUE(waitUntil([&] { return rig.receiver.bound(); }));
        for (int i = 0; i < 40; ++i) {
            if (i == 25) {
                rig.state.senders.pin(AircraftAddress{
                    htonl(INADDR_LOOPBACK), htons(static_cast<std::uint16_t>(rig.aircraft.port()))});
            }
            rig.send(i == 13 ? std::string("1 2 3 4 5") : i == 20 ? std::string(230, '5') : lineText(i));
            if (i == 17) rig.send("");
            auto took = [&] {
                live.push_back(snapshotTelemetry(rig.state));
                liveSeveral.push_back(rig.state.senders.severalSenders(programClockMs()));
            };
            if (i != 20) took();
            // Another sender on the link: taken before the pin, refused after it.
            if (i % 5 == 3) {
                rig.send(lineText(900 + i), &intruder);
                if (i < 25) took();
            }
        }
        rig.recorder.drain();
        file = rig.recorder.currentFile();
        refusedLive = rig.state.senders.refusedDatagrams();
    }
    ASSERT_EQ(refusedLive, 3u);
    ASSERT_TRUE(liveSeveral.back());
    // The rig's telemetry port is a free one, not the 9001 the replay would take without the note.
    FlightReplay replay;
    std::string error;
    ASSERT_TRUE(replay.open(file, error)) << error;
    EXPECT_NE(replay.port(), kTelemetryPort);
    EXPECT_EQ(recordedTelemetryPort(file), replay.port());
    ASSERT_EQ(replay.lines().size(), live.size());
    EXPECT_EQ(replay.stateAt(replay.endMicros()).refusals.count, refusedLive);

    std::int64_t wall = 0;
    ReplayClock clock(replay.startMicros(), replay.endMicros(), [&] { return wall; });
    clock.play();
    for (std::size_t i = 0; i < live.size(); ++i) {
        wall = replay.lines()[i].timeMicros - replay.startMicros();
        const ReplayState state = replay.stateAt(clock.position());
        ASSERT_NE(state.line, nullptr);
        EXPECT_EQ(state.line->values, live[i]) << "line " << i;
        EXPECT_EQ(state.severalSenders, liveSeveral[i]) << "line " << i;
    }
}

FrameToWrite noteFrame(std::int64_t time, const RecorderNote& note) {
    char text[200];
    const std::size_t length = formatRecorderNote(note, text, sizeof text);
    return {time, udpPacket(loopbackHost(), kRecorderNotePort, loopbackHost(), kRecorderNotePort,
                            Bytes(text, text + length))};
}

// A recording on port 9100 whose notes pin the aircraft at 3 s: another sender's lines are
// replayed before the pin (with the two-senders warning) and counted as refused after it.
constexpr std::uint16_t kPort = 9100;

TEST(FlightReplay, AdmitsOnlyWhatTheLiveScreenAdmittedAndCountsTheRest) {
    constexpr std::uint32_t kIntruder = 0x0A000009;
    auto line = [](std::uint32_t from, std::int64_t time, int p, std::uint16_t to = kPort) {
        return FrameToWrite{time, udpPacket(from, kAircraftPort, kAircraft, to, bytesOf(lineText(p)))};
    };
    RecorderNote any;
    any.port = kPort;
    any.aircraftKnown = true;
    RecorderNote pinned = any;
    pinned.aircraft = AircraftAddress{htonl(kAircraft), htons(kAircraftPort)};
    std::vector<FrameToWrite> frames{noteFrame(kStart, any)};
    for (int i = 1; i <= 70; ++i) {
        const std::int64_t time = kStart + i * kSecond / 10;
        if (i == 30) frames.push_back(noteFrame(time, pinned));
        frames.push_back(line(kAircraft, time, i));
        if (i == 5 || i == 6 || i == 35 || i == 36 || i == 37)
            frames.push_back(line(kIntruder, time + kSecond / 20, 900 + i));
        if (i == 10) frames.push_back(line(kAircraft, time + 1, 800, kTelemetryPort));  // not the link
    }
    ScratchFolder scratch;
    const std::filesystem::path path = scratch.path() / "pinned.pcap";
    writeCapture(path, DLT_RAW, frames);
    FlightReplay replay;
    std::string error;
    ASSERT_TRUE(replay.open(path, error)) << error;
    EXPECT_EQ(replay.port(), kPort);
    EXPECT_EQ(recordedTelemetryPort(path), kPort);
    ASSERT_EQ(replay.lines().size(), 72u) << "70 of the aircraft and 2 of the other sender before the pin";

    struct Moment {
        double second;
        float p;  // of the line shown
        bool severalSenders;
        std::uint64_t refused;
    };
    for (const Moment m : {Moment{0.58, 905, true, 0}, Moment{0.7, 7, true, 0}, Moment{3.54, 35, true, 0},
                           Moment{3.56, 35, true, 1}, Moment{3.8, 38, true, 3}, Moment{5.6, 56, true, 3},
                           Moment{5.7, 57, false, 3}}) {
        SCOPED_TRACE(m.second);
        const ReplayState state = replay.stateAt(kStart + static_cast<std::int64_t>(m.second * kSecond));
        ASSERT_NE(state.line, nullptr);
        EXPECT_EQ(state.line->values.p, m.p);
        EXPECT_EQ(state.severalSenders, m.severalSenders);
        EXPECT_EQ(state.refusals.count, m.refused);
        if (m.refused > 0) {
            EXPECT_EQ(unpackSender(state.refusals.lastRefused).sin_addr.s_addr, htonl(kIntruder));
        }
    }

    // A recording of an older recorder says neither: every sender is taken, on the given port.
    const std::filesystem::path old = scratch.path() / "old.pcap";
    writeCapture(old, DLT_RAW,
                 {noteFrame(kStart, RecorderNote{0, 0}), line(kAircraft, kStart + 1, 1, kTelemetryPort),
                  line(kIntruder, kStart + 2, 2, kTelemetryPort)});
    FlightReplay older;
    ASSERT_TRUE(older.open(old, error)) << error;
    EXPECT_EQ(older.lines().size(), 2u);
    EXPECT_FALSE(recordedTelemetryPort(old).has_value());
}

// A recording of endless uploads is indexed up to a bound, as endless lines are, and says so.
TEST(FlightReplay, UploadsAreBoundedLikeTheLines) {
    std::vector<FrameToWrite> frames{telemetryFrame(kStart, lineText(1))};
    for (std::size_t i = 0; i <= FlightReplay::kMaxRoutes; ++i) {
        frames.push_back(waypointFrame(kStart + 1 + static_cast<std::int64_t>(i),
                                       "W 2  39.987100 -75.212300  39.986550 -75.210000 "));
    }
    frames.push_back(telemetryFrame(kStart + 10 * kSecond, lineText(2)));
    ScratchFolder scratch;
    const std::filesystem::path path = scratch.path() / "uploads.pcap";
    writeCapture(path, DLT_RAW, frames);
    FlightReplay replay;
    std::string error;
    ASSERT_TRUE(replay.open(path, error)) << error;
    EXPECT_EQ(replay.routes().size(), FlightReplay::kMaxRoutes);
    EXPECT_EQ(replay.lines().size(), 1u) << "nothing after the bound is read";
    EXPECT_NE(replay.problem().find(path.string() + ": only the first 100000 waypoint uploads are replayed"),
              std::string::npos)
        << replay.problem();
    EXPECT_FALSE(replay.follow());
}

TEST(ReplayClock, KeepsTheAskedSpeedExactlyOverAMinuteOfTicks) {
    struct Case {
        int step;
        double speed;
    };
    for (const Case c : {Case{11, 0.25}, Case{13, 1}, Case{19, 64}}) {
        SCOPED_TRACE(c.speed);
        std::int64_t wall = 5 * kSecond;
        ReplayClock clock(kStart, kStart + 7200 * kSecond, [&] { return wall; });
        clock.setSpeedStep(c.step);
        EXPECT_EQ(clock.speed(), c.speed);
        clock.play();
        std::int64_t previous = clock.position();
        for (int tick = 0; tick < 600; ++tick) {
            wall += 100000 + (tick % 3) * 7;  // a timer that is never quite on time
            const std::int64_t now = clock.position();
            EXPECT_GE(now, previous);
            previous = now;
        }
        const double expected = static_cast<double>(wall - 5 * kSecond) * c.speed;
        EXPECT_NEAR(static_cast<double>(clock.position() - kStart), expected, 1.0);
    }
}

TEST(ReplayClock, PausesSeeksStepsSpeedsAndStopsAtTheEnds) {
    std::int64_t wall = 0;
    ReplayClock clock(kStart, kStart + 100 * kSecond, [&] { return wall; });
    EXPECT_FALSE(clock.playing());
    clock.play();
    wall += 10 * kSecond;
    clock.pause();
    wall += 50 * kSecond;
    EXPECT_EQ(clock.position(), kStart + 10 * kSecond) << "paused, the wall clock runs on";
    clock.seek(kStart + 95 * kSecond);
    clock.setSpeedStep(16);  // 8x
    clock.play();
    wall += kSecond;
    EXPECT_EQ(clock.position(), kStart + 100 * kSecond);
    EXPECT_FALSE(clock.playing()) << "the end pauses";

    // Backward from the end, down to the start.
    while (clock.slower()) {
    }
    EXPECT_EQ(clock.speed(), -64);
    clock.setSpeedStep(3);  // -8x
    clock.play();
    wall += 5 * kSecond;
    EXPECT_EQ(clock.position(), kStart + 60 * kSecond);
    wall += 10 * kSecond;
    EXPECT_EQ(clock.position(), kStart);
    EXPECT_FALSE(clock.playing());

    // + and - step through every speed once and stop at the fastest.
    std::vector<std::string> texts;
    clock.setSpeedStep(0);
    do texts.push_back(replaySpeedText(clock.speed()));
    while (clock.faster());
    EXPECT_EQ(texts.size(), 20u);
    EXPECT_EQ(texts.front(), "-64x");
    EXPECT_EQ(texts[9], "-0.1x");
    EXPECT_EQ(texts[11], "0.25x");
    EXPECT_EQ(texts.back(), "64x");

    clock.seek(kStart - kSecond);
    EXPECT_EQ(clock.position(), kStart);
    clock.setEnd(kStart + 200 * kSecond);
    clock.seek(kStart + 150 * kSecond);
    EXPECT_EQ(clock.position(), kStart + 150 * kSecond) << "a recording still being written grows";

    EXPECT_EQ(replayDurationText(3723 * kSecond + 450000), "1:02:03.4");
    EXPECT_EQ(replayDurationText(0), "0:00:00.0");
}

}  // namespace
