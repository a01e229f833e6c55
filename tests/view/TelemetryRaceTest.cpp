// The telemetry receiver flooded over loopback while, on the user-interface side, the scene draws
// whole frames, the view's timer decides on repaints, the cockpit feed reads the state and uploads
// answer the aircraft on the receiver's own socket. Built with the thread sanitizer this is the
// check that only the shared atomic state and the published sender address cross the threads; in
// every build it checks that the flood leaves the state, the counters and the replies right.
//
// ORVANE_RACE_SECONDS sets how long the flood lasts (default 10).

#include <GL/gl.h>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "map/Waypoints.h"
#include "net/CockpitFeed.h"
#include "net/NetSocket.h"
#include "net/TelemetryDecoder.h"
#include "net/TelemetryReceiver.h"
#include "net/TelemetryState.h"
#include "net/UplinkFrame.h"
#include "net/UploadGate.h"
#include "tests/support/LoopbackUdp.h"
#include "tests/support/SceneProbe.h"
#include "tests/support/ScriptedAsker.h"
#include "tuning/GainUpload.h"
#include "view/FrameTick.h"
#include "view/Scene.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr double kDefaultFloodSeconds = 10;
constexpr int kWidth = 640;
constexpr int kHeight = 420;
// The shortest times between two frames and between two uploads of the interface thread.
constexpr milliseconds kFramePacing(20);
constexpr milliseconds kUploadPacing(2);

// Every value a flood line carries lies in 0..kFloodValueLimit and every status in 0..2; a value
// outside means bytes the decoder should never have read (past a NUL, past the receive buffer, the
// tail of a long coordinate token) reached the state.
constexpr float kFloodValueLimit = 1000;
constexpr std::int16_t kFloodStatusLimit = 2;
// What the refused and cut-off parts of the flood carry instead.
constexpr const char* kForbiddenField = "-7777";

milliseconds floodDuration() {
    const char* text = std::getenv("ORVANE_RACE_SECONDS");
    if (text == nullptr) return milliseconds(static_cast<long>(kDefaultFloodSeconds * 1000));
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(seconds > 0) || seconds > 86400) {
        ADD_FAILURE() << "ORVANE_RACE_SECONDS must be a number of seconds, not \"" << text << "\"";
        return milliseconds(static_cast<long>(kDefaultFloodSeconds * 1000));
    }
    return milliseconds(static_cast<long>(seconds * 1000));
}

// The aircraft's end: a loopback datagram socket on a port of its own, which also collects the
// uploads the ground station sends back. Loopback drops what the receiver has no room for; the
// flood expects that, so sends are not checked.
class AircraftSocket : public LoopbackUdp {
public:
    // Takes every reply waiting, without blocking; a reply that is not one whole upload is counted
    // as malformed.
    void drainReplies(std::atomic<int>& uploads, std::atomic<int>& malformed) const {
        for (std::string reply; receive(reply, milliseconds(0));) {
            const bool whole =
                reply.size() == static_cast<std::size_t>(kUplinkSize) && (reply[0] == 'G' || reply[0] == 'W');
            (whole ? uploads : malformed).fetch_add(1, std::memory_order_relaxed);
        }
    }
};

// Line n of the flood: every field derived from n, all within the flood's limits.
std::string floodLine(unsigned n) {
    const unsigned v = n % 1000;
    char line[TelemetryReceiver::kReceiveBufferSize];
    const int length =
        std::snprintf(line, sizeof line, "%u %u %u %u %u %u %u %u %u %u %u %u %u %u %u.5 %u.25 %u %u %u %u",
                      v, v, v, v, v, v, v, v, v, v, v, v, v, v, v, v, v, n % 3, (n + 1) % 3, (n + 2) % 3);
    return std::string(line, static_cast<std::size_t>(length));
}

// Counts of what one sender sent, by what the receiver must do with it.
struct SentCounts {
    std::atomic<std::uint64_t> accepted{0};
    std::atomic<std::uint64_t> refused{0};
};

// One datagram of the mix: whole lines, one of exactly the receive buffer's size, partial lines,
// over-long and empty datagrams, a NUL inside a line and an over-long coordinate token, so that
// every path of the receiver and the decoder writes.
void sendMixed(const AircraftSocket& aircraft, int port, unsigned n, SentCounts& counts) {
    std::string datagram = floodLine(n);
    bool refused = false;
    switch (n % 8) {
        case 0:
        case 1:
        case 2:
            break;
        case 3:
            datagram.resize(TelemetryReceiver::kReceiveBufferSize, ' ');
            break;
        case 4: {
            // The rates only; every later field keeps its value.
            const std::string v = std::to_string(n % 1000);
            datagram = v + " " + v + " " + v;
            break;
        }
        case 5:
            // Were a refused datagram ever decoded, the forbidden field would show.
            datagram = kForbiddenField;
            datagram.resize(TelemetryReceiver::kReceiveBufferSize + 1 + n % 300, ' ');
            refused = true;
            break;
        case 6:
            datagram.clear();
            refused = true;
            break;
        default:
            if ((n / 8) % 2 == 0) {
                // The line ends at the NUL; what follows must never be read.
                datagram = datagram.substr(0, 20);
                datagram += '\0';
                datagram += std::string(" ") + kForbiddenField + " " + kForbiddenField;
            } else {
                // A latitude token far longer than the 19 characters kept: the rest is skipped, so
                // the longitude after it is still read from its own token.
                const std::string v = std::to_string(n % 1000);
                std::string leadingFloats;
                for (int field = 0; field < 14; ++field) leadingFloats += v + " ";
                datagram =
                    leadingFloats + v + ".25000000000000000" + kForbiddenField + " " + v + " " + v + " 1 2 1";
            }
            break;
    }
    aircraft.sendTo(port, datagram);
    (refused ? counts.refused : counts.accepted).fetch_add(1, std::memory_order_relaxed);
}

// The fields the user-interface side reads, each checked against the flood's limits; the count of
// fields outside.
int fieldsOutsideFlood(const TelemetryState& t) {
    int outside = 0;
    for (const std::atomic<float>* field : {&t.p, &t.q, &t.r, &t.ax, &t.ay, &t.az, &t.aux10, &t.aux11,
                                            &t.aux12, &t.palt, &t.cas, &t.phi, &t.theta, &t.psi, &t.alt}) {
        const float value = field->load(std::memory_order_relaxed);
        if (!(value >= 0 && value <= kFloodValueLimit)) ++outside;
    }
    for (const std::atomic<double>* field : {&t.lat, &t.lon}) {
        const double value = field->load(std::memory_order_relaxed);
        if (!(value >= 0 && value <= kFloodValueLimit)) ++outside;
    }
    for (const std::atomic<std::int16_t>* field : {&t.gpsStatus, &t.ahrsStatus, &t.navStatus}) {
        const std::int16_t value = field->load(std::memory_order_relaxed);
        if (value < 0 || value > kFloodStatusLimit) ++outside;
    }
    return outside;
}

// The receiver as the program runs it, on its own thread, with the decoder writing the state.
struct ReceiverThread {
    explicit ReceiverThread(int receivePort)
        : port(receivePort), thread([this] {
              receiver.screenSenders(state.senders, programClockMs);
              receiver.run();
              finished.store(true);
          }) {}

    ~ReceiverThread() {
        receiver.requestStop();
        // A blocked receive returns with the next datagram.
        const AircraftSocket wake;
        while (!finished.load()) {
            if (receiver.bound()) wake.sendTo(port, "");
            std::this_thread::sleep_for(milliseconds(2));
        }
        thread.join();
        socket.close();
    }

    RecordingNotifier socketNotifier;  // the receiver thread's only
    int port;
    NetSocket socket{socketNotifier};
    TelemetryState state;
    TelemetryDecoder decoder{state};
    TelemetryReceiver receiver{socket, decoder, port};
    std::atomic<bool> finished{false};
    std::thread thread;  // last: starts once everything above exists
};

// The last line after the flood: every value outside the flood's range.
const std::string kFinalLine =
    "-0.0125 -0.025 -0.0375 -0.5 -0.25 -9.75 -0.125 -0.0625 -3.0 -1 -2 -3 1520.5 -22.75 -33.865143 "
    "-151.2099 1480.25 1 2 1";

TEST(TelemetryRace, ReceiverFloodedWhileTheSceneDrawsAndTheInterfaceReads) {
    // llvmpipe rasterises on threads of its own, synchronised by code the sanitizer cannot see;
    // drawing on the calling thread keeps its reports to our own threads.
    ::setenv("LP_NUM_THREADS", "0", 0);
    const milliseconds duration = floodDuration();

    ScratchWorkDir workDir;
    writeUniformBitmap("site3.bmp", 300, 240, {0, 0, 255});
    OsMesaContext context(kWidth, kHeight);
    ASSERT_TRUE(context.valid());

    ReceiverThread running(freeUdpPort());
    TelemetryState& state = running.state;
    ASSERT_TRUE(waitUntil([&] { return running.receiver.bound(); }, milliseconds(20000)));

    RecordingNotifier interfaceNotifier;
    Scene scene(state, interfaceNotifier);
    // Every question of the uploads (the destination changes all the time) is answered with Send.
    ScriptedAsker asker;
    UploadGate gate(running.socket, state.senders, asker, interfaceNotifier, programClockMs);
    scene.initGl();
    scene.resize(kWidth, kHeight);
    // The first frame compiles the rasteriser's code; the flood should meet the steady state.
    scene.drawFrame();
    Waypoints& route = scene.waypoints();
    route.waypointCount = 3;
    for (std::size_t i = 0; i < 3; ++i) {
        route.waypointLat[i] = 39.9 + 0.01 * static_cast<double>(i);
        route.waypointLon[i] = -75.2 - 0.01 * static_cast<double>(i);
        route.waypointSceneX[i] = -2.0 + 0.5 * static_cast<double>(i);
        route.waypointSceneY[i] = 0.5 * static_cast<double>(i);
    }

    // The aircraft: two senders flooding from two addresses, so the recorded sender keeps changing.
    const AircraftSocket aircraftA, aircraftB;
    SentCounts sent;
    std::atomic<int> repliesReceived{0}, malformedReplies{0};
    std::atomic<bool> stopFlood{false};
    auto flood = [&](const AircraftSocket& aircraft, unsigned first) {
        for (unsigned n = first; !stopFlood.load(std::memory_order_relaxed); ++n) {
            sendMixed(aircraft, running.port, n, sent);
            if (n % 64 == 0) aircraft.drainReplies(repliesReceived, malformedReplies);
        }
    };
    std::thread senderA(flood, std::cref(aircraftA), 0u);
    std::thread senderB(flood, std::cref(aircraftB), 5u);

    // The user-interface thread: the view's timer tick, the frame, the feed and the uploads, as fast
    // as it can go.
    const int portA = aircraftA.port(), portB = aircraftB.port();
    std::uint64_t ticks = 0, frames = 0, uploadsSent = 0;
    int valuesOutsideFlood = 0, foreignSenders = 0, countersBackwards = 0, tornFixes = 0, fixesRead = 0;
    std::uint64_t lastDecoded = 0;
    CockpitFeedPacket feed;
    bool repaintPending = false;
    auto nextFrame = Clock::time_point{}, lastUpload = Clock::time_point{};
    const auto floodEnd = Clock::now() + duration;
    for (auto now = Clock::now(); now < floodEnd; now = Clock::now()) {
        ++ticks;
        // Frames and uploads are paced, so that between them the thread keeps reading the state: after
        // a frame it waits at least as long as the frame took (under the sanitizer a frame takes a
        // good part of a second).
        repaintPending |= frameTickNeedsRepaint(state, scene.lastDrawingShowedLink(), programClockMs());
        if (repaintPending && now >= nextFrame) {
            scene.drawFrame();
            ++frames;
            repaintPending = false;
            const auto frameEnd = Clock::now();
            nextFrame = frameEnd + std::max<Clock::duration>(frameEnd - now, kFramePacing);
        }
        valuesOutsideFlood += fieldsOutsideFlood(state);
        // Every line that carries a fix has one number v in its position, altitude, heading and
        // airspeed: a last fix made of two lines would mix two of them.
        if (const std::optional<LastFix> fix = state.lastFix.load()) {
            const double v = std::floor(fix->lon);
            if (std::floor(fix->lat) != v || fix->alt != v || fix->psi != v || fix->cas != v) ++tornFixes;
            ++fixesRead;
        }
        fillCockpitFeed(state, feed);

        if (running.socket.hasSender()) {
            const int senderPort = ntohs(running.socket.lastSender().sin_port);
            if (senderPort != portA && senderPort != portB) ++foreignSenders;
        }
        if (const std::optional<sockaddr_in> sender = state.senders.uploadDestination()) {
            const int senderPort = ntohs(sender->sin_port);
            if (senderPort != portA && senderPort != portB) ++foreignSenders;
        }
        if (now - lastUpload >= kUploadPacing) {
            lastUpload = now;
            if (ticks % 2 == 0) {
                if (sendGainUpload(gate, static_cast<int>(ticks % 4), 1.5, 0.25, 0.125) ==
                    GainUploadResult::sent) {
                    ++uploadsSent;
                }
            } else if (state.senders.currentSender()) {
                // Only an upload that was sent shows the route.
                route.routeShown = 0;
                uploadWaypoints(route, gate, interfaceNotifier);
                if (route.routeShown == 1) ++uploadsSent;
            }
        }
        const std::uint64_t decoded = running.receiver.decodedLines();
        if (decoded < lastDecoded) ++countersBackwards;
        lastDecoded = decoded;
        (void)running.receiver.refusedReceives();
    }
    stopFlood.store(true);
    senderA.join();
    senderB.join();

    // The last line, sent after everything else, must be what the state holds once it arrives.
    // It is sent again only when the receiver, still busy with the queue, may have dropped it.
    int finalSends = 0;
    const auto finalArrived = [&] { return state.lat.load() == -33.865143 && state.alt.load() == 1480.25f; };
    for (; finalSends < 40 && !finalArrived(); ++finalSends) {
        aircraftA.sendTo(running.port, kFinalLine);
        waitUntil(finalArrived, milliseconds(500));
    }
    ASSERT_TRUE(finalArrived()) << "the last line never reached the state";
    // Settled: nothing is still queued behind the last line.
    for (std::uint64_t before = 0; before != running.receiver.decodedLines();) {
        before = running.receiver.decodedLines();
        std::this_thread::sleep_for(milliseconds(200));
    }

    const std::uint64_t decodedLines = running.receiver.decodedLines();
    const std::uint64_t refusedReceives = running.receiver.refusedReceives();
    std::printf(
        "flood of %.1f s: %llu frames, %llu ticks, %llu lines decoded, %llu receives refused, "
        "%llu uploads sent, %d replies received\n",
        static_cast<double>(duration.count()) / 1000, static_cast<unsigned long long>(frames),
        static_cast<unsigned long long>(ticks), static_cast<unsigned long long>(decodedLines),
        static_cast<unsigned long long>(refusedReceives), static_cast<unsigned long long>(uploadsSent),
        repliesReceived.load());

    EXPECT_GT(frames, 0u);
    EXPECT_GT(decodedLines, 0u);
    EXPECT_GT(refusedReceives, 0u);
    // Loopback may drop under the flood, never invent: what the receiver counts was sent.
    EXPECT_LE(decodedLines, sent.accepted.load() + static_cast<std::uint64_t>(finalSends));
    EXPECT_LE(refusedReceives, sent.refused.load());
    EXPECT_EQ(valuesOutsideFlood, 0) << "bytes that must not be decoded reached the state";
    EXPECT_GT(fixesRead, 0);
    EXPECT_EQ(tornFixes, 0) << "a last fix read while the receiver wrote it mixed two lines";
    EXPECT_EQ(foreignSenders, 0) << "a recorded sender was neither aircraft";
    EXPECT_EQ(countersBackwards, 0);
    EXPECT_GT(uploadsSent, 0u);
    aircraftA.drainReplies(repliesReceived, malformedReplies);
    aircraftB.drainReplies(repliesReceived, malformedReplies);
    EXPECT_GT(repliesReceived.load(), 0);
    EXPECT_EQ(malformedReplies.load(), 0);
    EXPECT_TRUE(running.socketNotifier.messages.empty());

    // Every field of the last line, in the state and in the feed built from it.
    struct FloatCase {
        const char* name;
        const std::atomic<float>& field;
        float expected;
    };
    for (const FloatCase& c : {FloatCase{"p", state.p, -0.0125f}, FloatCase{"q", state.q, -0.025f},
                               FloatCase{"r", state.r, -0.0375f}, FloatCase{"ax", state.ax, -0.5f},
                               FloatCase{"ay", state.ay, -0.25f}, FloatCase{"az", state.az, -9.75f},
                               FloatCase{"phi", state.phi, -0.125f},
                               FloatCase{"theta", state.theta, -0.0625f}, FloatCase{"psi", state.psi, -3.0f},
                               FloatCase{"aux10", state.aux10, -1.0f}, FloatCase{"aux11", state.aux11, -2.0f},
                               FloatCase{"aux12", state.aux12, -3.0f}, FloatCase{"palt", state.palt, 1520.5f},
                               FloatCase{"cas", state.cas, -22.75f}, FloatCase{"alt", state.alt, 1480.25f}}) {
        EXPECT_EQ(c.field.load(), c.expected) << c.name;
    }
    EXPECT_DOUBLE_EQ(state.lat.load(), -33.865143);
    EXPECT_DOUBLE_EQ(state.lon.load(), -151.2099);
    EXPECT_EQ(state.gpsStatus.load(), 1);
    EXPECT_EQ(state.ahrsStatus.load(), 2);
    EXPECT_EQ(state.navStatus.load(), 1);
    EXPECT_TRUE(state.lineHeard.load());
    fillCockpitFeed(state, feed);
    EXPECT_EQ(feed.valueAt(cockpit_offset::kRoll), static_cast<double>(-0.125f) * kCockpitDegreesPerRadian);
    EXPECT_EQ(feed.valueAt(cockpit_offset::kAltitude), 1480.25);

    // The last line set both flags: the tick repaints, the frame reads "LINK", and the next frame
    // without a new line reads "NO LINK".
    EXPECT_TRUE(frameTickNeedsRepaint(state, scene.lastDrawingShowedLink(), programClockMs()));
    scene.drawFrame();
    EXPECT_TRUE(scene.lastDrawingShowedLink());
    scene.drawFrame();
    EXPECT_FALSE(scene.lastDrawingShowedLink());

    // Replies go to the sender of the last line.
    EXPECT_EQ(ntohs(running.socket.lastSender().sin_port), portA);
    EXPECT_EQ(ntohs(state.senders.currentSender()->sin_port), portA);
    aircraftA.drainReplies(repliesReceived, malformedReplies);
    ASSERT_EQ(sendGainUpload(gate, 2, 0.5, 0.0, 0.0), GainUploadResult::sent);
    std::string reply;
    ASSERT_TRUE(aircraftA.receive(reply, milliseconds(5000)));
    ASSERT_EQ(reply.size(), static_cast<std::size_t>(kUplinkSize));
    EXPECT_EQ(reply.substr(0, 2), "G ");
}

}  // namespace
