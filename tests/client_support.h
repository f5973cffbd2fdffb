// A client of the server as the tests and the benchmarks play it, without a
// test framework: the requests of the road, little-endian builders, blocking
// client sockets, and the road itself, leg by leg.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace quib::test {

using Bytes = std::vector<std::uint8_t>;

// Little-endian helpers for building requests.
Bytes Le16(std::uint16_t value);
Bytes Le32(std::uint32_t value);
Bytes Concat(std::initializer_list<Bytes> parts);
Bytes Zeros(std::size_t count);
Bytes FromText(const std::string& text);
// Reading replies: a little-endian 16-bit value, and bytes as text.
std::uint16_t U16(const Bytes& bytes, std::size_t offset);
std::string TextAt(const Bytes& bytes, std::size_t offset, std::size_t count);

// What a client sends on the road, with the shipped packet_db.txt.
Bytes LoginRequest();                 // 0x0064, 55 bytes
Bytes CharConnect();                  // 0x0065 with account 2000000, 17 bytes
Bytes CharSelect(std::uint8_t slot);  // 0x0066, 3 bytes
Bytes MapLogin();                     // 0x0072, 19 bytes: packet version 5
Bytes Walk();                         // 0x0085 to (100, 120), 5 bytes
Bytes Chat(const std::string& text);  // 0x008C, the length field counting the whole packet
inline constexpr std::size_t kMapGreetingSize = 4 + 11 + 46 + 76;  // echo, 0x0073, two lines
inline constexpr std::size_t kWalkReplySize = 12;

// How long the road's helpers wait for a reply: generous, for the sanitizer
// builds and Wine.
inline constexpr int kRoadWaitMs = 10000;

// A blocking client socket connected to address:port (host byte order), with
// a receive buffer of that size when one is given. -1 on failure.
int ConnectClient(std::int32_t port, std::uint32_t address = 0x7F000001, int receiveBuffer = 0);
// Sends all of `bytes`; false when the connection would not take them.
bool SendBytes(int fd, const Bytes& bytes);
// Reads exactly `count` bytes, waiting up to `timeoutMs`; fewer on timeout or close.
Bytes ReadExactly(int fd, std::size_t count, int timeoutMs = 2000);
// Whatever arrives within `waitMs`.
Bytes ReadAvailable(int fd, int waitMs = 50);
// True when the peer has closed the connection (read gives end of file).
bool PeerClosed(int fd, int waitMs = 500);
void CloseClientSocket(int fd);
// Half-closes a client socket: it sends no more, but still reads.
bool StopSending(int fd);
// Socket calls the tests make on either side, the server's included: true once
// the socket has something to read; the bytes waiting, without taking them (-1
// when none).
bool WaitReadable(std::int64_t socket, int waitMs);
int Peek(std::int64_t socket);

// A client in the map at packet version 5: connected (with that receive
// buffer when one is given), the map login sent and the whole greeting read,
// into `greeting` when given. -1, the connection closed, when the greeting did
// not come whole within `timeoutMs`.
int EnterMap(std::int32_t port, Bytes* greeting = nullptr, int receiveBuffer = 0,
             int timeoutMs = kRoadWaitMs);

// The legs of the road against a running server, each on a connection of its
// own and each reply checked: an empty text when every reply came as it
// should, else what went wrong.
std::string LoginLeg(std::int32_t port);                         // server list, close
std::string CharacterLeg(std::int32_t port, std::uint8_t slot);  // list, map address, close
std::string MapLeg(std::int32_t port);                           // greeting, walk reply
// The three in turn.
std::string WalkTheRoad(std::int32_t port, std::uint8_t slot = 0);

}  // namespace quib::test
