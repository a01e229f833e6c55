#include "net/SenderAddress.h"

#include <gtest/gtest.h>

#include <string>

#include "net/NetSocket.h"
#include "tests/net/NetTestSupport.h"

namespace {

// Names resolve here, so that no lookup leaves the machine: one known name, everything else unknown.
std::optional<in_addr_t> testResolver(const std::string& name) {
    if (name == "aircraft.test") return ipv4("10.1.2.3");
    return std::nullopt;
}

TEST(AircraftAddress, TextIsParsedOrRefusedWithItsReason) {
    struct Case {
        const char* text;
        const char* expected;  // the address as shown, or the start of the reason for refusing it
        bool accepted;
    };
    const Case cases[] = {
        {"10.0.0.7", "10.0.0.7", true},
        {"10.0.0.7:14550", "10.0.0.7:14550", true},
        {"aircraft.test:9002", "10.1.2.3:9002", true},
        {"127.0.0.2:1", "127.0.0.2:1", true},
        {"", "No address was given.", false},
        {"10.0.0.300", "\"10.0.0.300\" is not an IPv4 address", false},
        {"10.1", "\"10.1\" is not an IPv4 address", false},
        {"012.0.0.1", "\"012.0.0.1\" is not an IPv4 address", false},
        {"10.0.0.7:", "The port \"\" is not a number from 1 to 65535.", false},
        {"10.0.0.7:0", "The port \"0\" is not", false},
        {"10.0.0.7:65536", "The port \"65536\" is not", false},
        {"10.0.0.7:123456", "The port \"123456\" is not", false},
        {"10.0.0.7:-5", "The port \"-5\" is not", false},
        {"10.0.0.7:14550:1", "The port \"14550:1\" is not", false},
        {":14550", "No address was given.", false},
        {"[::1]:14550", "The port \":1]:14550\" is not", false},
        {"bad name!", "\"bad name!\" is neither an IPv4 address nor a host name.", false},
        {"unknown.test", "The name \"unknown.test\" does not resolve to an IPv4 address.", false},
        {"0.0.0.0", "\"0.0.0.0\" is not the address of one aircraft.", false},
        {"255.255.255.255:9001", "\"255.255.255.255\" is not the address of one aircraft.", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const AircraftAddress before{ipv4("192.0.2.9"), htons(77)};
        AircraftAddress parsed = before;
        const std::string refused = parseAircraftAddress(c.text, parsed, testResolver);
        if (c.accepted) {
            EXPECT_EQ(refused, "");
            EXPECT_EQ(parsed.text(), c.expected);
        } else {
            EXPECT_EQ(refused.rfind(c.expected, 0), 0u) << refused;
            // Nothing changes.
            EXPECT_EQ(parsed.packed(), before.packed());
        }
    }
}

TEST(AircraftAddress, MatchesItsAddressAndItsPortIfItHasOne) {
    sockaddr_in sender{};
    sender.sin_family = AF_INET;
    sender.sin_addr.s_addr = ipv4("10.0.0.7");
    sender.sin_port = htons(14550);
    struct Case {
        AircraftAddress aircraft;
        bool matches;
    };
    const Case cases[] = {
        {{ipv4("10.0.0.7"), 0}, true},
        {{ipv4("10.0.0.7"), htons(14550)}, true},
        {{ipv4("10.0.0.7"), htons(14551)}, false},
        {{ipv4("10.0.0.8"), 0}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.aircraft.matches(sender), c.matches) << c.aircraft.text();
    EXPECT_EQ(AircraftAddress::fromPacked(cases[1].aircraft.packed())->text(), "10.0.0.7:14550");
    EXPECT_FALSE(AircraftAddress::fromPacked(kNoSender));
}

TEST(ListenAddress, OnlyAnAddressOfThisComputerIsTakenAndItAloneReceives) {
    in_addr_t local = 0;
    ASSERT_EQ(parseHostAddress("localhost", local), "") << "localhost resolves through the system";
    EXPECT_EQ(local, ipv4("127.0.0.1"));
    EXPECT_EQ(checkLocalAddress(ipv4("127.0.0.2")), "");
    EXPECT_EQ(checkLocalAddress(ipv4("192.0.2.1")), "192.0.2.1 is not an address of this computer.");

    RecordingNotifier notifier;
    NetSocket telemetrySocket(notifier);
    ASSERT_EQ(telemetrySocket.create("UDP"), 1);
    telemetrySocket.setBindAddress(ipv4("127.0.0.2"));
    const int port = freeUdpPort();
    ASSERT_EQ(telemetrySocket.bindPort(port), 1);
    const LoopbackUdp aircraft;
    ASSERT_GT(aircraft.sendTo(port, "to 127.0.0.1"), 0);
    ASSERT_GT(aircraft.sendTo(port, "to 127.0.0.2", ipv4("127.0.0.2")), 0);
    char buffer[64] = {};
    const int received = telemetrySocket.receiveFrom(buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max(received, 0))), "to 127.0.0.2");
    telemetrySocket.close();
}

}  // namespace
