#include "tools/sim/SimRunner.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "tools/sim/SimSocket.h"

namespace {

using namespace std::chrono_literals;

// The printed lines, collected across the runner's thread and the test's.
class PrintedLines {
public:
    void add(const std::string& line) {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
    }
    bool contains(const std::string& wanted) const {
        std::lock_guard lock(mutex_);
        return std::find(lines_.begin(), lines_.end(), wanted) != lines_.end();
    }
    std::string all() const {
        std::lock_guard lock(mutex_);
        std::string text;
        for (const std::string& line : lines_) text += line + "\n";
        return text;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

class GroundSocket {
public:
    GroundSocket() {
        handle_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(handle_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        socklen_t length = sizeof address_;
        getsockname(handle_, reinterpret_cast<sockaddr*>(&address_), &length);
    }
    ~GroundSocket() { close(handle_); }
    int handle() const { return handle_; }
    const sockaddr_in& address() const { return address_; }

    // One datagram within `timeout`, with its sender; empty text when none came.
    std::string receive(std::chrono::milliseconds timeout, sockaddr_in& sender) const {
        pollfd watched{handle_, POLLIN, 0};
        if (poll(&watched, 1, static_cast<int>(timeout.count())) <= 0) return {};
        char buffer[512];
        socklen_t length = sizeof sender;
        const ssize_t received =
            recvfrom(handle_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender), &length);
        return received > 0 ? std::string(buffer, static_cast<std::size_t>(received)) : std::string();
    }

private:
    int handle_ = -1;
    sockaddr_in address_{};
};

bool waitFor(const PrintedLines& printed, const std::string& line) {
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (!printed.contains(line)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST(SimRunner, SendsTelemetryAndDecodesWhatTheGroundSendsBack) {
    GroundSocket ground;
    SimSocket simSocket;
    ASSERT_TRUE(simSocket.isOpen()) << simSocket.error();

    SimOptions options;
    options.linesPerSecond = 50;
    options.quiet = true;
    options.durationSeconds = 10;  // a bound only; the test stops it as soon as it has its answer
    PrintedLines printed;
    SimRunner runner(options, ground.address(), simSocket.handle(),
                     [&](const std::string& line) { printed.add(line); });
    std::atomic<bool> stop{false};
    std::atomic<int> pauseToggles{0};
    std::thread loop([&] { runner.run(stop, pauseToggles); });

    sockaddr_in sim{};
    const std::string line = ground.receive(2s, sim);
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(std::count(line.begin(), line.end(), ' '), 19) << line;

    // Answer the way the ground station does: to the address the line came from.
    std::uint8_t gains[180] = {};
    const std::string text = "G 0 0.256000 0.000000 0.011000";
    std::copy(text.begin(), text.end(), gains);
    gains[179] = 0x80;
    sendto(ground.handle(), gains, sizeof gains, 0, reinterpret_cast<const sockaddr*>(&sim), sizeof sim);
    std::uint8_t route[180] = {};
    const std::string waypoints = "W 2 39.987100 -75.212300  39.986550 -75.210000 ";
    std::copy(waypoints.begin(), waypoints.end(), route);
    route[179] = 240;
    sendto(ground.handle(), route, sizeof route, 0, reinterpret_cast<const sockaddr*>(&sim), sizeof sim);
    sendto(ground.handle(), gains, 100, 0, reinterpret_cast<const sockaddr*>(&sim), sizeof sim);

    const std::string from =
        "uplink from 127.0.0.1:" + std::to_string(ntohs(ground.address().sin_port)) + ": ";
    const bool decoded = waitFor(printed, from + "rejected 100 bytes: wrong length (expected 180 bytes)");
    stop = true;
    loop.join();
    ASSERT_TRUE(decoded) << printed.all();
    EXPECT_TRUE(printed.contains(from + "G: mode 0 gains P 0.256000 I 0.000000 D 0.011000")) << printed.all();
    EXPECT_TRUE(printed.contains(from + "W: 2 waypoints")) << printed.all();
    EXPECT_TRUE(printed.contains(from + "  2: lat 39.986550 lon -75.210000")) << printed.all();
    EXPECT_EQ(runner.model().waypointCount(), 2u);
    EXPECT_EQ(runner.datagramsReceived(), 3);
}

TEST(SimRunner, PausesOnEachToggleAndStopsAfterItsTime) {
    GroundSocket ground;
    SimSocket simSocket;
    ASSERT_TRUE(simSocket.isOpen()) << simSocket.error();
    SimOptions options;
    options.linesPerSecond = 100;
    options.quiet = true;
    options.stopAfterSeconds = 1.5;  // after the pause checks, with room for a loaded machine
    options.durationSeconds = 10;
    PrintedLines printed;
    SimRunner runner(options, ground.address(), simSocket.handle(),
                     [&](const std::string& line) { printed.add(line); });
    std::atomic<bool> stop{false};
    std::atomic<int> pauseToggles{0};
    std::thread loop([&] { runner.run(stop, pauseToggles); });

    sockaddr_in sim{};
    EXPECT_FALSE(ground.receive(2s, sim).empty());
    pauseToggles = 1;
    EXPECT_TRUE(waitFor(printed, "sending paused"));
    while (!ground.receive(50ms, sim).empty()) {
    }  // drain what was sent before the pause
    EXPECT_TRUE(ground.receive(150ms, sim).empty()) << "still sending while paused";
    pauseToggles = 2;
    EXPECT_TRUE(waitFor(printed, "sending resumed"));
    EXPECT_FALSE(ground.receive(1s, sim).empty());

    EXPECT_TRUE(waitFor(printed, "stopped sending; still receiving"));
    while (!ground.receive(50ms, sim).empty()) {
    }
    EXPECT_TRUE(ground.receive(150ms, sim).empty()) << "still sending after --stop-after";
    // A resume after the stop sends again.
    pauseToggles = 3;
    EXPECT_FALSE(ground.receive(1s, sim).empty()) << "nothing sent after resuming from --stop-after";
    stop = true;
    loop.join();
}

TEST(SimOptions, ParsesEachOptionAndRefusesBadValues) {
    const char* all[] = {"orvane-sim", "--host",     "10.0.0.2", "--port", "9100",       "--rate",
                         "5",          "--gps-loss", "--ahrs",   "-7",     "--nav-loss", "--stop-after",
                         "3.5",        "--duration", "60",       "--quiet"};
    const SimOptionsResult parsed = parseSimOptions(static_cast<int>(std::size(all)), all);
    ASSERT_TRUE(parsed.options.has_value()) << parsed.error;
    EXPECT_EQ(parsed.options->host, "10.0.0.2");
    EXPECT_EQ(parsed.options->port, 9100);
    EXPECT_EQ(parsed.options->linesPerSecond, 5);
    EXPECT_EQ(parsed.options->units.gps, 0);
    EXPECT_EQ(parsed.options->units.ahrs, -7);
    EXPECT_EQ(parsed.options->units.nav, 0);
    EXPECT_EQ(parsed.options->stopAfterSeconds, 3.5);
    EXPECT_EQ(parsed.options->durationSeconds, 60);
    EXPECT_TRUE(parsed.options->quiet);
    // The ends of the ranges.
    const char* edges[] = {"orvane-sim", "--rate", "0.1", "--duration", "86400", "--stop-after", "0"};
    EXPECT_TRUE(parseSimOptions(static_cast<int>(std::size(edges)), edges).options.has_value());

    const std::vector<std::vector<const char*>> refused = {
        {"orvane-sim", "--port"},
        {"orvane-sim", "--port", "0"},
        {"orvane-sim", "--port", "65536"},
        {"orvane-sim", "--port", "90x"},
        {"orvane-sim", "--rate", "0"},
        {"orvane-sim", "--rate", "nan"},
        {"orvane-sim", "--rate", "1e-10"},
        {"orvane-sim", "--rate", "0.09"},
        {"orvane-sim", "--duration", "86401"},
        {"orvane-sim", "--stop-after", "1e300"},
        {"orvane-sim", "--ahrs", "2.5"},
        {"orvane-sim", "--duration", "-1"},
        {"orvane-sim", "--stop-after", "inf"},
        {"orvane-sim", "--loud"},
        {"orvane-sim", "--host", ""},
    };
    for (const auto& arguments : refused) {
        const SimOptionsResult result = parseSimOptions(static_cast<int>(arguments.size()), arguments.data());
        EXPECT_FALSE(result.options.has_value()) << arguments[1];
        EXPECT_FALSE(result.error.empty());
    }
}

}  // namespace
