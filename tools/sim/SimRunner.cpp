#include "tools/sim/SimRunner.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "net/UplinkDecoder.h"
#include "tools/sim/SimSocket.h"
#include "tools/sim/TelemetryLine.h"

namespace {

constexpr std::chrono::milliseconds kLongestWait{100};
constexpr std::chrono::seconds kStatusInterval{5};
// After a long stall (the process stopped, the machine suspended) the aircraft jumps ahead by at
// most this much instead of replaying the whole gap.
constexpr double kLongestModelAdvance = 1.0;
// Enough to take any uplink whole and to see that a longer datagram is too long.
constexpr std::size_t kReceiveBufferSize = 512;
// Bounds the time spent draining a flood of datagrams before the next telemetry tick.
constexpr int kMostDatagramsPerWake = 64;

constexpr double kRadiansToDegrees = 57.29577951308232;

double secondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

SimRunner::SimRunner(const SimOptions& options, const sockaddr_in& destination, int socketHandle,
                     Printer print)
    : options_(options), destination_(destination), socket_(socketHandle), print_(std::move(print)) {}

void SimRunner::run(const std::atomic<bool>& stopRequested, const std::atomic<int>& pauseToggles) {
    const auto start = Clock::now();
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / options_.linesPerSecond));
    auto nextSend = start;
    auto lastAdvance = start;
    auto nextStatus = start;
    int togglesSeen = pauseToggles.load();

    print_("sending telemetry to " + addressText(destination_) + "; flying the default circuit");
    while (!stopRequested.load()) {
        const auto now = Clock::now();
        const double elapsed = secondsBetween(start, now);
        if (options_.durationSeconds && elapsed >= *options_.durationSeconds) break;

        const int toggles = pauseToggles.load();
        if (toggles != togglesSeen) {
            if ((toggles - togglesSeen) % 2 != 0) {
                paused_ = !paused_;
                print_(paused_ ? "sending paused" : "sending resumed");
            }
            togglesSeen = toggles;
        }
        if (options_.stopAfterSeconds && !stopAfterDone_ && elapsed >= *options_.stopAfterSeconds) {
            // The stop is a pause that the program takes itself, so a resume ends it like any other.
            stopAfterDone_ = true;
            paused_ = true;
            print_("stopped sending; still receiving");
        }

        if (now >= nextSend) {
            reportWaypointsReached(
                model_.advance(std::min(secondsBetween(lastAdvance, now), kLongestModelAdvance)));
            lastAdvance = now;
            if (!paused_) sendLine();
            nextSend += period;
            if (nextSend < now) nextSend = now + period;  // fell behind: skip, never burst
        }
        if (!options_.quiet && now >= nextStatus) {
            printStatus();
            nextStatus = now + kStatusInterval;
        }

        auto wakeAt = std::min(nextSend, now + kLongestWait);
        if (!options_.quiet) wakeAt = std::min(wakeAt, nextStatus);
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - Clock::now());
        pollfd watched{socket_, POLLIN, 0};
        const int ready = poll(&watched, 1, static_cast<int>(std::max<std::int64_t>(0, wait.count())));
        if (ready > 0 && (watched.revents & POLLIN) != 0) receivePending();
    }
    print_("sent " + std::to_string(linesSent_) + " lines, received " + std::to_string(datagramsReceived_) +
           " datagrams");
}

void SimRunner::sendLine() {
    TelemetrySample sample = model_.sample(options_.units);
    // Flown lower, the circuit passes the demonstration terrain's hill within the clearance margin.
    sample.alt -= options_.altitudeDropMetres;
    sample.palt -= options_.altitudeDropMetres;
    const auto line = formatTelemetryLine(sample);
    if (!line) return;
    const ssize_t sent = sendto(socket_, line->data(), line->size(), 0,
                                reinterpret_cast<const sockaddr*>(&destination_), sizeof destination_);
    if (sent == static_cast<ssize_t>(line->size())) {
        ++linesSent_;
        lastSendErrno_ = 0;
    } else if (sent < 0 && errno != lastSendErrno_) {
        // Said once per kind of failure, not twenty times a second.
        lastSendErrno_ = errno;
        print_(std::string("send failed: ") + std::strerror(errno));
    }
}

void SimRunner::receivePending() {
    std::array<std::uint8_t, kReceiveBufferSize> buffer;
    for (int i = 0; i < kMostDatagramsPerWake; ++i) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        // MSG_TRUNC makes the call return the datagram's real length even when it did not fit.
        const ssize_t length = recvfrom(socket_, buffer.data(), buffer.size(), MSG_TRUNC | MSG_DONTWAIT,
                                        reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (length < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNREFUSED) {
                print_(std::string("receive failed: ") + std::strerror(errno));
            }
            return;
        }
        const auto received = static_cast<std::size_t>(length);
        handleDatagram(std::span(buffer.data(), std::min(received, buffer.size())), received, from);
    }
}

void SimRunner::handleDatagram(std::span<const std::uint8_t> datagram, std::size_t length,
                               const sockaddr_in& from) {
    ++datagramsReceived_;
    const Uplink uplink =
        length > datagram.size() ? Uplink{rejectOversizedUplink(length)} : decodeUplink(datagram);
    const std::string prefix = "uplink from " + addressText(from) + ": ";
    for (const std::string& line : describeUplink(uplink)) print_(prefix + line);

    const auto* route = std::get_if<WaypointUplink>(&uplink);
    if (route == nullptr) return;
    model_.setWaypoints(route->waypoints);
    if (route->waypoints.empty()) {
        print_("no waypoints: back to the default circuit");
    } else {
        const GeoPoint first = model_.waypoint(0);
        char text[120];
        std::snprintf(text, sizeof text, "heading for waypoint 1 of %zu (%.6f, %.6f), %.0f m away",
                      model_.waypointCount(), first.lat, first.lon, model_.distanceTo(first));
        print_(text);
    }
}

void SimRunner::reportWaypointsReached(int reached) {
    const auto count = static_cast<int>(model_.waypointCount());
    if (count == 0) return;
    // The model has moved on by `reached` points; name each one in order.
    for (int i = reached; i >= 1; --i) {
        const int reachedIndex = ((model_.targetWaypoint() - i) % count + count) % count;
        const int nextIndex = (reachedIndex + 1) % count;
        const GeoPoint next = model_.waypoint(static_cast<std::size_t>(nextIndex));
        char text[160];
        std::snprintf(text, sizeof text, "reached waypoint %d; heading for waypoint %d of %d (%.6f, %.6f)",
                      reachedIndex + 1, nextIndex + 1, count, next.lat, next.lon);
        print_(text);
    }
}

std::string SimRunner::routeText() const {
    if (model_.targetWaypoint() < 0) return "circuit";
    return "to waypoint " + std::to_string(model_.targetWaypoint() + 1) + " of " +
           std::to_string(model_.waypointCount());
}

void SimRunner::printStatus() {
    const TelemetrySample s = model_.sample(options_.units);
    char text[200];
    std::snprintf(
        text, sizeof text,
        "t %6.1f s  %s  lat %.7f lon %.7f  psi %6.1f deg  phi %5.1f deg  cas %4.1f  alt %5.1f  %s  sent %lld",
        model_.elapsedSeconds(), paused_ ? "silent " : "sending", s.lat, s.lon, s.psi * kRadiansToDegrees,
        s.phi * kRadiansToDegrees, s.cas, s.alt, routeText().c_str(), static_cast<long long>(linesSent_));
    print_(text);
}
