#include "record/FlightRecorder.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "net/NetSocket.h"
#include "net/TelemetryDecoder.h"
#include "net/TelemetryReceiver.h"
#include "record/CapturedDatagram.h"
#include "record/DatagramQueue.h"
#include "tests/net/NetTestSupport.h"
#include "tests/record/RecordTestSupport.h"
#include "tests/record/RecordedReceiver.h"
#include "tests/support/FullFileSystem.h"

namespace {

constexpr std::uint32_t kAircraft = 0x7F000001;  // 127.0.0.1

// One record of a capture, decoded.
struct ReadBack {
    std::int64_t timeMicros;
    std::uint32_t originalLength;
    CapturedDatagram datagram;
    Bytes payload;
};

std::vector<ReadBack> readAll(const std::filesystem::path& path, CaptureReader::Status* last = nullptr) {
    CaptureReader reader;
    std::string error;
    EXPECT_TRUE(reader.open(path, error)) << error;
    std::vector<ReadBack> records;
    CaptureReader::Record record;
    CaptureReader::Status status;
    while ((status = reader.next(record)) == CaptureReader::Status::record) {
        const CapturedDatagram datagram =
            decodeCapturedFrame(reader.linkType(), record.frame, record.originalLength);
        records.push_back({record.timeMicros, record.originalLength, datagram,
                           Bytes(datagram.payload.begin(), datagram.payload.end())});
    }
    if (last != nullptr) *last = status;
    return records;
}

std::string expectedFileName(std::int64_t micros) {
    const std::time_t seconds = static_cast<std::time_t>(micros / 1000000);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char name[64];
    std::strftime(name, sizeof name, "orvane-%Y%m%d-%H%M%SZ.pcap", &utc);
    return name;
}

sockaddr_in aircraftAddress(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(kAircraft);
    address.sin_port = htons(port);
    return address;
}

TEST(DatagramQueue, HoldsItsCapacityThenRefusesUntilASlotIsFreed) {
    DatagramQueue queue(3);
    const std::string bytes(250, 'x');
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(queue.tryPush(i, 1, 2, false, 250, bytes.data(), bytes.size()));
    }
    EXPECT_FALSE(queue.tryPush(3, 1, 2, false, 250, bytes.data(), bytes.size()));
    ASSERT_NE(queue.front(), nullptr);
    EXPECT_EQ(queue.front()->timeMicros, 0);
    EXPECT_EQ(queue.front()->length, 250u);
    EXPECT_EQ(queue.front()->keptLength, QueuedDatagram::kKeptBytes) << "only the kept bytes are copied";
    queue.pop();
    EXPECT_TRUE(queue.tryPush(4, 1, 2, false, 1, "y", 1));
    for (std::int64_t expected : {1, 2, 4}) {
        ASSERT_NE(queue.front(), nullptr);
        EXPECT_EQ(queue.front()->timeMicros, expected);
        queue.pop();
    }
    EXPECT_EQ(queue.front(), nullptr);
}

TEST(FlightRecorder, EveryDatagramAndUploadComesBackInOrderWithSenderAndTime) {
    ScratchFolder scratch;
    const std::filesystem::path folder = scratch.path() / "flights";
    const std::int64_t before = FlightRecorder::realtimeMicros();
    std::filesystem::path file;
    std::uint16_t aircraftPort = 0;
    std::uint16_t localPort = 0;
    const std::string line1 =
        "0.01 -0.02 0.03 0.1 0.2 -9.8 0.05 -0.1 1.57 0 0 0 120.5 18.2 40.1 -75.6 130 1 2 1";
    const std::string line2 =
        "0.02 -0.02 0.03 0.1 0.2 -9.8 0.05 -0.1 1.58 0 0 0 121.5 18.3 40.2 -75.7 131 1 2 1";
    const std::string oversize(250, '7');
    std::string upload(180, '\0');
    upload.replace(0, 4, "W 0 ");
    {
        RecordedReceiver rig(folder);
        ASSERT_TRUE(waitUntil([&] { return rig.receiver.bound(); }));
        aircraftPort = static_cast<std::uint16_t>(rig.aircraft.port());
        localPort = static_cast<std::uint16_t>(rig.port);
        rig.send(line1);
        rig.send("");
        rig.send(oversize);
        ASSERT_EQ(rig.socket.replyToSender(upload.data(), static_cast<int>(upload.size())), 180);
        std::string atAircraft;
        ASSERT_TRUE(rig.aircraft.receive(atAircraft));
        rig.send(line2);
        rig.recorder.drain();
        file = rig.recorder.currentFile();
        EXPECT_EQ(rig.recorder.drops(), 0u);
    }
    const std::int64_t after = FlightRecorder::realtimeMicros();
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.parent_path(), folder);

    const std::vector<ReadBack> all = readAll(file);
    // The opening note, five datagrams, the wake-up datagrams of the rig's end, and the closing note.
    ASSERT_GE(all.size(), 7u);
    EXPECT_EQ(parseRecorderNote(all.front().payload)->dropped, 0u);
    const std::vector<ReadBack> records(all.begin() + 1, all.end());
    struct Expected {
        std::uint16_t sourcePort, destinationPort;
        std::string payload;
        std::uint32_t length;
    };
    const Expected expected[] = {
        {aircraftPort, localPort, line1, static_cast<std::uint32_t>(line1.size())},
        {aircraftPort, localPort, "", 0},
        {aircraftPort, localPort, oversize.substr(0, 200), 250},
        {localPort, aircraftPort, upload, 180},
        {aircraftPort, localPort, line2, static_cast<std::uint32_t>(line2.size())},
    };
    std::int64_t previous = before;
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const ReadBack& got = records[i];
        ASSERT_EQ(got.datagram.kind, CapturedDatagram::Kind::udp);
        EXPECT_EQ(got.datagram.source, kAircraft);
        EXPECT_EQ(got.datagram.destination, kAircraft) << "this host's address towards the aircraft";
        EXPECT_EQ(got.datagram.sourcePort, expected[i].sourcePort);
        EXPECT_EQ(got.datagram.destinationPort, expected[i].destinationPort);
        EXPECT_EQ(got.payload, bytesOf(expected[i].payload));
        EXPECT_EQ(got.datagram.length, expected[i].length);
        EXPECT_EQ(got.originalLength, expected[i].length + kIpv4UdpHeaderLength);
        EXPECT_GE(got.timeMicros, previous);
        EXPECT_LE(got.timeMicros, after);
        previous = got.timeMicros;
    }
    EXPECT_EQ(file.filename().string(), expectedFileName(records[0].timeMicros));
    const ReadBack& note = records.back();
    EXPECT_EQ(note.datagram.sourcePort, kRecorderNotePort);
    const auto parsed = parseRecorderNote(note.payload);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->dropped, 0u);
    EXPECT_EQ(parsed->recorded, records.size() - 1) << "datagrams, not notes";

    // libpcap's own reader takes the file as it stands.
    char error[PCAP_ERRBUF_SIZE];
    pcap_t* offline = pcap_open_offline(file.c_str(), error);
    ASSERT_NE(offline, nullptr) << error;
    EXPECT_EQ(pcap_datalink(offline), DLT_RAW);
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    std::size_t count = 0;
    while (pcap_next_ex(offline, &header, &data) == 1) {
        ASSERT_LT(count, all.size());
        EXPECT_EQ(std::int64_t{header->ts.tv_sec} * 1000000 + header->ts.tv_usec, all[count].timeMicros);
        EXPECT_EQ(header->len, all[count].originalLength);
        ++count;
    }
    EXPECT_EQ(count, all.size());
    pcap_close(offline);
}

TEST(FlightRecorder, RecordingCutAtEveryByteOfItsLastRecordIsReadUpToTheCut) {
    ScratchFolder scratch;
    std::filesystem::path file;
    {
        FlightRecorder recorder(scratch.path(), 9001, nullptr);
        for (const char* line : {"1 2 3", "4 5 6", "7 8 9"}) {
            recorder.datagramReceived(aircraftAddress(5000), line, 5, 5);
        }
        recorder.drain();
        file = recorder.currentFile();
    }
    std::ifstream in(file, std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Opening note, three lines, closing note.
    CaptureReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(file, error));
    CaptureReader::Record record;
    std::vector<std::uint64_t> offsets;
    while (reader.next(record) == CaptureReader::Status::record) offsets.push_back(record.offset);
    ASSERT_EQ(offsets.size(), 5u);
    const std::size_t lastStart = offsets.back();

    const std::filesystem::path cut = scratch.path() / "cut.pcap";
    for (std::size_t length = lastStart; length < whole.size(); ++length) {
        SCOPED_TRACE(length);
        std::ofstream(cut, std::ios::binary | std::ios::trunc)
            .write(whole.data(), static_cast<std::streamsize>(length));
        CaptureReader::Status last{};
        const std::vector<ReadBack> records = readAll(cut, &last);
        ASSERT_EQ(records.size(), 4u);
        EXPECT_EQ(records[3].payload, bytesOf("7 8 9"));
        EXPECT_EQ(last,
                  length == lastStart ? CaptureReader::Status::end : CaptureReader::Status::truncatedTail);
    }
}

TEST(FlightRecorder, FullQueueDropsAndCountsWithoutWaiting) {
    ScratchFolder scratch;
    constexpr int kDatagrams = 2000;
    std::filesystem::path file;
    std::uint64_t drops = 0;
    {
        FlightRecorder recorder(scratch.path(), 9001, nullptr, 2);
        // As fast as the receiver could hand them on: the writer cannot keep up with a 2-slot queue.
        for (int i = 0; i < kDatagrams; ++i) recorder.datagramReceived(aircraftAddress(5000), "line", 4, 4);
        recorder.drain();
        drops = recorder.drops();
        EXPECT_GT(drops, 0u);
        EXPECT_EQ(recorder.recorded() + drops, static_cast<std::uint64_t>(kDatagrams));
        file = recorder.currentFile();
    }
    const std::vector<ReadBack> records = readAll(file);
    std::size_t lines = 0;
    std::optional<RecorderNote> lastNote;
    for (const ReadBack& record : records) {
        if (record.datagram.sourcePort == kRecorderNotePort) {
            lastNote = parseRecorderNote(record.payload);
        } else {
            ++lines;
        }
    }
    EXPECT_EQ(lines + drops, static_cast<std::uint64_t>(kDatagrams));
    ASSERT_TRUE(lastNote);
    EXPECT_EQ(lastNote->dropped, drops);
}

TEST(FlightRecorder, NothingIsMadeBeforeADatagramAndSwitchedOffNothingIsRecorded) {
    ScratchFolder scratch;
    const std::filesystem::path folder = scratch.path() / "flights";
    FlightRecorder recorder(folder, 9001, nullptr);
    recorder.drain();
    EXPECT_FALSE(std::filesystem::exists(folder));

    recorder.setEnabled(false);
    recorder.datagramReceived(aircraftAddress(5000), "a", 1, 1);
    recorder.drain();
    EXPECT_FALSE(std::filesystem::exists(folder));

    recorder.setEnabled(true);
    recorder.datagramReceived(aircraftAddress(5000), "b", 1, 1);
    recorder.drain();
    const std::filesystem::path first = recorder.currentFile();
    EXPECT_TRUE(std::filesystem::exists(first));
    // Off closes the file; on again records into a new one.
    recorder.setEnabled(false);
    recorder.drain();
    recorder.setEnabled(true);
    recorder.datagramReceived(aircraftAddress(5000), "c", 1, 1);
    recorder.drain();
    EXPECT_NE(recorder.currentFile(), first);
    recorder.stop();
    const std::vector<ReadBack> firstRecords = readAll(first);
    ASSERT_EQ(firstRecords.size(), 3u);
    EXPECT_EQ(firstRecords[1].payload, bytesOf("b"));
}

TEST(FlightRecorder, UnwritableFolderStopsRecordingWithOneMessage) {
    ScratchFolder scratch;
    // A file where the folder should be: it can never be made.
    const std::filesystem::path blocker = scratch.path() / "flights";
    std::ofstream(blocker) << "not a folder";
    std::atomic<int> failures{0};
    std::string message;
    FlightRecorder recorder(blocker / "inside", 9001, [&](const std::string& text) {
        message = text;
        failures.fetch_add(1);
    });
    for (int i = 0; i < 50; ++i) {
        recorder.datagramReceived(aircraftAddress(5000), "line", 4, 4);
        recorder.drain();
    }
    EXPECT_EQ(failures.load(), 1);
    EXPECT_NE(message.find(blocker.string()), std::string::npos) << message;
    EXPECT_TRUE(recorder.failed());
    EXPECT_FALSE(recorder.enabled());
}

TEST(FlightRecorder, FullDiskStopsRecordingWithTheRealCause) {
    ScratchFolder scratch;
    if (const std::string why = mountSmallTmpfs(scratch.path(), 64 * 1024); !why.empty()) GTEST_SKIP() << why;
    std::atomic<int> failures{0};
    std::string message;
    {
        FlightRecorder recorder(scratch.path(), 9001, [&](const std::string& text) {
            message = text;
            failures.fetch_add(1);
        });
        const std::string line(200, '5');
        for (int i = 0; i < 2000 && !recorder.failed(); ++i) {
            recorder.datagramReceived(aircraftAddress(5000), line.data(), line.size(), line.size());
            if (i % 50 == 49) recorder.drain();
        }
        recorder.drain();
        EXPECT_TRUE(recorder.failed());
    }
    ::umount(scratch.path().c_str());
    EXPECT_EQ(failures.load(), 1);
    EXPECT_NE(message.find(std::strerror(ENOSPC)), std::string::npos) << message;
}

TEST(FlightRecorder, AfterADrainTheFileIsHandedToTheDiskOnlyOnceASecond) {
    ScratchFolder scratch;
    FlightRecorder recorder(scratch.path(), 9001, nullptr);
    recorder.datagramReceived(aircraftAddress(5000), "1 2 3", 5, 5);
    recorder.drain();
    const std::uint64_t syncsAfterDrain = recorder.syncs();
    EXPECT_EQ(syncsAfterDrain, 1u);
    // Half a second of lines at a hundred a second.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (std::chrono::steady_clock::now() < end) {
        recorder.datagramReceived(aircraftAddress(5000), "4 5 6", 5, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_LE(recorder.syncs() - syncsAfterDrain, 1u);
}

}  // namespace
