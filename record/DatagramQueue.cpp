#include "record/DatagramQueue.h"

#include <algorithm>
#include <cstring>

DatagramQueue::DatagramQueue(std::size_t capacity)
    : capacity_(std::max<std::size_t>(capacity, 1)), slots_(new QueuedDatagram[capacity_]) {}

bool DatagramQueue::tryPush(std::int64_t timeMicros, std::uint32_t peerAddress, std::uint16_t peerPort,
                            bool sent, std::uint32_t length, const void* bytes, std::size_t keptLength,
                            std::uint64_t pin) {
    const std::uint64_t head = head_.load(std::memory_order_relaxed);
    if (head - cachedTail_ == capacity_) {
        cachedTail_ = tail_.load(std::memory_order_acquire);
        if (head - cachedTail_ == capacity_) return false;
    }
    QueuedDatagram& slot = slots_[head % capacity_];
    slot.timeMicros = timeMicros;
    slot.peerAddress = peerAddress;
    slot.peerPort = peerPort;
    slot.sent = sent;
    slot.length = length;
    slot.pin = pin;
    const std::size_t kept = std::min(keptLength, QueuedDatagram::kKeptBytes);
    slot.keptLength = static_cast<std::uint16_t>(kept);
    if (kept > 0) std::memcpy(slot.bytes.data(), bytes, kept);
    // Release: the consumer that sees the new head sees the slot filled.
    head_.store(head + 1, std::memory_order_release);
    return true;
}

const QueuedDatagram* DatagramQueue::front() {
    const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
    if (tail == cachedHead_) {
        cachedHead_ = head_.load(std::memory_order_acquire);
        if (tail == cachedHead_) return nullptr;
    }
    return &slots_[tail % capacity_];
}

void DatagramQueue::pop() {
    // Release: the producer that sees the slot free sees our reads of it finished.
    tail_.store(tail_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}
