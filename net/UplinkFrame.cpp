#include "net/UplinkFrame.h"

#include <algorithm>

std::optional<UplinkDatagram> frameUplinkText(std::string_view text, std::size_t maxTextLength) {
    if (maxTextLength > kUplinkTextFull || text.size() > maxTextLength) return std::nullopt;
    UplinkDatagram datagram{};
    std::copy(text.begin(), text.end(), datagram.begin());
    datagram[kUplinkSize - 1] = uplinkChecksum(datagram);
    return datagram;
}

std::uint8_t uplinkChecksum(const UplinkDatagram& datagram) {
    unsigned sum = 0;
    for (int i = 0; i < kUplinkSize - 1; ++i) sum += datagram[static_cast<std::size_t>(i)];
    return static_cast<std::uint8_t>(sum & 0xFFu);
}
