#include "tuning/GainUpload.h"

#include <cstdio>
#include <string_view>

#include "common/ClassicNumbers.h"
#include "net/UploadGate.h"

std::optional<GainUploadPacket> buildGainUploadPacket(int mode, double proportional, double integral,
                                                      double derivative) {
    char text[kUplinkSize];
    int length = 0;
    {
        const ClassicNumbers classic;
        length = std::snprintf(text, sizeof text, "G %d %f %f %f", mode, proportional, integral, derivative);
    }
    // A length of sizeof text or more means snprintf cut the text short: refuse it rather than send
    // a truncated gain.
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof text) return std::nullopt;
    return frameUplinkText(std::string_view(text, static_cast<std::size_t>(length)));
}

GainUploadResult sendGainUpload(UploadGate& gate, int mode, double proportional, double integral,
                                double derivative) {
    const std::optional<GainUploadPacket> packet =
        buildGainUploadPacket(mode, proportional, integral, derivative);
    if (!packet) return GainUploadResult::doesNotFit;
    switch (gate.send({UploadRequest::Kind::gains}, *packet)) {
        case UploadOutcome::sent:
            return GainUploadResult::sent;
        case UploadOutcome::sendFailed:
            return GainUploadResult::sendFailed;
        case UploadOutcome::refused:
        case UploadOutcome::cancelled:
            break;
    }
    return GainUploadResult::notSent;
}
