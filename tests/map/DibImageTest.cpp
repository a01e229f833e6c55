#include "map/DibImage.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/Notifier.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class RecordingNotifier : public Notifier {
public:
    void showMessage(const std::string& caption, const std::string& text) override {
        messages.emplace_back(caption, text);
    }
    std::vector<std::pair<std::string, std::string>> messages;
};

void put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void append(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
}

Bytes infoHeader(std::int32_t width, std::int32_t height, unsigned bitCount, std::uint32_t compression = 0,
                 std::uint32_t colorsUsed = 0) {
    Bytes b;
    put32(b, 40);
    put32(b, static_cast<std::uint32_t>(width));
    put32(b, static_cast<std::uint32_t>(height));
    put16(b, 1);
    put16(b, bitCount);
    put32(b, compression);
    for (int i = 0; i < 3; ++i) put32(b, 0);  // image size, resolutions
    put32(b, colorsUsed);
    put32(b, 0);
    return b;
}

Bytes coreHeader(unsigned width, unsigned height, unsigned bitCount) {
    Bytes b;
    put32(b, 12);
    put16(b, width);
    put16(b, height);
    put16(b, 1);
    put16(b, bitCount);
    return b;
}

// A "BM" file: file header, then `header` (bitmap header and colour table), then the pixels.
Bytes withFileHeader(const Bytes& header, const Bytes& pixels) {
    Bytes b{'B', 'M'};
    put32(b, static_cast<std::uint32_t>(14 + header.size() + pixels.size()));
    put32(b, 0);
    put32(b, static_cast<std::uint32_t>(14 + header.size()));
    append(b, header);
    append(b, pixels);
    return b;
}

Bytes resized(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

Bytes packed(const Bytes& header, const Bytes& pixels) {
    Bytes b = header;
    append(b, pixels);
    return b;
}

// Colour entries of a 40-byte header: blue, green, red, 0.
Bytes quadTable(const std::vector<Bytes>& rgb) {
    Bytes b;
    for (const Bytes& c : rgb) append(b, {c[2], c[1], c[0], 0});
    return b;
}

// Decodes from a heap block of exactly the file's size, so that a sanitizer build catches any read
// past its end.
std::unique_ptr<RgbImage> decode(const Bytes& file, RecordingNotifier& notifier,
                                 const DibSizeLimit& limit = {}) {
    auto exact = std::make_unique<std::uint8_t[]>(file.size() + (file.empty() ? 1 : 0));
    std::copy(file.begin(), file.end(), exact.get());
    return decodeDibImage(exact.get(), file.size(), notifier, limit);
}

std::unique_ptr<RgbImage> decodeQuietly(const Bytes& file) {
    RecordingNotifier notifier;
    auto image = decode(file, notifier);
    EXPECT_TRUE(notifier.messages.empty()) << notifier.messages.front().second;
    return image;
}

void expectPicture(const RgbImage* image, int width, int height, const Bytes& pixels) {
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, width);
    EXPECT_EQ(image->height, height);
    EXPECT_EQ(image->pixels, pixels);
}

// The 3 x 2 picture used by several cases, bottom row first: red green blue / white black grey.
const Bytes kThreeByTwo = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 128, 128, 128};
const Bytes kThreeByTwoRows24 = {0,   0,   255, 0, 255, 0, 255, 0,   0,   0, 0, 0,  // BGR, 3 bytes of padding
                                 255, 255, 255, 0, 0,   0, 128, 128, 128, 0, 0, 0};

TEST(DibImage, TwentyFourBitWithAndWithoutFileHeader) {
    expectPicture(decodeQuietly(withFileHeader(infoHeader(3, 2, 24), kThreeByTwoRows24)).get(), 3, 2,
                  kThreeByTwo);
    expectPicture(decodeQuietly(packed(infoHeader(3, 2, 24), kThreeByTwoRows24)).get(), 3, 2, kThreeByTwo);
}

TEST(DibImage, TopDownPictureKeepsBottomRowFirst) {
    const Bytes topRowFirst = {255, 255, 255, 0, 0,   0, 128, 128, 128, 0, 0, 0,
                               0,   0,   255, 0, 255, 0, 255, 0,   0,   0, 0, 0};
    expectPicture(decodeQuietly(withFileHeader(infoHeader(3, -2, 24), topRowFirst)).get(), 3, 2, kThreeByTwo);
}

TEST(DibImage, PixelOffsetFromFileHeaderIsHonoured) {
    // Two stray bytes between the header and the pixels: only the stored offset finds the pixels.
    Bytes header = infoHeader(3, 2, 24);
    header.push_back(0xEE);
    header.push_back(0xEE);
    expectPicture(decodeQuietly(withFileHeader(header, kThreeByTwoRows24)).get(), 3, 2, kThreeByTwo);
}

TEST(DibImage, EightBitPaletteGivesTableColours) {
    std::vector<Bytes> colors;
    for (int i = 0; i < 256; ++i)
        colors.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                          static_cast<std::uint8_t>(i * 7)});
    Bytes header = infoHeader(2, 2, 8);
    append(header, quadTable(colors));
    const Bytes pixels = {0, 255, 0, 0, 17, 200, 0, 0};
    expectPicture(decodeQuietly(withFileHeader(header, pixels)).get(), 2, 2,
                  {0, 255, 0, 255, 0, 249, 17, 238, 119, 200, 55, 120});
}

TEST(DibImage, CoreHeaderMatchesItsInfoHeaderTwin) {
    // 4 bits per pixel, 16 colours, 5 x 2 pixels: rows of 3 bytes padded to 4.
    std::vector<Bytes> colors;
    for (int i = 0; i < 16; ++i)
        colors.push_back(
            {static_cast<std::uint8_t>(i * 16), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(99)});
    const Bytes pixels = {0x01, 0x23, 0x40, 0, 0xFE, 0xDC, 0xB0, 0};

    Bytes info = infoHeader(5, 2, 4);
    append(info, quadTable(colors));
    Bytes core = coreHeader(5, 2, 4);
    for (const Bytes& c : colors) append(core, {c[2], c[1], c[0]});

    const auto expected = decodeQuietly(withFileHeader(info, pixels));
    ASSERT_NE(expected, nullptr);
    const Bytes firstRow = {0, 0, 99, 16, 1, 99, 32, 2, 99, 48, 3, 99, 64, 4, 99};
    EXPECT_EQ(Bytes(expected->pixels.begin(), expected->pixels.begin() + 15), firstRow);
    for (const Bytes& file : {withFileHeader(core, pixels), packed(core, pixels), packed(info, pixels)})
        expectPicture(decodeQuietly(file).get(), 5, 2, expected->pixels);
}

TEST(DibImage, OneBitRowsCrossByteBoundaries) {
    Bytes header = infoHeader(10, 1, 1);
    append(header, quadTable({{10, 20, 30}, {200, 210, 220}}));
    const Bytes pixels = {0b10100000, 0b11000000, 0, 0};
    const Bytes a = {10, 20, 30}, b = {200, 210, 220};
    Bytes expected;
    for (const Bytes* p : {&b, &a, &b, &a, &a, &a, &a, &a, &b, &b}) append(expected, *p);
    expectPicture(decodeQuietly(withFileHeader(header, pixels)).get(), 10, 1, expected);
}

TEST(DibImage, SixteenAndThirtyTwoBitFormats) {
    struct Case {
        const char* name;
        Bytes header;
        Bytes pixels;
        Bytes expected;
    };
    auto masked = [](int bits, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        Bytes h = infoHeader(2, 1, static_cast<unsigned>(bits), 3);
        put32(h, r);
        put32(h, g);
        put32(h, b);
        return h;
    };
    const Case cases[] = {
        // x rrrrr ggggg bbbbb: full red, then green 16 of 31 and blue 1 of 31.
        {"5-5-5 without masks", infoHeader(2, 1, 16), {0x00, 0x7C, 0x01, 0x02}, {255, 0, 0, 0, 132, 8}},
        {"5-6-5 masks", masked(16, 0xF800, 0x07E0, 0x001F), {0x1F, 0x00, 0xE0, 0x07}, {0, 0, 255, 0, 255, 0}},
        {"32-bit without masks", infoHeader(2, 1, 32), {1, 2, 3, 99, 4, 5, 6, 99}, {3, 2, 1, 6, 5, 4}},
        // Red in the low byte, blue in the high byte.
        {"32-bit masks",
         masked(32, 0x000000FF, 0x0000FF00, 0xFF000000),
         {1, 2, 3, 4, 9, 8, 7, 6},
         {1, 2, 4, 9, 8, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectPicture(decodeQuietly(withFileHeader(c.header, c.pixels)).get(), 2, 1, c.expected);
        expectPicture(decodeQuietly(packed(c.header, c.pixels)).get(), 2, 1, c.expected);
    }
}

// Palette of the run-length cases: index i is (i, 10 * i, 255 - i).
Bytes runLengthHeader(unsigned bitCount, unsigned compression, int width, int height) {
    Bytes header = infoHeader(width, height, bitCount, compression);
    std::vector<Bytes> colors;
    for (int i = 0; i < (bitCount == 8 ? 256 : 16); ++i)
        colors.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(10 * i),
                          static_cast<std::uint8_t>(255 - i)});
    append(header, quadTable(colors));
    return header;
}

Bytes indexRow(std::initializer_list<int> indices) {
    Bytes row;
    for (int i : indices) {
        if (i < 0)
            append(row, {0, 0, 0});  // untouched by the stream
        else
            append(row, {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(10 * i),
                         static_cast<std::uint8_t>(255 - i)});
    }
    return row;
}

TEST(DibImage, RunLengthEightBit) {
    const Bytes stream = {
        3, 5,              // row 0: three of 5
        0, 3, 7, 8, 9, 0,  // literal 7 8 9, padded to a 16-bit boundary
        0, 0,              // end of line
        0, 2, 2, 1,        // move 2 right and 1 up: row 1 stays untouched, row 2 starts at x 2
        9, 4,              // run longer than the row: clipped
        0, 1,              // end of picture
    };
    Bytes expected = indexRow({5, 5, 5, 7, 8, 9});
    append(expected, indexRow({-1, -1, -1, -1, -1, -1}));
    append(expected, indexRow({-1, -1, 4, 4, 4, 4}));
    expectPicture(decodeQuietly(withFileHeader(runLengthHeader(8, 1, 6, 3), stream)).get(), 6, 3, expected);
}

TEST(DibImage, RunLengthFourBit) {
    const Bytes stream = {
        5, 0x12,                       // 1 2 1 2 1
        0, 3,    0x34, 0x50,           // literal 3 4 5 (two bytes, already even)
        0, 0,                          // end of line
        0, 5,    0xAB, 0xCD, 0xE0, 0,  // literal of five: three bytes padded to four
        0, 1,
    };
    Bytes expected = indexRow({1, 2, 1, 2, 1, 3, 4, 5});
    append(expected, indexRow({10, 11, 12, 13, 14, -1, -1, -1}));
    expectPicture(decodeQuietly(withFileHeader(runLengthHeader(4, 2, 8, 2), stream)).get(), 8, 2, expected);
}

TEST(DibImage, RefusedFilesGiveOneMessage) {
    Bytes tinyTable = infoHeader(1, 1, 8, 0, 2);
    append(tinyTable, quadTable({{1, 2, 3}, {4, 5, 6}}));
    Bytes pixelOffsetPastEnd = withFileHeader(infoHeader(3, 2, 24), kThreeByTwoRows24);
    pixelOffsetPastEnd[10] = 0xF0;
    pixelOffsetPastEnd[11] = 0xFF;
    Bytes hugeColorsUsed = infoHeader(1, 1, 8, 0, 65000);  // a table far past the end of the file
    const Bytes rle8 = runLengthHeader(8, 1, 4, 1);
    const Bytes good = withFileHeader(infoHeader(3, 2, 24), kThreeByTwoRows24);
    Bytes laterHeader = resized(infoHeader(3, 2, 24), 108);
    laterHeader[0] = 108;

    struct Case {
        const char* name;
        Bytes file;
        const char* message;
    };
    const Case cases[] = {
        {"empty", {}, kDibUnknownFormat},
        {"108-byte header", withFileHeader(laterHeader, kThreeByTwoRows24), kDibUnknownFormat},
        {"header size cut off", {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0}, kDibUnknownFormat},
        {"header cut off", resized(infoHeader(3, 2, 24), 30), kDibConversionError},
        {"pixels one byte short", resized(good, good.size() - 1), kDibConversionError},
        {"pixel offset past the end", pixelOffsetPastEnd, kDibConversionError},
        {"colour table past the end", withFileHeader(hugeColorsUsed, {0, 0, 0, 0}), kDibConversionError},
        {"colour index beyond the table", withFileHeader(tinyTable, {2, 0, 0, 0}), kDibConversionError},
        {"zero width", withFileHeader(infoHeader(0, 2, 24), kThreeByTwoRows24), kDibConversionError},
        {"zero height", withFileHeader(infoHeader(3, 0, 24), kThreeByTwoRows24), kDibConversionError},
        {"negative width", withFileHeader(infoHeader(-3, 2, 24), kThreeByTwoRows24), kDibConversionError},
        {"side too long", withFileHeader(infoHeader(20000, 1, 24), kThreeByTwoRows24), kDibOutOfMemory},
        {"too many pixels", withFileHeader(infoHeader(16384, 16384, 24), kThreeByTwoRows24), kDibOutOfMemory},
        {"most negative height", withFileHeader(infoHeader(1, INT32_MIN, 24), kThreeByTwoRows24),
         kDibOutOfMemory},
        {"7 bits per pixel", withFileHeader(infoHeader(3, 2, 7), kThreeByTwoRows24), kDibConversionError},
        {"compressed as JPEG", withFileHeader(infoHeader(3, 2, 24, 4), kThreeByTwoRows24),
         kDibConversionError},
        {"bit-field masks cut off", packed(infoHeader(1, 1, 16, 3), {0, 0, 0, 0}), kDibConversionError},
        {"run-length top-down", withFileHeader(runLengthHeader(8, 1, 4, -1), {0, 1}), kDibConversionError},
        {"run-length with 24 bits", withFileHeader(infoHeader(4, 1, 24, 1), {0, 1}), kDibConversionError},
        {"run cut in half", withFileHeader(rle8, {4, 1, 4}), kDibConversionError},
        {"literal past the end", withFileHeader(rle8, {0, 4, 1, 2}), kDibConversionError},
        {"delta cut off", withFileHeader(rle8, {0, 2, 1}), kDibConversionError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingNotifier notifier;
        EXPECT_EQ(decode(c.file, notifier), nullptr);
        ASSERT_EQ(notifier.messages.size(), 1u);
        EXPECT_EQ(notifier.messages[0].first, "Error");
        EXPECT_EQ(notifier.messages[0].second, c.message);
    }
}

TEST(DibImage, CallersSizeLimitRefusesAsOutOfMemory) {
    struct Case {
        const char* name;
        Bytes file;
        DibSizeLimit limit;
        bool accepted;
    };
    const Bytes rgb = withFileHeader(infoHeader(3, 2, 24), kThreeByTwoRows24);
    const Bytes rle8 = withFileHeader(runLengthHeader(8, 1, 4, 3), {0, 1});
    const Case cases[] = {
        {"exactly at both limits", rgb, {3, 6}, true},
        {"width over the side limit", rgb, {2, 100}, false},
        {"more pixels than allowed", rgb, {100, 5}, false},
        {"run-length height over the side limit", rle8, {2, 100}, false},
        {"run-length within the limits", rle8, {4, 12}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingNotifier notifier;
        EXPECT_EQ(decode(c.file, notifier, c.limit) != nullptr, c.accepted);
        if (c.accepted) {
            EXPECT_TRUE(notifier.messages.empty());
        } else {
            ASSERT_EQ(notifier.messages.size(), 1u);
            EXPECT_EQ(notifier.messages[0].second, kDibOutOfMemory);
        }
    }
}

// The sanitizers reserve far more address space than any data limit would let through.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(DibImage, ShortUncompressedFileIsRefusedWithoutAllocatingThePicture) {
    // 16384 x 4096 at 24 bits would be a 192 MB picture, but the file holds one row. It must be
    // refused from its size alone: in a child whose heap may grow by 64 MB at most, allocating the
    // picture first would fail and say "Out of memory." instead of the conversion message.
    const Bytes file = withFileHeader(infoHeader(16384, 4096, 24), Bytes(16384 * 3, 0x40));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long dataKib = 0;
        if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, status))
                if (std::sscanf(line, "VmData: %ld kB", &dataKib) == 1) break;
            std::fclose(status);
        }
        const rlim_t limit = static_cast<rlim_t>(dataKib) * 1024 + (64u << 20);
        const rlimit data{limit, limit};
        if (dataKib <= 0 || setrlimit(RLIMIT_DATA, &data) != 0) _exit(3);
        RecordingNotifier notifier;
        const bool refused = decode(file, notifier) == nullptr && notifier.messages.size() == 1 &&
                             notifier.messages[0].second == kDibConversionError;
        _exit(refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the decoder tried to allocate the picture of a file it must refuse";
}
#endif

TEST(DibImage, RunLengthIndexBeyondTableIsRefused) {
    Bytes header = infoHeader(4, 1, 8, 1, 3);
    append(header, quadTable({{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}));
    for (const Bytes& stream : {Bytes{2, 3, 0, 1}, Bytes{0, 3, 0, 1, 5, 0, 0, 1}}) {
        RecordingNotifier notifier;
        EXPECT_EQ(decode(withFileHeader(header, stream), notifier), nullptr);
        ASSERT_EQ(notifier.messages.size(), 1u);
        EXPECT_EQ(notifier.messages[0].second, kDibConversionError);
    }
}

TEST(DibImage, ColorCountRule) {
    struct Case {
        std::uint32_t headerSize;
        std::uint16_t bits;
        std::uint32_t used;
        std::uint16_t expected;
    };
    const Case cases[] = {{40, 8, 0, 256},  {40, 4, 0, 16},  {40, 1, 0, 2},
                          {40, 24, 0, 0},   {40, 8, 17, 17}, {40, 24, 5, 5},
                          {12, 8, 17, 256}, {12, 16, 0, 0},  {40, 8, 65536 + 3, 3}};
    for (const Case& c : cases)
        EXPECT_EQ(dibColorCount(c.headerSize, c.bits, c.used), c.expected)
            << c.headerSize << " " << c.bits << " " << c.used;
}

TEST(DibImage, LoadsFromFilesAndReportsOpenFailures) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("orvane-dib-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string good = (dir / "good.bmp").string();
    {
        const Bytes file = withFileHeader(infoHeader(3, 2, 24), kThreeByTwoRows24);
        std::ofstream(good, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
    const std::string empty = (dir / "empty.bmp").string();
    std::ofstream(empty, std::ios::binary).close();

    RecordingNotifier notifier;
    expectPicture(loadDibImage(good.c_str(), notifier).get(), 3, 2, kThreeByTwo);
    EXPECT_TRUE(notifier.messages.empty());

    for (const std::string& name : {std::string("missing.bmp"), empty, dir.string()}) {
        RecordingNotifier failed;
        EXPECT_EQ(loadDibImage(name.c_str(), failed), nullptr);
        ASSERT_EQ(failed.messages.size(), 1u);
        EXPECT_EQ(failed.messages[0].first, "Error");
        EXPECT_EQ(failed.messages[0].second, "Failed to open DIB file " + name + ".\n");
    }
    std::filesystem::remove_all(dir);
}

// The map tool and cp rewrite a map file in place: a load that meets the file shrinking must end
// in the picture or in one of the loader's messages, never in a crash.
TEST(DibImage, AFileRewrittenWhileItLoadsGivesThePictureOrAMessage) {
    constexpr int kSide = 512;
    Bytes rows;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            append(rows, {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7});
    const Bytes file = withFileHeader(infoHeader(kSide, kSide, 24), rows);
    const std::string name =
        (std::filesystem::temp_directory_path() / ("orvane-rewrite-" + std::to_string(::getpid()) + ".bmp"))
            .string();
    auto writeFrom = [&](int fd, std::size_t at) {
        while (at < file.size()) {
            const ssize_t put = ::pwrite(fd, file.data() + at, file.size() - at, static_cast<off_t>(at));
            ASSERT_GT(put, 0);
            at += static_cast<std::size_t>(put);
        }
    };
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    writeFrom(fd, 0);
    RecordingNotifier first;
    const std::unique_ptr<RgbImage> whole = loadDibImage(name.c_str(), first);
    ASSERT_NE(whole, nullptr);

    std::atomic<bool> stop{false};
    std::thread writer([&] {
        // As a rewrite in place does: the file shrinks, then grows back to the same bytes.
        while (!stop) {
            ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(file.size() / 2)), 0);
            writeFrom(fd, file.size() / 2);
        }
    });
    const std::set<std::string> allowed = {"Failed to open DIB file " + name + ".\n", kDibConversionError,
                                           kDibUnknownFormat};
    int pictures = 0;
    // Until enough loads have met the file whole (a shrink can only hurt those), within a bound.
    for (int load = 0; load < 30000 && pictures < 100; ++load) {
        RecordingNotifier notifier;
        const std::unique_ptr<RgbImage> image = loadDibImage(name.c_str(), notifier);
        if (image) {
            ++pictures;
            // A read that races the rewrite may mix the file's states (the kernel does not make a
            // read atomic with a truncation); what matters is a whole, well-formed picture.
            EXPECT_EQ(image->width, kSide);
            EXPECT_EQ(image->height, kSide);
            EXPECT_EQ(image->pixels.size(), whole->pixels.size());
            EXPECT_TRUE(notifier.messages.empty());
        } else {
            ASSERT_EQ(notifier.messages.size(), 1u);
            EXPECT_EQ(allowed.count(notifier.messages[0].second), 1u) << notifier.messages[0].second;
        }
    }
    stop = true;
    writer.join();
    ::close(fd);
    std::filesystem::remove(name);
}

}  // namespace
