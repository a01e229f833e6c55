// orvane-stress: a load and bad-input run against the ground station's telemetry port, and the
// screenshot comparison that goes with it (see --help).
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>

#include <QImage>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/ProgramOptions.h"
#include "net/UplinkDecoder.h"
#include "tools/sim/SimSocket.h"
#include "tools/sim/TelemetryLine.h"
#include "tools/stress/GainUploadCheck.h"
#include "tools/stress/ScreenshotCompare.h"
#include "tools/stress/StormTraffic.h"
#include "tools/stress/StressOptions.h"

namespace {

using Clock = std::chrono::steady_clock;

// Load and bad input go to this machine only.
constexpr const char* kStationHost = "127.0.0.1";
constexpr auto kKnownLinePeriod = std::chrono::milliseconds(50);
// How long a full send buffer is waited for before the datagram counts as refused.
constexpr int kSendWaitMs = 10;

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "signal handlers may only touch lock-free atomics");

void onStopSignal(int) {
    stopRequested.store(true);
}

// Without SA_RESTART, so a signal wakes the known-line phase out of its wait at once.
void handleSignal(int signalNumber) {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
}

// The values the picture must show after the storm, inside the start-up map's site.
TelemetrySample knownSample() {
    TelemetrySample s;
    s.p = 0.1;
    s.q = -0.2;
    s.r = 0.05;
    s.ax = 1.5;
    s.ay = -0.5;
    s.az = -9.81;
    s.phi = 0.2;
    s.theta = -0.1;
    s.psi = 1.2;
    s.palt = 123.45;
    s.cas = 21.5;
    s.lat = 39.9871234;
    s.lon = -75.2121234;
    s.alt = 130.25;
    s.gps = 1;
    s.ahrs = 2;
    s.nav = 1;
    return s;
}

// Sends one datagram, waiting briefly when the socket's buffer is full. True when it went out.
bool sendDatagram(int handle, const sockaddr_in& to, const std::uint8_t* bytes, std::size_t length) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const ssize_t sent =
            sendto(handle, bytes, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (sent == static_cast<ssize_t>(length)) return true;
        if (sent >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS)) return false;
        pollfd writable{handle, POLLOUT, 0};
        poll(&writable, 1, kSendWaitMs);
    }
    return false;
}

void runStorm(int handle, const sockaddr_in& to, const SendOptions& options) {
    StormTraffic traffic(options.seed);
    std::array<unsigned long long, kStormKindCount> sent{};
    unsigned long long refused = 0, bytes = 0;
    std::vector<std::uint8_t> datagram;
    datagram.reserve(kLargestUdpPayload);
    const Clock::time_point start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(options.stormSeconds));
    for (unsigned long long round = 0;; ++round) {
        // The clock is read every few hundred datagrams so that it does not limit the rate.
        if (round % 256 == 0 && (Clock::now() >= end || stopRequested.load())) break;
        const StormKind kind = traffic.next(datagram);
        if (sendDatagram(handle, to, datagram.data(), datagram.size())) {
            ++sent[static_cast<std::size_t>(kind)];
            bytes += datagram.size();
        } else {
            ++refused;
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    unsigned long long total = 0;
    for (unsigned long long count : sent) total += count;
    std::printf("storm: %.1f s, %llu datagrams sent (%.0f per second, %.1f MiB per second), seed %llu\n",
                seconds, total, seconds > 0 ? static_cast<double>(total) / seconds : 0.0,
                seconds > 0 ? static_cast<double>(bytes) / seconds / (1024.0 * 1024.0) : 0.0,
                static_cast<unsigned long long>(options.seed));
    std::printf("storm sent:");
    for (std::size_t k = 0; k < kStormKindCount; ++k) {
        std::printf(" %s %llu%s", stormKindName(static_cast<StormKind>(k)), sent[k],
                    k + 1 < kStormKindCount ? "," : "");
    }
    std::printf("; refused by the socket %llu\n", refused);
    std::fflush(stdout);
}

struct UplinkWatch {
    std::optional<GainUploadBytes> expected;
    int received = 0;
    int matching = 0;
};

// Takes every datagram waiting on the socket and checks it against the expected upload.
void receiveUplinks(int handle, UplinkWatch& watch) {
    std::vector<std::uint8_t> buffer(kLargestUdpPayload + 1);
    for (;;) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t length = recvfrom(handle, buffer.data(), buffer.size(), MSG_TRUNC,
                                        reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (length < 0) return;
        ++watch.received;
        const auto size = static_cast<std::size_t>(length);
        const std::span<const std::uint8_t> bytes(buffer.data(), std::min(size, buffer.size()));
        const Uplink uplink =
            size > buffer.size() ? Uplink{rejectOversizedUplink(size)} : decodeUplink(bytes);
        for (const std::string& line : describeUplink(uplink)) {
            std::printf("uplink from %s, %zu bytes: %s\n", addressText(from).c_str(), size, line.c_str());
        }
        if (watch.expected) {
            const auto difference = firstDifference(bytes, *watch.expected);
            if (!difference) {
                ++watch.matching;
            } else {
                std::printf("uplink differs from the expected upload at byte %zu\n", *difference);
            }
        }
        std::fflush(stdout);
    }
}

// Sends the known line at 20 Hz until stopped; true when the upload checks hold.
bool runKnownLine(int handle, const sockaddr_in& to, const SendOptions& options, UplinkWatch& watch) {
    const std::optional<std::string> line = formatTelemetryLine(knownSample());
    if (!line) return false;
    std::printf("known line: %s", line->c_str());
    std::fflush(stdout);
    unsigned long long sent = 0, refused = 0;
    const Clock::time_point start = Clock::now();
    const auto longest = std::chrono::duration<double>(options.longestKnownSeconds);
    Clock::time_point nextSend = start;
    while (!stopRequested.load() && Clock::now() - start < longest) {
        if (Clock::now() >= nextSend) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(line->data());
            sendDatagram(handle, to, bytes, line->size()) ? ++sent : ++refused;
            nextSend += kKnownLinePeriod;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextSend - Clock::now());
        pollfd readable{handle, POLLIN, 0};
        if (poll(&readable, 1, static_cast<int>(std::max<long long>(0, wait.count()))) > 0) {
            receiveUplinks(handle, watch);
        }
    }
    receiveUplinks(handle, watch);
    std::printf("known line: sent %llu times in %.1f s, refused %llu\n", sent,
                std::chrono::duration<double>(Clock::now() - start).count(), refused);
    if (!watch.expected) return true;
    const bool exact = watch.received > 0 && watch.matching == watch.received;
    std::printf("upload: %s (%d received, %d byte-exact, expected \"%s\" with checksum 0x%02X)\n",
                exact ? "byte-exact" : "FAILED", watch.received, watch.matching,
                reinterpret_cast<const char*>(watch.expected->data()),
                (*watch.expected)[kGainUploadSize - 1]);
    return exact;
}

int runSend(const SendOptions& options) {
    UplinkWatch watch;
    if (!options.expectedGainFile.empty()) {
        std::string error;
        const std::optional<GainRow> row = readFirstGainRow(options.expectedGainFile, error);
        if (!row) {
            std::fprintf(stderr, "orvane-stress: %s\n", error.c_str());
            return 2;
        }
        watch.expected = expectedGainUpload(0, *row);
        if (!watch.expected) {
            std::fprintf(stderr, "orvane-stress: the gains of %s do not fit an upload\n",
                         options.expectedGainFile.c_str());
            return 2;
        }
    }
    const auto destination = resolveIpv4(kStationHost, options.port);
    SimSocket socket;
    if (!destination || !socket.isOpen()) {
        std::fprintf(stderr, "orvane-stress: %s\n",
                     socket.isOpen() ? "no loopback address" : socket.error().c_str());
        return 2;
    }
    handleSignal(SIGINT);
    handleSignal(SIGTERM);
    runStorm(socket.handle(), *destination, options);
    return runKnownLine(socket.handle(), *destination, options, watch) ? 0 : 1;
}

int runCompare(const CompareOptions& options) {
    const QImage first(QString::fromStdString(options.first));
    const QImage second(QString::fromStdString(options.second));
    if (first.isNull() || second.isNull()) {
        std::fprintf(stderr, "orvane-stress: cannot read %s\n",
                     (first.isNull() ? options.first : options.second).c_str());
        return 2;
    }
    const ScreenComparison result = compareScreens(first, second, kVaryingPlaces);
    if (!result.sameSize) {
        std::printf("screens: sizes differ (%dx%d and %dx%d)\n", first.width(), first.height(),
                    second.width(), second.height());
        return 1;
    }
    if (!options.differencePicture.empty()) {
        differencePicture(first, second, kVaryingPlaces)
            .save(QString::fromStdString(options.differencePicture), "PNG");
    }
    const long long compared = static_cast<long long>(first.width()) * first.height() - result.masked;
    if (result.bothBlank) {
        std::printf("screens: both pictures are blank\n");
        return 1;
    }
    if (result.differing == 0) {
        std::printf(
            "screens: identical outside the clock and link places (%lld pixels compared, %lld masked)\n",
            compared, result.masked);
        return 0;
    }
    std::printf("screens: %lld of %lld compared pixels differ, the first at (%d, %d)\n", result.differing,
                compared, result.firstDifference.x(), result.firstDifference.y());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const StressCommand command = parseStressCommand(argc, argv);
    if (command.helpRequested) {
        std::fputs(stressUsage(), stdout);
        return 0;
    }
    if (command.versionRequested) {
        std::fputs(programVersion("orvane-stress").c_str(), stdout);
        return 0;
    }
    if (!command.error.empty()) {
        std::fprintf(stderr, "orvane-stress: %s\n\n%s", command.error.c_str(), stressUsage());
        return 2;
    }
    if (command.send) return runSend(*command.send);
    return runCompare(*command.compare);
}
