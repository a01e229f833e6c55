#pragma once

#include <sys/types.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>

struct TelemetryState;
class NetSocket;

// The cockpit display feed: one datagram of 87 little-endian IEEE-754 doubles, no header, sent to
// UDP port 5800 of the local host on every view timer tick while the feed is on.
inline constexpr int kCockpitFeedSize = 696;
inline constexpr int kCockpitFeedPort = 5800;
inline constexpr const char* kCockpitFeedHost = "localhost";

// Byte offsets of the fields the ground station writes; every other byte stays zero.
namespace cockpit_offset {
inline constexpr std::size_t kLatitude = 16;
inline constexpr std::size_t kLongitude = 24;
inline constexpr std::size_t kPitch = 40;
inline constexpr std::size_t kRoll = 48;
inline constexpr std::size_t kHeading = 56;
inline constexpr std::size_t kAltitude = 64;
inline constexpr std::size_t kAltitudeAgain = 72;
inline constexpr std::size_t kAirspeed = 80;
inline constexpr std::size_t kAirspeedAgain = 88;
inline constexpr std::size_t kRollRate = 120;
inline constexpr std::size_t kPitchRate = 128;
inline constexpr std::size_t kYawRate = 136;
inline constexpr std::size_t kZeroA = 144;
inline constexpr std::size_t kZeroB = 160;
}  // namespace cockpit_offset

// The position sent is always this fixed point, whatever the telemetry says.
inline constexpr double kCockpitFeedLatitude = 39.988141;
inline constexpr double kCockpitFeedLongitude = -75.21188;
// Radians to degrees as the whole system does it (not 180/pi).
inline constexpr double kCockpitDegreesPerRadian = 57.3;

static_assert(std::numeric_limits<double>::is_iec559 && sizeof(double) == 8,
              "the feed carries IEEE-754 binary64 numbers");
// Going through the integer image keeps the byte order explicit; it is only valid where doubles
// share the integer byte order, which excludes the old mixed-endian float layouts.
static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big,
              "mixed-endian platforms are not supported");

// Stores `value` little-endian into out[0..7] whatever the host byte order.
inline void storeLittleEndianDouble(std::uint8_t* out, double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

// Reads a little-endian double from in[0..7].
inline double loadLittleEndianDouble(const std::uint8_t* in) {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= std::uint64_t{in[i]} << (8 * i);
    return std::bit_cast<double>(bits);
}

// The view's packet buffer: zero from construction, rewritten in place by each fill.
struct CockpitFeedPacket {
    std::array<std::uint8_t, kCockpitFeedSize> bytes{};

    double valueAt(std::size_t offset) const { return loadLittleEndianDouble(bytes.data() + offset); }
};

// Writes the feed's fields from the current telemetry (each angle and rate as the float widened to
// double times 57.3; altitude and airspeed widened, unscaled). Bytes of no field are left as they
// are.
void fillCockpitFeed(const TelemetryState& telemetry, CockpitFeedPacket& packet);

// The feed as the view's timer runs it, the one path every packet takes. Holds the one packet
// buffer, so a tick allocates nothing. User-interface thread only.
class CockpitFeed {
public:
    // Writes the current telemetry into the packet (fillCockpitFeed).
    void fill(const TelemetryState& telemetry) { fillCockpitFeed(telemetry, packet_); }
    // One timer tick: fills and sends one packet on `feedSocket` when `cockpitFeedOn` is exactly 1
    // (any other value sends nothing); the send's result is not looked at (nobody may be listening).
    void tick(const TelemetryState& telemetry, int cockpitFeedOn, NetSocket& feedSocket);

    const CockpitFeedPacket& packet() const { return packet_; }

private:
    CockpitFeedPacket packet_{};
};

// Starts "./OpenGC.exe" from the current working directory (no search path) with the single
// argument "_spwanl" as its program name and the inherited environment, and returns at once. The
// child's end is collected by a detached thread of its own, so no zombie remains and no process-wide
// SIGCHLD handling is touched. The child inherits no descriptor beyond 0-2 (no port of ours may
// outlive this program in a cockpit process that keeps running).
// Returns the child's process id, or -1 with errno set when it could not be started.
pid_t startCockpitDisplay();

// The program file and the name the cockpit process receives as argv[0].
inline constexpr const char* kCockpitProgramPath = "./OpenGC.exe";
inline constexpr const char* kCockpitProgramName = "_spwanl";
