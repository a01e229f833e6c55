#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Notifier.h"
#include "map/DibImage.h"
#include "tools/mapgen/BmpWriter.h"
#include "tools/mapgen/SurveyGrid.h"

namespace {

class RecordingNotifier : public Notifier {
public:
    void showMessage(const std::string&, const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

// Rows of different character, so that run-length files get long runs (over 255 pixels), short
// runs, literals of odd and even length, and single pixels.
RgbImage testPicture(int colorLimit) {
    RgbImage image;
    image.width = 301;
    image.height = 6;
    image.pixels.resize(301 * 6 * 3);
    unsigned state = 7;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            int value = 0;
            switch (y) {
                case 0:
                    value = 3;
                    break;
                case 1:
                    value = x;
                    break;
                case 2:
                    value = x / 3;
                    break;
                case 3:
                    value = x % 2;
                    break;
                case 4:
                    value = (x / 5) % 2 == 0 ? x : 9;
                    break;
                default:
                    state = state * 1103515245u + 12345u;
                    value = static_cast<int>(state >> 16);
            }
            value %= colorLimit;
            std::uint8_t* p = &image.pixels[static_cast<std::size_t>(3 * (y * image.width + x))];
            p[0] = static_cast<std::uint8_t>(value * 37);
            p[1] = static_cast<std::uint8_t>(255 - value * 11);
            p[2] = static_cast<std::uint8_t>(value * 101);
        }
    }
    return image;
}

std::unique_ptr<RgbImage> decodeFile(const std::vector<std::uint8_t>& file) {
    RecordingNotifier notifier;
    auto image = decodeDibImage(file.data(), file.size(), notifier);
    EXPECT_TRUE(notifier.messages.empty()) << notifier.messages.front();
    return image;
}

int losslessColors(BmpFormat format) {
    switch (format) {
        case BmpFormat::bmp1:
            return 2;
        case BmpFormat::bmp4:
        case BmpFormat::rle4:
            return 16;
        case BmpFormat::bmp8:
        case BmpFormat::core12:
        case BmpFormat::rle8:
            return 256;
        case BmpFormat::bitfields16:
            return 0;
        default:
            return 1 << 24;
    }
}

TEST(BmpWriter, EveryFormatDecodesToItsQuantisedPicture) {
    for (int colorLimit : {2, 16, 256, 1 << 20}) {
        const RgbImage picture = testPicture(colorLimit);
        for (BmpFormat format : allBmpFormats()) {
            for (bool fileHeader : {true, false}) {
                SCOPED_TRACE(testing::Message() << bmpFormatName(format) << " colours " << colorLimit
                                                << (fileHeader ? " BM" : " packed"));
                const auto file = encodeBmp(picture, format, fileHeader);
                ASSERT_TRUE(file);
                const auto decoded = decodeFile(*file);
                ASSERT_NE(decoded, nullptr);
                EXPECT_EQ(decoded->width, picture.width);
                EXPECT_EQ(decoded->height, picture.height);
                const RgbImage expected = quantiseForBmp(picture, format);
                EXPECT_EQ(decoded->pixels, expected.pixels);

                // Formats that can hold the picture's colours must keep them exactly.
                if (colorLimit <= losslessColors(format)) {
                    EXPECT_EQ(decoded->pixels, picture.pixels);
                }
            }
        }
    }
}

TEST(BmpWriter, HeadersOfTheSmallestPicture) {
    RgbImage picture;
    picture.width = 3;
    picture.height = 2;
    picture.pixels = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 128, 128, 128};
    const auto bmp24 = encodeBmp(picture, BmpFormat::bmp24);
    ASSERT_TRUE(bmp24);
    const std::vector<std::uint8_t> start = {'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  40,
                                             0,   0,   0,  3, 0, 0, 0, 2, 0, 0, 0,  1, 0, 24, 0};
    EXPECT_EQ(std::vector<std::uint8_t>(bmp24->begin(), bmp24->begin() + 30), start);
    const std::vector<std::uint8_t> firstRow = {0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<std::uint8_t>(bmp24->begin() + 54, bmp24->begin() + 66), firstRow);

    // The 12-byte header has no colours-used field, so its table always has 256 three-byte entries.
    const auto core = encodeBmp(picture, BmpFormat::core12);
    ASSERT_TRUE(core);
    EXPECT_EQ(core->size(), 14u + 12u + 256u * 3u + 2u * 4u);
    EXPECT_EQ((*core)[14], 12);

    RgbImage wide;
    wide.width = 70000;
    wide.height = 1;
    wide.pixels.assign(70000 * 3, 0);
    EXPECT_FALSE(encodeBmp(wide, BmpFormat::core12));
    EXPECT_TRUE(encodeBmp(wide, BmpFormat::bmp8));
}

TEST(SurveyGrid, CatalogueSitesGetRoundLabelledLines) {
    struct Case {
        double low, high;
        double step;
        int decimals;
        double first, last;
        std::size_t count;
    };
    const Case cases[] = {
        {-75.214313, -75.210061, 0.0005, 4, -75.2140, -75.2105, 8},
        {39.985642, 39.988195, 0.0005, 4, 39.9860, 39.9880, 5},
        {-75.215957, -75.208575, 0.001, 3, -75.215, -75.209, 7},
        {-0.5, 3.7, 0.5, 1, -0.5, 3.5, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.low);
        const double step = gridStep(c.high - c.low, 10);
        EXPECT_DOUBLE_EQ(step, c.step);
        EXPECT_EQ(labelDecimals(step), c.decimals);
        const auto values = gridValues(c.low, c.high, step);
        ASSERT_EQ(values.size(), c.count);
        EXPECT_NEAR(values.front(), c.first, 1e-12);
        EXPECT_NEAR(values.back(), c.last, 1e-12);
    }
    EXPECT_TRUE(gridValues(1, 0, 0.1).empty());
    EXPECT_EQ(gridStep(0, 10), 0);
}

TEST(SurveyGrid, CornersPixelsAndScale) {
    const MapCorners site{39.988195, -75.214313, 39.985642, -75.210061};
    ASSERT_TRUE(site.valid());
    EXPECT_DOUBLE_EQ(site.xOf(-75.214313, 989), 0);
    EXPECT_DOUBLE_EQ(site.xOf(-75.210061, 989), 989);
    EXPECT_DOUBLE_EQ(site.yOf(39.988195, 826), 0);
    EXPECT_DOUBLE_EQ(site.yOf(39.985642, 826), 826);
    // About 363 m across 989 pixels: a 50 m bar is the longest round length within a fifth.
    EXPECT_NEAR(metresPerPixel(site, 989), 0.3666, 0.001);
    EXPECT_EQ(scaleBarMetres(metresPerPixel(site, 989), 989), 50);
    EXPECT_EQ(scaleBarMetres(10, 1000), 2000);

    const MapCorners swapped{39.985642, -75.214313, 39.988195, -75.210061};
    EXPECT_FALSE(swapped.valid());
    EXPECT_FALSE((MapCorners{0, 0, 0, 0}.valid()));
}

}  // namespace
