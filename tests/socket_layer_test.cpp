#include "net/socket_layer.h"

#ifdef _WIN32
#include <winsock2.h>

#include <windows.h>

#include <ws2tcpip.h>
#else
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/test_support.h"

namespace quib {
namespace {

using test::CloseClientSocket;
using test::ConnectClient;
using test::PeerClosed;

int OpenDescriptors() {
#ifdef _WIN32
  DWORD count = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &count);
  return static_cast<int>(count);
#else
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
#endif
}

// Each test starts and ends with the socket library stopped.
class SocketLayerTest : public ::testing::Test {
 protected:
  void SetUp() override { SocketCleanup(); }
  void TearDown() override { SocketCleanup(); }

  SocketHandle Listen(std::int32_t port = 0) {
    std::string description;
    SocketStartup(description);
    return ListenOn(port, kLoopbackAddress, address);
  }

  std::int32_t PortOf(SocketHandle socket) {
    Endpoint local;
    GetSockName(socket, local);
    return local.Port;
  }

  Endpoint address;
};

TEST_F(SocketLayerTest, StartupTwiceStartsOnce) {
  std::string description;
  EXPECT_TRUE(SocketStartup(description));
  EXPECT_FALSE(description.empty());
  std::string second = "untouched";
  EXPECT_TRUE(SocketStartup(second));
  EXPECT_EQ(second, "untouched") << "a second start-up started the library again";
  EXPECT_TRUE(WinsockStarted());
  SocketCleanup();
  EXPECT_FALSE(WinsockStarted());
}

TEST_F(SocketLayerTest, ListensNonBlockingOnLoopbackOnly) {
  const SocketHandle listener = Listen();
  ASSERT_NE(listener, kInvalidSocket);
  Endpoint peer;
  EXPECT_EQ(AcceptConnection(listener, peer), kInvalidSocket) << "an accept waited or succeeded";
  EXPECT_EQ(address, (Endpoint{kLoopbackAddress, 0}));
  const std::int32_t port = PortOf(listener);
  EXPECT_GT(port, 0);

  // Another loopback address reaches no one: the bind is to 127.0.0.1 alone.
  const int other = static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));
  const sockaddr_in elsewhere = SocketAddressOf({0x7F000002, static_cast<std::uint16_t>(port)});
  EXPECT_NE(::connect(other, reinterpret_cast<const sockaddr*>(&elsewhere), sizeof elsewhere), 0);
  CloseClientSocket(other);

  const int client = ConnectClient(port);
  ASSERT_GE(client, 0);
  ASSERT_TRUE(test::WaitReadable(listener, 1000));
  const SocketHandle accepted = AcceptConnection(listener, peer);
  ASSERT_NE(accepted, kInvalidSocket);
  EXPECT_EQ(peer.Address, kLoopbackAddress);
  std::uint8_t byte = 0;
  EXPECT_EQ(ReceiveBytes(accepted, &byte, 1), kSocketError) << "a receive waited";
  EXPECT_EQ(LastSocketError(), SocketError::kWouldBlock);
  CloseClientSocket(client);
}

TEST_F(SocketLayerTest, CleanupClosesEverySocketTheLayerHolds) {
  const SocketHandle listener = Listen();
  const std::int32_t port = PortOf(listener);
  const int client = ConnectClient(port);
  Endpoint peer;
  ASSERT_NE(AcceptConnection(listener, peer), kInvalidSocket);

  SocketCleanup();
  EXPECT_TRUE(PeerClosed(client)) << "the accepted socket stayed open";
  EXPECT_LT(ConnectClient(port), 0) << "the listening socket stayed open";
  CloseClientSocket(client);
}

// A restarted server must get its port back although connections it closed
// itself still linger on it.
TEST_F(SocketLayerTest, PortIsFreeAgainAfterCleanupDespiteClosedConnections) {
  const SocketHandle listener = Listen();
  const std::int32_t port = PortOf(listener);
  const int client = ConnectClient(port);
  Endpoint peer;
  const SocketHandle accepted = AcceptConnection(listener, peer);
  CloseSocket(accepted);  // the server closes first, as after a login
  ASSERT_TRUE(PeerClosed(client));
  CloseClientSocket(client);
  SocketCleanup();

  EXPECT_NE(Listen(port), kInvalidSocket);
}

// One question names the accepted sockets that have something to receive:
// bytes, the client's close, its reset; not an idle one, nor one the layer
// has closed. Accepted sockets send without the small-packet delay.
TEST_F(SocketLayerTest, FindsTheSocketsWithSomethingToReceive) {
  const SocketHandle listener = Listen();
  std::vector<int> clients;
  std::vector<SocketHandle> accepted;
  for (int i = 0; i < 4; ++i) {
    clients.push_back(ConnectClient(PortOf(listener)));
    ASSERT_TRUE(test::WaitReadable(listener, 1000));
    Endpoint peer;
    accepted.push_back(AcceptConnection(listener, peer));
    int noDelay = 0;
    socklen_t size = sizeof noDelay;
    ::getsockopt(static_cast<int>(accepted.back()), IPPROTO_TCP, TCP_NODELAY,
                 reinterpret_cast<char*>(&noDelay), &size);
    EXPECT_NE(noDelay, 0) << "small sends wait for the client's acknowledgement";
  }
  test::SendAll(clients[1], {1});  // 0 stays idle
  CloseClientSocket(clients[2]);
  const linger reset{1, 0};
  ::setsockopt(clients[3], SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
               sizeof reset);
  CloseClientSocket(clients[3]);
  ASSERT_TRUE(test::WaitReadable(accepted[3], 1000));

  std::vector<SocketHandle> readable{99};
  FindReadableSockets(readable);
  std::sort(readable.begin(), readable.end());
  std::vector<SocketHandle> expected{accepted[1], accepted[2], accepted[3]};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(readable, expected);
  CloseSocket(accepted[1]);
  FindReadableSockets(readable);
  EXPECT_EQ(std::count(readable.begin(), readable.end(), accepted[1]), 0) << "asked once closed";
  CloseClientSocket(clients[0]);
  CloseClientSocket(clients[1]);
}

// --- Failures ---------------------------------------------------------------

TEST_F(SocketLayerTest, RefusesPort65535AndOutOfRangeWithoutASocket) {
  std::string description;
  SocketStartup(description);
  const int before = OpenDescriptors();
  EXPECT_EQ(ListenOn(65535, kLoopbackAddress, address), kInvalidSocket);
  EXPECT_EQ(ListenOn(65536, kLoopbackAddress, address), kInvalidSocket);  // would wrap to 0
  EXPECT_EQ(ListenOn(-1, kLoopbackAddress, address), kInvalidSocket);
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(SocketLayerTest, PortInUseFailsAndLeaksNothing) {
  const SocketHandle first = Listen();
  ASSERT_NE(first, kInvalidSocket);
  const int before = OpenDescriptors();
  Endpoint second;
  EXPECT_EQ(ListenOn(PortOf(first), kLoopbackAddress, second), kInvalidSocket);
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(ListenFailureText().rfind("bind: ", 0), 0u) << ListenFailureText();

  // Nor does another program get the port, even asking to share it.
  const int other = static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));
  const int share = 1;
  ::setsockopt(other, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&share),
               sizeof share);
  const sockaddr_in same =
      SocketAddressOf({address.Address, static_cast<std::uint16_t>(PortOf(first))});
  EXPECT_NE(::bind(other, reinterpret_cast<const sockaddr*>(&same), sizeof same), 0);
  CloseClientSocket(other);
}

TEST_F(SocketLayerTest, ListenFailsWhenTheLibraryIsNotStarted) {
  EXPECT_EQ(ListenOn(0, kLoopbackAddress, address), kInvalidSocket);
  EXPECT_EQ(ListenFailureText(), "") << "the system was not asked";
}

// A descriptor the layer did not open, or has closed, is never used: it may
// belong to something else by now.
TEST_F(SocketLayerTest, CallsOnDescriptorsTheLayerDoesNotHoldFail) {
  // The client end is the test's own socket, not the layer's.
  const SocketHandle listener = Listen();
  const int client = ConnectClient(PortOf(listener));
  ASSERT_GE(client, 0);
  ASSERT_TRUE(test::WaitReadable(listener, 1000));
  Endpoint peer;
  const SocketHandle accepted = AcceptConnection(listener, peer);
  ASSERT_NE(accepted, kInvalidSocket);
  const std::uint8_t data[] = {7, 7};
  ASSERT_EQ(SendBytes(accepted, data, 2), 2);
  ASSERT_TRUE(test::WaitReadable(client, 1000));
  std::uint8_t buffer[4];

  EXPECT_EQ(ReceiveBytes(client, buffer, sizeof buffer), kSocketError);
  EXPECT_EQ(LastSocketError(), SocketError::kOther);
  EXPECT_EQ(SendBytes(client, data, 2), kSocketError);
  EXPECT_EQ(CloseSocket(client), kSocketError);
  EXPECT_EQ(test::Peek(client), 2) << "the data was taken";
  EXPECT_EQ(ReceiveBytes(accepted, buffer, sizeof buffer), kSocketError) << "something was sent";
  EXPECT_EQ(LastSocketError(), SocketError::kWouldBlock);
  CloseClientSocket(client);

  ASSERT_EQ(CloseSocket(listener), 0);
  EXPECT_EQ(CloseSocket(listener), kSocketError);
  EXPECT_EQ(AcceptConnection(listener, peer), kInvalidSocket);
}

}  // namespace
}  // namespace quib
