#include <gtest/gtest.h>

#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "map/GdalSupport.h"
#include "map/Terrain.h"

namespace {

namespace fs = std::filesystem;

// A folder of its own for each test, removed afterwards.
struct TempFolder {
    fs::path path;
    TempFolder() {
        path = fs::temp_directory_path() / ("orvane-terrain-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempFolder() { fs::remove_all(path); }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

// A grid of posts: the first post's centre, the spacing (degrees or metres), the size and the
// height of post (column, row).
struct PostGrid {
    double firstX, firstY, step;
    int width, height;
    std::function<double(int, int)> post;
};

// Writes `grid` as a one-band GeoTIFF in `crs` with `noData` as the void mark.
void writeGeoTiff(const std::string& path, const PostGrid& grid, const char* crs, double noData,
                  int bands = 1, bool georeferenced = true) {
    // The program's own drivers: a format it needs and does not register shows here.
    registerGdalDrivers();
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    GDALDatasetH dataset =
        GDALCreate(driver, path.c_str(), grid.width, grid.height, bands, GDT_Float32, nullptr);
    ASSERT_NE(dataset, nullptr);
    if (georeferenced) {
        // Pixel corners half a step before the post centres.
        double transform[6] = {grid.firstX - grid.step / 2, grid.step, 0,
                               grid.firstY + grid.step / 2, 0,         -grid.step};
        GDALSetGeoTransform(dataset, transform);
        OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
        OSRSetFromUserInput(srs, crs);
        char* wkt = nullptr;
        OSRExportToWkt(srs, &wkt);
        GDALSetProjection(dataset, wkt);
        CPLFree(wkt);
        OSRDestroySpatialReference(srs);
    }
    std::vector<float> posts(static_cast<std::size_t>(grid.width) * grid.height);
    for (int row = 0; row < grid.height; ++row)
        for (int column = 0; column < grid.width; ++column)
            posts[static_cast<std::size_t>(row) * grid.width + column] =
                static_cast<float>(grid.post(column, row));
    for (int band = 1; band <= bands; ++band) {
        GDALRasterBandH raster = GDALGetRasterBand(dataset, band);
        GDALSetRasterNoDataValue(raster, noData);
        ASSERT_EQ(GDALRasterIO(raster, GF_Write, 0, 0, grid.width, grid.height, posts.data(), grid.width,
                               grid.height, GDT_Float32, 0, 0),
                  CE_None);
    }
    GDALClose(dataset);
}

// The bilinear height between the four posts around (`x`, `y`) of `grid`, computed here from the
// grid's own description.
double expectedBilinear(const PostGrid& grid, double x, double y) {
    const double u = (x - grid.firstX) / grid.step, v = (grid.firstY - y) / grid.step;
    const int column = static_cast<int>(std::floor(u)), row = static_cast<int>(std::floor(v));
    const double fx = u - column, fy = v - row;
    return grid.post(column, row) * (1 - fx) * (1 - fy) + grid.post(column + 1, row) * fx * (1 - fy) +
           grid.post(column, row + 1) * (1 - fx) * fy + grid.post(column + 1, row + 1) * fx * fy;
}

double waves(int column, int row) {
    return 200 + 50 * std::sin(column * 0.07) + 30 * std::cos(row * 0.05) + 0.01 * column * row;
}

const PostGrid kWaves{-75.3, 40.1, 0.001, 300, 280, waves};

GroundHeight lookUp(ElevationSet& set, double lat, double lon) {
    return set.heightAt({lat, lon});
}

TEST(TerrainTest, HeightsBetweenPostsAreBilinearInTheFilesGrid) {
    TempFolder folder;
    const std::string path = folder.file("waves.tif");
    writeGeoTiff(path, kWaves, "EPSG:4326", -9999);
    std::vector<std::string> messages;
    ElevationSet set({path}, [&](const std::string& message) { messages.push_back(message); });
    ASSERT_TRUE(messages.empty()) << messages.front();
    // Points between posts in several blocks, on a block's edge post and on the last post.
    const double points[][2] = {{40.0993, -75.2994},
                                {40.0, -75.2},
                                {39.9437, -75.0433},
                                {40.1 - 256 * 0.001, -75.3 + 255.6 * 0.001},
                                {40.1 - 278.6 * 0.001, -75.3 + 298.7 * 0.001}};
    for (const auto& point : points) {
        const GroundHeight height = lookUp(set, point[0], point[1]);
        ASSERT_TRUE(height.known()) << point[0] << " " << point[1];
        EXPECT_NEAR(height.metres, expectedBilinear(kWaves, point[1], point[0]), 1e-3)
            << point[0] << " " << point[1];
    }
    // Outside the posts there is no terrain, never 0.
    EXPECT_EQ(lookUp(set, 40.2, -75.2).state, GroundHeight::State::NoTerrain);
    EXPECT_EQ(lookUp(set, 40.0, -75.3002).state, GroundHeight::State::NoTerrain);
}

TEST(TerrainTest, ProjectedFilesAreLookedUpInTheirOwnCoordinates) {
    TempFolder folder;
    // A tilted plane in UTM zone 18 north: bilinear interpolation gives the plane exactly, so the
    // height tells whether latitude and longitude were put into the file's coordinates rightly.
    constexpr double kEast = 480000, kNorth = 4427000;
    const PostGrid plane{kEast, kNorth, 30,
                         200,   200,    [](int column, int row) { return 100 + 0.5 * column - 0.25 * row; }};
    const std::string path = folder.file("plane.tif");
    writeGeoTiff(path, plane, "EPSG:32618", -9999);
    ElevationSet set({path}, nullptr);

    OGRSpatialReferenceH wgs84 = OSRNewSpatialReference(nullptr), utm = OSRNewSpatialReference(nullptr);
    OSRSetFromUserInput(wgs84, "EPSG:4326");
    OSRSetFromUserInput(utm, "EPSG:32618");
    OSRSetAxisMappingStrategy(wgs84, OAMS_TRADITIONAL_GIS_ORDER);
    OSRSetAxisMappingStrategy(utm, OAMS_TRADITIONAL_GIS_ORDER);
    OGRCoordinateTransformationH toGeo = OCTNewCoordinateTransformation(utm, wgs84);
    for (const double fraction : {0.13, 0.5, 0.77}) {
        double x = kEast + fraction * 199 * 30, y = kNorth - (1 - fraction) * 199 * 30, z = 0;
        ASSERT_TRUE(OCTTransform(toGeo, 1, &x, &y, &z));
        const GroundHeight height = lookUp(set, y, x);
        ASSERT_TRUE(height.known());
        EXPECT_NEAR(height.metres, 100 + 0.5 * fraction * 199 - 0.25 * (1 - fraction) * 199, 1e-3);
    }
    OCTDestroyCoordinateTransformation(toGeo);
    OSRDestroySpatialReference(wgs84);
    OSRDestroySpatialReference(utm);
}

TEST(TerrainTest, VoidPostsGiveNoTerrainAndTheFinerFileWins) {
    TempFolder folder;
    // The fine file has a void post at (10, 10); the coarse one covers more with a flat 500 m.
    const PostGrid fine{
        -75.3, 40.1,
        0.001, 50,
        50,    [](int column, int row) { return column == 10 && row == 10 ? -9999.0 : waves(column, row); }};
    const PostGrid coarse{-75.4, 40.2, 0.003, 100, 100, [](int, int) { return 500.0; }};
    writeGeoTiff(folder.file("fine.tif"), fine, "EPSG:4326", -9999);
    writeGeoTiff(folder.file("coarse.tif"), coarse, "EPSG:4326", -9999);

    ElevationSet alone({folder.file("fine.tif")}, nullptr);
    const double voidLat = 40.1 - 10.5 * 0.001, voidLon = -75.3 + 10.5 * 0.001;
    const double nextLat = 40.1 - 20.3 * 0.001, nextLon = -75.3 + 20.6 * 0.001;
    EXPECT_EQ(lookUp(alone, voidLat, voidLon).state, GroundHeight::State::NoTerrain);
    EXPECT_NEAR(lookUp(alone, nextLat, nextLon).metres, expectedBilinear(fine, nextLon, nextLat), 1e-3);

    // Given coarse first, the fine one still answers where it covers; the coarse one elsewhere and
    // around the fine one's void.
    ElevationSet both({folder.file("coarse.tif"), folder.file("fine.tif")}, nullptr);
    EXPECT_NEAR(lookUp(both, nextLat, nextLon).metres, expectedBilinear(fine, nextLon, nextLat), 1e-3);
    EXPECT_NEAR(lookUp(both, 40.15, -75.35).metres, 500, 1e-3);
    EXPECT_NEAR(lookUp(both, voidLat, voidLon).metres, 500, 1e-3);
}

// Writes a 3 arc-second SRTM tile with south-west corner (`south`, `west`), heights from `post`.
void writeSrtm(const std::string& path, const std::function<int(int, int)>& post) {
    std::ofstream file(path, std::ios::binary);
    for (int row = 0; row < 1201; ++row) {
        for (int column = 0; column < 1201; ++column) {
            const auto height = static_cast<std::uint16_t>(static_cast<std::int16_t>(post(column, row)));
            const char bytes[2] = {static_cast<char>(height >> 8), static_cast<char>(height & 0xff)};
            file.write(bytes, 2);
        }
    }
}

TEST(TerrainTest, SrtmTilesHavePostsOnWholeArcSecondsAndVoidsOfTheirOwn) {
    TempFolder folder;
    const auto post = [](int column, int row) {
        return column == 600 && row == 600 ? -32768 : column + 2 * row;
    };
    const std::string path = folder.file("N39W076.hgt");
    writeSrtm(path, post);
    ElevationSet set({folder.path.string()}, nullptr);
    ASSERT_EQ(set.fileCount(), 1u);
    // Posts from the north-west corner (40 N, 76 W), 1/1200 of a degree apart.
    const PostGrid srtm{-76.0, 40.0, 1.0 / 1200, 1201, 1201, post};
    for (const auto& point :
         {std::pair{39.98612, -75.21235}, std::pair{39.0001, -75.0001}, std::pair{39.7, -75.3}}) {
        EXPECT_NEAR(lookUp(set, point.first, point.second).metres,
                    expectedBilinear(srtm, point.second, point.first), 1e-3);
    }
    EXPECT_EQ(lookUp(set, 39.5 - 0.0001, -75.5 + 0.0001).state, GroundHeight::State::NoTerrain);
}

TEST(TerrainTest, EachBadFileIsLeftOutWithOneMessageNamingItAndTheReason) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> write;
        const char* reason;
    };
    const PostGrid small{-75.3, 40.1, 0.001, 20, 20, waves};
    const Case cases[] = {
        {"N39W076.hgt",
         [](const std::string& p) { std::ofstream(p, std::ios::binary) << std::string(1000, 'x'); },
         "1000 bytes, which no SRTM tile is"},
        {"mountains.hgt", [](const std::string& p) { writeSrtm(p, [](int, int) { return 1; }); },
         "named by its"},
        {"plain.tif", [&](const std::string& p) { writeGeoTiff(p, small, "", -9999, 1, false); },
         "no georeferencing"},
        {"colour.tif", [&](const std::string& p) { writeGeoTiff(p, small, "EPSG:4326", -9999, 3); },
         "3 bands"},
        {"gone.tif", [](const std::string&) {}, ""},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        const std::string bad = folder.file(c.name), good = folder.file("good.tif");
        c.write(bad);
        writeGeoTiff(good, kWaves, "EPSG:4326", -9999);
        std::vector<std::string> messages;
        ElevationSet set({bad, good}, [&](const std::string& message) { messages.push_back(message); });
        ASSERT_EQ(messages.size(), 1u) << c.name;
        EXPECT_NE(messages[0].find("The elevation file " + bad + " is left out: "), std::string::npos)
            << messages[0];
        EXPECT_NE(messages[0].find(c.reason), std::string::npos) << messages[0];
        EXPECT_TRUE(lookUp(set, 40.0, -75.2).known()) << c.name;
    }
}

TEST(TerrainTest, TheLoaderReadsOnItsOwnThreadAndTheLookupNeverWaits) {
    TempFolder folder;
    writeGeoTiff(folder.file("waves.tif"), kWaves, "EPSG:4326", -9999);
    std::ofstream(folder.file("N39W076.hgt")) << "short";
    std::atomic<int> wakes{0};
    TerrainLoader loader({folder.path.string()}, [&] { wakes.fetch_add(1); });
    const GeoPoint point{40.0, -75.2};
    EXPECT_EQ(loader.heightAt(point).state, GroundHeight::State::Loading);
    GroundHeight height;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!(height = loader.heightAt(point)).known() && std::chrono::steady_clock::now() < deadline) {
        loader.poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(height.known());
    EXPECT_NEAR(height.metres, expectedBilinear(kWaves, point.lon, point.lat), 1e-3);
    EXPECT_GE(wakes.load(), 2);  // opened, then the block read
    const std::vector<std::string> messages = loader.takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("N39W076.hgt"), std::string::npos);
    EXPECT_EQ(loader.fileCount(), 1u);
}

}  // namespace
