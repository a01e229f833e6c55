#include "net/TelemetrySenders.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace {

sockaddr_in sender(const char* address, int port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &result.sin_addr);
    result.sin_port = htons(static_cast<std::uint16_t>(port));
    return result;
}

TEST(TelemetrySenders, TwoPortsOfOneAddressAreTwoSenders) {
    TelemetrySenders senders;
    EXPECT_TRUE(senders.admit(sender("127.0.0.1", 5000), 0));
    EXPECT_TRUE(senders.admit(sender("127.0.0.1", 5000), 100));
    EXPECT_FALSE(senders.severalSenders(100));
    EXPECT_TRUE(senders.admit(sender("127.0.0.1", 5001), 200));
    EXPECT_TRUE(senders.severalSenders(200));
    EXPECT_EQ(senders.silenceMs(3200), 3000);
}

TEST(TelemetrySenders, AnOldSecondSenderComesNotBackWhenTheClockWrapsAllTheWayRound) {
    TelemetrySenders senders;
    senders.admit(sender("127.0.0.1", 5000), 0);
    senders.admit(sender("127.0.0.2", 5000), 1000);
    senders.admit(sender("127.0.0.1", 5000), 1001);
    EXPECT_TRUE(senders.severalSenders(1500));
    // Only one sender for a while, then the clock comes round to the same count 2^32 ms later.
    senders.admit(sender("127.0.0.1", 5000), 10000);
    senders.admit(sender("127.0.0.1", 5000), 1400);
    EXPECT_FALSE(senders.severalSenders(1500));
}

TEST(TelemetrySenders, ThePinDecidesWhatIsTakenAndWhereUploadsGo) {
    TelemetrySenders senders;
    EXPECT_FALSE(senders.uploadDestination());
    EXPECT_FALSE(senders.silenceMs(0));
    senders.admit(sender("127.0.0.2", 6000), 0);
    sockaddr_in pinned = sender("127.0.0.1", 0);
    senders.pin(AircraftAddress{pinned.sin_addr.s_addr, 0});
    EXPECT_TRUE(senders.currentSender());
    EXPECT_FALSE(senders.uploadDestination());

    EXPECT_FALSE(senders.admit(sender("127.0.0.2", 6000), 10));
    EXPECT_FALSE(senders.admit(sender("127.0.0.3", 6001), 20));
    EXPECT_TRUE(senders.admit(sender("127.0.0.1", 6002), 30));
    EXPECT_EQ(senders.refusedDatagrams(), 2u);
    EXPECT_EQ(formatSender(*senders.lastRefused()), "127.0.0.3:6001");
    EXPECT_EQ(formatSender(*senders.uploadDestination()), "127.0.0.1:6002");

    senders.pin(std::nullopt);
    EXPECT_TRUE(senders.admit(sender("127.0.0.2", 6000), 40));
    EXPECT_EQ(formatSender(*senders.uploadDestination()), "127.0.0.2:6000");
}

}  // namespace
