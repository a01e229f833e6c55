#include "tools/mapgen/BmpWriter.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace {

constexpr std::uint32_t kPixelsPerMetre = 2835;  // 72 dpi

struct FormatInfo {
    BmpFormat format;
    const char* name;
    unsigned bitCount;
    std::uint32_t compression;
};

constexpr std::array<FormatInfo, 11> kFormats{{
    {BmpFormat::bmp24, "bmp24", 24, kDibRgb},
    {BmpFormat::bmp8, "bmp8", 8, kDibRgb},
    {BmpFormat::core12, "core12", 8, kDibRgb},
    {BmpFormat::bmp4, "bmp4", 4, kDibRgb},
    {BmpFormat::bmp1, "bmp1", 1, kDibRgb},
    {BmpFormat::bmp32, "bmp32", 32, kDibRgb},
    {BmpFormat::bitfields16, "bf16", 16, kDibBitfields},
    {BmpFormat::bitfields32, "bf32", 32, kDibBitfields},
    {BmpFormat::rle8, "rle8", 8, kDibRle8},
    {BmpFormat::rle4, "rle4", 4, kDibRle4},
    {BmpFormat::topDown24, "topdown24", 24, kDibRgb},
}};

const FormatInfo& infoOf(BmpFormat format) {
    return *std::find_if(kFormats.begin(), kFormats.end(),
                         [&](const FormatInfo& f) { return f.format == format; });
}

constexpr std::array<std::uint32_t, 3> kMasks565{0xF800, 0x07E0, 0x001F};
constexpr std::array<std::uint32_t, 3> kMasksLowRed{0x000000FF, 0x0000FF00, 0x00FF0000};

std::uint32_t packRgb(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}

class ByteSink {
public:
    void u8(unsigned v) { bytes.push_back(static_cast<std::uint8_t>(v)); }
    void u16(unsigned v) {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    std::vector<std::uint8_t> bytes;
};

// A palette and each pixel's index into it.
struct Indexed {
    std::vector<std::uint32_t> palette;  // 0xRRGGBB
    std::vector<std::uint8_t> indices;
};

unsigned squaredDistance(std::uint32_t a, std::uint32_t b) {
    unsigned sum = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        sum += static_cast<unsigned>(d * d);
    }
    return sum;
}

Indexed indexImage(const RgbImage& image, unsigned bitCount) {
    const std::size_t maxColors = std::size_t{1} << bitCount;
    const std::size_t pixelCount = image.pixels.size() / 3;
    std::unordered_map<std::uint32_t, std::size_t> frequency;
    for (std::size_t i = 0; i < pixelCount; ++i) ++frequency[packRgb(&image.pixels[3 * i])];

    std::vector<std::pair<std::uint32_t, std::size_t>> byCount(frequency.begin(), frequency.end());
    // Most frequent first; ties by colour so that the palette does not depend on hash order.
    std::sort(byCount.begin(), byCount.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    Indexed out;
    if (bitCount == 1 && byCount.size() > maxColors) {
        out.palette = {0x000000, 0xFFFFFF};
    } else {
        for (std::size_t i = 0; i < byCount.size() && i < maxColors; ++i)
            out.palette.push_back(byCount[i].first);
    }

    std::unordered_map<std::uint32_t, std::uint8_t> nearest;
    for (const auto& [color, count] : byCount) {
        std::size_t best = 0;
        for (std::size_t i = 1; i < out.palette.size(); ++i)
            if (squaredDistance(color, out.palette[i]) < squaredDistance(color, out.palette[best])) best = i;
        nearest[color] = static_cast<std::uint8_t>(best);
    }
    out.indices.resize(pixelCount);
    for (std::size_t i = 0; i < pixelCount; ++i) out.indices[i] = nearest[packRgb(&image.pixels[3 * i])];
    return out;
}

std::uint8_t widen(std::uint32_t value, int bits) {
    std::uint32_t widened = 0;
    int filled = 0;
    while (filled < 8) {
        widened = (widened << bits) | value;
        filled += bits;
    }
    return static_cast<std::uint8_t>(widened >> (filled - 8));
}

// Encoded runs of equal pixels, literal runs of three or more unequal ones, clipped to the row.
void encodeRunLengthRow(ByteSink& sink, const std::uint8_t* row, std::size_t width, bool fourBit) {
    const std::size_t maxRun = fourBit ? 254 : 255;  // keeps nibble pairs aligned
    std::size_t x = 0;
    auto runAt = [&](std::size_t start) {
        std::size_t n = 1;
        while (start + n < width && n < maxRun && row[start + n] == row[start]) ++n;
        return n;
    };
    while (x < width) {
        const std::size_t run = runAt(x);
        if (run >= 2 || width - x < 3) {
            sink.u8(static_cast<unsigned>(run));
            sink.u8(fourBit ? (row[x] << 4) | row[x] : row[x]);
            x += run;
            continue;
        }
        std::size_t literal = 1;
        while (x + literal < width && literal < maxRun && runAt(x + literal) < 2) ++literal;
        if (literal < 3) {  // too short for a literal run: one or two encoded runs instead
            if (fourBit) {
                sink.u8(static_cast<unsigned>(literal));
                sink.u8((row[x] << 4) | (literal > 1 ? row[x + 1] : 0));
            } else {
                for (std::size_t i = 0; i < literal; ++i) {
                    sink.u8(1);
                    sink.u8(row[x + i]);
                }
            }
            x += literal;
            continue;
        }
        sink.u8(0);
        sink.u8(static_cast<unsigned>(literal));
        std::size_t written = 0;
        for (std::size_t i = 0; i < literal; i += fourBit ? 2 : 1, ++written) {
            if (fourBit)
                sink.u8((row[x + i] << 4) | (i + 1 < literal ? row[x + i + 1] : 0));
            else
                sink.u8(row[x + i]);
        }
        if (written % 2 != 0) sink.u8(0);
        x += literal;
    }
}

std::vector<std::uint8_t> packPixels(const RgbImage& image, const FormatInfo& info, const Indexed& indexed) {
    const std::size_t width = static_cast<std::size_t>(image.width);
    const std::size_t height = static_cast<std::size_t>(image.height);
    ByteSink sink;
    if (info.compression == kDibRle8 || info.compression == kDibRle4) {
        for (std::size_t y = 0; y < height; ++y) {
            encodeRunLengthRow(sink, &indexed.indices[y * width], width, info.compression == kDibRle4);
            sink.u8(0);
            sink.u8(y + 1 == height ? 1 : 0);
        }
        return sink.bytes;
    }
    const std::size_t stride = (width * info.bitCount + 31) / 32 * 4;
    const bool topDown = info.format == BmpFormat::topDown24;
    for (std::size_t fileRow = 0; fileRow < height; ++fileRow) {
        const std::size_t y = topDown ? height - 1 - fileRow : fileRow;
        const std::size_t rowStart = sink.bytes.size();
        std::vector<std::uint8_t> packed((width * info.bitCount + 7) / 8, 0);
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t* p = &image.pixels[3 * (y * width + x)];
            switch (info.bitCount) {
                case 1:
                case 4:
                case 8: {
                    const std::size_t bit = x * info.bitCount;
                    const unsigned shift = 8 - info.bitCount - static_cast<unsigned>(bit % 8);
                    packed[bit / 8] = static_cast<std::uint8_t>(packed[bit / 8] |
                                                                (indexed.indices[y * width + x] << shift));
                    break;
                }
                case 16: {
                    const unsigned v = ((p[0] >> 3u) << 11) | ((p[1] >> 2u) << 5) | (p[2] >> 3u);
                    sink.u16(v);
                    break;
                }
                case 24:
                    sink.u8(p[2]);
                    sink.u8(p[1]);
                    sink.u8(p[0]);
                    break;
                default:
                    if (info.compression == kDibBitfields)
                        sink.u32(p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16));
                    else
                        sink.u32(p[2] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[0]} << 16));
            }
        }
        sink.bytes.insert(sink.bytes.end(), packed.begin(), packed.end());
        sink.bytes.resize(rowStart + stride, 0);
    }
    return sink.bytes;
}

}  // namespace

std::optional<BmpFormat> parseBmpFormat(std::string_view name) {
    for (const FormatInfo& f : kFormats)
        if (name == f.name) return f.format;
    return std::nullopt;
}

const char* bmpFormatName(BmpFormat format) {
    return infoOf(format).name;
}

std::vector<BmpFormat> allBmpFormats() {
    std::vector<BmpFormat> formats;
    for (const FormatInfo& f : kFormats) formats.push_back(f.format);
    return formats;
}

std::optional<std::vector<std::uint8_t>> encodeBmp(const RgbImage& image, BmpFormat format, bool fileHeader) {
    const FormatInfo& info = infoOf(format);
    const bool core = format == BmpFormat::core12;
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() !=
            static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3)
        return std::nullopt;
    if (core && (image.width > 0xFFFF || image.height > 0xFFFF)) return std::nullopt;

    const bool palette = info.bitCount <= 8;
    const Indexed indexed = palette ? indexImage(image, info.bitCount) : Indexed{};
    // A 12-byte header has no colours-used field: its table always has 2^bits entries.
    const std::size_t tableEntries = core ? std::size_t{1} << info.bitCount : indexed.palette.size();
    const std::vector<std::uint8_t> pixels = packPixels(image, info, indexed);

    ByteSink header;
    if (core) {
        header.u32(12);
        header.u16(static_cast<unsigned>(image.width));
        header.u16(static_cast<unsigned>(image.height));
        header.u16(1);
        header.u16(info.bitCount);
    } else {
        header.u32(40);
        header.u32(static_cast<std::uint32_t>(image.width));
        header.u32(static_cast<std::uint32_t>(format == BmpFormat::topDown24 ? -image.height : image.height));
        header.u16(1);
        header.u16(info.bitCount);
        header.u32(info.compression);
        header.u32(static_cast<std::uint32_t>(pixels.size()));
        header.u32(kPixelsPerMetre);
        header.u32(kPixelsPerMetre);
        header.u32(static_cast<std::uint32_t>(tableEntries));
        header.u32(0);
        if (info.compression == kDibBitfields)
            for (std::uint32_t mask : info.bitCount == 16 ? kMasks565 : kMasksLowRed) header.u32(mask);
    }
    for (std::size_t i = 0; i < tableEntries; ++i) {
        const std::uint32_t color = i < indexed.palette.size() ? indexed.palette[i] : 0;
        header.u8(color & 0xFF);
        header.u8((color >> 8) & 0xFF);
        header.u8((color >> 16) & 0xFF);
        if (!core) header.u8(0);
    }

    ByteSink file;
    if (fileHeader) {
        constexpr std::uint32_t kFileHeaderSize = 14;
        const auto pixelOffset = static_cast<std::uint32_t>(kFileHeaderSize + header.bytes.size());
        file.u8('B');
        file.u8('M');
        file.u32(pixelOffset + static_cast<std::uint32_t>(pixels.size()));
        file.u32(0);
        file.u32(pixelOffset);
    }
    file.bytes.insert(file.bytes.end(), header.bytes.begin(), header.bytes.end());
    file.bytes.insert(file.bytes.end(), pixels.begin(), pixels.end());
    return file.bytes;
}

RgbImage quantiseForBmp(const RgbImage& image, BmpFormat format) {
    const FormatInfo& info = infoOf(format);
    RgbImage out = image;
    if (info.bitCount <= 8) {
        const Indexed indexed = indexImage(image, info.bitCount);
        for (std::size_t i = 0; i < indexed.indices.size(); ++i) {
            const std::uint32_t color = indexed.palette[indexed.indices[i]];
            out.pixels[3 * i] = static_cast<std::uint8_t>(color >> 16);
            out.pixels[3 * i + 1] = static_cast<std::uint8_t>(color >> 8);
            out.pixels[3 * i + 2] = static_cast<std::uint8_t>(color);
        }
    } else if (info.bitCount == 16) {
        for (std::size_t i = 0; i < out.pixels.size(); i += 3) {
            out.pixels[i] = widen(out.pixels[i] >> 3u, 5);
            out.pixels[i + 1] = widen(out.pixels[i + 1] >> 2u, 6);
            out.pixels[i + 2] = widen(out.pixels[i + 2] >> 3u, 5);
        }
    }
    return out;
}
