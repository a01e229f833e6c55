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

}  // namespace
