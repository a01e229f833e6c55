#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>

#include "net/DatagramTap.h"
#include "record/DatagramQueue.h"

class PcapRecordWriter;
class TelemetrySenders;

// Records every datagram the telemetry socket receives and every upload it sends into a capture
// file, "orvane-YYYYMMDD-HHMMSSZ.pcap" in `directory`, named by the UTC time of the first datagram;
// nothing (not even the directory) is made before one arrives.
//
// The socket's threads only copy a datagram into a bounded queue (constant time, no allocation, no
// lock the writer holds while writing); a full queue drops the datagram and counts it. The writer
// thread writes, and flushes the file to disk at least once a second, so a killed program loses at
// most the last second. The drop count goes into the file as a recorder note (see CaptureFormat.h)
// at its start, whenever it changed at a flush, and at its end. The notes also say the telemetry
// port and, once told the receiver's sender screen, which sender it took: a note before the first
// datagram received after the pinned address changed, so that a replay admits what the live
// program admitted.
//
// A file that cannot be made or written stops the recording; `onFailure` is then called once, on
// the writer thread, with a message for the operator.
class FlightRecorder final : public DatagramTap {
public:
    using MicrosecondClock = std::function<std::int64_t()>;
    using FailureHandler = std::function<void(const std::string& message)>;

    // Room for a burst of a fifth of a second at 20,000 datagrams a second.
    static constexpr std::size_t kDefaultQueueCapacity = 4096;

    // `localPort` is the telemetry port the records show on this side.
    FlightRecorder(std::filesystem::path directory, std::uint16_t localPort, FailureHandler onFailure,
                   std::size_t queueCapacity = kDefaultQueueCapacity,
                   MicrosecondClock clock = realtimeMicros);
    // stop().
    ~FlightRecorder() override;
    FlightRecorder(const FlightRecorder&) = delete;
    FlightRecorder& operator=(const FlightRecorder&) = delete;

    // On: datagrams from now on are recorded. Off: what is queued is written, the file closed; the
    // next recording (after on again) starts a new file. Any thread.
    void setEnabled(bool on);
    bool enabled() const { return enabled_.load(std::memory_order_acquire); }
    // True once a file could not be written (recording is then off).
    bool failed() const { return failed_.load(std::memory_order_acquire); }
    // The receiver's sender screen, whose pinned address goes into the notes. Call before the
    // recorder becomes a socket's tap.
    void notePinOf(const TelemetrySenders& senders) { senders_.store(&senders, std::memory_order_release); }

    // The receiver's thread: one producer. Never waits.
    void datagramReceived(const sockaddr_in& sender, const void* bytes, std::size_t keptLength,
                          std::size_t length) override;
    // Upload senders (any thread; they take turns on a lock of their own, never the writer's).
    void datagramSent(const sockaddr_in& destination, const void* bytes, std::size_t length) override;

    // Switches recording off for good: writes what is queued and the last note, closes the file and
    // ends the writer. The object stays usable as a tap (it then records nothing), so a thread that
    // still holds it may call it until it is destroyed.
    void stop();

    // Waits until everything queued before the call is written and flushed (tests, shutdown).
    void drain();

    // Datagrams not recorded because the queue was full, since the start.
    std::uint64_t drops() const { return drops_.load(std::memory_order_relaxed); }
    // Datagrams written, since the start.
    std::uint64_t recorded() const { return recorded_.load(std::memory_order_relaxed); }
    // Times the file was handed to the disk, since the start.
    std::uint64_t syncs() const { return syncs_.load(std::memory_order_relaxed); }
    // The file being written, or the last one; empty before the first.
    std::filesystem::path currentFile() const;

    // Microseconds since 1970-01-01 UTC.
    static std::int64_t realtimeMicros();

private:
    void writerLoop();
    // Writes every queued datagram, oldest first across both queues. Returns the count.
    std::size_t writeQueued();
    void write(const QueuedDatagram& datagram);
    bool openFile(std::int64_t firstMicros);
    // The drop count so far; at `timeMicros`, or now.
    void writeNote(std::optional<std::int64_t> timeMicros = std::nullopt);
    // The pinned sender now, packed (0: any sender, or no screen told).
    std::uint64_t pinNow() const;
    void flush();
    void closeFile();
    // Wakes the writer when it sleeps its long idle poll.
    void wakeIdleWriter();
    void fail(const std::string& what, int error);

    const std::filesystem::path directory_;
    const std::uint16_t localPort_;  // network byte order
    const FailureHandler onFailure_;
    const MicrosecondClock clock_;

    DatagramQueue received_;
    DatagramQueue sent_;
    std::mutex sendersTakeTurns_;

    std::atomic<const TelemetrySenders*> senders_{nullptr};
    std::atomic<bool> enabled_{true};
    std::atomic<bool> failed_{false};
    std::atomic<std::uint64_t> drops_{0};
    std::atomic<std::uint64_t> recorded_{0};
    std::atomic<std::uint64_t> syncs_{0};
    // The writer sleeps its long poll and waits to be woken by a datagram.
    std::atomic<bool> writerIdle_{false};

    // Writer thread state.
    std::unique_ptr<PcapRecordWriter> file_;
    std::uint64_t dropsInNote_ = 0;
    std::uint64_t dropsAtOpen_ = 0;
    std::uint64_t recordedAtOpen_ = 0;
    std::uint64_t pinInNote_ = 0;
    bool unflushed_ = false;
    // This host's address towards each peer, looked up once per peer.
    std::unordered_map<std::uint32_t, std::uint32_t> localAddresses_;
    std::chrono::steady_clock::time_point lastFlush_;

    // Between the writer and the callers of drain(), setEnabled() and the destructor only.
    mutable std::mutex control_;
    std::condition_variable wake_;
    std::condition_variable drained_;
    std::uint64_t drainRequests_ = 0;
    std::uint64_t drainsDone_ = 0;
    bool stop_ = false;
    std::filesystem::path currentFile_;
    std::thread writer_;
};
