#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tools/sim/FlightModel.h"

// What a ground station's telemetry port may receive from a faulty or hostile peer, by kind:
// well-formed lines, lines cut anywhere, datagrams too long for the receive buffer, random bytes,
// and lines whose fields are extreme, non-finite, over-long, hexadecimal or missing.
enum class StormKind { valid, truncated, oversize, noise, hostile };
inline constexpr std::size_t kStormKindCount = 5;
const char* stormKindName(StormKind kind);

// The largest payload of one UDP datagram over IPv4.
inline constexpr std::size_t kLargestUdpPayload = 65507;
// The station reads at most this many bytes of a datagram; anything longer is refused whole.
inline constexpr std::size_t kStationLineLimit = 200;

// Makes the datagrams of a storm from a seed, so a run that finds a fault can be repeated.
class StormTraffic {
public:
    explicit StormTraffic(std::uint64_t seed);

    // Replaces `datagram` with the next one of the mix and tells its kind.
    StormKind next(std::vector<std::uint8_t>& datagram);
    // Replaces `datagram` with one of `kind`.
    void make(StormKind kind, std::vector<std::uint8_t>& datagram);

private:
    TelemetrySample plausibleSample();
    std::string validLine();
    std::string hostileToken();

    // Appends `count` random bytes: a slice of `pool_` at a random place, so that filling tens of
    // kilobytes does not limit the rate.
    void appendRandomBytes(std::vector<std::uint8_t>& datagram, std::size_t count);

    std::mt19937_64 random_;
    std::vector<std::uint8_t> pool_;
};

// Field tokens that a number parser must survive: non-finite spellings, values beyond float and
// 16-bit range, hexadecimal, signs and exponents without digits, and text that is not a number.
const std::vector<std::string>& hostileFieldTokens();
