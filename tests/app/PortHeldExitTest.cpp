// The whole program under a display, ended while another program holds the telemetry port: the
// receiver thread keeps retrying the bind with its message box while the program ends, and must
// not reach the application once it is being destroyed.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "bench/ChildProcess.h"

namespace {

constexpr int kTelemetryPort = 9001;

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(PortHeldExit, EndsCleanlyWhileTheReceiverRetriesTheBind) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs a display";
    // Held here for the whole test; when it cannot be bound, another program holds it already.
    const int holder = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(holder, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kTelemetryPort);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ::bind(holder, reinterpret_cast<const sockaddr*>(&address), sizeof address);

    // Each run ends through the screenshot option, which closes the "bind() error" boxes that come
    // back while it runs; the receiver is in its retry loop when the program ends.
    for (int run = 0; run < 3; ++run) {
        char pattern[] = "/tmp/orvane-port-held-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        const std::filesystem::path directory = pattern;
        SpawnRequest request;
        request.program = ORVANE_PROGRAM;
        request.arguments = {"--screenshot", (directory / "frame.png").string(), "--after", "1"};
        request.workingDirectory = directory.string();
        request.environment = {{"XDG_CONFIG_HOME", (directory / "config").string()}};
        request.errorLog = (directory / "stderr.txt").string();
        ChildProcess program;
        ASSERT_TRUE(program.start(request)) << program.error();
        const auto status = program.waitFor(std::chrono::seconds(60));
        const std::string errors = readText(directory / "stderr.txt");
        std::filesystem::remove_all(directory);

        ASSERT_TRUE(status.has_value()) << "still running";
        EXPECT_EQ(*status, 0) << errors;
        // Each box the program shows also leaves one line, and the screenshot option closes at
        // most ten boxes a second; thousands of lines mean the receiver called in after the
        // application had gone (as it did, 4,795 to 25,166 of them in a run).
        std::size_t lines = 0;
        for (std::size_t at = errors.find("bind() error"); at != std::string::npos;
             at = errors.find("bind() error", at + 1))
            ++lines;
        EXPECT_LE(lines, 50u) << errors.substr(0, 400);
        EXPECT_EQ(errors.find("pure virtual"), std::string::npos) << errors;
    }
    ::close(holder);
}
