#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "map/DibImage.h"

// The bitmap layouts the map-picture tool can write, so that every kind of file the loader reads
// can be produced from one picture.
enum class BmpFormat {
    bmp24,        // 24 bits, 40-byte header
    bmp8,         // 8 bits, 256-entry table, 40-byte header
    core12,       // 8 bits, 12-byte header with 3-byte table entries
    bmp4,         // 4 bits, 16-entry table
    bmp1,         // 1 bit, black and white
    bmp32,        // 32 bits, blue green red and an unused byte
    bitfields16,  // 16 bits, 5-6-5 masks
    bitfields32,  // 32 bits, masks with red in the low byte
    rle8,         // 8 bits, run-length encoded
    rle4,         // 4 bits, run-length encoded
    topDown24,    // 24 bits, rows stored top row first
};

std::optional<BmpFormat> parseBmpFormat(std::string_view name);
const char* bmpFormatName(BmpFormat format);
std::vector<BmpFormat> allBmpFormats();

// The file bytes of `image` (bottom row first) in `format`; without `fileHeader` a packed bitmap
// that starts with its bitmap header. Palette formats use the picture's own colours when they fit
// and otherwise its most frequent ones. Nothing when the format cannot hold the picture (a 12-byte
// header has 16-bit sides).
std::optional<std::vector<std::uint8_t>> encodeBmp(const RgbImage& image, BmpFormat format,
                                                   bool fileHeader = true);

// The picture as `format` stores it: each pixel replaced by its palette colour or reduced to the
// format's channel precision.
RgbImage quantiseForBmp(const RgbImage& image, BmpFormat format);
