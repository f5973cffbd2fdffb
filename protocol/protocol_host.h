// What the protocol needs of the server that runs it, and all it sees of it:
// the operator's settings, read at the moment a reply needs them; the packet
// database and the advertised addresses; sending to and closing connections;
// and the stream that every event goes to. Form1 is the host of the running
// server; a test makes its own, without sockets.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "net/socket_types.h"
#include "packetdb/packet_database.h"

namespace quib {

struct ConnectionEvent;
struct ConnectionRecord;
struct PacketDescription;

// The axes of the start cell boxes.
enum class Axis : std::uint8_t { kX = 0, kY = 1 };

class ProtocolHost {
 public:
  // --- The operator's settings ----------------------------------------------
  virtual const std::string& MapName() const = 0;  // the map name box
  // The text of a start cell box, and setting it: a box shows the value used.
  virtual const std::string& PositionText(Axis axis) const = 0;
  virtual void SetPositionText(Axis axis, std::string text) = 0;
  virtual bool MaleSelected() const = 0;  // the gender sent at login
  // "Force Map Reload" asked for a return at the next map loaded.
  virtual bool ReloadPending() const = 0;
  virtual void SetReloadPending(bool pending) = 0;

  // --- What the server is ---------------------------------------------------
  virtual const PacketTable& PacketDatabase() const = 0;
  // Every record in the connection table, those the server closed included.
  virtual std::int32_t ConnectionCount() const = 0;
  // Where the login and character replies send the client next.
  virtual Endpoint CharServerEndpoint() const = 0;
  virtual Endpoint MapServerEndpoint() const = 0;
  // The time of day in hundredths of a second.
  virtual std::int32_t CurrentMapTick() const = 0;
  // The clock that times the receive path, and how long no byte must come
  // before a packet that is not whole is handled with what came: a tick.
  virtual std::chrono::steady_clock::time_point Now() const = 0;
  virtual std::chrono::milliseconds QuietInterval() const = 0;

  // --- Acting on connections --------------------------------------------------
  // One packet to one connection; `packet` is its row in the description
  // (nullptr for bytes the description has none for).
  virtual void SendToConnection(ConnectionRecord& connection, const std::uint8_t* bytes,
                                std::int32_t length, const PacketDescription* packet) = 0;
  // One packet to every connection in the map; returns how many it went to.
  virtual std::int32_t SendToMapConnections(const std::uint8_t* bytes, std::int32_t length,
                                            const PacketDescription* packet) = 0;
  // Closes the connection's socket and ends its traffic; the record stays.
  virtual void CloseConnection(ConnectionRecord& connection) = 0;

  // --- Where every event goes -------------------------------------------------
  virtual void Emit(const ConnectionEvent& event) = 0;

 protected:
  ~ProtocolHost() = default;
};

}  // namespace quib
