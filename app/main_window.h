// Form1, the main window's logic: it owns every piece of run-time state and
// offers each event of the window as an operation. The Qt window and the
// console are shells that forward events here and mirror the control models.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/connections.h"
#include "app/controls.h"
#include "packetdb/packet_database.h"

namespace quib {

inline constexpr std::int32_t kDefaultPort = 6900;
inline constexpr std::int32_t kMapNameMaxLength = 16;

class Form1 {
 public:
  Form1();
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // --- Events -----------------------------------------------------------
  // Initialisation: reads the packet database. False when it cannot be loaded;
  // `reason`, when given, then says why.
  bool Initialize(const std::string& packetDbPath, std::string* reason = nullptr);
  // Load: digits-only position boxes, socket library, listening socket. False
  // when the listen failed (the socket library is then stopped again).
  bool Load(std::int32_t port = kDefaultPort);
  // Unload: stops the socket library, which releases every socket.
  void Unload();
  // The notification that a connection waits: accepts at most one.
  void AcceptPending();
  // The timer tick: one receive per connection, then at most one packet each.
  void PollConnections();
  void Command2_Click();  // "Clear Log"
  void Command3_Click();  // "Warp"
  void Command4_Click();  // "Force Map Reload"

  void SetDigitsOnly(TextBox& box, bool flag);

  // --- Connections --------------------------------------------------------
  std::int32_t ConnectionCount() const;
  void ReceiveFromConnection(ConnectionRecord& connection);
  // Removes the first record whose socket is `socket`, keeping the order.
  void RemoveConnection(SocketHandle socket);
  // Sends the first `length` bytes of `buffer` to every connection in the map.
  void SendToMapConnections(const std::uint8_t* buffer, std::int32_t length);

  // The port actually listened on (the real one when Load was given 0).
  std::int32_t ListeningPort() const;

  // --- State ----------------------------------------------------------------
  ServerAddress LoginServer;
  ServerAddress CharServer;
  ServerAddress MapServer;
  std::vector<ConnectionRecord> ConnectionTable;  // in order of acceptance
  PacketTable Packets;
  std::int16_t ForceReloadPending = 0;  // -1 after "Force Map Reload"

  // --- Controls -------------------------------------------------------------
  ListBox List1;    // the packet log
  CheckBox Check1;  // "Hide Unknown Packets"
  TextBox Text2;    // map name
  TextBox Pos[2];   // start cell: x, y
  OptionGroup Option1;  // 0 "Female", 1 "Male"
  TextBox Text1;    // nothing writes to it

  // --- Settings the program keeps and tests change -------------------------
  std::chrono::milliseconds AcceptDelay{500};
  // The map tick: time of day in hundredths of a second.
  std::function<std::int32_t()> MapTick;
};

// Seconds since local midnight times 100, rounded.
std::int32_t LocalMapTick();

}  // namespace quib
