#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "net/TelemetrySenders.h"

class NetSocket;
class TelemetryDecoder;

// The body of the telemetry receiver thread: binds a datagram socket to the telemetry port and hands
// every received datagram's bytes to the line handler.
//
// While the port cannot be bound the socket is made and bound afresh on every 31st pass, with no
// wait in between; each failed bind tells the operator through the socket's notifier (in the
// program that call blocks until the message is dismissed). Once bound the receiver only receives.
//
// All operations except requestStop and the counters belong to the receiver's own thread.
class TelemetryReceiver {
public:
    // The handler gets the bytes of one datagram; they are not NUL-terminated.
    using LineHandler = std::function<void(const char* bytes, std::size_t length)>;

    static constexpr int kTelemetryPort = 9001;
    // A datagram longer than this is refused whole by the receive.
    static constexpr int kReceiveBufferSize = 200;
    // Passes skipped between two attempts to bind.
    static constexpr int kIdlePassesPerRetry = 30;

    TelemetryReceiver(NetSocket& socket, LineHandler handler, int port = kTelemetryPort);
    // Decodes straight into `decoder`.
    TelemetryReceiver(NetSocket& socket, TelemetryDecoder& decoder, int port = kTelemetryPort);

    // open(), then pass() until a stop is requested; the program never requests one. A receive that
    // is blocked when the stop is requested returns with the next datagram.
    void run();
    // startup, create("UDP") and bindPort on the socket; the bind's result is the bound state.
    void open();
    // One pass of the loop: unbound, count an idle pass or retry open(); bound, receive one datagram
    // (blocking) and hand it on when it has at least one byte.
    void pass();

    // From now on every datagram is first put to `senders` (stamped with `clock`): one it refuses
    // is not handed on. Call before run().
    void screenSenders(TelemetrySenders& senders, MillisecondClock clock);

    void requestStop() { stopRequested_.store(true, std::memory_order_release); }
    bool bound() const { return bound_.load(std::memory_order_acquire); }

    // Datagrams handed to the line handler, and receives that gave nothing to decode (an error, an
    // empty datagram or one too long). Relaxed counters, readable from any thread.
    std::uint64_t decodedLines() const { return decodedLines_.load(std::memory_order_relaxed); }
    std::uint64_t refusedReceives() const { return refusedReceives_.load(std::memory_order_relaxed); }
    // Datagrams from a sender other than the pinned aircraft, neither decoded nor counted above.
    std::uint64_t refusedSenders() const { return refusedSenders_.load(std::memory_order_relaxed); }

private:
    NetSocket& socket_;
    LineHandler handler_;
    int port_;
    int idlePasses_ = 0;
    std::atomic<bool> bound_{false};
    std::atomic<bool> stopRequested_{false};
    std::atomic<std::uint64_t> decodedLines_{0};
    std::atomic<std::uint64_t> refusedReceives_{0};
    std::atomic<std::uint64_t> refusedSenders_{0};
    TelemetrySenders* senders_ = nullptr;
    MillisecondClock clock_;
    // Obtained once and reused for every datagram.
    std::array<char, kReceiveBufferSize> receiveBuffer_{};
};
