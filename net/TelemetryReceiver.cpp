#include "net/TelemetryReceiver.h"

#include <utility>

#include "net/NetSocket.h"
#include "net/TelemetryDecoder.h"

TelemetryReceiver::TelemetryReceiver(NetSocket& socket, LineHandler handler, int port)
    : socket_(socket), handler_(std::move(handler)), port_(port) {}

TelemetryReceiver::TelemetryReceiver(NetSocket& socket, TelemetryDecoder& decoder, int port)
    : TelemetryReceiver(
          socket, [&decoder](const char* bytes, std::size_t length) { decoder.decode(bytes, length); },
          port) {}

void TelemetryReceiver::screenSenders(TelemetrySenders& senders, MillisecondClock clock) {
    senders_ = &senders;
    clock_ = std::move(clock);
}

void TelemetryReceiver::run() {
    open();
    while (!stopRequested_.load(std::memory_order_acquire)) pass();
}

void TelemetryReceiver::open() {
    // Only the bind decides: a failed startup or create shows its own message and makes the bind
    // fail too, which is then retried like any other.
    socket_.startup();
    socket_.create("UDP");
    bound_.store(socket_.bindPort(port_) == 1, std::memory_order_release);
    idlePasses_ = 0;
}

void TelemetryReceiver::pass() {
    if (!bound()) {
        if (idlePasses_ == kIdlePassesPerRetry) {
            open();
        } else {
            ++idlePasses_;
        }
        return;
    }
    const int received = socket_.receiveFrom(receiveBuffer_.data(), kReceiveBufferSize);
    if (received > 0) {
        // The sender was recorded by this thread's own receive just now.
        if (senders_ != nullptr && !senders_->admit(socket_.lastSender(), clock_())) {
            refusedSenders_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        handler_(receiveBuffer_.data(), static_cast<std::size_t>(received));
        decodedLines_.fetch_add(1, std::memory_order_relaxed);
    } else {
        refusedReceives_.fetch_add(1, std::memory_order_relaxed);
    }
}
