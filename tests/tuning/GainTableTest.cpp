#include "tuning/GainTable.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/DialogNumbers.h"
#include "tests/tuning/TuningTestSupport.h"

namespace {

void writeFile(const char* name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
}

std::string readFile(const char* name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

double asFloat(double value) {
    return static_cast<float>(value);
}

class GainFileTest : public ::testing::Test {
    ScratchDirectory directory_;
};

const char* const kDefaultFileText =
    " 0.2560  0.0000  0.0110 \n"
    " 0.3260  0.0400  0.0230 \n"
    " 0.7140  0.2030  0.0000 \n"
    " 0.0800  0.0970  0.0240 \n"
    " 0.2300  0.0000  0.0000 \n";

TEST_F(GainFileTest, WithoutAFileTheDefaultsAreUsedAndSavedInFixedColumns) {
    GainTable gains;
    gains.proportional.fill(9);
    const GainFileLoad load = loadGainFile(gains);
    EXPECT_EQ(load.rowsRead, 0);
    EXPECT_FALSE(load.exists);
    EXPECT_TRUE(load.whole());
    EXPECT_EQ(gains, kDefaultGainTable);

    writeFile(kGainFileName, "an older, longer file that the save must replace entirely\n");
    ASSERT_TRUE(saveGainFile(gains));
    EXPECT_EQ(readFile(kGainFileName), kDefaultFileText);
    EXPECT_FALSE(std::filesystem::exists(kGainFileTempName));
}

TEST_F(GainFileTest, ReadBackKeepsFourDecimalsAtSinglePrecision) {
    const double saved[] = {0.12345, 123.45678, -0.25, 0.00004, 2.0};
    const char* const written[] = {"0.1235", "123.4568", "-0.2500", "0.0000", "2.0000"};
    GainTable gains{};
    std::copy(std::begin(saved), std::end(saved), gains.integral.begin());
    ASSERT_TRUE(saveGainFile(gains));
    GainTable loaded;
    ASSERT_EQ(loadGainFile(loaded).rowsRead, 5);
    for (std::size_t k = 0; k < 5; ++k)
        EXPECT_EQ(loaded.integral[k], asFloat(std::strtod(written[k], nullptr))) << written[k];
    EXPECT_EQ(formatDialogNumber(loaded.integral[0]), "0.123499996960163");
}

TEST_F(GainFileTest, ReadsCompleteRowsAndDefaultsTheRest) {
    // Row k of a readable file holds k + 0.25, k + 0.5 and k + 0.75.
    struct Case {
        const char* name;
        const char* text;
        int rows;
    };
    const Case cases[] = {
        {"lines", "0.25 0.5 0.75\n1.25 1.5 1.75\n2.25 2.5 2.75\n3.25 3.5 3.75\n4.25 4.5 4.75\n", 5},
        {"tabs, blank lines, CRLF",
         "\t 0.25\r\n0.5\r\n\r\n 0.75 1.25\t1.5 1.75\n\n2.25 2.5 2.75 3.25 3.5 3.75 4.25 4.5 4.75 \r\n", 5},
        {"extra numbers", "0.25 0.5 0.75 1.25 1.5 1.75 2.25 2.5 2.75 3.25 3.5 3.75 4.25 4.5 4.75 9 9 9", 5},
        {"empty", "", 0},
        {"short", "0.25 0.5 0.75 1.25 1.5 1.75 2.25", 2},
        {"not a number", "0.25 0.5 0.75 1.25 x 1.75 2.25 2.5 2.75 3.25 3.5 3.75 4.25 4.5 4.75", 1},
        {"not finite", "0.25 0.5 0.75 1.25 1.5 1.75 2.25 2.5 2.75 3.25 inf 3.75 4.25 4.5 4.75", 3},
        {"overflow", "0.25 0.5 1e39 1.25 1.5 1.75 2.25 2.5 2.75 3.25 3.5 3.75 4.25 4.5 4.75", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(kGainFileName, c.text);
        GainTable gains;
        const GainFileLoad load = loadGainFile(gains);
        EXPECT_EQ(load.rowsRead, c.rows);
        // An existing file with a row missing is not whole, the empty one included.
        EXPECT_TRUE(load.exists);
        EXPECT_EQ(load.whole(), c.rows == 5);
        for (std::size_t k = 0; k < 5; ++k) {
            const bool fromFile = static_cast<int>(k) < c.rows;
            const double base = static_cast<double>(k);
            EXPECT_EQ(gains.proportional[k], fromFile ? base + 0.25 : kDefaultGainTable.proportional[k]) << k;
            EXPECT_EQ(gains.integral[k], fromFile ? base + 0.5 : kDefaultGainTable.integral[k]) << k;
            EXPECT_EQ(gains.derivative[k], fromFile ? base + 0.75 : kDefaultGainTable.derivative[k]) << k;
        }
    }
}

// Each case makes the save fail in its own way; the old file must survive byte for byte and no
// temporary file may be left behind.
TEST_F(GainFileTest, AFailedSaveLeavesTheOldFileUntouched) {
    struct Case {
        const char* name;
        void (*breakIt)();
        void (*repair)();
        bool tempIsOurs;
    };
    static rlimit fileSizeLimit{};
    const Case cases[] = {
        {"directory in place of the temporary file",
         [] { std::filesystem::create_directory(kGainFileTempName); },
         [] { std::filesystem::remove(kGainFileTempName); }, false},
        {"write cut short by the file size limit",
         [] {
             std::signal(SIGXFSZ, SIG_IGN);
             getrlimit(RLIMIT_FSIZE, &fileSizeLimit);
             rlimit small = fileSizeLimit;
             small.rlim_cur = 30;
             setrlimit(RLIMIT_FSIZE, &small);
         },
         [] {
             setrlimit(RLIMIT_FSIZE, &fileSizeLimit);
             std::signal(SIGXFSZ, SIG_DFL);
         },
         true},
        {"read-only directory", [] { ::chmod(".", 0555); }, [] { ::chmod(".", 0755); }, true},
    };
    const std::string oldText = " 1.0000  2.0000  3.0000 \n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The superuser writes into read-only directories.
        if (std::string(c.name) == "read-only directory" && ::geteuid() == 0) continue;
        writeFile(kGainFileName, oldText);
        c.breakIt();
        std::string error;
        const bool saved = saveGainFile(kDefaultGainTable, &error);
        c.repair();
        EXPECT_FALSE(saved);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(readFile(kGainFileName), oldText);
        if (c.tempIsOurs) {
            EXPECT_FALSE(std::filesystem::exists(kGainFileTempName));
        }
    }
}

// The saves of an operator who is not the superuser (the test drops to "nobody" in a child when it
// runs as root): a file the operator may not write is refused and left as it was, the replacement
// keeps the old permission bits exactly whatever the umask, and a link is followed to its target.
TEST_F(GainFileTest, SavesAsAnOrdinaryUserKeepPermissionsAndFollowLinks) {
    const std::string oldText = " 1.0000  2.0000  3.0000 \n";
    const auto permissions = [](const char* name) {
        struct stat status {};
        return ::stat(name, &status) == 0 ? status.st_mode & 07777 : 0u;
    };
    const auto saveAsOrdinaryUser = [&] {
        if (::geteuid() == 0) {
            constexpr uid_t kNobody = 65534;
            if (::chmod(".", 0777) != 0 || ::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 ||
                ::setuid(kNobody) != 0)
                std::_Exit(100);
        }
        ::umask(077);
        int failures = 0;
        const auto check = [&failures](bool ok, const char* what) {
            if (ok) return;
            std::fprintf(stderr, "FAILED: %s\n", what);
            ++failures;
        };
        std::string error;

        writeFile(kGainFileName, oldText);
        ::chmod(kGainFileName, 0444);
        check(!saveGainFile(kDefaultGainTable, &error), "a read-only gain file was replaced");
        check(error.find("not writable") != std::string::npos, "the refusal does not say why");
        check(readFile(kGainFileName) == oldText && permissions(kGainFileName) == 0444,
              "the read-only gain file was changed");
        check(!std::filesystem::exists(kGainFileTempName), "a temporary file was left");

        ::chmod(kGainFileName, 0664);
        check(saveGainFile(kDefaultGainTable), "a writable gain file was not saved");
        check(readFile(kGainFileName) == kDefaultFileText, "the saved text is wrong");
        check(permissions(kGainFileName) == 0664, "the permission bits were not kept");

        ::unlink(kGainFileName);
        ::mkdir("kept", 0755);
        writeFile("kept/gains", oldText);
        ::chmod("kept/gains", 0640);
        ::symlink("kept/gains", kGainFileName);
        check(saveGainFile(kDefaultGainTable), "the gain file behind a link was not saved");
        check(std::filesystem::is_symlink(kGainFileName), "the link was replaced");
        check(readFile("kept/gains") == kDefaultFileText, "the link's target was not written");
        check(permissions("kept/gains") == 0640, "the target's permission bits were not kept");
        check(!std::filesystem::exists("kept/gains.tmp"), "a temporary file was left beside the target");

        ::chmod("kept/gains", 0440);
        check(!saveGainFile(kDefaultGainTable), "a read-only target behind a link was replaced");
        check(readFile("kept/gains") == kDefaultFileText && std::filesystem::is_symlink(kGainFileName),
              "the read-only target or its link was changed");
        std::_Exit(failures);
    };
    EXPECT_EXIT(saveAsOrdinaryUser(), ::testing::ExitedWithCode(0), "");
}

TEST(DialogNumbers, FormatAndParse) {
    struct Shown {
        double value;
        const char* text;
    };
    for (const Shown& c :
         {Shown{0.256, "0.256"}, Shown{asFloat(0.256), "0.256000012159348"}, Shown{0, "0"}, Shown{100, "100"},
          Shown{0.01, "0.01"}, Shown{1e-5, "1e-05"}, Shown{123456789012345678.0, "1.23456789012346e+17"}})
        EXPECT_EQ(formatDialogNumber(c.value), c.text);

    struct Read {
        std::string text;
        std::optional<double> value;
    };
    const Read reads[] = {
        {"2", 2.0},
        {"  0.5", 0.5},
        {"2abc", 2.0},
        {"1e2", 100.0},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        // Only the first 399 characters are read.
        {std::string(398, ' ') + "5", 5.0},
        {std::string(399, ' ') + "5", std::nullopt},
    };
    for (const Read& c : reads) EXPECT_EQ(parseDialogNumber(c.text), c.value) << '"' << c.text << '"';
}

}  // namespace
