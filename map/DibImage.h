#pragma once

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

// The same from the bytes of a whole file in memory.
std::unique_ptr<RgbImage> decodeDibImage(const std::uint8_t* data, std::size_t size, Notifier& notifier);
