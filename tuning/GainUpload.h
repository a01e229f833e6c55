#pragma once

#include <optional>

#include "net/UplinkFrame.h"

class UploadGate;

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
    // Stopped at the upload gate (refused, and the operator told why, or cancelled); nothing was sent.
    notSent,
};

// Sends the packet to the aircraft through the upload gate. User-interface thread.
GainUploadResult sendGainUpload(UploadGate& gate, int mode, double proportional, double integral,
                                double derivative);

// Told to the operator when a gain is too large to be uploaded.
inline constexpr const char* kGainDoesNotFitMessage =
    "A gain is too large to be uploaded: its text does not fit the 180-byte upload. Nothing was sent.";
