#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "tools/sim/FlightModel.h"
#include "tools/sim/SimOptions.h"

// The simulator's loop: sends one telemetry line per tick to the ground station, and between
// ticks waits on the socket for uplinks, printing each one decoded and acting on routes.
class SimRunner {
public:
    using Printer = std::function<void(const std::string& line)>;

    // `socketHandle` is a bound, non-blocking UDP socket the runner uses but does not own.
    SimRunner(const SimOptions& options, const sockaddr_in& destination, int socketHandle, Printer print);

    // Runs until the duration has passed or `stopRequested` is set (checked at least every 100 ms).
    // Each increment of `pauseToggles` pauses or resumes sending. Both may be written from a
    // signal handler or another thread.
    void run(const std::atomic<bool>& stopRequested, const std::atomic<int>& pauseToggles);

    const FlightModel& model() const { return model_; }
    std::int64_t linesSent() const { return linesSent_; }
    std::int64_t datagramsReceived() const { return datagramsReceived_; }

private:
    using Clock = std::chrono::steady_clock;

    void sendLine();
    void receivePending();
    void handleDatagram(std::span<const std::uint8_t> datagram, std::size_t length, const sockaddr_in& from);
    void reportWaypointsReached(int reached);
    void printStatus();
    std::string routeText() const;

    SimOptions options_;
    sockaddr_in destination_;
    int socket_;
    Printer print_;
    FlightModel model_;
    bool paused_ = false;
    // Set once --stop-after has paused the sending; it pauses only once.
    bool stopAfterDone_ = false;
    std::int64_t linesSent_ = 0;
    std::int64_t datagramsReceived_ = 0;
    int lastSendErrno_ = 0;
};
