#include "platform/TcpClient.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/TcpSocket.h"

namespace {

using platform::TcpClient;
namespace tcp = platform::tcp;

// Moves the client on until it leaves Connecting, for at most two seconds.
TcpClient::State settle(TcpClient& client) {
  for (int i = 0; i < 200 && client.poll() == TcpClient::State::Connecting; ++i) client.wait(10);
  return client.state();
}

// Bytes the socket has, within a second.
std::string receiveOn(tcp::Socket socket, size_t count) {
  std::string got, error;
  char buffer[64];
  for (int i = 0; i < 100 && got.size() < count; ++i) {
    tcp::waitFor(socket, false, 10);
    const long n = tcp::receiveSome(socket, buffer, sizeof buffer, &error);
    if (n > 0) got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

TEST(TcpClient, ConnectsByNameOrAddressTalksBothWaysAndHearsThePeerClose) {
  for (const char* host : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(host);
    uint16_t port = 0;
    std::string error;
    const tcp::Socket listener = tcp::listenOnLoopback(&port, &error);
    ASSERT_NE(listener, tcp::kNoSocket) << error;
    TcpClient client;
    ASSERT_TRUE(client.connect(host, port));
    // "localhost" may be tried on ::1 first, where nobody listens: the next address follows.
    ASSERT_EQ(settle(client), TcpClient::State::Connected) << client.error();
    const tcp::Socket server = tcp::acceptWithin(listener, 2000);
    ASSERT_NE(server, tcp::kNoSocket);

    EXPECT_EQ(client.send("hello", 5), 5);
    EXPECT_EQ(receiveOn(server, 5), "hello");
    char buffer[16];
    EXPECT_EQ(client.receive(buffer, sizeof buffer), 0);  // nothing yet, and no waiting
    ASSERT_EQ(tcp::sendSome(server, "row 12\n", 7, &error), 7);
    long got = 0;
    for (int i = 0; i < 100 && got == 0; ++i) {
      client.wait(10);
      got = client.receive(buffer, sizeof buffer);
    }
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(std::max(got, 0L))), "row 12\n");

    tcp::closeSocket(server);
    got = 0;
    for (int i = 0; i < 100 && got == 0; ++i) {
      client.wait(10);
      got = client.receive(buffer, sizeof buffer);
    }
    EXPECT_EQ(got, -1);
    EXPECT_EQ(client.state(), TcpClient::State::Closed);
    EXPECT_EQ(client.error(), "closed by the peer");
    tcp::closeSocket(listener);
  }
}

TEST(TcpClient, APortNobodyListensOnEndsClosedWithTheReason) {
  uint16_t port = 0;
  std::string error;
  const tcp::Socket listener = tcp::listenOnLoopback(&port, &error);
  ASSERT_NE(listener, tcp::kNoSocket) << error;
  tcp::closeSocket(listener);
  TcpClient client;
  client.connect("127.0.0.1", port);
  EXPECT_EQ(settle(client), TcpClient::State::Closed);
  EXPECT_FALSE(client.error().empty());
  EXPECT_EQ(client.send("x", 1), -1);
}

}  // namespace
