#include "tools/stress/GainUploadCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

std::optional<GainRow> readFirstGainRow(const std::string& path, std::string& error) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "r"), &std::fclose);
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    float proportional = 0, integral = 0, derivative = 0;
    if (std::fscanf(file.get(), "%f %f %f", &proportional, &integral, &derivative) != 3) {
        error = path + ": the first line does not hold three numbers";
        return std::nullopt;
    }
    return GainRow{proportional, integral, derivative};
}

std::optional<GainUploadBytes> expectedGainUpload(int mode, const GainRow& gains) {
    GainUploadBytes bytes{};
    constexpr std::size_t kChecksumAt = kGainUploadSize - 1;
    char* const text = reinterpret_cast<char*>(bytes.data());
    const int length = std::snprintf(text, kChecksumAt, "G %d %f %f %f", mode, gains.proportional,
                                     gains.integral, gains.derivative);
    if (length < 0 || static_cast<std::size_t>(length) >= kChecksumAt) return std::nullopt;
    unsigned sum = 0;
    for (std::size_t i = 0; i < kChecksumAt; ++i) sum += bytes[i];
    bytes[kChecksumAt] = static_cast<std::uint8_t>(sum & 0xFFu);
    return bytes;
}

std::optional<std::size_t> firstDifference(std::span<const std::uint8_t> received,
                                           std::span<const std::uint8_t> expected) {
    const std::size_t common = std::min(received.size(), expected.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (received[i] != expected[i]) return i;
    }
    if (received.size() != expected.size()) return common;
    return std::nullopt;
}
