#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// The gain upload the station must send when the operator uploads the first flight mode of a gain
// file, built here from the file alone: "G 0 %f %f %f" from byte 0, zeros after it, and the sum of
// bytes 0..178 in byte 179. Written apart from the station's own builder on purpose, so that the
// two can disagree.
inline constexpr std::size_t kGainUploadSize = 180;
using GainUploadBytes = std::array<std::uint8_t, kGainUploadSize>;

struct GainRow {
    // As the station holds them: each number of the file read as a float, then widened.
    double proportional = 0, integral = 0, derivative = 0;
};

// The first three numbers of the gain file; nothing (and `error` says why) when the file cannot be
// read or they are not numbers.
std::optional<GainRow> readFirstGainRow(const std::string& path, std::string& error);

// Nothing when the text would not leave room for its terminator before the checksum byte.
std::optional<GainUploadBytes> expectedGainUpload(int mode, const GainRow& gains);

// The first index at which the two differ (the shorter length when one is a prefix of the other),
// or nothing when they are equal.
std::optional<std::size_t> firstDifference(std::span<const std::uint8_t> received,
                                           std::span<const std::uint8_t> expected);
