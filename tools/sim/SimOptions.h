#pragma once

#include <optional>
#include <string>

#include "tools/sim/FlightModel.h"

// How much lower --low flies the circuit: from about 135 m to about 100 m above sea level, low over
// the hill of the demonstration terrain (orvane-demgen).
inline constexpr double kLowDropMetres = 35;

struct SimOptions {
    std::string host = "127.0.0.1";
    int port = 9001;
    double linesPerSecond = 20;
    UnitStates units;
    std::optional<double> stopAfterSeconds;  // stop sending, keep receiving
    std::optional<double> durationSeconds;   // exit
    bool quiet = false;
    double altitudeDropMetres = 0;  // --low: kLowDropMetres
    bool helpRequested = false;
    bool versionRequested = false;
};

struct SimOptionsResult {
    std::optional<SimOptions> options;  // absent on error
    std::string error;
};

// Parses the command line (argv[0] is the program name).
SimOptionsResult parseSimOptions(int argc, const char* const* argv);

const char* simUsage();
