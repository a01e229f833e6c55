#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "common/ProcessStat.h"

namespace {

// A /proc/<pid>/stat line with `name` as the command; utime 1500, stime 250, start time 987654.
std::string statLine(const std::string& name) {
    return "4242 (" + name +
           ") S 1 4242 4242 0 -1 4194560 900 0 0 0 1500 250 0 0 20 0 3 0 987654 862326784 40000 "
           "18446744073709551615 1 1 0 0 0 0 0 4096 0 0 0 17 1 0 0 0 0 0\n";
}

TEST(ProcessStat, FieldsAreCountedAfterTheCommandNameWhateverItHolds) {
    for (const std::string name : {"orvane", "a b", "x) R 1 2 (y", ")", ""}) {
        const std::optional<ProcessStat> stat = parseProcessStat(statLine(name));
        ASSERT_TRUE(stat.has_value()) << "name \"" << name << "\"";
        EXPECT_EQ(stat->cpuTicks, 1750u) << "name \"" << name << "\"";
        EXPECT_EQ(stat->startTicks, 987654u) << "name \"" << name << "\"";
    }
}

TEST(ProcessStat, ALineThatIsNotAProcessStatusIsRefused) {
    const std::string whole = statLine("orvane");
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"empty", ""},
        {"no command name", "4242 S 1 4242"},
        {"cut before the start time", whole.substr(0, whole.find(" 987654"))},
        {"a time that is not a count", "1 (p) S 1 1 1 0 -1 0 0 0 0 0 -5 250 0 0 20 0 3 0 987654 0"},
        {"a time with trailing letters", "1 (p) S 1 1 1 0 -1 0 0 0 0 0 15x 250 0 0 20 0 3 0 987654 0"},
        {"a time beyond 64 bits", "1 (p) S 1 1 1 0 -1 0 0 0 0 0 99999999999999999999 2 0 0 20 0 3 0 9 0"},
    };
    for (const Case& c : cases) EXPECT_FALSE(parseProcessStat(c.text).has_value()) << c.what;
}

TEST(ProcessStat, ReadsLiveProcessesAndNothingForAnEndedOne) {
    // Spin long enough for the kernel's tick to see it.
    const std::optional<ProcessStat> before = readProcessStat(0);
    ASSERT_TRUE(before.has_value());
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    volatile unsigned spin = 0;
    while (std::chrono::steady_clock::now() < until) spin = spin + 1;
    const std::optional<ProcessStat> after = readProcessStat(getpid());
    ASSERT_TRUE(after.has_value());
    EXPECT_GT(after->cpuTicks, before->cpuTicks);
    EXPECT_EQ(after->startTicks, before->startTicks);
    EXPECT_GT(readResidentMiB(0), 1.0);

    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_FALSE(readProcessStat(child).has_value());
    EXPECT_EQ(readResidentMiB(child), -1);
}

}  // namespace
