#include "map/DibImage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "common/Notifier.h"

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kPixelOffsetField = 10;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
// The description's allocation keeps room for one colour entry beyond the header even when the
// table is empty.
constexpr std::size_t kDescriptionBaseSize = 44;
constexpr std::size_t kBitfieldMaskBytes = 12;

// Field offsets inside the normalised 40-byte header.
constexpr std::size_t kWidthField = 4;
constexpr std::size_t kHeightField = 8;
constexpr std::size_t kPlanesField = 12;
constexpr std::size_t kBitCountField = 14;
constexpr std::size_t kCompressionField = 16;
constexpr std::size_t kColorsUsedField = 32;
constexpr std::size_t kColorsImportantField = 36;

enum class DibError { none, outOfMemory, unknownFormat, conversion };

const char* messageFor(DibError error) {
    switch (error) {
        case DibError::outOfMemory:
            return kDibOutOfMemory;
        case DibError::unknownFormat:
            return kDibUnknownFormat;
        case DibError::conversion:
            return kDibConversionError;
        case DibError::none:
            break;
    }
    return "";
}

std::uint16_t readU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t readU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void writeU16(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

void writeU32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// What the conversion is given, whatever kind of header the file had: a 40-byte header followed
// by 4-byte colour entries (blue, green, red, 0), and where the pixels start in the file.
struct DibDescription {
    std::vector<std::uint8_t> bytes;
    std::uint16_t colorCount = 0;
    std::size_t pixelOffset = 0;
    // Red, green and blue masks of a 40-byte bit-field header; they follow the header in the file.
    std::array<std::uint32_t, 3> masks{};

    std::uint32_t field32(std::size_t offset) const { return readU32(bytes.data() + offset); }
    std::uint16_t field16(std::size_t offset) const { return readU16(bytes.data() + offset); }
};

// Steps 2 to 5 of loading: find the header, normalise it and its colour table into a description.
DibError describeDib(const std::uint8_t* data, std::size_t size, DibDescription& description) {
    const bool hasFileHeader = size >= 2 && data[0] == 'B' && data[1] == 'M';
    const std::size_t headerOffset = hasFileHeader ? kFileHeaderSize : 0;
    if (size < headerOffset + 4) return DibError::unknownFormat;
    const std::uint8_t* header = data + headerOffset;
    const std::uint32_t headerSize = readU32(header);
    if (headerSize != kCoreHeaderSize && headerSize != kInfoHeaderSize) return DibError::unknownFormat;
    if (size - headerOffset < headerSize) return DibError::conversion;

    const std::uint16_t bitCount = readU16(header + (headerSize == kCoreHeaderSize ? 10 : 14));
    const std::uint32_t colorsUsed = headerSize == kInfoHeaderSize ? readU32(header + kColorsUsedField) : 0;
    const std::uint16_t count = dibColorCount(headerSize, bitCount, colorsUsed);
    const std::size_t entrySize = headerSize == kCoreHeaderSize ? 3 : 4;
    const std::size_t table = headerOffset + headerSize;
    if ((size - table) / entrySize < count) return DibError::conversion;

    try {
        description.bytes.assign(kDescriptionBaseSize + 4u * count, 0);
    } catch (const std::bad_alloc&) {
        return DibError::outOfMemory;
    }
    description.colorCount = count;
    std::uint8_t* out = description.bytes.data();
    std::uint8_t* colors = out + kInfoHeaderSize;
    std::size_t pixelsAfterHeader = 0;
    if (headerSize == kCoreHeaderSize) {
        writeU32(out, kInfoHeaderSize);
        writeU32(out + kWidthField, readU16(header + 4));
        writeU32(out + kHeightField, readU16(header + 6));
        writeU16(out + kPlanesField, readU16(header + 8));
        writeU16(out + kBitCountField, bitCount);
        writeU32(out + kColorsUsedField, count);
        writeU32(out + kColorsImportantField, count);
        for (std::size_t i = 0; i < count; ++i) std::memcpy(colors + 4 * i, data + table + 3 * i, 3);
        pixelsAfterHeader = kCoreHeaderSize + 3u * count;
    } else {
        std::memcpy(out, header, kInfoHeaderSize);
        std::memcpy(colors, data + table, 4u * count);
        pixelsAfterHeader = kInfoHeaderSize + 4u * count;
        if (description.field32(kCompressionField) == kDibBitfields) {
            if (size - table < kBitfieldMaskBytes) return DibError::conversion;
            for (std::size_t i = 0; i < 3; ++i) description.masks[i] = readU32(data + table + 4 * i);
            // A packed bitmap keeps its masks before the colour table and the pixels.
            pixelsAfterHeader += kBitfieldMaskBytes;
        }
    }
    if (description.field32(kColorsUsedField) == 0) writeU32(out + kColorsUsedField, count);

    if (hasFileHeader) {
        description.pixelOffset = readU32(data + kPixelOffsetField);
    } else {
        description.pixelOffset = pixelsAfterHeader;
    }
    if (description.pixelOffset > size) return DibError::conversion;
    return DibError::none;
}

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

// One colour channel of a bit-field pixel, widened or narrowed to 8 bits.
class MaskChannel {
public:
    explicit MaskChannel(std::uint32_t mask) : mask_(mask) {
        if (mask == 0) return;
        shift_ = std::countr_zero(mask);
        bits_ = std::bit_width(mask >> shift_);
        // Narrow channels repeat their bits so that the channel's full value becomes 255.
        for (std::uint32_t value = 0; bits_ < 8 && value < (1u << bits_); ++value) {
            std::uint32_t widened = 0;
            int filled = 0;
            for (; filled < 8; filled += bits_) widened = (widened << bits_) | value;
            widened_[value] = static_cast<std::uint8_t>(widened >> (filled - 8));
        }
    }

    std::uint8_t extract(std::uint32_t pixel) const {
        if (bits_ == 0) return 0;
        const std::uint32_t value = (pixel & mask_) >> shift_;
        return bits_ >= 8 ? static_cast<std::uint8_t>(value >> (bits_ - 8)) : widened_[value];
    }

private:
    std::uint32_t mask_;
    int shift_ = 0;
    int bits_ = 0;
    std::array<std::uint8_t, 128> widened_{};
};

// The picture being filled, addressed by the file's row order.
class RowWriter {
public:
    RowWriter(RgbImage& image, bool topDown) : image_(image), topDown_(topDown) {}

    std::uint8_t* row(std::int64_t fileRow) const {
        const std::int64_t fromBottom = topDown_ ? image_.height - 1 - fileRow : fileRow;
        return image_.pixels.data() + static_cast<std::size_t>(fromBottom * image_.width * 3);
    }

private:
    RgbImage& image_;
    bool topDown_;
};

void put(std::uint8_t* out, const Rgb& color) {
    out[0] = color.r;
    out[1] = color.g;
    out[2] = color.b;
}

// File rows are padded to whole 32-bit words.
std::uint64_t uncompressedStride(std::int64_t width, std::uint16_t bitCount) {
    return (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4;
}

// Whether an uncompressed picture has a pixel format we convert and all its rows in the file. Checked
// before the picture is allocated: a short file must not cost a picture-sized buffer to refuse.
DibError checkUncompressed(std::size_t size, const DibDescription& description, std::int64_t width,
                           std::int64_t height) {
    const std::uint16_t bitCount = description.field16(kBitCountField);
    const bool bitfields = description.field32(kCompressionField) == kDibBitfields;
    if (bitfields ? (bitCount != 16 && bitCount != 32)
                  : (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
                     bitCount != 32)) {
        return DibError::conversion;
    }
    if (uncompressedStride(width, bitCount) * static_cast<std::uint64_t>(height) >
        size - description.pixelOffset)
        return DibError::conversion;
    return DibError::none;
}

// Only for a picture that checkUncompressed has accepted.
DibError convertUncompressed(const std::uint8_t* data, const DibDescription& description,
                             const std::vector<Rgb>& palette, const RowWriter& rows, std::int64_t width,
                             std::int64_t height) {
    const std::uint16_t bitCount = description.field16(kBitCountField);
    const bool bitfields = description.field32(kCompressionField) == kDibBitfields;
    const std::uint64_t stride = uncompressedStride(width, bitCount);

    const std::array<std::uint32_t, 3> masks =
        bitfields ? description.masks : std::array<std::uint32_t, 3>{0x7C00u, 0x03E0u, 0x001Fu};
    const MaskChannel red(masks[0]), green(masks[1]), blue(masks[2]);
    const std::uint32_t indexMask = (1u << (bitCount < 16 ? bitCount : 0)) - 1u;

    // One loop per layout, so that the layout is not decided again for every pixel.
    auto eachPixel = [&](auto convert) {
        for (std::int64_t y = 0; y < height; ++y) {
            const std::uint8_t* src = data + description.pixelOffset + static_cast<std::size_t>(y) * stride;
            std::uint8_t* out = rows.row(y);
            for (std::int64_t x = 0; x < width; ++x, out += 3)
                if (!convert(src, x, out)) return DibError::conversion;
        }
        return DibError::none;
    };
    switch (bitCount) {
        case 1:
        case 4:
        case 8:
            return eachPixel([&](const std::uint8_t* src, std::int64_t x, std::uint8_t* out) {
                const std::uint64_t bit = static_cast<std::uint64_t>(x) * bitCount;
                const unsigned shift = 8 - bitCount - static_cast<unsigned>(bit % 8);
                const std::uint32_t index = (src[bit / 8] >> shift) & indexMask;
                if (index >= palette.size()) return false;
                put(out, palette[index]);
                return true;
            });
        case 16:
            return eachPixel([&](const std::uint8_t* src, std::int64_t x, std::uint8_t* out) {
                const std::uint32_t pixel = readU16(src + 2 * x);
                put(out, {red.extract(pixel), green.extract(pixel), blue.extract(pixel)});
                return true;
            });
        case 24:
            return eachPixel([](const std::uint8_t* src, std::int64_t x, std::uint8_t* out) {
                put(out, {src[3 * x + 2], src[3 * x + 1], src[3 * x]});
                return true;
            });
        default:
            if (bitfields) {
                return eachPixel([&](const std::uint8_t* src, std::int64_t x, std::uint8_t* out) {
                    const std::uint32_t pixel = readU32(src + 4 * x);
                    put(out, {red.extract(pixel), green.extract(pixel), blue.extract(pixel)});
                    return true;
                });
            }
            return eachPixel([](const std::uint8_t* src, std::int64_t x, std::uint8_t* out) {
                put(out, {src[4 * x + 2], src[4 * x + 1], src[4 * x]});
                return true;
            });
    }
}

// Run-length pictures: a stream of two-byte commands. Pixels that fall outside the picture are
// dropped, skipped pixels stay black, and a stream that stops between commands ends the picture.
DibError convertRunLength(const std::uint8_t* src, std::size_t length, bool fourBit,
                          const std::vector<Rgb>& palette, const RowWriter& rows, std::int64_t width,
                          std::int64_t height) {
    std::int64_t x = 0, y = 0;
    auto emit = [&](std::uint32_t index) {
        if (x < width && y < height) put(rows.row(y) + 3 * x, palette[index]);
        ++x;
    };
    auto known = [&](std::uint32_t index) { return index < palette.size(); };

    std::size_t pos = 0;
    while (pos < length) {
        if (length - pos < 2) return DibError::conversion;
        const std::uint8_t count = src[pos], value = src[pos + 1];
        pos += 2;
        if (count > 0) {
            const std::uint32_t first = fourBit ? value >> 4 : value;
            const std::uint32_t second = fourBit ? value & 0x0Fu : value;
            if (!known(first) || !known(second)) return DibError::conversion;
            for (unsigned i = 0; i < count; ++i) emit(i % 2 == 0 ? first : second);
            continue;
        }
        switch (value) {
            case 0:  // end of line
                x = 0;
                ++y;
                break;
            case 1:  // end of picture
                return DibError::none;
            case 2:  // move right and up
                if (length - pos < 2) return DibError::conversion;
                x += src[pos];
                y += src[pos + 1];
                pos += 2;
                break;
            default: {  // literal pixels, padded to a 16-bit boundary
                const std::size_t bytes = fourBit ? (value + 1u) / 2 : value;
                const std::size_t padded = (bytes + 1) & ~std::size_t{1};
                if (length - pos < padded) return DibError::conversion;
                for (unsigned i = 0; i < value; ++i) {
                    const std::uint8_t byte = src[pos + (fourBit ? i / 2 : i)];
                    const std::uint32_t index = fourBit ? (i % 2 == 0 ? byte >> 4 : byte & 0x0Fu) : byte;
                    if (!known(index)) return DibError::conversion;
                    emit(index);
                }
                pos += padded;
            }
        }
    }
    return DibError::none;
}

// Steps 6 to 9: size checks, then the file's pixels into a picture with the bottom row first.
DibError convertDib(const std::uint8_t* data, std::size_t size, const DibDescription& description,
                    const DibSizeLimit& limit, std::unique_ptr<RgbImage>& result) {
    const std::int64_t width = static_cast<std::int32_t>(description.field32(kWidthField));
    const std::int64_t signedHeight = static_cast<std::int32_t>(description.field32(kHeightField));
    const bool topDown = signedHeight < 0;
    const std::int64_t height = topDown ? -signedHeight : signedHeight;
    if (width <= 0 || height <= 0) return DibError::conversion;
    if (width > limit.maxSide || height > limit.maxSide || width * height > limit.maxPixels)
        return DibError::outOfMemory;

    const std::uint32_t compression = description.field32(kCompressionField);
    const std::uint16_t bitCount = description.field16(kBitCountField);
    const bool runLength = compression == kDibRle8 || compression == kDibRle4;
    if (compression != kDibRgb && compression != kDibBitfields && !runLength) return DibError::conversion;
    // Run-length pictures are always stored bottom-up.
    if (runLength && (topDown || bitCount != (compression == kDibRle8 ? 8 : 4))) return DibError::conversion;
    if (!runLength) {
        const DibError layout = checkUncompressed(size, description, width, height);
        if (layout != DibError::none) return layout;
    }

    std::vector<Rgb> palette;
    std::unique_ptr<RgbImage> image;
    try {
        palette.resize(description.colorCount);
        image = std::make_unique<RgbImage>();
        image->pixels.assign(static_cast<std::size_t>(width * height * 3), 0);
    } catch (const std::bad_alloc&) {
        return DibError::outOfMemory;
    }
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const std::uint8_t* entry = description.bytes.data() + kInfoHeaderSize + 4 * i;
        palette[i] = {entry[2], entry[1], entry[0]};
    }
    image->width = static_cast<std::int32_t>(width);
    image->height = static_cast<std::int32_t>(height);
    const RowWriter rows(*image, topDown);

    const DibError error =
        runLength ? convertRunLength(data + description.pixelOffset, size - description.pixelOffset,
                                     compression == kDibRle4, palette, rows, width, height)
                  : convertUncompressed(data, description, palette, rows, width, height);
    if (error == DibError::none) result = std::move(image);
    return error;
}

// Largest file read: the biggest picture at 32 bits per pixel with the largest headers, colour
// table and masks. Anything after that cannot belong to a picture the decoder accepts.
constexpr std::size_t kMaxFileBytes = static_cast<std::size_t>(kDibMaxPixels) * 4 + 64 * 1024;

// The whole file read into memory. A mapping would be cheaper, but the map tool and cp rewrite map
// files in place, and a mapped file that shrinks kills the reader with SIGBUS. A copy taken during
// a rewrite may be short or torn, but it is only bytes, which the decoder checks like any others.
class FileBytes {
public:
    explicit FileBytes(const char* fileName) {
        if (fileName == nullptr) return;
        const int fd = ::open(fileName, O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) readAll(fd, info.st_size);
        ::close(fd);
    }

    // Nothing when the file could not be opened or read, or was empty.
    const std::uint8_t* data() const { return bytes_.empty() ? nullptr : bytes_.data(); }
    std::size_t size() const { return bytes_.size(); }

private:
    void readAll(int fd, off_t sizeHint) {
        try {
            bytes_.resize(std::min(static_cast<std::size_t>(sizeHint), kMaxFileBytes));
        } catch (const std::bad_alloc&) {
            bytes_.clear();
            return;
        }
        std::size_t filled = 0;
        while (filled < bytes_.size()) {
            const ssize_t got = ::read(fd, bytes_.data() + filled, bytes_.size() - filled);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                bytes_.clear();
                return;
            }
            if (got == 0) break;  // the file shrank meanwhile: keep what it had
            filled += static_cast<std::size_t>(got);
        }
        bytes_.resize(filled);
    }

    std::vector<std::uint8_t> bytes_;
};

}  // namespace

std::uint16_t dibColorCount(std::uint32_t headerSize, std::uint16_t bitsPerPixel, std::uint32_t colorsUsed) {
    if (headerSize == kInfoHeaderSize && colorsUsed != 0) return static_cast<std::uint16_t>(colorsUsed);
    switch (bitsPerPixel) {
        case 1:
            return 2;
        case 4:
            return 16;
        case 8:
            return 256;
        default:
            return 0;
    }
}

std::unique_ptr<RgbImage> decodeDibImage(const std::uint8_t* data, std::size_t size, Notifier& notifier,
                                         const DibSizeLimit& limit) {
    DibDescription description;
    std::unique_ptr<RgbImage> image;
    DibError error = data == nullptr ? DibError::unknownFormat : describeDib(data, size, description);
    if (error == DibError::none) error = convertDib(data, size, description, limit, image);
    if (error != DibError::none) {
        notifier.showMessage(kDibErrorCaption, messageFor(error));
        return nullptr;
    }
    return image;
}

std::unique_ptr<RgbImage> loadDibImage(const char* fileName, Notifier& notifier) {
    const FileBytes file(fileName);
    if (file.data() == nullptr) {
        const std::string_view format = kDibOpenFailedFormat;
        const std::size_t slot = format.find("%s");
        std::string text(format.substr(0, slot));
        text.append(fileName != nullptr ? fileName : "");
        text.append(format.substr(slot + 2));
        notifier.showMessage(kDibErrorCaption, text);
        return nullptr;
    }
    return decodeDibImage(file.data(), file.size(), notifier);
}
