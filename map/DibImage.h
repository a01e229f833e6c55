#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class Notifier;

// A decoded picture: 8-bit red, green, blue per pixel, rows packed without padding, the bottom row
// of the picture first.
struct RgbImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;
};

// Reads a Windows bitmap file (with or without the "BM" file header; 12- or 40-byte bitmap header).
// Nothing on failure, after telling the operator why in a box titled "Error". The file is
// untrusted: every offset, size and colour index is checked against it before use.
std::unique_ptr<RgbImage> loadDibImage(const char* fileName, Notifier& notifier);

// Largest picture accepted; anything larger is refused as out of memory rather than allocated.
inline constexpr std::int64_t kDibMaxSide = 16384;
inline constexpr std::int64_t kDibMaxPixels = 64ll * 1024 * 1024;

// The picture size beyond which decoding refuses with "Out of memory." instead of allocating. The
// program always uses the defaults; a caller that decodes a great many untrusted files in a row may
// ask for less, since a small run-length file may legally describe a picture of the largest size.
struct DibSizeLimit {
    std::int64_t maxSide = kDibMaxSide;
    std::int64_t maxPixels = kDibMaxPixels;
};

// Decodes as loadDibImage does, from the bytes of a whole file in memory.
std::unique_ptr<RgbImage> decodeDibImage(const std::uint8_t* data, std::size_t size, Notifier& notifier,
                                         const DibSizeLimit& limit = {});

// Number of colour-table entries of a bitmap header: a 40-byte header's non-zero colours-used
// field, else 2, 16 or 256 for 1, 4 or 8 bits per pixel, else 0. Kept to 16 bits like the table
// size it describes.
std::uint16_t dibColorCount(std::uint32_t headerSize, std::uint16_t bitsPerPixel, std::uint32_t colorsUsed);

// The loader's messages, all shown under the caption kDibErrorCaption.
inline constexpr const char* kDibErrorCaption = "Error";
inline constexpr const char* kDibOpenFailedFormat = "Failed to open DIB file %s.\n";
inline constexpr const char* kDibOutOfMemory = "Out of memory.";
inline constexpr const char* kDibUnknownFormat = "Unknown DIB file format.";
inline constexpr const char* kDibConversionError = "Image file conversion error.";

// Compression codes of the 40-byte header.
inline constexpr std::uint32_t kDibRgb = 0;
inline constexpr std::uint32_t kDibRle8 = 1;
inline constexpr std::uint32_t kDibRle4 = 2;
inline constexpr std::uint32_t kDibBitfields = 3;
