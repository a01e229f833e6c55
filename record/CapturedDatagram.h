#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// What a captured frame holds, as far as flights are concerned: a UDP datagram over IPv4 with its
// addresses, ports, its whole length and the bytes captured of it; or why it is none.
struct CapturedDatagram {
    enum class Kind {
        udp,       // a whole UDP datagram, or its captured start
        other,     // not IPv4, or not UDP: someone else's traffic
        fragment,  // a piece of a fragmented IPv4 packet (never reassembled)
        damaged,   // headers that contradict themselves or the frame: `problem`
    };
    Kind kind = Kind::other;
    const char* problem = "";                   // static text, for `damaged`
    std::uint32_t source = 0, destination = 0;  // host byte order
    std::uint16_t sourcePort = 0, destinationPort = 0;
    std::uint32_t length = 0;               // of the datagram, as its UDP header says
    std::span<const std::uint8_t> payload;  // the bytes captured of it (fewer when cut by the capture)
};

// Decodes one frame of the given link type. `originalLength` is the frame's length on the wire,
// which tells a capture cut short by its snapshot length from a packet that lies about its size.
CapturedDatagram decodeCapturedFrame(std::uint32_t linkType, std::span<const std::uint8_t> frame,
                                     std::uint32_t originalLength);

// What a captured UDP datagram is to a flight whose telemetry goes to `telemetryPort`.
enum class FlightDatagramRole {
    line,                 // telemetry the receiver decodes
    refusedEmpty,         // telemetry the receiver never decodes: empty,
    refusedOversize,      // longer than its 200-byte buffer,
    refusedCutByCapture,  // or not captured whole
    upload,               // sent by the ground station from the telemetry port
    recorderNote,         // the recorder's own note (see CaptureFormat.h)
    other,                // someone else's traffic
};
FlightDatagramRole flightDatagramRole(const CapturedDatagram& datagram, std::uint16_t telemetryPort);

// The telemetry port the recorder's note at the start of the capture at `path` names; nothing for
// files of older recorders, captures of other tools and files that cannot be read.
std::optional<std::uint16_t> recordedTelemetryPort(const std::string& path);
