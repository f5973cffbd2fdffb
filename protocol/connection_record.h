// The record kept for each accepted client connection: what the protocol
// knows of the client (its role, packet version, identity and cell), the bytes
// received and not yet consumed, and the replies its socket has not taken yet.
// The connection table (app/connections.h) holds one per connection, in order
// of acceptance.
#pragma once

#include <chrono>
#include <cstdint>

#include "net/send_queue.h"
#include "net/socket_layer.h"
#include "protocol/packet_buffer.h"

namespace quib {

enum ConnectionState : std::uint8_t {
  kStateNone = 0,
  kStateLogin = 1,
  kStateCharacter = 2,
  kStateMap = 3,
};

// What the receive path knows between one receive and the next, beyond the
// designed record: it keeps every packet whole and every byte told once.
struct ReceiveState {
  std::int32_t SkipLength = 0;  // bytes still to come of a packet too long to hold
  bool NewBytes = false;        // the last receive brought bytes: a short packet waits
  // When a receive last brought bytes: a short packet waits until a whole
  // tick interval has brought none.
  std::chrono::steady_clock::time_point LastBytes{};
  std::int32_t DetectionBytes = 0;  // the map login's bytes while its version waits to be told
  std::int32_t Candidate = 0;       // the version a listed size on the way told, or 0
  std::int32_t Told = 0;            // RecvBuffer bytes already told as a packet or dropped
};

// What went each way on a connection, for the operator's view of it: packets
// as framed and as sent, bytes as received and as handed to the socket.
struct TrafficCounts {
  std::uint64_t PacketsIn = 0;
  std::uint64_t BytesIn = 0;
  std::uint64_t PacketsOut = 0;
  std::uint64_t BytesOut = 0;
  // When the last packet came or went; the epoch while none has.
  std::chrono::steady_clock::time_point LastPacket{};
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

  ReceiveState Receive;
  // The milestones this connection has reached, a bit each (1 << Milestone).
  std::uint8_t Reached = 0;
  // The connection's number: counted from 1 at start and never reused, its
  // name in the detailed log, the capture and every event about it.
  std::uint64_t Conversation = 0;
  TrafficCounts Traffic;

  // The sending side, kept by the connection table.
  SendQueue Unsent;      // reply bytes the socket has not accepted yet
  bool GivenUp = false;  // it stopped reading: ends once Unsent is out
  std::chrono::steady_clock::time_point GivenUpAt{};
};

}  // namespace quib
