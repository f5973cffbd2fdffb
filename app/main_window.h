// Form1, the main window's logic: it owns every piece of run-time state and
// offers each event of the window as an operation. The Qt window and the
// console are shells that forward events here and mirror the control models.
//
// Form1 calls down into the protocol (HandlePacket on every tick), and the
// protocol's roles call back up into Form1 to send, close, log and read the
// controls: that is the one edge upwards between the folders, on purpose.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/connections.h"
#include "app/controls.h"
#include "app/settings.h"
#include "capture/packet_capture.h"
#include "packetdb/packet_database.h"
#include "protocol/unknown_packets.h"

namespace quib {

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
  // The notification that a connection waits: accepts one, or, below the
  // designed accept delay, every one that waits.
  void AcceptPending();
  // True below the designed accept delay: the listener keeps every
  // connection that comes, and each notification accepts all that wait.
  bool AcceptsAtOnce() const;
  // The timer tick: one receive per connection, then at most one packet each.
  void PollConnections();
  void Command2_Click();  // "Clear Log"
  void Command3_Click();  // "Warp"
  void Command4_Click();  // "Force Map Reload"

  void SetDigitsOnly(TextBox& box, bool flag);

  // A view that goes away calls this: the models outlive it and must not
  // call into its destroyed controls.
  void DetachViews();

  // --- Connections --------------------------------------------------------
  std::int32_t ConnectionCount() const;
  void ReceiveFromConnection(ConnectionRecord& connection);
  // The `n` bytes one read put at offset RecvLength of the connection's
  // buffer: skipped when they are the rest of a packet too long to hold,
  // counted in, then version detection when it is due. 0 when this tick's
  // receive brought nothing: a map login still waiting for its rest is then
  // told with what came.
  void TakeReceivedBytes(ConnectionRecord& connection, std::int32_t n);
  // Removes the first record whose socket is `socket`, keeping the order.
  void RemoveConnection(SocketHandle socket);
  // The connection is over: its conversation ends as `how` says, its socket
  // is closed and its record removed. `connection` is gone afterwards.
  void EndConnection(ConnectionRecord& connection, PacketCapture::EndKind how);
  // Sends the first `length` bytes of `buffer` to every connection in the map.
  // `comment` (a text that outlives the sends) is what the capture says of
  // the packet: its id and name.
  // Returns how many connections it was sent to.
  std::int32_t SendToMapConnections(const std::uint8_t* buffer, std::int32_t length,
                                    const char* comment = nullptr);
  // Sends one packet to one connection. What its socket does not accept now
  // waits in the record's queue and goes first later; a connection whose
  // queue would pass kUnsentLimit is given up on.
  void SendToConnection(ConnectionRecord& connection, const std::uint8_t* bytes,
                        std::int32_t length, const char* comment = nullptr);
  // Sends what waits in the connection's queue, as far as the socket takes it.
  void FlushUnsent(ConnectionRecord& connection);
  // The server ends a connection itself: the socket is closed and whatever
  // the connection still had buffered goes with it. The record stays.
  void CloseConnection(ConnectionRecord& connection);
  // Accepts one waiting connection into the table; false when none waits.
  bool AcceptOne();

  // --- Capture --------------------------------------------------------------
  // Starts writing every connection's traffic to a capture file at `path`;
  // connections already open join it as they are. A capture that runs goes
  // on when `path` cannot be had. Told either way but the failure, which
  // `error` holds for the caller to show.
  bool StartCapture(const std::string& path, std::string& error);
  void StopCapture();  // told when one ran
  // Once per tick: writes what the capture holds, so that a killed server
  // leaves a readable file. A capture that failed is told, and reported
  // through OnCaptureStopped, once: true then.
  bool FlushCapture();
  // Bytes the client sent, as the server took them off its buffer.
  void CaptureClientBytes(ConnectionRecord& connection, std::int32_t from, std::int32_t to,
                          std::string_view comment);
  // The client bytes still buffered and not yet captured, as dropped.
  void CaptureDroppedBytes(ConnectionRecord& connection, std::string_view why);
  // A new connection: its conversation starts.
  void CaptureAccepted(ConnectionRecord& connection);

  // The port actually listened on (the real one when Load was given 0).
  std::int32_t ListeningPort() const;

  // --- What the log and the operator are told ---------------------------------
  // Appends a designed line to List1. With LogDetail checked, the time of day
  // and the connection the line is about, if any, go ahead of it: the log,
  // its copies and standard output all carry the line as shown.
  void Log(std::string line, const ConnectionRecord* about = nullptr);
  // What a command did, or a value the server changed: the windows show it
  // in their status bar for a while, the console says it on standard error.
  void Tell(const std::string& outcome) const;
  // "Show Time and Connection" on or off, and said so.
  void SetLogDetail(bool on);

  // --- State ----------------------------------------------------------------
  ServerAddress LoginServer;
  ServerAddress CharServer;
  ServerAddress MapServer;
  std::vector<ConnectionRecord> ConnectionTable;  // in order of acceptance
  PacketTable Packets;
  // What Initialize read: the versions and their packets, and warnings.
  std::vector<std::string> PacketDbSummary;
  std::int16_t ForceReloadPending = 0;  // -1 after "Force Map Reload"
  PacketCapture Capture;
  // The next connection's number: counted from 1 at start, never reused. It
  // is the connection's name in the detailed log and in the capture.
  std::uint64_t NextConversation = 1;
  std::function<void(const std::string&)> OnCaptureStopped;  // why it stopped
  std::function<void(const std::string&)> OnTell;            // see Tell
  UnknownPackets Unknown;  // the bytes behind the latest "Unknown Packet" lines

  // --- Controls -------------------------------------------------------------
  ListBox List1;        // the packet log
  CheckBox Check1;      // "Hide Unknown Packets"
  TextBox Text2;        // map name
  TextBox Pos[2];       // start cell: x, y
  OptionGroup Option1;  // 0 "Female", 1 "Male"
  TextBox Text1;        // nothing writes to it
  CheckBox LogDetail;   // "Show Time and Connection": off as designed

  // --- Settings the operator may change at start ---------------------------
  // The wait before each accept; it holds the one thread.
  std::chrono::milliseconds AcceptDelay{kDefaultAcceptDelayMs};
  // Whether the listener keeps more than one waiting connection now.
  bool WideBacklog = false;
  // The rhythm of PollConnections.
  std::chrono::milliseconds TickInterval{kDefaultTickMs};
  // The address Load listens on, in host byte order.
  std::uint32_t ListenAddress = kLoopbackAddress;
  // The map tick: time of day in hundredths of a second.
  std::function<std::int32_t()> MapTick;
  // The time of day in the detailed log, in microseconds since midnight.
  std::function<std::int64_t()> TimeOfDay;
};

// Seconds since local midnight times 100, rounded.
std::int32_t LocalMapTick();

}  // namespace quib
