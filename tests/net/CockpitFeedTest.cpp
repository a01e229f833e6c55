#include "net/CockpitFeed.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/Notifier.h"
#include "net/NetSocket.h"
#include "net/TelemetryState.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::array<std::uint8_t, kCockpitFeedSize>;

// Written independently of the code under test: plain memcpy on a little-endian host.
void putDouble(Bytes& bytes, std::size_t offset, double value) {
    static_assert(std::endian::native == std::endian::little, "test expectations assume little-endian");
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

double degrees(float radians) {
    return static_cast<double>(radians) * 57.3;
}

void expectSameBytes(const Bytes& expected, const CockpitFeedPacket& packet) {
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(expected[i], packet.bytes[i]) << "byte " << i << " (double at offset " << i / 8 * 8 << ")";
}

Bytes zeroTelemetryPacket() {
    Bytes expected{};
    putDouble(expected, 16, 39.988141);
    putDouble(expected, 24, -75.21188);
    return expected;
}

struct RecordingNotifier : Notifier {
    std::vector<std::string> texts;
    void showMessage(const std::string&, const std::string& text) override { texts.push_back(text); }
};

}  // namespace

TEST(CockpitFeedPacket, ExampleTelemetryIsEncodedByteForByte) {
    TelemetryState telemetry;
    telemetry.theta = 0.1f;
    telemetry.phi = -0.2f;
    telemetry.psi = 1.0f;
    telemetry.alt = 150.0f;
    telemetry.cas = 20.0f;
    telemetry.p = 0.01f;
    telemetry.q = 0.0f;
    telemetry.r = -0.05f;
    // Values the feed must ignore.
    telemetry.lat = 12.5;
    telemetry.lon = 33.25;
    telemetry.palt = 999.0f;

    Bytes expected = zeroTelemetryPacket();
    putDouble(expected, 40, degrees(0.1f));
    putDouble(expected, 48, degrees(-0.2f));
    putDouble(expected, 56, degrees(1.0f));
    putDouble(expected, 64, 150.0);
    putDouble(expected, 72, 150.0);
    putDouble(expected, 80, 20.0);
    putDouble(expected, 88, 20.0);
    putDouble(expected, 120, degrees(0.01f));
    putDouble(expected, 128, 0.0);
    putDouble(expected, 136, degrees(-0.05f));
    // The product is formed in double from the widened float: neither the exact decimal nor a float
    // product would give the same bits.
    ASSERT_NE(degrees(0.1f), 5.73);
    ASSERT_NE(degrees(0.1f), static_cast<double>(0.1f * 57.3f));

    CockpitFeedPacket packet;
    fillCockpitFeed(telemetry, packet);
    expectSameBytes(expected, packet);
}

TEST(CockpitFeedPacket, ZeroTelemetryCarriesOnlyTheFixedPosition) {
    // Known answer for the position's bytes, so a byte-order mistake cannot hide behind a helper.
    const std::array<std::uint8_t, 16> position = {0x1a, 0x6b, 0x7f, 0x67, 0x7b, 0xfe, 0x43, 0x40,
                                                   0x4b, 0xab, 0x21, 0x71, 0x8f, 0xcd, 0x52, 0xc0};
    TelemetryState zero;
    CockpitFeedPacket fresh;
    fillCockpitFeed(zero, fresh);
    for (std::size_t i = 0; i < fresh.bytes.size(); ++i) {
        const std::uint8_t expected = (i >= 16 && i < 32) ? position[i - 16] : 0;
        ASSERT_EQ(expected, fresh.bytes[i]) << "byte " << i;
    }
}

class CockpitFeedTick : public ::testing::Test {
protected:
    void SetUp() override {
        receiver_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(receiver_, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        ASSERT_EQ(0, ::bind(receiver_, reinterpret_cast<sockaddr*>(&address), sizeof address));
        socklen_t length = sizeof address;
        ASSERT_EQ(0, ::getsockname(receiver_, reinterpret_cast<sockaddr*>(&address), &length));
        ASSERT_EQ(1, feedSocket_.startup());
        ASSERT_EQ(1, feedSocket_.create("UDP"));
        ASSERT_EQ(1, feedSocket_.connectTo("localhost", ntohs(address.sin_port)));
    }
    void TearDown() override {
        feedSocket_.close();
        if (receiver_ >= 0) ::close(receiver_);
    }

    // The next datagram's length and bytes; -1 when none arrives within `timeoutMs`.
    int receive(std::vector<std::uint8_t>& datagram, int timeoutMs) {
        pollfd waiting{receiver_, POLLIN, 0};
        if (::poll(&waiting, 1, timeoutMs) != 1) return -1;
        datagram.assign(4096, 0);
        const auto received = ::recv(receiver_, datagram.data(), datagram.size(), MSG_DONTWAIT);
        if (received < 0) return -1;
        datagram.resize(static_cast<std::size_t>(received));
        return static_cast<int>(received);
    }

    int receiver_ = -1;
    RecordingNotifier notifier_;
    NetSocket feedSocket_{notifier_};
};

TEST_F(CockpitFeedTick, SendsOnePacketPerTickOnlyWhileTheFlagIsExactlyOne) {
    TelemetryState telemetry;
    CockpitFeed feed;

    // Anything sent here would arrive first on the ordered loopback path and be caught below.
    telemetry.psi = 0.5f;
    feed.tick(telemetry, 0, feedSocket_);
    feed.tick(telemetry, 2, feedSocket_);
    feed.tick(telemetry, -1, feedSocket_);

    telemetry.psi = 1.5f;
    feed.tick(telemetry, 1, feedSocket_);
    telemetry.psi = 2.5f;
    feed.tick(telemetry, 1, feedSocket_);

    std::vector<std::uint8_t> datagram;
    for (float psi : {1.5f, 2.5f}) {
        ASSERT_EQ(kCockpitFeedSize, receive(datagram, 2000)) << "psi " << psi;
        CockpitFeedPacket received;
        std::copy(datagram.begin(), datagram.end(), received.bytes.begin());
        TelemetryState expectedState;
        expectedState.psi = psi;
        CockpitFeedPacket expected;
        fillCockpitFeed(expectedState, expected);
        EXPECT_EQ(expected.bytes, received.bytes) << "psi " << psi;
    }
    EXPECT_EQ(-1, receive(datagram, 50)) << "a tick sent more than one datagram";
    EXPECT_TRUE(notifier_.texts.empty());
}

namespace {

// Runs a test step in another working directory and comes back.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const fs::path& path) : previous_(fs::current_path()) {
        fs::current_path(path);
    }
    ~WorkingDirectory() { fs::current_path(previous_); }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    fs::path previous_;
};

fs::path makeTempDirectory() {
    std::string pattern = (fs::temp_directory_path() / "orvane-cockpit-spawn-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return {};
    return fs::canonical(pattern);
}

// The probe's record, once it has written one; empty when none appears in time.
std::map<std::string, std::string> waitForRecord(const fs::path& directory, pid_t pid) {
    const fs::path file = directory / ("probe-" + std::to_string(pid) + ".txt");
    for (int attempt = 0; attempt < 500 && !fs::exists(file); ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::map<std::string, std::string> record;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) record[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return record;
}

// True once `pid` has ended and been collected: no /proc entry is left, not even a zombie.
bool collectedWithin(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(stat);
        if (!in) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class CockpitSpawn : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = makeTempDirectory();
        ASSERT_FALSE(directory_.empty());
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }
    void installProbe(const fs::path& where) {
        fs::copy_file(ORVANE_COCKPIT_PROBE, where / "OpenGC.exe", fs::copy_options::overwrite_existing);
    }

    fs::path directory_;
};

}  // namespace

TEST_F(CockpitSpawn, StartsTheProgramOfTheWorkingDirectoryUnderItsFixedName) {
    installProbe(directory_);
    ::setenv("ORVANE_PROBE_MARK", "inherited", 1);
    // A descriptor without close-on-exec, as a socket of the program could be.
    const int leaky = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(leaky, 0);

    pid_t pid = -1;
    {
        WorkingDirectory here(directory_);
        pid = startCockpitDisplay();
    }
    ::close(leaky);
    ASSERT_GT(pid, 0);

    auto record = waitForRecord(directory_, pid);
    ASSERT_FALSE(record.empty()) << "the probe wrote no record";
    EXPECT_EQ("1", record["argc"]);
    EXPECT_EQ("_spwanl", record["argv0"]);
    EXPECT_EQ(directory_.string(), record["cwd"]);
    EXPECT_EQ("inherited", record["mark"]);
    EXPECT_EQ("", record["fds"]) << "descriptors leaked into the cockpit process";
    EXPECT_TRUE(collectedWithin(pid, std::chrono::seconds(5))) << "the ended child was left a zombie";
}

TEST_F(CockpitSpawn, TwoCommandsStartTwoProcessesAndLeaveNoZombie) {
    installProbe(directory_);
    pid_t first = -1;
    pid_t second = -1;
    {
        WorkingDirectory here(directory_);
        first = startCockpitDisplay();
        second = startCockpitDisplay();
    }
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    EXPECT_NE(first, second);
    EXPECT_FALSE(waitForRecord(directory_, first).empty());
    EXPECT_FALSE(waitForRecord(directory_, second).empty());
    EXPECT_TRUE(collectedWithin(first, std::chrono::seconds(5)));
    EXPECT_TRUE(collectedWithin(second, std::chrono::seconds(5)));
}

TEST_F(CockpitSpawn, SearchesNoPathWhenTheProgramIsMissingHere) {
    // The program exists only in a directory of PATH: it must not be found there.
    const fs::path onPath = directory_ / "bin";
    const fs::path empty = directory_ / "empty";
    fs::create_directories(onPath);
    fs::create_directories(empty);
    installProbe(onPath);
    const char* oldPath = std::getenv("PATH");
    const std::string savedPath = oldPath ? oldPath : "";
    ::setenv("PATH", onPath.c_str(), 1);

    pid_t pid = 0;
    {
        WorkingDirectory here(empty);
        pid = startCockpitDisplay();
    }
    ::setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(-1, pid);
    EXPECT_TRUE(fs::is_empty(empty));
}
