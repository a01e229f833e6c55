#include <gtest/gtest.h>
#include <QFile>
#include <QXmlStreamReader>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "map/MapGeometry.h"
#include "map/WaypointFile.h"
#include "map/Waypoints.h"

namespace {

class WaypointFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = std::filesystem::temp_directory_path() /
                     ("orvane-gpx-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                      "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(directory_);
        initMapGeometry(geometry, 989, 826);
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    std::string file(const std::string& name, const std::string& text = {}) {
        const std::string path = (directory_ / name).string();
        if (!text.empty()) std::ofstream(path) << text;
        return path;
    }
    static std::string gpx(const std::string& body) {
        return "<?xml version=\"1.0\"?>\n<gpx xmlns=\"http://www.topografix.com/GPX/1/1\" version=\"1.1\" "
               "creator=\"test\">" +
               body + "</gpx>\n";
    }
    static std::string points(const char* element, int count, double lat0 = 39.98, double step = 1e-5) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            char point[128];
            std::snprintf(point, sizeof point, "<%s lat=\"%.9f\" lon=\"%.9f\"/>", element, lat0 + i * step,
                          -75.21 + i * step);
            text += point;
        }
        return text;
    }

    // `levels` elements, each opened inside the one before; closed again after `inside` when given.
    static std::string nested(int levels, const std::optional<std::string>& inside = std::nullopt) {
        std::string text;
        for (int i = 0; i < levels; ++i) text += "<extensions>";
        if (!inside) return text;
        text += *inside;
        for (int i = 0; i < levels; ++i) text += "</extensions>";
        return text;
    }

    MapGeometry geometry;
    std::filesystem::path directory_;
};

std::vector<GeoPoint> knownPoints(int count) {
    std::vector<GeoPoint> list;
    for (int i = 0; i < count; ++i) {
        // The extremes of the coordinate ranges and many fractional digits.
        const double inward = i < count / 2 ? 1.0 : -1.0;
        list.push_back({-90.0 + 180.0 * i / (count - 1) + inward * (i % 7) * 1.23456789e-8,
                        180.0 - 360.0 * i / (count - 1) - inward * (i % 5) * 9.87654321e-8});
    }
    return list;
}

TEST_F(WaypointFileTest, OneHundredWaypointsSurviveTheRoundTripAsWellFormedGpx11) {
    const std::vector<GeoPoint> written = knownPoints(kWaypointCapacity);
    const std::string path = file("route.gpx");
    std::string error;
    ASSERT_TRUE(writeWaypointFile(path, written, error)) << error;

    Waypoints waypoints;
    const WaypointFileRead read = loadWaypointFile(waypoints, geometry, path);
    ASSERT_TRUE(read.ok) << read.message;
    ASSERT_EQ(waypoints.waypointCount, kWaypointCapacity);
    for (std::size_t i = 0; i < written.size(); ++i) {
        EXPECT_NEAR(waypoints.waypointLat[i], written[i].lat, 1e-7) << i;
        EXPECT_NEAR(waypoints.waypointLon[i], written[i].lon, 1e-7) << i;
    }
    EXPECT_EQ(read.message, "Loaded 100 waypoints from the 100 route points of \"" + path +
                                "\". Press UPLOAD to send them to the aircraft.");

    // The schema's shape: gpx (namespace, version, creator) > rte > rtept (lat, lon) > name.
    QFile xml(QString::fromStdString(path));
    ASSERT_TRUE(xml.open(QIODevice::ReadOnly));
    QXmlStreamReader reader(&xml);
    std::vector<std::string> path_;
    int rtepts = 0;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const std::string name = reader.name().toString().toStdString();
            EXPECT_EQ(reader.namespaceUri().toString(), QStringLiteral("http://www.topografix.com/GPX/1/1"));
            if (name == "gpx") {
                EXPECT_TRUE(path_.empty());
                EXPECT_EQ(reader.attributes().value("version").toString(), QStringLiteral("1.1"));
                EXPECT_FALSE(reader.attributes().value("creator").isEmpty());
            } else if (name == "rte") {
                EXPECT_EQ(path_, std::vector<std::string>{"gpx"});
            } else if (name == "rtept") {
                EXPECT_EQ(path_, (std::vector<std::string>{"gpx", "rte"}));
                ++rtepts;
            } else if (name == "name") {
                EXPECT_EQ(path_, (std::vector<std::string>{"gpx", "rte", "rtept"}));
                EXPECT_EQ(reader.readElementText().toStdString(), "WP" + std::to_string(rtepts));
                continue;
            } else {
                ADD_FAILURE() << "unexpected element " << name;
            }
            path_.push_back(name);
        } else if (token == QXmlStreamReader::EndElement) {
            path_.pop_back();
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    EXPECT_EQ(rtepts, kWaypointCapacity);

    // Another program of the field reads the same route (its text output keeps six decimals).
    const std::string command = "gpsbabel -r -i gpx -f '" + path + "' -o unicsv -F - 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[256];
    std::vector<GeoPoint> babel;
    while (std::fgets(line, sizeof line, pipe)) {
        int number = 0;
        double lat = 0, lon = 0;
        if (std::sscanf(line, "%d,%lf,%lf", &number, &lat, &lon) == 3) babel.push_back({lat, lon});
    }
    ASSERT_EQ(pclose(pipe), 0) << "gpsbabel (scripts/install-deps.sh installs it) refused the file";
    ASSERT_EQ(babel.size(), written.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        EXPECT_NEAR(babel[i].lat, written[i].lat, 5e-7) << i;
        EXPECT_NEAR(babel[i].lon, written[i].lon, 5e-7) << i;
    }
}

TEST_F(WaypointFileTest, ARefusedFileNamesItselfAndTheProblemAndLeavesTheListAsItWas) {
    struct Case {
        const char* name;
        std::string text;  // empty: the file does not exist
        const char* problem;
    };
    const Case cases[] = {
        {"missing.gpx", "", "cannot be read"},
        {"text.gpx", "just some words\n", "not a GPX file"},
        {"kml.gpx", "<?xml version=\"1.0\"?><kml><Placemark/></kml>",
         "not a GPX file (its first element is <kml>)"},
        {"cut.gpx", gpx("").substr(0, 90) + "<rte><rtept lat=\"39.9\" lon=\"-75.2\">",
         "not a GPX file (line"},
        {"north.gpx",
         gpx("<rte><rtept lat=\"39.9\" lon=\"-75.2\"/><rtept lat=\"90.0001\" lon=\"-75.2\"/></rte>"),
         "the rtept on line 2 has the latitude 90.0001, outside -90..90"},
        {"east.gpx", gpx("<wpt lat=\"39.9\" lon=\"-180.5\"/>"),
         "the wpt on line 2 has the longitude -180.5, outside -180..180"},
        {"word.gpx", gpx("<trk><trkseg><trkpt lat=\"north\" lon=\"-75.2\"/></trkseg></trk>"),
         "is not a number"},
        {"nan.gpx", gpx("<wpt lat=\"nan\" lon=\"-75.2\"/>"), "is not a number"},
        {"nolon.gpx", gpx("<wpt lat=\"39.9\"/>"), "is not a number"},
        // A broken point in a part that would not be taken still refuses the file.
        {"brokentrack.gpx",
         gpx("<rte><rtept lat=\"1\" lon=\"2\"/></rte><trk><trkseg><trkpt lat=\"1\" "
             "lon=\"999\"/></trkseg></trk>"),
         "outside -180..180"},
        {"empty.gpx", gpx("<metadata/>"), "holds no route, no waypoints and no track points"},
        // Refused at the first element too deep, not at the broken end after it.
        {"deep.gpx", gpx("").substr(0, 98) + "<wpt lat=\"1\" lon=\"2\"/>" + nested(16) + "<unclosed",
         "nested deeper than a GPX file can be (more than 16 elements deep on line 2)"},
    };
    Waypoints waypoints;
    replaceWaypoints(waypoints, geometry, {{39.987, -75.212}, {39.986, -75.211}});
    waypoints.routeShown = 1;
    const Waypoints before = waypoints;
    for (const Case& c : cases) {
        const std::string path = c.text.empty() ? file(c.name) : file(c.name, c.text);
        const WaypointFileRead read = loadWaypointFile(waypoints, geometry, path);
        EXPECT_FALSE(read.ok) << c.name;
        EXPECT_NE(read.message.find("\"" + path + "\""), std::string::npos) << read.message;
        EXPECT_NE(read.message.find(c.problem), std::string::npos) << read.message;
        EXPECT_NE(read.message.find("The list is unchanged."), std::string::npos) << read.message;
        EXPECT_EQ(waypoints.waypointCount, before.waypointCount) << c.name;
        EXPECT_EQ(waypoints.routeShown, 1) << c.name;
        EXPECT_EQ(waypoints.waypointLat, before.waypointLat) << c.name;
        EXPECT_EQ(waypoints.waypointLon, before.waypointLon) << c.name;
    }
}

TEST_F(WaypointFileTest, TheListTakesAtMostOneHundredAndSaysWhyTheRestWereLeftOut) {
    struct Case {
        const char* name;
        std::string body;
        int taken;  // negative: at most that many (thinning keeps equal deviations together)
        std::string message;
    };
    const Case cases[] = {
        {"route130.gpx", "<rte>" + points("rtept", 130) + "</rte>", 100,
         "Loaded 100 waypoints from the 130 route points of \"" + std::string(directory_ / "route130.gpx") +
             "\". The list holds at most 100: "
             "the rest "
             "were left out."},
        {"wpt101.gpx", points("wpt", 101), 100,
         "Loaded 100 waypoints from the 101 waypoints of \"" + std::string(directory_ / "wpt101.gpx") +
             "\". The list holds at most 100"},
        // As deep as a file may go: gpx, fourteen levels, the point.
        {"deepest.gpx", nested(14, points("wpt", 1)), 1, "Loaded 1 waypoint from the 1 waypoints of"},
        {"wpt3.gpx", points("wpt", 3), 3,
         "Loaded 3 waypoints from the 3 waypoints of \"" + std::string(directory_ / "wpt3.gpx") +
             "\". Press UPLOAD"},
        {"both.gpx", points("wpt", 4) + "<rte>" + points("rtept", 2) + "</rte>", 2,
         "Loaded 2 waypoints from the 2 route points of \"" + std::string(directory_ / "both.gpx") +
             "\". The file's other waypoints and tracks "
             "were not taken"},
        // A zigzag of 1000 points, 500 corners: thinned to the limit, from the first segment only.
        {"track.gpx",
         "<trk><trkseg>" +
             [] {
                 std::string text;
                 for (int i = 0; i < 1000; ++i) {
                     char point[96];
                     std::snprintf(point, sizeof point, "<trkpt lat=\"%.7f\" lon=\"%.7f\"/>",
                                   39.98 + (i % 2) * 1e-4 * (1 + i % 3), -75.21 + i * 1e-5);
                     text += point;
                 }
                 return text;
             }() +
             "</trkseg><trkseg>" + points("trkpt", 5, 10.0) + "</trkseg></trk>",
         -100,
         "waypoints from the 1000 track points of \"" + std::string(directory_ / "track.gpx") +
             "\". The track was thinned by the "
             "Douglas-Peucker rule"},
    };
    for (const Case& c : cases) {
        Waypoints waypoints;
        const WaypointFileRead read = loadWaypointFile(waypoints, geometry, file(c.name, gpx(c.body)));
        ASSERT_TRUE(read.ok) << read.message;
        if (c.taken > 0) {
            EXPECT_EQ(waypoints.waypointCount, c.taken) << c.name;
        } else {
            EXPECT_LE(waypoints.waypointCount, -c.taken) << c.name;
            EXPECT_GT(waypoints.waypointCount, -c.taken / 2) << c.name;
        }
        EXPECT_NE(read.message.find(c.message), std::string::npos) << read.message;
        EXPECT_EQ(waypoints.routeShown, 0);
        // Placed where a double-click at that coordinate would put them.
        const ScenePoint at = *geoToScene(geometry, waypoints.waypointLat[0], waypoints.waypointLon[0]);
        EXPECT_EQ(waypoints.waypointSceneX[0], at.x);
        EXPECT_EQ(waypoints.waypointSceneY[0], at.y);
    }
    // A long spiral (the rule's slowest shape) keeps its two ends.
    {
        std::string spiral;
        const int count = 60000;
        for (int i = 0; i < count; ++i) {
            char point[96];
            const double radius = 1e-3 * (1 + i * 1e-4);
            std::snprintf(point, sizeof point, "<trkpt lat=\"%.9f\" lon=\"%.9f\"/>",
                          39.98 + radius * std::sin(i * 0.01), -75.21 + radius * std::cos(i * 0.01));
            spiral += point;
        }
        Waypoints waypoints;
        const WaypointFileRead read = loadWaypointFile(
            waypoints, geometry, file("spiral.gpx", gpx("<trk><trkseg>" + spiral + "</trkseg></trk>")));
        ASSERT_TRUE(read.ok) << read.message;
        EXPECT_LE(waypoints.waypointCount, 100);
        EXPECT_GT(waypoints.waypointCount, 50);
        const double lastRadius = 1e-3 * (1 + (count - 1) * 1e-4);
        EXPECT_NEAR(waypoints.waypointLat[0], 39.98, 1e-9);
        EXPECT_NEAR(waypoints.waypointLon[0], -75.21 + 1e-3, 1e-9);
        const auto last = static_cast<std::size_t>(waypoints.waypointCount - 1);
        EXPECT_NEAR(waypoints.waypointLat[last], 39.98 + lastRadius * std::sin((count - 1) * 0.01), 1e-8);
        EXPECT_NEAR(waypoints.waypointLon[last], -75.21 + lastRadius * std::cos((count - 1) * 0.01), 1e-8);
    }
    // Routes and waypoint lists are cut in order: the first 100.
    Waypoints waypoints;
    loadWaypointFile(waypoints, geometry, file("order.gpx", gpx("<rte>" + points("rtept", 130) + "</rte>")));
    EXPECT_NEAR(waypoints.waypointLat[99], 39.98 + 99 * 1e-5, 1e-9);
}

TEST_F(WaypointFileTest, DouglasPeuckerKeepsTheCornersThatMatterMost) {
    // On the equator (longitude unscaled): a peak D, knees C and E, and bumps B and F, each farther
    // from its chord than the next: C 1.109, E 0.693, F 0.252, B 0.010 degrees.
    const GeoPoint a{0, 0}, b{0.01, 1}, c{0, 2}, d{2, 3}, e{0.5, 4}, f{-0.01, 5}, g{0, 6};
    const std::vector<GeoPoint> track{a, b, c, d, e, f, g};
    struct Case {
        std::size_t maxPoints;
        std::vector<GeoPoint> kept;
    };
    const Case cases[] = {
        {2, {a, g}},          {3, {a, d, g}},          {4, {a, c, d, g}},
        {5, {a, c, d, e, g}}, {6, {a, c, d, e, f, g}}, {7, track},
    };
    for (const Case& cs : cases) {
        const std::vector<GeoPoint> thinned = thinDouglasPeucker(track, cs.maxPoints);
        ASSERT_EQ(thinned.size(), cs.kept.size()) << cs.maxPoints;
        for (std::size_t i = 0; i < thinned.size(); ++i) {
            EXPECT_EQ(thinned[i].lat, cs.kept[i].lat) << cs.maxPoints << " " << i;
            EXPECT_EQ(thinned[i].lon, cs.kept[i].lon) << cs.maxPoints << " " << i;
        }
    }
}

// A save on a file system that is really full. The test runs itself again in a mount namespace of
// its own, on a small tmpfs that it fills to the last block; skipped where that is not allowed.
TEST_F(WaypointFileTest, ASaveOnAFullDiskKeepsTheOldFileByteForByteAndSaysWhy) {
    const char* full = std::getenv("ORVANE_FULL_FOLDER");
    if (full == nullptr) {
        if (std::system("unshare -m true >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "no mount namespace can be made here (it needs root), so no tmpfs can be filled";
        const std::filesystem::path mountPoint = directory_.string() + "-full";
        std::filesystem::create_directories(mountPoint);
        const std::string command =
            "unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs \"$0\" || exit 77; "
            "ORVANE_FULL_FOLDER=\"$0\" exec \"$1\" --gtest_filter=\"$2\"' \"" +
            mountPoint.string() + "\" \"" + std::filesystem::read_symlink("/proc/self/exe").string() +
            "\" WaypointFileTest.ASaveOnAFullDiskKeepsTheOldFileByteForByteAndSaysWhy";
        const int status = std::system(command.c_str());
        std::filesystem::remove_all(mountPoint);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "a tmpfs may not be mounted here";
        EXPECT_EQ(status, 0) << "the run on the full tmpfs failed";
        return;
    }
    const std::string path = std::string(full) + "/plan.gpx";
    std::string error;
    ASSERT_TRUE(writeWaypointFile(path, knownPoints(3), error)) << error;
    const auto bytes = [](const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string before = bytes(path);
    ASSERT_FALSE(before.empty());
    {
        std::ofstream filler(std::string(full) + "/filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
        }
    }

    EXPECT_FALSE(writeWaypointFile(path, knownPoints(5), error));
    EXPECT_EQ(error, "The waypoints were not saved to \"" + path +
                         "\": No space left on device. The file that was there is unchanged.");
    EXPECT_EQ(bytes(path), before);
    // Nothing half-written is left beside it.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(full))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"filler", "plan.gpx"}));
}

}  // namespace
