#include "tests/client_support.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>

namespace quib::test {

namespace {

#ifdef _WIN32
// The tests' own hold on Windows Sockets: the layer's cleanup must not stop
// the library under the clients' feet.
const bool kSocketsStarted = [] {
  WSADATA data{};
  return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}();
constexpr int kNoSignal = 0;
using pollfd = WSAPOLLFD;
int poll(pollfd* fds, unsigned long count, int timeoutMs) {
  return ::WSAPoll(fds, count, timeoutMs);
}
#else
constexpr int kNoSignal = MSG_NOSIGNAL;
#endif

int RecvSome(int fd, void* buffer, std::size_t length, int flags) {
  return static_cast<int>(::recv(fd, static_cast<char*>(buffer), static_cast<int>(length), flags));
}

}  // namespace

void CloseClientSocket(int fd) {
#ifdef _WIN32
  ::closesocket(static_cast<SOCKET>(fd));
#else
  ::close(fd);
#endif
}

bool StopSending(int fd) {
#ifdef _WIN32
  return ::shutdown(static_cast<SOCKET>(fd), SD_SEND) == 0;
#else
  return ::shutdown(fd, SHUT_WR) == 0;
#endif
}

bool WaitReadable(std::int64_t socket, int waitMs) {
  pollfd p{};
  p.fd = static_cast<decltype(p.fd)>(socket);
  p.events = POLLIN;
  return poll(&p, 1, waitMs) == 1;
}

int Peek(std::int64_t socket) {
  std::uint8_t buffer[4096];
  if (!WaitReadable(socket, 0)) return -1;
  return RecvSome(static_cast<int>(socket), buffer, sizeof buffer, MSG_PEEK);
}

Bytes Le16(std::uint16_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
}

Bytes Le32(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Zeros(std::size_t count) { return Bytes(count, 0); }

Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::uint16_t U16(const Bytes& bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}

std::string TextAt(const Bytes& bytes, std::size_t offset, std::size_t count) {
  return std::string(bytes.begin() + offset, bytes.begin() + offset + count);
}

Bytes LoginRequest() { return Concat({Le16(0x0064), Zeros(53)}); }
Bytes CharConnect() { return Concat({Le16(0x0065), Le32(2000000), Zeros(11)}); }
Bytes CharSelect(std::uint8_t slot) { return Concat({Le16(0x0066), Bytes{slot}}); }
Bytes MapLogin() { return Concat({Le16(0x0072), Zeros(17)}); }
Bytes Walk() { return Bytes{0x85, 0x00, 0x19, 0x07, 0x80}; }

Bytes Chat(const std::string& text) {
  return Concat({Le16(0x008C), Le16(static_cast<std::uint16_t>(4 + text.size())), FromText(text)});
}

int ConnectClient(std::int32_t port, std::uint32_t address, int receiveBuffer) {
  const int fd = static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));
  if (fd < 0) return -1;
  if (receiveBuffer > 0) {
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
                 sizeof receiveBuffer);
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = htonl(address);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    CloseClientSocket(fd);
    return -1;
  }
  return fd;
}

bool SendBytes(int fd, const Bytes& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const auto n = ::send(fd, reinterpret_cast<const char*>(bytes.data()) + sent,
                          static_cast<int>(bytes.size() - sent), kNoSignal);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

Bytes ReadExactly(int fd, std::size_t count, int timeoutMs) {
  Bytes bytes;
  while (bytes.size() < count) {
    if (!WaitReadable(fd, timeoutMs)) break;
    std::uint8_t chunk[4096];
    const auto want = std::min(sizeof chunk, count - bytes.size());
    const int n = RecvSome(fd, chunk, want, 0);
    if (n <= 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  return bytes;
}

Bytes ReadAvailable(int fd, int waitMs) {
  Bytes bytes;
  for (;;) {
    if (!WaitReadable(fd, bytes.empty() ? waitMs : 0)) break;
    std::uint8_t chunk[4096];
    const int n = RecvSome(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  return bytes;
}

bool PeerClosed(int fd, int waitMs) {
  if (!WaitReadable(fd, waitMs)) return false;
  std::uint8_t byte;
  return RecvSome(fd, &byte, 1, MSG_PEEK) == 0;
}

int EnterMap(std::int32_t port, Bytes* greeting, int receiveBuffer, int timeoutMs) {
  const int fd = ConnectClient(port, 0x7F000001, receiveBuffer);
  if (fd < 0) return -1;
  const Bytes reply =
      SendBytes(fd, MapLogin()) ? ReadExactly(fd, kMapGreetingSize, timeoutMs) : Bytes();
  if (reply.size() != kMapGreetingSize) {
    CloseClientSocket(fd);
    return -1;
  }
  if (greeting != nullptr) *greeting = reply;
  return fd;
}

std::string LoginLeg(std::int32_t port) {
  const int fd = ConnectClient(port);
  if (fd < 0) return "no login connection";
  const bool sent = SendBytes(fd, LoginRequest());
  const Bytes servers = sent ? ReadExactly(fd, 79, kRoadWaitMs) : Bytes();
  const bool closedAfterList = PeerClosed(fd, kRoadWaitMs);
  CloseClientSocket(fd);
  if (servers.size() != 79 || U16(servers, 0) != 0x0069) return "no server list";
  if (!closedAfterList) return "login connection not closed after the list";
  return {};
}

std::string CharacterLeg(std::int32_t port, std::uint8_t slot) {
  const int fd = ConnectClient(port);
  if (fd < 0) return "no character connection";
  const bool sent = SendBytes(fd, CharConnect());
  const Bytes list = sent ? ReadExactly(fd, 4 + 978, kRoadWaitMs) : Bytes();
  if (list.size() != 4 + 978 || U16(list, 4) != 0x006B) {
    CloseClientSocket(fd);
    return "no character list";
  }
  const Bytes select = SendBytes(fd, CharSelect(slot)) ? ReadExactly(fd, 28, kRoadWaitMs) : Bytes();
  const bool closedAfterSelect = PeerClosed(fd, kRoadWaitMs);
  CloseClientSocket(fd);
  if (select.size() != 28 || U16(select, 0) != 0x0071 || select[2] != 0x38 + slot) {
    return "no map address for slot " + std::to_string(slot);
  }
  if (!closedAfterSelect) return "character connection not closed after the select";
  return {};
}

std::string MapLeg(std::int32_t port) {
  Bytes greeting;
  const int fd = EnterMap(port, &greeting);
  if (fd < 0) return "no map greeting";
  const Bytes walk = SendBytes(fd, Walk()) ? ReadExactly(fd, kWalkReplySize, kRoadWaitMs) : Bytes();
  CloseClientSocket(fd);
  if (U16(greeting, 4) != 0x0073) return "no map greeting";
  if (walk.size() != kWalkReplySize || U16(walk, 0) != 0x0087) return "no walk reply";
  return {};
}

std::string WalkTheRoad(std::int32_t port, std::uint8_t slot) {
  std::string failure = LoginLeg(port);
  if (failure.empty()) failure = CharacterLeg(port, slot);
  if (failure.empty()) failure = MapLeg(port);
  return failure;
}

}  // namespace quib::test
