#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// Both uploads to the aircraft are one datagram of exactly 180 bytes: ASCII text from byte 0,
// zero bytes after it, and in byte 179 the sum of bytes 0..178 modulo 256.
inline constexpr int kUplinkSize = 180;
using UplinkDatagram = std::array<std::uint8_t, kUplinkSize>;

// Frames `text`; nothing when it is longer than `maxTextLength`. The default keeps the text and its
// terminating zero within bytes 0..178; the waypoint upload allows 179 characters, where the
// checksum takes the terminator's place.
inline constexpr std::size_t kUplinkTextWithTerminator = kUplinkSize - 2;
inline constexpr std::size_t kUplinkTextFull = kUplinkSize - 1;
std::optional<UplinkDatagram> frameUplinkText(std::string_view text,
                                              std::size_t maxTextLength = kUplinkTextWithTerminator);

// The sum of bytes 0..178 modulo 256.
std::uint8_t uplinkChecksum(const UplinkDatagram& datagram);

// One waypoint upload carries at most this many waypoints (3 + 8 x 22 characters fill bytes 0..178).
inline constexpr int kWaypointUploadLimit = 8;

// Told to the operator when an upload is asked for before any telemetry has arrived.
inline constexpr const char* kNoAircraftHeardMessage =
    "No aircraft has been heard yet: no telemetry has arrived, so there is nowhere to send the "
    "upload. Nothing was sent.";

// Told to the operator when an upload is asked for while a recording is replayed.
inline constexpr const char* kReplayNothingSentMessage =
    "Replaying a recording: nothing is sent to the aircraft.";
