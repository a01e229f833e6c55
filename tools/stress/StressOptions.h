#pragma once

#include <cstdint>
#include <optional>
#include <string>

// `orvane-stress send`: the storm, then the known line until stopped, watching for the upload.
struct SendOptions {
    int port = 9001;
    double stormSeconds = 60;
    std::uint64_t seed = 1;
    std::string expectedGainFile;      // empty: no upload is expected
    double longestKnownSeconds = 300;  // the known line stops by itself after this long
};

// `orvane-stress compare`: two screenshots of the view, masked where runs legitimately differ.
struct CompareOptions {
    std::string first, second;
    std::string differencePicture;  // empty: none written
};

struct StressCommand {
    std::optional<SendOptions> send;
    std::optional<CompareOptions> compare;
    bool helpRequested = false;
    bool versionRequested = false;
    std::string error;  // not empty when the arguments could not be understood
};

StressCommand parseStressCommand(int argc, const char* const* argv);
const char* stressUsage();
