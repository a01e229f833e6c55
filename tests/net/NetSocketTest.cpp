#include "net/NetSocket.h"

#include <fcntl.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "tests/net/NetTestSupport.h"

namespace {

using Message = std::pair<std::string, std::string>;

int socketType(int fd) {
    int type = 0;
    socklen_t length = sizeof type;
    ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length);
    return type;
}

int localPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// A datagram socket bound to a free port, ready to receive.
struct BoundUdp {
    RecordingNotifier notifier;
    NetSocket socket{notifier};
    int port = 0;

    BoundUdp() {
        port = freeUdpPort();
        socket.startup();
        socket.create("UDP");
        EXPECT_EQ(socket.bindPort(port), 1);
    }
    ~BoundUdp() { socket.close(); }
};

TEST(NetSocket, OnlyTheExactTextUdpMakesADatagramSocket) {
    struct Case {
        const char* protocol;
        int type;
    };
    const Case cases[] = {{"UDP", SOCK_DGRAM},  {"udp", SOCK_STREAM}, {"UDP ", SOCK_STREAM},
                          {"TCP", SOCK_STREAM}, {"", SOCK_STREAM},    {"UD", SOCK_STREAM}};
    for (const Case& c : cases) {
        RecordingNotifier notifier;
        NetSocket socket(notifier);
        EXPECT_EQ(socket.startup(), 1);
        ASSERT_EQ(socket.create(c.protocol), 1) << c.protocol;
        EXPECT_EQ(socketType(socket.socketHandle()), c.type) << '"' << c.protocol << '"';
        socket.close();
        EXPECT_TRUE(notifier.messages().empty());
    }
}

TEST(NetSocket, CreateFailureShowsItsMessageAndLeavesNoHandle) {
    // Made before the limit is tightened: the sanitizers' type checks need descriptors of their own.
    RecordingNotifier notifier;
    NetSocket socket(notifier);
    Notifier& anyNotifier = notifier;
    anyNotifier.showMessage("", "");
    const std::size_t messagesBefore = notifier.messages().size();

    // With the descriptor limit at the lowest free descriptor, socket() must fail.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);

    const int created = socket.create("UDP");
    ::setrlimit(RLIMIT_NOFILE, &saved);

    EXPECT_EQ(created, 0);
    EXPECT_EQ(socket.socketHandle(), -1);
    const auto messages = notifier.messages();
    ASSERT_EQ(messages.size(), messagesBefore + 1);
    EXPECT_EQ(messages.back(), (Message{"Orvane", "Invalid socket error!"}));
}

TEST(NetSocket, BindConflictShowsMessageClosesAndSucceedsOnceFree) {
    // Another program holding the port on every address.
    const int port = freeUdpPort();
    const int blocker = holdUdpPort(port);
    ASSERT_GE(blocker, 0);

    RecordingNotifier notifier;
    NetSocket socket(notifier);
    socket.startup();
    socket.create("UDP");
    const int handle = socket.socketHandle();
    EXPECT_EQ(socket.bindPort(port), 0);
    EXPECT_EQ(notifier.messages(), (std::vector<Message>{{"Orvane", "bind() error"}}));
    EXPECT_EQ(socket.socketHandle(), -1);
    EXPECT_FALSE(isOpenDescriptor(handle));
    EXPECT_EQ(socket.port(), port);

    ::close(blocker);
    EXPECT_EQ(socket.startup(), 1);
    EXPECT_EQ(socket.create("UDP"), 1);
    EXPECT_EQ(socket.bindPort(port), 1);
    EXPECT_EQ(localPort(socket.socketHandle()), port);
    EXPECT_EQ(notifier.messages().size(), 1u);
    socket.close();
}

TEST(NetSocket, ReceiveRecordsSenderAndRepliesGoToTheLatestOne) {
    BoundUdp server;
    char buffer[200];
    EXPECT_FALSE(server.socket.hasSender());
    EXPECT_EQ(server.socket.replyToSender("G", 1), -1) << "no sender is known yet";

    LoopbackUdp a;
    LoopbackUdp b;
    ASSERT_EQ(a.sendTo(server.port, "from A"), 6);
    ASSERT_EQ(server.socket.receiveFrom(buffer, sizeof buffer), 6);
    EXPECT_EQ(std::string(buffer, 6), "from A");
    const sockaddr_in sender = server.socket.lastSender();
    EXPECT_EQ(sender.sin_family, AF_INET);
    EXPECT_EQ(ntohs(sender.sin_port), a.port());
    EXPECT_EQ(ntohl(sender.sin_addr.s_addr), INADDR_LOOPBACK);

    std::string reply;
    ASSERT_EQ(server.socket.replyToSender("to A", 4), 4);
    ASSERT_TRUE(a.receive(reply));
    EXPECT_EQ(reply, "to A");

    ASSERT_EQ(b.sendTo(server.port, "from B"), 6);
    ASSERT_EQ(server.socket.receiveFrom(buffer, sizeof buffer), 6);
    ASSERT_EQ(server.socket.replyToSender("to B", 4), 4);
    ASSERT_TRUE(b.receive(reply));
    EXPECT_EQ(reply, "to B");
    EXPECT_FALSE(a.receive(reply, std::chrono::milliseconds(50)));
    EXPECT_TRUE(server.notifier.messages().empty());
}

TEST(NetSocket, DatagramLargerThanTheBufferIsRefusedWhole) {
    BoundUdp server;
    LoopbackUdp sender;
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(sender.sendTo(server.port, std::string(17, 'a')), 17);
    EXPECT_EQ(server.socket.receiveFrom(buffer, sizeof buffer), -1);
    // Exactly the buffer's size still fits, and the socket goes on working.
    ASSERT_EQ(sender.sendTo(server.port, std::string(16, 'b')), 16);
    EXPECT_EQ(server.socket.receiveFrom(buffer, sizeof buffer), 16);
    EXPECT_EQ(std::string(buffer, 16), std::string(16, 'b'));
}

TEST(NetSocket, DataOperationsRefuseInvalidRanges) {
    BoundUdp server;
    char buffer[8];
    EXPECT_EQ(server.socket.receiveFrom(buffer, -1), -1);
    EXPECT_EQ(server.socket.receiveFrom(nullptr, 8), -1);
    EXPECT_EQ(server.socket.sendData(buffer, -5), -1);
    EXPECT_EQ(server.socket.sendConnected(nullptr, 3), -1);
    EXPECT_EQ(server.socket.receiveConnected(buffer, -1), -1);
    EXPECT_TRUE(server.notifier.messages().empty());
}

TEST(NetSocket, ConnectedDatagramSocketSendsToItsDestination) {
    LoopbackUdp receiver;
    RecordingNotifier notifier;
    NetSocket socket(notifier);
    socket.startup();
    socket.create("UDP");
    ASSERT_EQ(socket.connectTo("localhost", receiver.port()), 1);
    EXPECT_EQ(socket.port(), receiver.port());
    ASSERT_EQ(socket.sendData("feed", 4), 4);
    std::string received;
    ASSERT_TRUE(receiver.receive(received));
    EXPECT_EQ(received, "feed");

    // Nothing listens at the port of a released socket: connecting still succeeds and sends fail
    // or vanish without a message.
    const int deadPort = freeUdpPort();
    NetSocket quiet(notifier);
    quiet.create("UDP");
    EXPECT_EQ(quiet.connectTo("localhost", deadPort), 1);
    quiet.sendData("x", 1);
    quiet.sendData("x", 1);
    EXPECT_TRUE(notifier.messages().empty());
    socket.close();
    quiet.close();
}

// The loopback names never reach the resolver, so the feed works on a machine whose host table
// lacks them; names that merely contain "localhost" are not loopback names.
TEST(NetSocket, LoopbackNamesResolveWithoutTheHostTable) {
    struct Case {
        const char* host;
        bool loopback;
    };
    const Case cases[] = {
        {"localhost", true},
        {"LocalHost", true},
        {"localhost.", true},
        {"cockpit.localhost", true},
        {"a.b.LOCALHOST.", true},
        {"mylocalhost", false},
        {".localhost", false},
        {"a..localhost", false},
        {"localhost.example", false},
        {"localhos", false},
        {"", false},
        {"127.0.0.1", false},
    };
    LoopbackUdp receiver;
    for (const Case& c : cases) {
        const auto address = loopbackNameAddress(c.host);
        EXPECT_EQ(address.has_value(), c.loopback) << '"' << c.host << '"';
        if (!c.loopback) continue;
        EXPECT_EQ(ntohl(address->s_addr), INADDR_LOOPBACK) << c.host;
        // Names under ".localhost" are in no host table: only the rule above can resolve them.
        RecordingNotifier notifier;
        NetSocket socket(notifier);
        socket.create("UDP");
        ASSERT_EQ(socket.connectTo(c.host, receiver.port()), 1) << c.host;
        ASSERT_EQ(socket.sendData(c.host, static_cast<int>(std::strlen(c.host))),
                  static_cast<int>(std::strlen(c.host)));
        std::string received;
        ASSERT_TRUE(receiver.receive(received)) << c.host;
        EXPECT_EQ(received, c.host);
        socket.close();
    }
}

TEST(NetSocket, ConnectToUnresolvableNameFailsQuietlyAndClosesTheSocket) {
    RecordingNotifier notifier;
    NetSocket socket(notifier);
    socket.create("UDP");
    const int handle = socket.socketHandle();
    // An empty label cannot be put into a name query, so nothing is asked of any name server.
    EXPECT_EQ(socket.connectTo("bad..name", 5800), 0);
    EXPECT_EQ(socket.socketHandle(), -1);
    EXPECT_FALSE(isOpenDescriptor(handle));
    EXPECT_EQ(socket.sendData("x", 1), -1);
    EXPECT_TRUE(notifier.messages().empty());
}

TEST(NetSocket, StreamSetUpFailuresShowTheirMessages) {
    const int refusedPort = freeUdpPort();  // no stream listener there either
    {
        RecordingNotifier notifier;
        NetSocket socket(notifier);
        socket.create("TCP");
        EXPECT_EQ(socket.connectTo("127.0.0.1", refusedPort), 0);
        EXPECT_EQ(notifier.messages(), (std::vector<Message>{{"Orvane", "Connection to OpenGC failed!"}}));
        EXPECT_EQ(socket.socketHandle(), -1);
    }
    {
        RecordingNotifier notifier;
        NetSocket socket(notifier);
        socket.create("UDP");
        socket.bindPort(0);
        const int handle = socket.socketHandle();
        EXPECT_EQ(socket.listenForPeers(), 0);
        EXPECT_EQ(notifier.messages(), (std::vector<Message>{{"Orvane", "listen() error"}}));
        EXPECT_FALSE(isOpenDescriptor(handle));
    }
    {
        RecordingNotifier notifier;
        NetSocket socket(notifier);
        socket.create("TCP");
        socket.bindPort(0);
        EXPECT_EQ(socket.acceptPeer(), 0);  // not listening
        EXPECT_EQ(notifier.messages(), (std::vector<Message>{{"Orvane", "accept() error"}}));
        EXPECT_TRUE(isOpenDescriptor(socket.socketHandle()));
        socket.close();
    }
}

TEST(NetSocket, StreamServerAcceptsAndExchangesData) {
    RecordingNotifier notifier;
    NetSocket server(notifier);
    server.startup();
    ASSERT_EQ(server.create("TCP"), 1);
    ASSERT_EQ(server.bindPort(0), 1);
    ASSERT_EQ(server.listenForPeers(), 1);
    const int port = localPort(server.socketHandle());

    NetSocket client(notifier);
    client.create("TCP");
    std::thread connector([&] { EXPECT_EQ(client.connectTo("127.0.0.1", port), 1); });
    ASSERT_EQ(server.acceptPeer(), 1);
    connector.join();

    char buffer[32];
    ASSERT_EQ(client.sendData("hello", 5), 5);
    ASSERT_EQ(server.receiveConnected(buffer, sizeof buffer), 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    ASSERT_EQ(server.sendConnected("back", 4), 4);
    ASSERT_EQ(::recv(client.socketHandle(), buffer, sizeof buffer, 0), 4);
    EXPECT_EQ(std::string(buffer, 4), "back");

    client.close();
    EXPECT_EQ(server.receiveConnected(buffer, sizeof buffer), 0) << "the peer closed";
    const int listening = server.socketHandle();
    const int connection = server.connectionHandle();
    EXPECT_EQ(server.close(), 0);
    EXPECT_FALSE(isOpenDescriptor(listening));
    EXPECT_FALSE(isOpenDescriptor(connection));
    EXPECT_EQ(server.socketHandle(), -1);
    EXPECT_EQ(server.connectionHandle(), -1);
    EXPECT_TRUE(notifier.messages().empty());
}

TEST(NetSocket, CloseTouchesOnlySocketsItOpened) {
    RecordingNotifier notifier;
    // Never opened: nothing to close, and no stray descriptor (such as 0) is closed.
    {
        NetSocket socket(notifier);
        EXPECT_EQ(socket.close(), 0);
        EXPECT_TRUE(isOpenDescriptor(0));
    }
    // Opened, closed twice: the second close must not hit a descriptor reused in between.
    NetSocket socket(notifier);
    socket.create("UDP");
    EXPECT_EQ(socket.close(), 0);
    const int reused = ::socket(AF_INET, SOCK_DGRAM, 0);
    EXPECT_EQ(socket.close(), 0);
    EXPECT_TRUE(isOpenDescriptor(reused));
    ::close(reused);
}

}  // namespace
