#include "record/FlightRecorder.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "net/TelemetrySenders.h"
#include "record/CaptureFormat.h"
#include "record/PcapRecordWriter.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// How long the writer sleeps when both queues are empty, and how often it hands the file to disk.
// After a poll that found nothing it sleeps longer, until a datagram wakes it: an idle program
// then wakes twice a second instead of fifty times.
constexpr auto kWriterPoll = std::chrono::milliseconds(20);
constexpr auto kIdleWriterPoll = std::chrono::milliseconds(500);
constexpr auto kFlushInterval = std::chrono::seconds(1);

// "orvane-20261208-203247Z.pcap", by the UTC time of the first datagram; a second flight in the
// same second gets "-2", "-3"...
std::string flightFileName(std::int64_t micros, int attempt) {
    const std::time_t seconds = static_cast<std::time_t>(micros / 1000000);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char name[64];
    std::strftime(name, sizeof name, "orvane-%Y%m%d-%H%M%SZ", &utc);
    std::string result = name;
    if (attempt > 1) result += "-" + std::to_string(attempt);
    return result + ".pcap";
}

constexpr int kMaxNameAttempts = 100;

}  // namespace

FlightRecorder::FlightRecorder(std::filesystem::path directory, std::uint16_t localPort,
                               FailureHandler onFailure, std::size_t queueCapacity, MicrosecondClock clock)
    : directory_(std::move(directory)),
      localPort_(htons(localPort)),
      onFailure_(std::move(onFailure)),
      clock_(std::move(clock)),
      received_(queueCapacity),
      sent_(queueCapacity) {
    writer_ = std::thread(&FlightRecorder::writerLoop, this);
}

FlightRecorder::~FlightRecorder() {
    stop();
}

void FlightRecorder::stop() {
    enabled_.store(false, std::memory_order_release);
    {
        const std::lock_guard<std::mutex> lock(control_);
        stop_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable()) writer_.join();
}

std::int64_t FlightRecorder::realtimeMicros() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t{now.tv_sec} * 1000000 + now.tv_nsec / 1000;
}

void FlightRecorder::setEnabled(bool on) {
    {
        const std::lock_guard<std::mutex> lock(control_);
        if (stop_) return;
    }
    if (on) failed_.store(false, std::memory_order_release);
    enabled_.store(on, std::memory_order_release);
    wake_.notify_all();
}

void FlightRecorder::datagramReceived(const sockaddr_in& sender, const void* bytes, std::size_t keptLength,
                                      std::size_t length) {
    if (!enabled_.load(std::memory_order_acquire)) return;
    if (!received_.tryPush(clock_(), sender.sin_addr.s_addr, sender.sin_port, false,
                           static_cast<std::uint32_t>(length), bytes, keptLength, pinNow())) {
        drops_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    wakeIdleWriter();
}

void FlightRecorder::wakeIdleWriter() {
    // Both sides change the flag by exchange, so one of them comes second: the writer, which then
    // sees the push before this exchange when it looks at the queues; or this call, which then
    // finds the writer idle and tells it (the lock orders the notification after its wait began).
    if (!writerIdle_.exchange(false)) return;
    { const std::lock_guard<std::mutex> lock(control_); }
    wake_.notify_all();
}

void FlightRecorder::datagramSent(const sockaddr_in& destination, const void* bytes, std::size_t length) {
    if (!enabled_.load(std::memory_order_acquire)) return;
    const std::lock_guard<std::mutex> turn(sendersTakeTurns_);
    if (!sent_.tryPush(clock_(), destination.sin_addr.s_addr, destination.sin_port, true,
                       static_cast<std::uint32_t>(length), bytes, length, pinNow())) {
        drops_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    wakeIdleWriter();
}

std::uint64_t FlightRecorder::pinNow() const {
    const TelemetrySenders* senders = senders_.load(std::memory_order_acquire);
    if (senders == nullptr) return kNoSender;
    const std::optional<AircraftAddress> aircraft = senders->pinned();
    return aircraft ? aircraft->packed() : kNoSender;
}

void FlightRecorder::drain() {
    std::unique_lock<std::mutex> lock(control_);
    const std::uint64_t ticket = ++drainRequests_;
    wake_.notify_all();
    drained_.wait(lock, [&] { return drainsDone_ >= ticket || stop_; });
}

std::filesystem::path FlightRecorder::currentFile() const {
    const std::lock_guard<std::mutex> lock(control_);
    return currentFile_;
}

void FlightRecorder::writerLoop() {
    lastFlush_ = SteadyClock::now();
    bool idle = false;
    for (;;) {
        std::uint64_t drainsAsked = 0;
        bool drainWaiting = false;
        bool stopping = false;
        {
            std::unique_lock<std::mutex> lock(control_);
            if (idle) writerIdle_.exchange(true);
            wake_.wait_for(lock, idle ? kIdleWriterPoll : kWriterPoll, [&] {
                return stop_ || drainRequests_ > drainsDone_ ||
                       (idle && (received_.front() != nullptr || sent_.front() != nullptr));
            });
            writerIdle_.store(false);
            drainsAsked = drainRequests_;
            // Only a drain not yet answered asks for a flush; one answered before does not.
            drainWaiting = drainRequests_ > drainsDone_;
            stopping = stop_;
        }
        idle = writeQueued() == 0;
        const bool on = enabled_.load(std::memory_order_acquire);
        if (file_ && (!on || stopping)) {
            closeFile();
        } else if (file_ && (drainWaiting || SteadyClock::now() - lastFlush_ >= kFlushInterval)) {
            if (drops_.load(std::memory_order_relaxed) != dropsInNote_) writeNote();
            flush();
        }
        {
            const std::lock_guard<std::mutex> lock(control_);
            drainsDone_ = drainsAsked;
        }
        drained_.notify_all();
        if (stopping) return;
    }
}

std::size_t FlightRecorder::writeQueued() {
    std::size_t written = 0;
    for (;;) {
        const QueuedDatagram* fromAircraft = received_.front();
        const QueuedDatagram* toAircraft = sent_.front();
        if (fromAircraft == nullptr && toAircraft == nullptr) return written;
        // Oldest first, so that an upload sits between the lines around it.
        const bool takeSent = fromAircraft == nullptr ||
                              (toAircraft != nullptr && toAircraft->timeMicros < fromAircraft->timeMicros);
        write(takeSent ? *toAircraft : *fromAircraft);
        (takeSent ? sent_ : received_).pop();
        ++written;
    }
}

void FlightRecorder::write(const QueuedDatagram& datagram) {
    // Datagrams queued just before the recording was switched off, or after it failed, are let go.
    if (!file_) {
        if (!enabled_.load(std::memory_order_acquire)) return;
        pinInNote_ = datagram.pin;
        if (!openFile(datagram.timeMicros)) return;
    }
    // The screen changed before this datagram came: the note says so ahead of it.
    if (datagram.pin != pinInNote_) {
        pinInNote_ = datagram.pin;
        writeNote(datagram.timeMicros);
    }
    auto found = localAddresses_.find(datagram.peerAddress);
    if (found == localAddresses_.end()) {
        found = localAddresses_.emplace(datagram.peerAddress, localAddressToward(datagram.peerAddress)).first;
    }
    const std::uint32_t local = found->second;
    if (datagram.sent) {
        file_->write(datagram.timeMicros, local, localPort_, datagram.peerAddress, datagram.peerPort,
                     datagram.length, datagram.bytes.data(), datagram.keptLength);
    } else {
        file_->write(datagram.timeMicros, datagram.peerAddress, datagram.peerPort, local, localPort_,
                     datagram.length, datagram.bytes.data(), datagram.keptLength);
    }
    recorded_.fetch_add(1, std::memory_order_relaxed);
    unflushed_ = true;
}

bool FlightRecorder::openFile(std::int64_t firstMicros) {
    std::error_code made;
    std::filesystem::create_directories(directory_, made);
    if (made) {
        fail(directory_.string(), made.value());
        return false;
    }
    int error = 0;
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const std::filesystem::path path = directory_ / flightFileName(firstMicros, attempt);
        file_ = PcapRecordWriter::create(path, error);
        if (file_) {
            const std::lock_guard<std::mutex> lock(control_);
            currentFile_ = path;
            break;
        }
        if (error != EEXIST) {
            fail(path.string(), error);
            return false;
        }
    }
    if (!file_) {
        fail((directory_ / flightFileName(firstMicros, 1)).string(), EEXIST);
        return false;
    }
    // Drops while the first datagrams waited for the file belong to it.
    dropsAtOpen_ = dropsInNote_;
    recordedAtOpen_ = recorded_.load(std::memory_order_relaxed);
    lastFlush_ = SteadyClock::now();
    // A note first, so that even a file cut short by a crash shows it comes from the recorder.
    writeNote(firstMicros);
    return true;
}

void FlightRecorder::writeNote(std::optional<std::int64_t> timeMicros) {
    dropsInNote_ = drops_.load(std::memory_order_relaxed);
    RecorderNote note;
    note.dropped = dropsInNote_ - dropsAtOpen_;
    note.recorded = recorded_.load(std::memory_order_relaxed) - recordedAtOpen_;
    note.port = ntohs(localPort_);
    note.aircraftKnown = senders_.load(std::memory_order_acquire) != nullptr;
    note.aircraft = AircraftAddress::fromPacked(pinInNote_);
    char text[QueuedDatagram::kKeptBytes];
    const std::size_t length = formatRecorderNote(note, text, sizeof text);
    const std::uint32_t loopback = htonl(INADDR_LOOPBACK);
    const std::uint16_t port = htons(kRecorderNotePort);
    file_->write(timeMicros.value_or(clock_()), loopback, port, loopback, port,
                 static_cast<std::uint32_t>(length), reinterpret_cast<const std::uint8_t*>(text), length);
    unflushed_ = true;
}

void FlightRecorder::flush() {
    lastFlush_ = SteadyClock::now();
    if (!unflushed_) return;
    int error = 0;
    const bool flushed = file_->flush(error);
    syncs_.fetch_add(1, std::memory_order_relaxed);
    if (!flushed) {
        fail(currentFile().string(), error);
        return;
    }
    unflushed_ = false;
}

void FlightRecorder::closeFile() {
    writeNote();
    flush();
    file_.reset();
}

void FlightRecorder::fail(const std::string& what, int error) {
    file_.reset();
    dropsInNote_ = drops_.load(std::memory_order_relaxed);
    unflushed_ = false;
    enabled_.store(false, std::memory_order_release);
    // Once per failure: the operator turns recording on again to retry.
    if (failed_.exchange(true, std::memory_order_acq_rel)) return;
    if (onFailure_) {
        onFailure_("Flight recording stopped: " + what + " cannot be written (" + std::strerror(error) +
                   "). The program carries on without recording.");
    }
}
