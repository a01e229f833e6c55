#pragma once

#include <netinet/in.h>

#include <cstddef>

// Sees every datagram a socket receives and every reply it sends, e.g. to record a flight.
// Called on the thread that receives or sends; an implementation must return at once and must
// not wait for anything.
class DatagramTap {
public:
    virtual ~DatagramTap() = default;
    // A datagram of `length` bytes from `sender`, of which the first `keptLength` are in `bytes`
    // (fewer when it did not fit the receive buffer; `length` is then its real length).
    virtual void datagramReceived(const sockaddr_in& sender, const void* bytes, std::size_t keptLength,
                                  std::size_t length) = 0;
    // A reply of `length` bytes sent to `destination`.
    virtual void datagramSent(const sockaddr_in& destination, const void* bytes, std::size_t length) = 0;
};
