#pragma once

#include <optional>

#include "net/UplinkFrame.h"

class NetSocket;

// One mode's gains for the aircraft: "G <mode> <p> <i> <d>" (each gain "%f"), zero bytes, and the
// uplink checksum in the last byte.
using GainUploadPacket = UplinkDatagram;

// Nothing when the text would not fit before the checksum with its terminator (a gain of about
// 1e170 or more).
std::optional<GainUploadPacket> buildGainUploadPacket(int mode, double proportional, double integral,
                                                      double derivative);

enum class GainUploadResult {
    sent,
    // Handed to the socket, which refused it; like any lost datagram this is not reported.
    sendFailed,
    // A gain's text does not fit the datagram; nothing was sent.
    doesNotFit,
    // No telemetry has arrived, so there is no aircraft address; nothing was sent.
    noAircraftHeard,
};

// Sends the packet back to the sender of the last telemetry datagram on `telemetrySocket`.
// User-interface thread; the receiver thread may be blocked in receiveFrom on the same socket.
GainUploadResult sendGainUpload(NetSocket& telemetrySocket, int mode, double proportional, double integral,
                                double derivative);

// Told to the operator when a gain is too large to be uploaded.
inline constexpr const char* kGainDoesNotFitMessage =
    "A gain is too large to be uploaded: its text does not fit the 180-byte upload. Nothing was sent.";
