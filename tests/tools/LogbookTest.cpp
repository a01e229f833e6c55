#include "tools/log/Logbook.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include "net/UplinkFrame.h"
#include "tests/record/RecordTestSupport.h"
#include "tools/log/LogbookIndex.h"
#include "tools/log/LogbookReport.h"
#include "tools/log/LogbookWatcher.h"

namespace {

constexpr std::uint32_t kAircraftA = 0x0A000002;  // 10.0.0.2
constexpr std::uint32_t kAircraftB = 0x0A000003;
constexpr std::uint32_t kStranger = 0x0A000009;
constexpr std::uint32_t kGround = 0x0A000001;
constexpr std::int64_t kStart = 1796761967LL * 1000000;  // 2026-12-08 20:32:47 UTC
constexpr std::int64_t kDay = 86400LL * 1000000;
constexpr std::int64_t kSecond = 1000000;
// Metres of a degree of latitude along a meridian at the equator (WGS84).
constexpr double kMetresPerDegreeAtEquator = 110574.2727;

FrameToWrite line(std::uint32_t from, std::int64_t at, double lat, double alt, double cas,
                  std::uint16_t port = 9001) {
    char text[200];
    std::snprintf(text, sizeof text, "0 0 0 0 0 0 0 0 0 0 0 0 100 %.1f %.6f 10.000000 %.1f 1 1 1", cas, lat,
                  alt);
    return {at, udpPacket(from, 4000, kGround, port, bytesOf(text))};
}

// Lines every `step` from `from` to `to` (seconds after `start`), climbing north.
void addLines(std::vector<FrameToWrite>& frames, std::uint32_t sender, std::int64_t start, double from,
              double to, double step, double northPerLine) {
    for (int i = 0; from + i * step <= to + 1e-9; ++i) {
        frames.push_back(line(sender, start + std::llround((from + i * step) * 1e6), i * northPerLine,
                              100 + i, 20 + i % 5));
    }
}

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Expected {
    std::uint32_t aircraft;
    std::int64_t startMicros, durationMicros, linkUpMicros, lines, gaps, uploads;
    double kilometres;
    const char* problem;  // a part of it
};

// A season in a folder: two flights of one aircraft (one with a link gap and a stranger's lines),
// one of another with an upload and a damaged tail, a file that is no capture and a capture of
// another port.
class LogbookFolder : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<FrameToWrite> first;
        addLines(first, kAircraftA, kStart, 0, 10, 0.1, 0.00009);
        writeCapture(path("a1.pcap"), DLT_RAW, first);

        std::vector<FrameToWrite> second;
        addLines(second, kAircraftA, kStart + kDay, 0, 5, 0.1, 0);
        addLines(second, kAircraftA, kStart + kDay, 8, 10, 0.1, 0);
        for (const double at : {1.05, 2.05, 3.05}) {
            second.push_back({kStart + kDay + std::llround(at * 1e6),
                              udpPacket(kStranger, 4000, kGround, 9001, bytesOf("1 2 3"))});
        }
        std::sort(second.begin(), second.end(),
                  [](const FrameToWrite& a, const FrameToWrite& b) { return a.timeMicros < b.timeMicros; });
        writeCapture(path("a2.pcap"), DLT_RAW, second);

        std::vector<FrameToWrite> third;
        addLines(third, kAircraftB, kStart + 2 * kDay, 0, 20, 0.5, 0);
        const auto upload = frameUplinkText("W 1  1.000000 10.000000 ", kUplinkTextFull);
        third.insert(third.begin() + 11,
                     {kStart + 2 * kDay + 5 * kSecond + 1,
                      udpPacket(kGround, 9001, kAircraftB, 4000, Bytes(upload->begin(), upload->end()))});
        writeCapture(path("b1.pcap"), DLT_RAW, third);
        std::ofstream(path("b1.pcap"), std::ios::app | std::ios::binary) << "damaged";

        std::ofstream(path("junk.pcap")) << "not a capture at all\n";
        writeCapture(path("other-port.pcap"), DLT_RAW, {line(kAircraftA, kStart, 0, 1, 1, 9100)});
        std::ofstream(path("notes.txt")) << "not a recording\n";
    }

    std::filesystem::path path(const std::string& name) const { return scratch.path() / name; }

    // The rows of the folder by file name, and what the scan told.
    std::map<std::string, LogbookRow> scan(std::vector<std::string>* messages = nullptr) {
        std::map<std::string, LogbookRow> rows;
        LogbookScan request;
        request.sources = {scratch.path()};
        request.port = 9001;
        request.row = [&](const LogbookRow& row) {
            EXPECT_EQ(rows.count(row.name), 0u) << row.name << " came twice";
            rows[row.name] = row;
        };
        request.message = [&](const std::string& text) {
            if (messages != nullptr) messages->push_back(text);
        };
        EXPECT_TRUE(scanLogbook(request));
        return rows;
    }

    static void expectRow(const LogbookRow& row, const Expected& expected) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(row.figures);
        EXPECT_EQ(row.aircraft, expected.aircraft);
        EXPECT_EQ(row.startMicros, expected.startMicros);
        EXPECT_EQ(row.durationMicros, expected.durationMicros);
        EXPECT_EQ(row.linkUpMicros, expected.linkUpMicros);
        EXPECT_EQ(row.lines, expected.lines);
        EXPECT_EQ(row.linkGaps, expected.gaps);
        EXPECT_EQ(row.uploads, expected.uploads);
        EXPECT_NEAR(row.distanceMetres / 1000, expected.kilometres, 0.0005);
        if (*expected.problem == '\0') {
            EXPECT_EQ(row.problem, "");
        } else {
            EXPECT_NE(row.problem.find(expected.problem), std::string::npos) << row.problem;
        }
    }

    void expectSeason(const std::map<std::string, LogbookRow>& rows) {
        ASSERT_EQ(rows.size(), 5u);  // notes.txt is no recording
        expectRow(rows.at("a1.pcap"), {kAircraftA, kStart, 10 * kSecond, 10 * kSecond, 101, 0, 0,
                                       0.009 * kMetresPerDegreeAtEquator / 1000, ""});
        expectRow(rows.at("a2.pcap"),
                  // The view read the link as up for a second after the last line before the gap.
                  {kAircraftA, kStart + kDay, 10 * kSecond, 8 * kSecond, 51 + 21 + 3, 1, 0, 0, ""});
        expectRow(rows.at("b1.pcap"),
                  {kAircraftB, kStart + 2 * kDay, 20 * kSecond, 20 * kSecond, 41, 0, 1, 0, "cut short"});
        EXPECT_EQ(rows.at("a1.pcap").highestAltitude, 200.0);
        EXPECT_EQ(rows.at("a1.pcap").highestAirspeed, 24.0);
        EXPECT_FALSE(rows.at("junk.pcap").figures);
        EXPECT_NE(rows.at("junk.pcap").problem.find("not a pcap capture file"), std::string::npos);
        EXPECT_NE(rows.at("other-port.pcap").problem.find("no telemetry to port 9001"), std::string::npos);
    }

    ScratchFolder scratch;
};

TEST_F(LogbookFolder, RowsAndTotalsOfASeason) {
    const auto rows = scan();
    expectSeason(rows);

    std::vector<LogbookRow> list;
    for (const auto& [name, row] : rows) list.push_back(row);
    const std::vector<LogbookTotal> totals = logbookTotals(list);
    ASSERT_EQ(totals.size(), 3u);
    const struct {
        std::uint32_t aircraft;
        std::int64_t flights, duration, linkUp;
        double kilometres;
    } expected[] = {{kAircraftA, 2, 20 * kSecond, 18 * kSecond, 0.995},
                    {kAircraftB, 1, 20 * kSecond, 20 * kSecond, 0},
                    {0, 3, 40 * kSecond, 38 * kSecond, 0.995}};
    for (std::size_t i = 0; i < totals.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(totals[i].aircraft, expected[i].aircraft);
        EXPECT_EQ(totals[i].flights, expected[i].flights);
        EXPECT_EQ(totals[i].durationMicros, expected[i].duration);
        EXPECT_EQ(totals[i].linkUpMicros, expected[i].linkUp);
        EXPECT_NEAR(totals[i].distanceMetres / 1000, expected[i].kilometres, 0.001);
    }
}

TEST_F(LogbookFolder, OnlyNewOrChangedRecordingsAreReadAndNoneIsWritten) {
    scan();
    std::map<std::string, std::string> before;
    for (const char* name : {"a1.pcap", "a2.pcap", "b1.pcap", "junk.pcap"})
        before[name] = contents(path(name));

    // Changed bytes under the same size and time: the index answers, the file is not read again.
    struct stat state {};
    ASSERT_EQ(::stat(path("a1.pcap").c_str(), &state), 0);
    std::string altered = before["a1.pcap"];
    std::fill(altered.begin() + 24, altered.end(), '\0');
    std::ofstream(path("a1.pcap"), std::ios::binary | std::ios::trunc) << altered;
    const timespec times[2] = {state.st_atim, state.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path("a1.pcap").c_str(), times, 0), 0);
    EXPECT_EQ(scan().at("a1.pcap").lines, 101);
    std::ofstream(path("a1.pcap"), std::ios::binary | std::ios::trunc) << before["a1.pcap"];
    ASSERT_EQ(::utimensat(AT_FDCWD, path("a1.pcap").c_str(), times, 0), 0);

    // Added, grown (a recording still being written), removed, and replaced by another flight of
    // the same size under the same name.
    std::vector<FrameToWrite> added;
    addLines(added, kAircraftB, kStart + 3 * kDay, 0, 1, 0.5, 0);
    writeCapture(path("b2.pcap"), DLT_RAW, added);
    std::vector<FrameToWrite> grown;
    addLines(grown, kAircraftA, kStart, 0, 30, 0.1, 0.00003);
    writeCapture(path("a1.pcap"), DLT_RAW, grown);
    std::filesystem::remove(path("a2.pcap"));
    std::vector<FrameToWrite> replacement;
    addLines(replacement, kAircraftA, kStart + 5 * kDay, 0, 20, 0.5, 0);
    replacement.insert(replacement.begin() + 11,
                       {kStart + 5 * kDay + 5 * kSecond + 1,
                        udpPacket(kGround, 9001, kAircraftA, 4000, Bytes(kUplinkSize, 'x'))});
    ASSERT_EQ(::stat(path("b1.pcap").c_str(), &state), 0);
    writeCapture(path("b1.pcap"), DLT_RAW, replacement);
    std::ofstream(path("b1.pcap"), std::ios::app | std::ios::binary) << "damaged";
    ASSERT_EQ(std::filesystem::file_size(path("b1.pcap")), static_cast<std::uintmax_t>(state.st_size));
    const timespec later[2] = {state.st_atim, {state.st_mtim.tv_sec + 1, state.st_mtim.tv_nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path("b1.pcap").c_str(), later, 0), 0);

    const auto rows = scan();
    EXPECT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows.count("a2.pcap"), 0u);
    EXPECT_EQ(rows.at("b2.pcap").lines, 3);
    EXPECT_EQ(rows.at("a1.pcap").lines, 301);
    EXPECT_EQ(rows.at("a1.pcap").durationMicros, 30 * kSecond);
    EXPECT_EQ(rows.at("b1.pcap").aircraft, kAircraftA);
    EXPECT_EQ(rows.at("b1.pcap").startMicros, kStart + 5 * kDay);

    // The removed flight's row is gone from the file too.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path(kLogbookIndexName).c_str(), &db), SQLITE_OK);
    sqlite3_stmt* count = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db, "SELECT count(*) FROM recordings WHERE name = 'a2.pcap'", -1, &count, nullptr),
        SQLITE_OK);
    ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(count, 0), 0);
    sqlite3_finalize(count);
    sqlite3_close(db);

    EXPECT_EQ(contents(path("junk.pcap")), before["junk.pcap"]);
}

// Whatever became of the index between runs, the logbook stands and the index is usable again.
TEST_F(LogbookFolder, AnIndexDeletedDamagedOfAnotherVersionOrLockedIsOnlyACache) {
    enum class Harm { deleted, overwritten, truncated, otherVersion, locked };
    for (const Harm harm :
         {Harm::deleted, Harm::overwritten, Harm::truncated, Harm::otherVersion, Harm::locked}) {
        SCOPED_TRACE(static_cast<int>(harm));
        scan();
        const std::filesystem::path index = path(kLogbookIndexName);
        sqlite3* holder = nullptr;
        switch (harm) {
            case Harm::deleted:
                std::filesystem::remove(index);
                break;
            case Harm::overwritten: {
                std::string junk(std::filesystem::file_size(index), '\x5a');
                std::ofstream(index, std::ios::binary | std::ios::trunc) << junk;
                break;
            }
            case Harm::truncated:
                std::filesystem::resize_file(index, 1000);
                break;
            case Harm::otherVersion:
                ASSERT_EQ(sqlite3_open(index.c_str(), &holder), SQLITE_OK);
                ASSERT_EQ(sqlite3_exec(holder, "UPDATE recordings SET lines = 7; PRAGMA user_version = 99",
                                       nullptr, nullptr, nullptr),
                          SQLITE_OK);
                sqlite3_close(holder);
                holder = nullptr;
                break;
            case Harm::locked:
                ASSERT_EQ(sqlite3_open(index.c_str(), &holder), SQLITE_OK);
                ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
                break;
        }
        std::vector<std::string> messages;
        expectSeason(scan(&messages));
        if (harm == Harm::overwritten || harm == Harm::truncated || harm == Harm::locked) {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_NE(messages[0].find(harm == Harm::locked ? "in use" : "made anew"), std::string::npos)
                << messages[0];
        } else {
            EXPECT_TRUE(messages.empty()) << messages[0];
        }
        sqlite3_close(holder);
        // The next run finds a sound index again.
        LogbookIndex reopened(index);
        EXPECT_TRUE(reopened.onDisk());
        EXPECT_EQ(reopened.note(), "");
    }
}

TEST_F(LogbookFolder, FiltersAndCsv) {
    const struct {
        const char* since;
        std::optional<std::uint32_t> aircraft;
        std::vector<std::string> files;
    } cases[] = {
        {nullptr, std::nullopt, {"a1", "other-port", "a2", "b1", "junk"}},
        {"2026-12-09", std::nullopt, {"a2", "b1"}},
        {nullptr, kAircraftB, {"b1"}},
        {"2026-12-09", kAircraftA, {"a2"}},
    };
    for (const auto& test : cases) {
        LogbookRequest request;
        request.sources = {scratch.path()};
        request.port = 9001;
        request.csv = true;
        if (test.since != nullptr) request.filter.sinceMicros = parseLogbookDate(test.since);
        request.filter.aircraft = test.aircraft;
        char* text = nullptr;
        std::size_t size = 0;
        std::FILE* out = ::open_memstream(&text, &size);
        std::FILE* messages = std::fopen("/dev/null", "w");
        EXPECT_TRUE(writeLogbook(request, out, messages));
        std::fclose(messages);
        std::fclose(out);
        const std::string csv(text, size);
        std::free(text);
        std::string expected =
            "file,aircraft,start_utc,duration_s,link_up_s,lines,link_gaps,uploads,distance_km,highest_"
            "altitude,"
            "highest_airspeed,damaged_records,problem\n";
        std::vector<std::string> files;
        for (std::size_t at = csv.find('\n') + 1; at < csv.size(); at = csv.find('\n', at) + 1) {
            const std::string file = csv.substr(at, csv.find(',', at) - at);
            files.push_back(std::filesystem::path(file).stem().string());
        }
        EXPECT_EQ(csv.substr(0, expected.size()), expected);
        EXPECT_EQ(files, test.files);
        if (test.aircraft == kAircraftA && test.since != nullptr) {
            EXPECT_NE(
                csv.find(",10.0.0.2,2026-12-09T20:32:47.000000Z,10.000000,8.000000,75,1,0,0.000,150,24,0,\n"),
                std::string::npos)
                << csv;
        }
    }
    EXPECT_FALSE(parseLogbookDate("2026-02-30"));
    EXPECT_FALSE(parseLogbookDate("2026-12-9"));
}

}  // namespace

namespace {

// The news of `watcher` until a pass ended, or nothing after ten seconds.
std::optional<LogbookWatcher::Update> untilPassEnded(LogbookWatcher& watcher) {
    LogbookWatcher::Update all;
    for (int i = 0; i < 1000; ++i) {
        if (auto update = watcher.take()) {
            for (LogbookRow& row : update->rows) all.rows.push_back(std::move(row));
            if (update->passEnded) {
                all.passEnded = true;
                all.seen = std::move(update->seen);
                return all;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

TEST_F(LogbookFolder, TheWatcherHandsOverOnlyWhatChanged) {
    LogbookWatcher watcher({scratch.path()}, 9001, std::chrono::milliseconds(20));
    auto first = untilPassEnded(watcher);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->rows.size(), 5u);
    EXPECT_EQ(first->seen.size(), 5u);

    std::vector<FrameToWrite> grown;
    addLines(grown, kAircraftA, kStart, 0, 30, 0.1, 0);
    writeCapture(path("a1.pcap"), DLT_RAW, grown);
    std::filesystem::remove(path("junk.pcap"));
    // The pass under way may have missed the change; the one after it cannot.
    untilPassEnded(watcher);
    auto later = untilPassEnded(watcher);
    ASSERT_TRUE(later);
    EXPECT_EQ(later->seen.size(), 4u);
    EXPECT_EQ(later->seen.count(path("junk.pcap").string()), 0u);
    for (const LogbookRow& row : later->rows) EXPECT_EQ(row.name, "a1.pcap");
}

// Dropped while it reads: the thread ends on its own and nothing touches the dropped object.
TEST_F(LogbookFolder, AWatcherDroppedWhileReadingLeavesNoHarm) {
    for (int i = 0; i < 20; ++i) {
        LogbookWatcher watcher({scratch.path()}, 9001, std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::microseconds(200 * i));
        watcher.take();
    }
    // Their files are removed with the fixture; let the last threads see that before the
    // process ends.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

}  // namespace
