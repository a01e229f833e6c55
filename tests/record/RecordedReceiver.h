#pragma once

// The telemetry receiver recording what it receives, for the tests that read a recording back.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "net/NetSocket.h"
#include "net/TelemetryDecoder.h"
#include "net/TelemetryReceiver.h"
#include "record/FlightRecorder.h"
#include "tests/net/NetTestSupport.h"

// The receiver on its own thread with the recorder as its socket's tap, as in the program.
struct RecordedReceiver {
    explicit RecordedReceiver(const std::filesystem::path& folder)
        : port(freeUdpPort()), recorder(folder, static_cast<std::uint16_t>(port), nullptr) {
        // The sender screen, whose pinned address the recorder notes.
        receiver.screenSenders(state.senders, programClockMs);
        recorder.notePinOf(state.senders);
        socket.setTap(&recorder);
        thread = std::thread([this] {
            receiver.run();
            finished.store(true);
        });
    }
    ~RecordedReceiver() {
        receiver.requestStop();
        // A blocked receive returns with the next datagram.
        while (!finished.load()) {
            wake.sendTo(port, "");
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        thread.join();
        socket.close();
    }
    // Sends and waits until the receiver has taken it.
    void send(const std::string& bytes, const LoopbackUdp* from = nullptr) {
        ASSERT_EQ((from != nullptr ? *from : aircraft).sendTo(port, bytes), static_cast<int>(bytes.size()));
        ++received;
        ASSERT_TRUE(waitUntil([&] {
            return receiver.decodedLines() + receiver.refusedReceives() + receiver.refusedSenders() >=
                   received;
        }));
    }

    RecordingNotifier notifier;
    int port;
    FlightRecorder recorder;
    NetSocket socket{notifier};
    TelemetryState state;
    TelemetryDecoder decoder{state};
    TelemetryReceiver receiver{socket, decoder, port};
    LoopbackUdp aircraft;
    LoopbackUdp wake;
    std::uint64_t received = 0;
    std::atomic<bool> finished{false};
    std::thread thread;
};
