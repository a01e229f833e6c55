#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// One datagram waiting to be written: its time, the far end (the sender of a received datagram,
// the destination of a sent one), its whole length and as many of its bytes as a record keeps.
struct QueuedDatagram {
    // The first bytes kept of each datagram: the receiver's buffer holds no more.
    static constexpr std::size_t kKeptBytes = 200;

    std::int64_t timeMicros = 0;    // since 1970-01-01 UTC
    std::uint32_t peerAddress = 0;  // network byte order
    std::uint16_t peerPort = 0;     // network byte order
    bool sent = false;              // an upload, not a received datagram
    std::uint32_t length = 0;       // of the whole datagram
    std::uint16_t keptLength = 0;   // bytes in `bytes`, at most kKeptBytes
    std::uint64_t pin = 0;          // the sender pinned when it was queued (packed; 0: any)
    std::array<std::uint8_t, kKeptBytes> bytes{};
};

// A bounded single-producer single-consumer ring of preallocated datagram slots. The producer
// never waits and never allocates: when the ring is full the push fails and the caller counts a
// drop. The consumer reads a slot in place and then releases it.
class DatagramQueue {
public:
    // Room for `capacity` datagrams (at least 1), allocated here once.
    explicit DatagramQueue(std::size_t capacity);

    DatagramQueue(const DatagramQueue&) = delete;
    DatagramQueue& operator=(const DatagramQueue&) = delete;

    // Producer thread only. Copies the first kKeptBytes of `bytes` (of `keptLength` available) into
    // a free slot; false when none is free.
    bool tryPush(std::int64_t timeMicros, std::uint32_t peerAddress, std::uint16_t peerPort, bool sent,
                 std::uint32_t length, const void* bytes, std::size_t keptLength, std::uint64_t pin = 0);

    // Consumer thread only: the oldest datagram, or nullptr when the queue is empty. It stays valid
    // until pop().
    const QueuedDatagram* front();
    void pop();

    std::size_t capacity() const { return capacity_; }

private:
    const std::size_t capacity_;
    std::unique_ptr<QueuedDatagram[]> slots_;
    // Counters that only grow; a slot is index % capacity. Each side keeps its own on a cache line of
    // its own, with a cached copy of the other's so that a push or pop rarely touches the shared one.
    alignas(64) std::atomic<std::uint64_t> head_{0};  // next slot to fill; written by the producer
    std::uint64_t cachedTail_ = 0;
    alignas(64) std::atomic<std::uint64_t> tail_{0};  // next slot to read; written by the consumer
    std::uint64_t cachedHead_ = 0;
};
