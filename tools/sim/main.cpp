// orvane-sim: a simulated aircraft for the ground station (see --help).
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "common/ProgramOptions.h"
#include "tools/sim/SimOptions.h"
#include "tools/sim/SimRunner.h"
#include "tools/sim/SimSocket.h"

namespace {

std::atomic<bool> stopRequested{false};
std::atomic<int> pauseToggles{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "signal handlers may only touch lock-free atomics");

void onPauseSignal(int) {
    pauseToggles.fetch_add(1);
}
void onStopSignal(int) {
    stopRequested.store(true);
}

// Without SA_RESTART, so a signal wakes the loop out of its wait at once.
void handleSignal(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
}

void printLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const SimOptionsResult parsed = parseSimOptions(argc, argv);
    if (!parsed.options) {
        std::fprintf(stderr, "orvane-sim: %s\n\n%s", parsed.error.c_str(), simUsage());
        return 2;
    }
    const SimOptions& options = *parsed.options;
    if (options.helpRequested) {
        std::fputs(simUsage(), stdout);
        return 0;
    }
    if (options.versionRequested) {
        std::fputs(programVersion("orvane-sim").c_str(), stdout);
        return 0;
    }
    const auto destination = resolveIpv4(options.host, options.port);
    if (!destination) {
        std::fprintf(stderr, "orvane-sim: cannot resolve host %s\n", options.host.c_str());
        return 1;
    }
    SimSocket socket;
    if (!socket.isOpen()) {
        std::fprintf(stderr, "orvane-sim: %s\n", socket.error().c_str());
        return 1;
    }

    handleSignal(SIGUSR1, onPauseSignal);
    handleSignal(SIGINT, onStopSignal);
    handleSignal(SIGTERM, onStopSignal);

    SimRunner runner(options, *destination, socket.handle(), printLine);
    runner.run(stopRequested, pauseToggles);
    return 0;
}
