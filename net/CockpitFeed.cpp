#include "net/CockpitFeed.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <system_error>
#include <thread>

#include "net/NetSocket.h"
#include "net/TelemetryState.h"

extern char** environ;

namespace {

void store(CockpitFeedPacket& packet, std::size_t offset, double value) {
    storeLittleEndianDouble(packet.bytes.data() + offset, value);
}

double toDegrees(float radians) {
    return static_cast<double>(radians) * kCockpitDegreesPerRadian;
}

// Blocks until `pid` has ended and collects it; the only waiter for that one child.
void reapWhenEnded(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) == -1 && errno == EINTR) {
    }
}

// Owns the spawn attribute objects for the length of one start.
struct SpawnSetup {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    bool actionsReady = false;
    bool attributesReady = false;

    SpawnSetup() {
        actionsReady = posix_spawn_file_actions_init(&actions) == 0;
        attributesReady = posix_spawnattr_init(&attributes) == 0;
    }
    ~SpawnSetup() {
        if (actionsReady) posix_spawn_file_actions_destroy(&actions);
        if (attributesReady) posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

void fillCockpitFeed(const TelemetryState& telemetry, CockpitFeedPacket& packet) {
    namespace at = cockpit_offset;
    store(packet, at::kLatitude, kCockpitFeedLatitude);
    store(packet, at::kLongitude, kCockpitFeedLongitude);
    store(packet, at::kPitch, toDegrees(telemetry.theta.load(std::memory_order_relaxed)));
    store(packet, at::kRoll, toDegrees(telemetry.phi.load(std::memory_order_relaxed)));
    store(packet, at::kHeading, toDegrees(telemetry.psi.load(std::memory_order_relaxed)));
    // One load each, so the two copies of a value always agree.
    const double altitude = telemetry.alt.load(std::memory_order_relaxed);
    store(packet, at::kAltitude, altitude);
    store(packet, at::kAltitudeAgain, altitude);
    const double airspeed = telemetry.cas.load(std::memory_order_relaxed);
    store(packet, at::kAirspeed, airspeed);
    store(packet, at::kAirspeedAgain, airspeed);
    store(packet, at::kRollRate, toDegrees(telemetry.p.load(std::memory_order_relaxed)));
    store(packet, at::kPitchRate, toDegrees(telemetry.q.load(std::memory_order_relaxed)));
    store(packet, at::kYawRate, toDegrees(telemetry.r.load(std::memory_order_relaxed)));
    store(packet, at::kZeroA, 0.0);
    store(packet, at::kZeroB, 0.0);
}

void CockpitFeed::tick(const TelemetryState& telemetry, int cockpitFeedOn, NetSocket& feedSocket) {
    if (cockpitFeedOn != 1) return;
    fill(telemetry);
    feedSocket.sendData(packet_.bytes.data(), kCockpitFeedSize);
}

pid_t startCockpitDisplay() {
    SpawnSetup setup;
    if (!setup.actionsReady || !setup.attributesReady) {
        errno = ENOMEM;
        return -1;
    }
    // Descriptors opened without close-on-exec (by this program or by a library) would otherwise
    // live on in a cockpit process that outlasts this program.
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    // The calling thread's blocked signals are no business of the cockpit program.
    sigset_t noSignals;
    sigemptyset(&noSignals);
    posix_spawnattr_setsigmask(&setup.attributes, &noSignals);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK);

    std::string programName = kCockpitProgramName;  // posix_spawn wants mutable argument strings
    char* const arguments[] = {programName.data(), nullptr};
    pid_t pid = -1;
    const int error =
        posix_spawn(&pid, kCockpitProgramPath, &setup.actions, &setup.attributes, arguments, environ);
    if (error != 0) {
        // A child whose exec failed has already been collected by posix_spawn itself.
        errno = error;
        return -1;
    }
    try {
        std::thread(reapWhenEnded, pid).detach();
    } catch (const std::system_error&) {
        // No thread to wait with: the child still runs; it stays a zombie once it ends, which is
        // the lesser harm than failing the command.
    }
    return pid;
}
