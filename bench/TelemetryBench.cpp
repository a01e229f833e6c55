// Figures for the telemetry path: decoding cost beside the C library's scanner, the receiver's
// throughput over loopback, and heap allocations per line.
#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSection.h"
#include "bench/PrintingNotifier.h"
#include "net/NetSocket.h"
#include "net/TelemetryDecoder.h"
#include "net/TelemetryReceiver.h"
#include "record/FlightRecorder.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kTargetLinesPerSecond = 100000;

// Lines shaped like the aircraft's: rates, accelerations and angles with a few decimals,
// coordinates with six, statuses small.
std::vector<std::string> sampleLines(std::size_t count) {
    std::mt19937 random(42);
    std::uniform_real_distribution<double> small(-3.0, 3.0);
    std::uniform_real_distribution<double> altitude(50.0, 400.0);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < count; ++i) {
        char line[256];
        std::snprintf(
            line, sizeof line,
            "%.4f %.4f %.4f %.3f %.3f %.3f %.4f %.4f %.4f %.2f %.2f %.2f %.1f %.1f %.6f %.6f %.1f %d %d %d",
            small(random), small(random), small(random), small(random), small(random), small(random) - 9.8,
            small(random) / 3, small(random) / 3, small(random), small(random), small(random), small(random),
            altitude(random), 15 + small(random), 40 + small(random) / 100, -75 + small(random) / 100,
            altitude(random), static_cast<int>(i % 2), static_cast<int>(i % 5), 1);
        lines.emplace_back(line);
    }
    return lines;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Median over `runs` of the time per line of `decodeAll`, in nanoseconds.
template <typename DecodeAll>
double nanosecondsPerLine(DecodeAll decodeAll, std::size_t linesPerRun, int runs) {
    std::vector<double> perLine;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        decodeAll();
        const std::chrono::duration<double, std::nano> elapsed = Clock::now() - start;
        perLine.push_back(elapsed.count() / static_cast<double>(linesPerRun));
    }
    return median(perLine);
}

}  // namespace

void benchTelemetryParse(BenchSetting& /*setting*/, Scorecard& scorecard) {
    const std::vector<std::string> lines = sampleLines(256);
    constexpr int kRepeats = 40;
    constexpr int kRuns = 31;
    const std::size_t linesPerRun = lines.size() * kRepeats;

    TelemetryState state;
    TelemetryDecoder decoder(state);
    const double decodeNs = nanosecondsPerLine(
        [&] {
            for (int repeat = 0; repeat < kRepeats; ++repeat) {
                for (const std::string& line : lines) decoder.decode(line.data(), line.size());
            }
        },
        linesPerRun, kRuns);

    // The C library's scan of the same format, with the two coordinates converted afterwards.
    volatile float sink = 0;
    const double sscanfNs = nanosecondsPerLine(
        [&] {
            for (int repeat = 0; repeat < kRepeats; ++repeat) {
                for (const std::string& line : lines) {
                    float f[15];
                    int status[3];
                    char lat[200];
                    char lon[200];
                    std::sscanf(line.c_str(), "%f %f %f %f %f %f %f %f %f %f %f %f %f %f %s %s %f %d %d %d",
                                &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9], &f[10],
                                &f[11], &f[12], &f[13], lat, lon, &f[14], &status[0], &status[1], &status[2]);
                    sink = sink + f[0] + static_cast<float>(std::atof(lat) + std::atof(lon));
                }
            }
        },
        linesPerRun, kRuns);

    std::printf("decode          %8.1f ns/line (median of %d runs of %zu lines)\n", decodeNs, kRuns,
                linesPerRun);
    std::printf("sscanf + atof   %8.1f ns/line\n", sscanfNs);
    std::printf("decode/sscanf   %8.2f  (target <= 1.00)\n", decodeNs / sscanfNs);
    scorecard.judge("telemetry parse, ns/line (decode / sscanf)",
                    formatFigure("%.0f / %.0f", decodeNs, sscanfNs), "decode <= sscanf",
                    decodeNs <= sscanfNs);
}

namespace {

// A receiver on a loopback port of the kernel's choice, and a socket that sends it lines.
struct ReceiverRig {
    PrintingNotifier notifier;
    NetSocket receiveSocket{notifier};
    NetSocket sendSocket{notifier};
    TelemetryState state;
    TelemetryDecoder decoder{state};
    TelemetryReceiver receiver{receiveSocket, decoder, 0};
    std::vector<std::string> lines = sampleLines(64);

    // Binds the receiver (port 0: any free port) and aims the sender at it.
    void open(int receiveBufferBytes) {
        receiver.open();
        if (receiveBufferBytes > 0) {
            ::setsockopt(receiveSocket.socketHandle(), SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes,
                         sizeof receiveBufferBytes);
        }
        sockaddr_in bound{};
        socklen_t length = sizeof bound;
        ::getsockname(receiveSocket.socketHandle(), reinterpret_cast<sockaddr*>(&bound), &length);
        sendSocket.create("UDP");
        sendSocket.connectTo("127.0.0.1", ntohs(bound.sin_port));
    }

    bool sendLine(int index) {
        const std::string& line = lines[static_cast<std::size_t>(index) % lines.size()];
        return sendSocket.sendData(line.data(), static_cast<int>(line.size())) > 0;
    }

    // Runs the receive loop on its own thread until stop() (the loop that run() enters once bound).
    void startReceiving() {
        receiving = std::thread([this] {
            while (!stopping.load(std::memory_order_relaxed)) receiver.pass();
            loopEnded.store(true);
        });
    }

    // Polls the decoded count until `finished` says the traffic is over and none arrived for
    // `quiet`; gives the count and the time of the last arrival.
    template <typename Finished>
    std::uint64_t waitForQuiet(Finished finished, Clock::time_point& lastArrival,
                               std::chrono::milliseconds quiet = std::chrono::milliseconds(300)) {
        std::uint64_t lastCount = receiver.decodedLines();
        lastArrival = Clock::now();
        while (!(finished() && Clock::now() - lastArrival > quiet)) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            const std::uint64_t count = receiver.decodedLines();
            if (count != lastCount) {
                lastCount = count;
                lastArrival = Clock::now();
            }
        }
        return lastCount;
    }

    ~ReceiverRig() {
        stopping.store(true);
        if (receiving.joinable()) {
            // The blocked receive returns with the next datagram.
            while (!loopEnded.load()) {
                sendSocket.sendData("", 0);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            receiving.join();
        }
        receiveSocket.close();
        sendSocket.close();
    }

    std::atomic<bool> stopping{false};
    std::atomic<bool> loopEnded{false};
    std::thread receiving;
};

// A sender thread floods the receiver while it runs: the loopback stack is shared by both.
void measureFlood() {
    constexpr int kLinesToSend = 300000;
    ReceiverRig rig;
    rig.open(0);
    rig.startReceiving();

    const std::uint64_t allocationsBefore = allocationCount();
    const auto start = Clock::now();
    std::atomic<int> sent{0};
    std::atomic<bool> senderFinished{false};
    std::thread sending([&] {
        for (int i = 0; i < kLinesToSend; ++i) {
            if (rig.sendLine(i)) sent.fetch_add(1, std::memory_order_relaxed);
        }
        senderFinished.store(true);
    });
    Clock::time_point lastArrival;
    const auto decoded =
        static_cast<double>(rig.waitForQuiet([&] { return senderFinished.load(); }, lastArrival));
    sending.join();
    const std::uint64_t allocations = allocationCount() - allocationsBefore;
    const std::chrono::duration<double> elapsed = lastArrival - start;

    std::printf("flood: sent     %8d lines in one burst\n", sent.load());
    std::printf("flood: decoded  %8.0f lines, %.1f%% of those sent\n", decoded,
                100.0 * decoded / sent.load());
    std::printf("flood: rate     %8.0f lines/s over %.3f s\n", decoded / elapsed.count(), elapsed.count());
    std::printf("flood: allocs   %8.3f per decoded line in the receive loop (target 0)\n",
                decoded > 0 ? static_cast<double>(allocations) / decoded : 0.0);
}

// What one backlog run measured.
struct BacklogRun {
    double decoded = 0;
    double seconds = 0;
    std::uint64_t allocations = 0;
    double rate() const { return decoded / seconds; }
};

// Lines queued in a large socket buffer before the receiver starts: the receiver's own capacity,
// with no sender competing for the processor. With a tap, every datagram is also handed to it.
BacklogRun runBacklog(int linesToQueue, DatagramTap* tap = nullptr) {
    ReceiverRig rig;
    rig.open(16 << 20);
    rig.receiveSocket.setTap(tap);
    for (int i = 0; i < linesToQueue; ++i) rig.sendLine(i);
    const std::uint64_t allocationsBefore = allocationCount();
    const auto start = Clock::now();
    rig.startReceiving();
    Clock::time_point lastArrival;
    BacklogRun run;
    run.decoded = static_cast<double>(rig.waitForQuiet([] { return true; }, lastArrival));
    run.allocations = allocationCount() - allocationsBefore;
    run.seconds = std::chrono::duration<double>(lastArrival - start).count();
    rig.receiveSocket.setTap(nullptr);
    return run;
}

void measureBacklog(Scorecard& scorecard) {
    constexpr int kLinesToQueue = 20000;
    const BacklogRun run = runBacklog(kLinesToQueue);
    const double decoded = run.decoded;
    const std::chrono::duration<double> elapsed(run.seconds);
    std::printf(
        "backlog: rate   %8.0f lines/s: %.0f queued lines (of %d sent; the rest did not fit the\n"
        "                         socket buffer) decoded in %.4f s (target >= 100000)\n",
        decoded / elapsed.count(), decoded, kLinesToQueue, elapsed.count());
    const double rate = decoded / elapsed.count();
    scorecard.judge("receiver, lines/s (queued lines)", formatFigure("%.0f", rate), ">= 100000",
                    rate >= kTargetLinesPerSecond);
}

}  // namespace

void benchTelemetryReceiver(BenchSetting& /*setting*/, Scorecard& scorecard) {
    measureFlood();
    measureBacklog(scorecard);
}

void benchRecordingReceiver(BenchSetting& setting, Scorecard& scorecard) {
    constexpr int kLinesToQueue = 20000;
    constexpr int kRuns = 7;
    std::vector<double> off, on;
    std::uint64_t drops = 0;
    double recordedLines = 0;
    std::uint64_t allocations = 0;
    std::uint64_t allocationsOff = 0;
    {
        FlightRecorder recorder(setting.scratch() / "flights", 9001, [](const std::string& message) {
            std::printf("recording failed: %s\n", message.c_str());
        });
        // The file is made by the first datagram: open it before anything is counted.
        runBacklog(10, &recorder);
        recorder.drain();
        // Alternating, so that both see the same machine.
        for (int run = 0; run < kRuns; ++run) {
            const BacklogRun plain = runBacklog(kLinesToQueue);
            off.push_back(plain.rate());
            allocationsOff += plain.allocations;
            const std::uint64_t dropsBefore = recorder.drops();
            const BacklogRun recorded = runBacklog(kLinesToQueue, &recorder);
            on.push_back(recorded.rate());
            recorder.drain();
            drops += recorder.drops() - dropsBefore;
            recordedLines += recorded.decoded;
            allocations += recorded.allocations;
        }
    }
    const double offRate = median(off);
    const double onRate = median(on);
    const double share = onRate / offRate;
    std::printf("recording off   %8.0f lines/s (median of %d backlogs of %d lines)\n", offRate, kRuns,
                kLinesToQueue);
    std::printf("recording on    %8.0f lines/s, %.1f%% of off (target >= 90%%)\n", onRate, 100 * share);
    // The rig's thread start allocates in both runs; what recording adds is the difference.
    const double addedPerLine =
        (static_cast<double>(allocations) - static_cast<double>(allocationsOff)) / recordedLines;
    std::printf(
        "recording on    %8.3f allocations per line added by recording, receive loop and writer (%llu "
        "on, %llu off; target 0)\n",
        addedPerLine, static_cast<unsigned long long>(allocations),
        static_cast<unsigned long long>(allocationsOff));
    std::printf("flood drops     %8llu of %.0f lines not recorded (queue of %zu; the receiver never waits)\n",
                static_cast<unsigned long long>(drops), recordedLines, FlightRecorder::kDefaultQueueCapacity);
    scorecard.judge("receiver with recording, share of lines/s without",
                    formatFigure("%.0f / %.0f = %.1f%%", onRate, offRate, 100 * share), ">= 90%",
                    share >= 0.9);
    scorecard.judge("heap allocations per line added by recording", formatFigure("%.3f", addedPerLine), "0",
                    allocations <= allocationsOff);
}

void benchTelemetryAllocations(BenchSetting& /*setting*/, Scorecard& scorecard) {
    const std::vector<std::string> lines = sampleLines(256);
    TelemetryState state;
    TelemetryDecoder decoder(state);
    for (const std::string& line : lines) decoder.decode(line.data(), line.size());  // warm-up

    constexpr int kRepeats = 100;
    const std::uint64_t before = allocationCount();
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
        for (const std::string& line : lines) decoder.decode(line.data(), line.size());
    }
    const std::uint64_t allocations = allocationCount() - before;
    const double decoded = static_cast<double>(lines.size() * kRepeats);
    const double perLine = static_cast<double>(allocations) / decoded;
    std::printf("decode          %8.3f allocations per line over %.0f lines (target 0)\n", perLine, decoded);
    scorecard.judge("heap allocations per decoded line", formatFigure("%.3f", perLine), "0",
                    allocations == 0);
}
