// Feeds arbitrary datagrams to the telemetry decoder. Beyond the sanitizers' checks (nothing past
// the datagram may be read), every float field must agree with the C library's scanner and the
// coordinates must stay finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/TelemetryDecoder.h"

namespace {

constexpr std::size_t kLargestDatagram = 200;
constexpr float kMarker = 777.0f;

using FloatField = std::atomic<float> TelemetryState::*;
constexpr FloatField kLineFloats[] = {&TelemetryState::p,     &TelemetryState::q,     &TelemetryState::r,
                                      &TelemetryState::ax,    &TelemetryState::ay,    &TelemetryState::az,
                                      &TelemetryState::phi,   &TelemetryState::theta, &TelemetryState::psi,
                                      &TelemetryState::aux10, &TelemetryState::aux11, &TelemetryState::aux12,
                                      &TelemetryState::palt,  &TelemetryState::cas,   &TelemetryState::alt};
constexpr int kLinePosition[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 17};

bool sameFloat(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

[[noreturn]] void fail(const char* what, int field, const char* line) {
    std::fprintf(stderr, "%s (field %d) for line \"%s\"\n", what, field, line);
    std::abort();
}

// The C library's reading of the same bytes. Coordinate tokens fit their buffers because the whole
// line is no longer than a datagram.
void compareWithCLibrary(const std::uint8_t* data, std::size_t size, const TelemetryState& state) {
    char line[kLargestDatagram + 1];
    std::memcpy(line, data, size);
    line[size] = '\0';
    float f[15];
    int status[3];
    char lat[kLargestDatagram + 1];
    char lon[kLargestDatagram + 1];
    int converted = std::sscanf(line, "%f %f %f %f %f %f %f %f %f %f %f %f %f %f %200s %200s %f %d %d %d",
                                &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9], &f[10],
                                &f[11], &f[12], &f[13], lat, lon, &f[14], &status[0], &status[1], &status[2]);
    if (converted < 0) converted = 0;
    for (std::size_t k = 0; k < std::size(kLineFloats); ++k) {
        const float actual = (state.*kLineFloats[k]).load();
        if (kLinePosition[k] > converted) {
            if (!sameFloat(actual, kMarker))
                fail("field changed although the scan stopped before it", kLinePosition[k], line);
        } else if (!sameFloat(actual, f[k])) {
            fail("float differs from the C library's", kLinePosition[k], line);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TelemetryState state;
    for (FloatField field : kLineFloats) (state.*field).store(kMarker);
    std::int32_t now = 0;
    TelemetryDecoder decoder(state, [&now] { return now += 37; });
    decoder.decode(reinterpret_cast<const char*>(data), size);

    if (!std::isfinite(state.lat.load()) || !std::isfinite(state.lon.load())) std::abort();
    if (state.newData.load() != 1 || state.linkAlive.load() != 1) std::abort();
    if (size <= kLargestDatagram) compareWithCLibrary(data, size, state);
    return 0;
}
