// The connection table: one record per accepted client connection, in order of
// acceptance. A record whose socket the server closed itself stays until a new
// connection gets the same socket value and continues in it.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "app/send_queue.h"
#include "net/socket_layer.h"
#include "protocol/packet_buffer.h"

namespace quib {

// A listening endpoint the login and character replies advertise.
struct ServerAddress {
  SocketHandle Socket = kInvalidSocket;
  sockaddr_in Address{};  // port and address in network byte order
};

enum ConnectionState : std::uint8_t {
  kStateNone = 0,
  kStateLogin = 1,
  kStateCharacter = 2,
  kStateMap = 3,
};

struct ConnectionRecord {
  SocketHandle Socket = kInvalidSocket;
  sockaddr_in PeerAddress{};
  PacketBuffer RecvBuffer{};       // received bytes not yet consumed
  std::int32_t RecvLength = 0;     // bytes held in RecvBuffer, 0 to 2048
  std::int32_t PacketVersion = 0;  // index into the packet table
  std::uint8_t State = kStateNone;
  std::uint16_t FirstPacketId = 0;   // 0 while nothing has come
  std::int16_t RedetectVersion = 0;  // -1: the next data runs detection again
  std::int32_t AccountId = 0;
  std::int32_t CharacterId = 0;
  std::uint8_t CharSlot = 0;
  std::int32_t PosX = 0;
  std::int32_t PosY = 0;

  // Traffic kept beyond the designed record, so that nothing is lost or
  // misframed, and the capture's view of the connection.
  std::int32_t SkipLength = 0;      // bytes still to come of a packet too long to hold
  bool NewBytes = false;            // the last receive brought bytes: a short head waits
  std::int32_t DetectionBytes = 0;  // the map login's bytes while its version waits to be told
  std::int32_t CapturedHead = 0;    // RecvBuffer bytes already in the capture
  bool GivenUp = false;             // it stopped reading: ends once Unsent is out
  SendQueue Unsent;                 // reply bytes the socket has not accepted yet
  std::chrono::steady_clock::time_point GivenUpAt{};
  std::uint64_t Conversation = 0;  // the capture's id of this TCP connection
};

// A connection that does not read is let go once this much waits for it.
inline constexpr std::size_t kUnsentLimit = std::size_t{256} * 1024;

// True for the ids that the login and character roles handle: a first packet
// with one of these never runs version detection.
bool IsLoginOrCharacterPacket(std::uint16_t id);

}  // namespace quib
