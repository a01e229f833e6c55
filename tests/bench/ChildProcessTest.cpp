#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "bench/ChildProcess.h"
#include "bench/VirtualDisplay.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// True when `pid` is neither running nor waiting to be reaped.
bool gone(pid_t pid) {
    return waitpid(pid, nullptr, WNOHANG) < 0 && errno == ECHILD && kill(pid, 0) != 0;
}

SpawnRequest shell(const std::string& script) {
    SpawnRequest request;
    request.program = "sh";
    request.arguments = {"-c", script};
    return request;
}

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvane-child-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

TEST(ChildProcess, RunsWhereAndWithWhatItIsToldAndReportsHowItEnded) {
    ScratchFolder folder;
    ::setenv("ORVANE_PROBE", "ours", 1);
    SpawnRequest request = shell("pwd; env | grep -c '^ORVANE_PROBE='; echo \"$ORVANE_PROBE\"; exit 7");
    request.workingDirectory = folder.path.string();
    request.environment = {{"ORVANE_PROBE", "theirs"}};
    request.captureOutput = true;
    ChildProcess child;
    ASSERT_TRUE(child.start(request)) << child.error();
    const std::string expected =
        std::filesystem::canonical(folder.path).string() + "\n1\ntheirs\n";  // replaced, not added twice
    EXPECT_EQ(child.readOutput(10s), expected);
    EXPECT_EQ(child.waitFor(10s), 7);
    EXPECT_FALSE(child.running());
    ::unsetenv("ORVANE_PROBE");

    // Its standard error goes to the log, after what was there.
    const std::string log = (folder.path / "child.log").string();
    std::ofstream(log) << "earlier\n";
    SpawnRequest noisy = shell("echo complaint >&2; kill -9 $$");
    noisy.errorLog = log;
    ASSERT_TRUE(child.start(noisy)) << child.error();
    EXPECT_EQ(child.waitFor(10s), 128 + SIGKILL);
    EXPECT_EQ(tailOfFile(log, 1), "\n    complaint");
}

TEST(ChildProcess, WhatCannotBeStartedIsSaidPlainly) {
    struct Case {
        std::string program;
        std::string workingDirectory;
        std::string said;
    };
    ScratchFolder folder;
    const std::string notExecutable = (folder.path / "notes.txt").string();
    std::ofstream(notExecutable) << "not a program\n";
    ::chmod(notExecutable.c_str(), 0644);
    const Case cases[] = {
        {"orvane-no-such-program", "", "No such file"},
        {"/nonexistent/orvane", "", "No such file"},
        {notExecutable, "", "Permission denied"},
        {"sh", "/nonexistent-folder", "no folder /nonexistent-folder"},
    };
    for (const Case& c : cases) {
        ChildProcess child;
        SpawnRequest request;
        request.program = c.program;
        request.workingDirectory = c.workingDirectory;
        EXPECT_FALSE(child.start(request)) << c.program;
        EXPECT_NE(child.error().find(c.program), std::string::npos) << child.error();
        EXPECT_NE(child.error().find(c.said), std::string::npos) << child.error();
        EXPECT_FALSE(child.running());
    }
}

TEST(ChildProcess, EndsEvenAChildThatIgnoresTheRequestAndLeavesNoZombie) {
    // Made to block SIGTERM the way a caller might for itself: the child must still get it.
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    pid_t polite = -1;
    {
        ChildProcess child;
        ASSERT_TRUE(child.start(shell("exec sleep 30")));
        polite = child.pid();
        const Clock::time_point start = Clock::now();
        child.stop(5s);
        EXPECT_LT(Clock::now() - start, 4s) << "SIGTERM reached it";
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    EXPECT_TRUE(gone(polite));

    pid_t stubborn = -1;
    {
        ChildProcess child;
        ASSERT_TRUE(child.start(shell("trap '' TERM; while :; do sleep 0.05; done")));
        stubborn = child.pid();
        std::this_thread::sleep_for(100ms);  // until the trap is set
        const Clock::time_point start = Clock::now();
        child.stop(300ms);
        EXPECT_LT(Clock::now() - start, 3s);
        EXPECT_FALSE(child.running());
    }
    EXPECT_TRUE(gone(stubborn));

    pid_t forgotten = -1;
    {
        ChildProcess child;
        ASSERT_TRUE(child.start(shell("exec sleep 30")));
        forgotten = child.pid();
    }  // the destructor ends it
    EXPECT_TRUE(gone(forgotten));
}

TEST(ChildProcess, OutputIsReadUpToItsBoundAndItsTimeout) {
    ChildProcess endless;
    SpawnRequest request;
    request.program = "yes";
    request.captureOutput = true;
    ASSERT_TRUE(endless.start(request));
    EXPECT_EQ(endless.readOutput(10s, 1000).size(), 1000u);

    ChildProcess silent;
    SpawnRequest quiet = shell("exec sleep 30");
    quiet.captureOutput = true;
    ASSERT_TRUE(silent.start(quiet));
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(silent.readOutput(200ms), "");
    EXPECT_LT(Clock::now() - start, 5s);
}

TEST(VirtualDisplay, TheReadyLineMustBeOneWholeDisplayNumber) {
    struct Case {
        const char* text;
        std::optional<int> number;
    };
    const Case cases[] = {
        {"0\n", 0},
        {"93\n", 93},
        {"123456\n", 123456},
        {"93", std::nullopt},
        {"\n", std::nullopt},
        {"9a\n", std::nullopt},
        {"-1\n", std::nullopt},
        {" 9\n", std::nullopt},
        {"1234567\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(parseDisplayNumber(c.text), c.number) << '"' << c.text << '"';
}

class StandInServer : public ::testing::Test {
protected:
    // A server stand-in that takes Xvfb's arguments ("-displayfd FD ...") and runs `body`.
    std::string writeServer(const std::string& body) {
        const std::filesystem::path path = folder.path / "server";
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        ::chmod(path.c_str(), 0755);
        return path.string();
    }
    std::string log() const { return (folder.path / "server.log").string(); }

    ScratchFolder folder;
};

TEST_F(StandInServer, TheDisplayIsTheOneTheServerPicked) {
    pid_t server = -1;
    {
        VirtualDisplay display;
        display.serverProgram = writeServer("eval \"echo 42 >&$2\"; exec sleep 30");
        ASSERT_TRUE(display.start("1280x1024", log(), 10s)) << display.error();
        EXPECT_EQ(display.name(), ":42");
        server = display.process().pid();
        EXPECT_TRUE(display.process().running());
    }
    EXPECT_TRUE(gone(server)) << "the server ends with the display";
}

TEST_F(StandInServer, AServerThatEndsOrStaysSilentIsReportedWithItsLog) {
    VirtualDisplay ended;
    ended.serverProgram = writeServer("echo 'no screens found' >&2; exit 1");
    EXPECT_FALSE(ended.start("1280x1024", log(), 10s));
    EXPECT_NE(ended.error().find("ended before it accepted clients"), std::string::npos) << ended.error();
    EXPECT_NE(ended.error().find("no screens found"), std::string::npos) << ended.error();

    VirtualDisplay silent;
    silent.serverProgram = writeServer("exec sleep 30");
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(silent.start("1280x1024", log(), 300ms));
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_NE(silent.error().find("did not report a display in time"), std::string::npos) << silent.error();
    EXPECT_FALSE(silent.process().running()) << "a silent server is not left behind";

    VirtualDisplay missing;
    missing.serverProgram = (folder.path / "no-server").string();
    EXPECT_FALSE(missing.start("1280x1024", log(), 1s));
    EXPECT_NE(missing.error().find("No such file"), std::string::npos) << missing.error();
}

}  // namespace
