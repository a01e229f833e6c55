#include "map/ImagerySource.h"

#include <cpl_error.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "map/TileLoader.h"
#include "tests/map/ImageryTestSupport.h"

namespace fs = std::filesystem;

// GDAL's own global mutexes are taken in either order by its drivers on one thread; the thread
// sanitizer cannot see that GDAL never takes them on two threads at once. Only GDAL's are excused.
extern "C" const char* __tsan_default_suppressions() {
    return "deadlock:libgdal.so\n";
}

namespace {

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "orvane-imagery-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

// A small picture through GDAL's copy into `driver`, with or without georeferencing.
void writePicture(const std::string& path, const char* driver, bool georeferenced) {
    UtmPicture picture;
    picture.width = 300;
    picture.height = 200;
    picture.marks = {{150, 100}};
    GDALDatasetH memory = makeUtmDataset(picture);
    if (!georeferenced) {
        GDALDatasetH plain = GDALCreate(GDALGetDriverByName("MEM"), "", 300, 200, 3, GDT_Byte, nullptr);
        GDALClose(memory);
        memory = plain;
    }
    GDALClose(
        GDALCreateCopy(GDALGetDriverByName(driver), path.c_str(), memory, FALSE, nullptr, nullptr, nullptr));
    GDALClose(memory);
}

// The world file of writePicture's georeferenced picture (1 m pixels from 481000 E, 4428000 N).
void writeWorldFile(const std::string& path) {
    writeText(path, "1\n0\n0\n-1\n481000.5\n4427999.5\n");
}

TEST(ImagerySource, EveryBadFileIsRefusedWithItsPathAndTheReason) {
    ScratchFolder folder;
    CPLPushErrorHandler(CPLQuietErrorHandler);
    writeText(folder / "junk.tif", "this is no picture");
    writePicture(folder / "plain.png", "PNG", false);
    writePicture(folder / "nocrs.png", "PNG", false);
    writeWorldFile(folder / "nocrs.pgw");
    // An MBTiles file made without writing a tile.
    GDALDatasetH empty = GDALCreate(GDALGetDriverByName("MBTiles"), (folder / "empty.mbtiles").c_str(), 256,
                                    256, 3, GDT_Byte, nullptr);
    if (empty != nullptr) GDALClose(empty);
    // A GeoTIFF cut to half its length: its header reads, its pixels do not.
    writePicture(folder / "cut.tif", "GTiff", true);
    fs::resize_file(folder / "cut.tif", fs::file_size(folder / "cut.tif") / 2);
    fs::create_directory(folder / "tiles");
    fs::create_directories(folder / "emptylevel/12/7");
    CPLPopErrorHandler();

    struct Case {
        std::string name;
        std::string crs;
        std::string reason;  // a word of the reason
        bool needsCrs;
    };
    const Case cases[] = {
        {"missing.tif", "", "does not exist", false},
        {"junk.tif", "", "not a picture", false},
        {"plain.png", "", "no georeferencing", false},
        {"nocrs.png", "", "coordinate system", true},
        {"nocrs.png", "EPSG:99999999", "EPSG", false},
        {"empty.mbtiles", "", "zoom", false},
        {"cut.tif", "", "cut.tif", false},
        {"tiles", "", "no zoom level", false},
        {"emptylevel", "", "holds no tiles", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " " + c.crs);
        const ImageryOpening opening = openImagery({folder / c.name, c.crs});
        EXPECT_EQ(opening.source, nullptr);
        EXPECT_EQ(opening.needsCrs, c.needsCrs);
        EXPECT_NE(opening.error.find(folder / c.name), std::string::npos) << opening.error;
        EXPECT_NE(opening.error.find(c.reason), std::string::npos) << opening.error;
    }
    // Given its coordinate system, the picture with the world file opens where the file says.
    const ImageryOpening opened = openImagery({folder / "nocrs.png", "EPSG:32618"});
    ASSERT_NE(opened.source, nullptr) << opened.error;
    const GeoPoint corner = markCoordinate(UtmPicture{}, {0, 0});
    EXPECT_NEAR(opened.source->info().west, corner.lon, 2e-5);
    EXPECT_NEAR(opened.source->info().north, corner.lat, 2e-5);
}

// A source whose reads wait until the test lets them go: the disk at its slowest.
class SlowSource : public ImagerySource {
public:
    explicit SlowSource(std::shared_future<void> go) : go_(std::move(go)) {
        info_.path = "/slow";
        info_.width = info_.height = 4 * kTileSize;
        info_.west = 10;
        info_.north = 50;
        info_.lonPerPixel = info_.latPerPixel = 1e-5;
    }
    const ImageryInfo& info() const override { return info_; }
    bool readTile(const TileKey& key, TilePixels& tile, std::string&) override {
        go_.wait();
        const TileWindow window = tileWindow(info_, key);
        tile = {key, window.width, window.height,
                std::vector<std::uint8_t>(static_cast<std::size_t>(window.width) * window.height * 3, 7)};
        return true;
    }

private:
    ImageryInfo info_;
    std::shared_future<void> go_;
};

TEST(TileLoader, TheCallerNeverWaitsForASlowSource) {
    std::promise<void> release;
    std::shared_future<void> go = release.get_future().share();
    std::promise<void> openedOnce;
    TileLoader loader(
        [&](const MapOpenRequest&) {
            ImageryOpening opening;
            opening.source = std::make_unique<SlowSource>(go);
            return opening;
        },
        [] {});
    loader.open({"/slow", {}});
    // Opened (the opener itself is quick); then every read blocks until released.
    std::vector<TileLoader::Result> results;
    for (int i = 0; i < 2000 && results.empty(); ++i) {
        results = loader.take();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results[0].kind, TileLoader::Result::Kind::Opened);
    const int generation = results[0].generation;

    // With the loader stuck in a read, everything the view calls returns at once.
    auto calls = std::async(std::launch::async, [&] {
        loader.want(generation, {{0, 0, 0}, {0, 1, 0}, {0, 2, 0}});
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the loader is now in a read
        for (int i = 0; i < 100; ++i) {
            loader.want(generation, {{0, 1, 0}, {0, 2, 0}});
            if (!loader.take().empty()) return false;
        }
        loader.open({"/another", {}});
        return true;
    });
    ASSERT_EQ(calls.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "a call waited for the read";
    EXPECT_TRUE(calls.get());
    release.set_value();
    // The read in hand ends; the new map opens before any other tile of the old one is read.
    results.clear();
    for (int i = 0; i < 2000; ++i) {
        for (TileLoader::Result& r : loader.take()) results.push_back(std::move(r));
        if (!results.empty() && results.back().kind == TileLoader::Result::Kind::Opened) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_FALSE(results.empty());
    EXPECT_EQ(results.back().kind, TileLoader::Result::Kind::Opened);
    EXPECT_GT(results.back().generation, generation);
    EXPECT_EQ(loader.tilesRead(), 1);
}

}  // namespace
