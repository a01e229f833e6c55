// Feeds arbitrary bytes to the waypoint file reader as the contents of a file. Beyond the
// sanitizers' checks (and their memory limit, which a file nested without end would reach): a file
// taken gives at most the points asked for, each a coordinate on the globe, and a file refused gives
// none and a message that names it.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "map/WaypointFile.h"

namespace {

constexpr std::size_t kLimit = 100;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

int fileOf(const std::uint8_t* data, std::size_t size) {
    static const int fd = ::memfd_create("gpx", 0);
    if (fd < 0) fail("no memory file");
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        fail("write failed");
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = "/proc/self/fd/" + std::to_string(fileOf(data, size));
    const WaypointFileRead read = readWaypointFile(path, kLimit);
    if (read.message.find(path) == std::string::npos) fail("a message that does not name the file");
    if (!read.ok) {
        if (!read.points.empty()) fail("points from a refused file");
        return 0;
    }
    if (read.points.empty() || read.points.size() > kLimit) fail("a point count outside 1..limit");
    for (const GeoPoint& point : read.points) {
        if (!(point.lat >= -90 && point.lat <= 90 && point.lon >= -180 && point.lon <= 180))
            fail("a point off the globe");
    }
    return 0;
}
