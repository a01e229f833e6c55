#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/UserFolder.h"

namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class UserFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvane-user-folder-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        top_ = pattern;
        maps_ = top_ / "usr/share/orvane/maps";
        cockpit_ = top_ / "usr/bin/orvane-cockpit";
        folder_ = top_ / "data/orvane";
        fs::create_directories(maps_);
        for (const char* name : {"site1.bmp", "site2.bmp", "site3.bmp"})
            writeText(maps_ / name, std::string("installed ") + name);
        writeText(maps_ / "README", "not a map");
        writeText(cockpit_, "cockpit program");
    }
    void TearDown() override { fs::remove_all(top_); }

    fs::path top_;
    fs::path maps_;
    fs::path cockpit_;
    fs::path folder_;
};

TEST(UserFolderPath, XdgDataHomeWhenAbsoluteElseTheHomeFolder) {
    struct Case {
        const char* xdgDataHome;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"/x/data", "/home/op", "/x/data/orvane"},
        {nullptr, "/home/op", "/home/op/.local/share/orvane"},
        {"", "/home/op", "/home/op/.local/share/orvane"},
        {"relative/data", "/home/op", "/home/op/.local/share/orvane"},
        {nullptr, "relative", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(userFolderPath(c.xdgDataHome, c.home).string(), c.expected)
            << (c.xdgDataHome ? c.xdgDataHome : "(unset)") << " " << c.home;
    }
}

TEST(UserFolderPath, InstalledMapsLieBesideTheProgramsFolder) {
    EXPECT_EQ(installedMapsFolder("/usr/bin"), fs::path("/usr/share/orvane/maps"));
    EXPECT_EQ(installedMapsFolder("/opt/o/bin"), fs::path("/opt/o/share/orvane/maps"));
}

TEST_F(UserFolderTest, FirstStartCopiesTheMapsAndLinksTheCockpitDisplay) {
    EXPECT_TRUE(layOutUserFolder(folder_, maps_, cockpit_).empty());
    for (const char* name : {"site1.bmp", "site2.bmp", "site3.bmp"})
        EXPECT_EQ(readText(folder_ / name), std::string("installed ") + name);
    EXPECT_FALSE(fs::exists(folder_ / "README"));
    EXPECT_EQ(fs::read_symlink(folder_ / "OpenGC.exe"), cockpit_);
    // Nothing half-written is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 4);
    // A second start finds everything in place.
    EXPECT_TRUE(layOutUserFolder(folder_, maps_, cockpit_).empty());
}

TEST_F(UserFolderTest, TheOperatorsOwnFilesAndLinksAreNeverReplacedOrWrittenThrough) {
    fs::create_directories(folder_);
    writeText(folder_ / "site1.bmp", "the operator's own map");
    // A link of the operator's pointing nowhere: a copy must not create its target.
    fs::create_symlink(top_ / "elsewhere.bmp", folder_ / "site2.bmp");
    writeText(folder_ / "OpenGC.exe", "the operator's own cockpit");

    EXPECT_TRUE(layOutUserFolder(folder_, maps_, cockpit_).empty());
    EXPECT_EQ(readText(folder_ / "site1.bmp"), "the operator's own map");
    EXPECT_TRUE(fs::is_symlink(folder_ / "site2.bmp"));
    EXPECT_FALSE(fs::exists(top_ / "elsewhere.bmp"));
    EXPECT_EQ(readText(folder_ / "site3.bmp"), "installed site3.bmp");
    EXPECT_EQ(readText(folder_ / "OpenGC.exe"), "the operator's own cockpit");
}

TEST_F(UserFolderTest, WhatCannotBeDoneIsToldAndTheRestIsDone) {
    // No installed maps: said, and the cockpit link is still made.
    auto problems = layOutUserFolder(folder_, top_ / "missing", cockpit_);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("installed maps"), std::string::npos) << problems[0];
    EXPECT_TRUE(fs::is_symlink(folder_ / "OpenGC.exe"));

    // A folder that cannot be made (a file stands in the way).
    writeText(top_ / "blocked", "");
    problems = layOutUserFolder(top_ / "blocked/orvane", maps_, cockpit_);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("could not create the folder"), std::string::npos) << problems[0];

    // A map that cannot be read (whoever runs the test, root included): the others are still copied.
    fs::remove(maps_ / "site2.bmp");
    fs::create_symlink("/proc/self/mem", maps_ / "site2.bmp");
    problems = layOutUserFolder(top_ / "other", maps_, cockpit_);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("site2.bmp"), std::string::npos) << problems[0];
    EXPECT_FALSE(fs::exists(top_ / "other/site2.bmp"));
    EXPECT_TRUE(fs::exists(top_ / "other/site3.bmp"));
    EXPECT_EQ(std::distance(fs::directory_iterator(top_ / "other"), fs::directory_iterator()), 3);
}

}  // namespace
