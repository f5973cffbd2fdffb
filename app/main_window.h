// Form1, the main window's logic: it owns every piece of run-time state and
// offers each event of the window as an operation. The Qt window and the
// console are shells that forward events here and mirror the control models.
//
// Form1 calls down into the protocol (HandlePacket on every tick) and is the
// protocol's host: the roles send, close and read the operator's settings
// through the host interface, and tell what happens as events, which Form1's
// observers turn into the log, the capture, the journal and what the views
// show.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/connections.h"
#include "app/controls.h"
#include "app/faults.h"
#include "app/packet_lines.h"
#include "app/run_summary.h"
#include "app/verdict.h"
#include "base/settings.h"
#include "capture/packet_capture.h"
#include "journal/journal_file.h"
#include "journal/journal_lines.h"
#include "packetdb/packet_database.h"
#include "protocol/connection_events.h"
#include "protocol/protocol_host.h"
#include "protocol/reply_names.h"
#include "protocol/unknown_packets.h"

namespace quib {

// The kinds of log line, for what a view offers on a row.
enum LineKind : std::uint8_t {
  kPlainLine = 0,
  kUnknownPacketLine = 1,  // its packet's bytes are kept (Form1::Unknown)
  kPacketLine = 2,         // a "Show Every Packet" line: kept in Form1::PacketLineBytes
};

class Form1 : public ProtocolHost {
 public:
  Form1();
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;
  ~Form1() = default;
  // --- Events -----------------------------------------------------------
  // Initialisation: reads the packet database. False when it cannot be loaded;
  // `reason`, when given, then says why.
  bool Initialize(const std::string& packetDbPath, std::string* reason = nullptr);
  // Load: digits-only position boxes, socket library, listening socket. False
  // when the listen failed (the socket library is then stopped again).
  bool Load(std::int32_t port = kDefaultPort);
  // Unload: stops the capture and the journal, and the socket library, which
  // releases every socket.
  void Unload();
  // The server stops, for `why` ("quit", "stop-signal", "window-closed",
  // "start-failed"): the capture is closed, the stop is told (kStopped: the
  // journal's last line, with the run's summary), then the journal is closed.
  // Once; later calls do nothing.
  void Stop(std::string_view why);
  // The notification that a connection waits: after the accept delay,
  // accepts one, or, below the designed accept delay, every one that waits.
  // The delay holds the one thread, as designed, but is waited in slices of a
  // tick: a stop asked for meanwhile (StopRequested) ends it, and nothing is
  // accepted.
  void AcceptPending();
  // True below the designed accept delay: the listener keeps every
  // connection that comes, and each notification accepts all that wait.
  bool AcceptsAtOnce() const;
  // The timer tick: one receive per connection that has something to
  // receive, then at most one packet each, in table order.
  void PollConnections();
  void Command2_Click();  // "Clear Log"
  void Command3_Click();  // "Warp"
  void Command4_Click();  // "Force Map Reload"

  void SetDigitsOnly(TextBox& box, bool flag);

  // A view that goes away calls this: the models outlive it and must not
  // call into its destroyed controls.
  void DetachViews();

  // --- Connections --------------------------------------------------------
  std::int32_t ConnectionCount() const override;
  // The tick's step for one connection: its waiting replies, then one
  // receive when `readable` (the system said it has something), else the
  // path of a receive that would block.
  void ReceiveFromConnection(ConnectionRecord& connection, bool readable = true);
  // Removes the first record whose socket is `socket`, keeping the order.
  void RemoveConnection(SocketHandle socket);
  // The connection is over as `how` says: its socket is closed and its
  // record removed. `connection` is gone afterwards.
  void EndConnection(ConnectionRecord& connection, CloseKind how);
  // Sends the first `length` bytes of `buffer` to every connection in the
  // map; returns how many connections it was sent to.
  std::int32_t SendToMapConnections(const std::uint8_t* buffer, std::int32_t length,
                                    const PacketDescription* packet) override;
  // Sends one packet to one connection. What its socket does not accept now
  // waits in the record's queue and goes first later; a connection whose
  // queue would pass kUnsentLimit is given up on.
  void SendToConnection(ConnectionRecord& connection, const std::uint8_t* bytes,
                        std::int32_t length, const PacketDescription* packet) override;
  // What the capture says of a packet sent, where its bytes start: its id
  // and name (SentPacketComment), or kInjectedComment while Injecting.
  const char* SentComment(const PacketDescription* packet) const {
    return Injecting ? kInjectedComment : SentPacketComment(packet);
  }
  // Sends one packet now (or queues what the socket does not take):
  // `told`, when not empty, is the packet as the stream tells it sent, and
  // `name` the capture's comment where its bytes start.
  void SendNow(ConnectionRecord& connection, const std::uint8_t* bytes, std::int32_t length,
               const PacketDescription* packet, std::span<const std::uint8_t> told,
               const char* name);
  // Sends what waits in the connection's queue, as far as the socket takes it.
  void FlushUnsent(ConnectionRecord& connection);
  // Closes the connection's socket; its queue goes with it. The record stays.
  // Behind writes the faults hold back, the close waits its turn.
  void CloseConnection(ConnectionRecord& connection) override;
  void CloseNow(ConnectionRecord& connection);

  // --- Faults -----------------------------------------------------------------
  // A packet sent while faults are set, or while the connection has held
  // writes: the faults that fire are told, and what they make of it goes
  // now or is held.
  void SendWithFaults(ConnectionRecord& connection, std::span<const std::uint8_t> bytes,
                      const PacketDescription* packet);
  bool HoldsWrites(const ConnectionRecord& connection) const {
    return std::any_of(Held.begin(), Held.end(), [&](const HeldWrite& write) {
      return write.Conversation == connection.Conversation;
    });
  }
  // Sends the held writes that are due, in order per connection.
  void RunDueWrites();
  // When the next held write is due; time_point::max() for none (a stall
  // waits for its clearing, not for a time).
  std::chrono::steady_clock::time_point NextWriteDue() const;
  void ForgetHeldWrites(const ConnectionRecord& connection);
  // `fault SPEC` and `fault clear [N]` (0: every fault), told as outcomes.
  bool AddFault(const std::string& text, std::string& error);
  void ClearFault(std::uint32_t number);
  const char* FaultComment(const PacketDescription* packet, std::uint32_t fault);
  // Accepts one waiting connection into the table; false when none waits.
  bool AcceptOne();

  // --- What the protocol reads ----------------------------------------------
  const std::string& MapName() const override { return Text2.Text(); }
  const std::string& PositionText(Axis axis) const override {
    return Pos[static_cast<int>(axis)].Text();
  }
  void SetPositionText(Axis axis, std::string text) override {
    Pos[static_cast<int>(axis)].SetText(std::move(text));
  }
  bool MaleSelected() const override { return Option1.Selected() != 0; }
  bool ReloadPending() const override { return ForceReloadPending != 0; }
  void SetReloadPending(bool pending) override { ForceReloadPending = pending ? -1 : 0; }
  const PacketTable& PacketDatabase() const override { return Packets; }
  Endpoint CharServerEndpoint() const override { return EndpointOf(CharServer.Address); }
  Endpoint MapServerEndpoint() const override { return EndpointOf(MapServer.Address); }
  std::int32_t CurrentMapTick() const override;
  std::chrono::steady_clock::time_point Now() const override {
    return std::chrono::steady_clock::now();
  }
  std::chrono::milliseconds QuietInterval() const override { return TickInterval; }

  // --- The stream of events -------------------------------------------------
  // Tells every observer: the log, the capture, the run's summary and
  // verdict and the journal first, then the observers in Events.
  void Emit(const ConnectionEvent& event) final;
  // Whether any view takes a packet sent or the bytes a socket took, now:
  // the packet lines, the capture, the journal or an observer in Events.
  // A send with none tells neither, and names nothing.
  bool SendsObserved() const;

  // --- Capture --------------------------------------------------------------
  // Starts writing every connection's traffic to a capture file at `path`;
  // connections already open join it as they are. A capture that runs goes
  // on when `path` cannot be had. Told either way but the failure, which
  // `error` holds for the caller to show.
  bool StartCapture(const std::string& path, std::string& error);
  void StopCapture();  // told when one ran
  // Once per tick: writes what the capture holds, so that a killed server
  // leaves a readable file. A capture that failed is told, with the event
  // kCaptureStopped, once: true then.
  bool FlushCapture();
  // The capture's view of the stream: conversations, the bytes each way with
  // their comments.
  void CaptureEvent(const ConnectionEvent& event);

  // The port actually listened on (the real one when Load was given 0).
  std::int32_t ListeningPort() const;

  // --- Journal --------------------------------------------------------------
  // Starts writing the journal to `path`: its first line says the format,
  // the version and the options in force; a journal that runs goes on into
  // the new file, or where `path` cannot be had, in its own. Told either way
  // but the failure, which `error` holds for the caller to show.
  bool StartJournal(const std::string& path, std::string& error);
  void StopJournal();  // told when one ran; "No journal runs" is the command's
  // Once per tick: writes what the journal holds. A journal that failed is
  // told, once: true then.
  bool FlushJournal();
  // The journal's view of the stream, and the summary's.
  void JournalEvent(const ConnectionEvent& event);

  // --- What the log and the operator are told ---------------------------------
  // Appends a designed line to List1. With LogDetail checked, the time of day
  // and the connection the line is about, if any, go ahead of it: the log,
  // its copies and standard output all carry the line as shown.
  void Log(std::string line, const ConnectionRecord* about = nullptr, LineKind kind = kPlainLine);
  // Logs a line of `kind` and keeps `bytes` behind it in `store`.
  void LogWithBytes(std::string line, const ConnectionRecord* about, LineKind kind,
                    UnknownPackets& store, std::span<const std::uint8_t> bytes);
  // The log's view of the stream: the designed line of an event of the
  // kDesignedLineKinds, unless "Hide Unknown Packets" hides it.
  void LogEvent(const ConnectionEvent& event);
  // What a command did, or a value the server changed, as the event
  // kOutcome: the windows show it in their status bar for a while, the
  // console says it on standard error.
  void Tell(const std::string& outcome);
  // "Show Time and Connection" on or off, and said so.
  void SetLogDetail(bool on);
  // "Show Every Packet" on or off, and said so.
  void SetLogPackets(bool on);
  // The packet line held to count the same sends after it goes to the log.
  void FlushPacketLines();
  // Where the packet lines go: the log, each with its packet's bytes kept.
  PacketLines::Append PacketLineAppend();
  // The cadence, changed while the server runs, and said so.
  void SetTickInterval(std::chrono::milliseconds interval);
  void SetAcceptDelay(std::chrono::milliseconds delay);

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
  // The connection whose next packet in is handled short, as the capture
  // heard just before it; 0: none.
  std::uint64_t ShortPacketConversation = 0;
  JournalFile Journal;
  RunSummary Summary;     // counted from the stream, journal or not
  VerdictRules Rules;     // what the run is judged by (--expect, --strict...)
  std::string Violation;  // the first under --strict, as the log names it; empty: none
  // Why the run ended, once it has (Stop): "quit", "deadline"...
  std::string EndReason;
  // When the server started: the journal's `ms` counts from here, and its
  // `time` is the system's clock then (UTC, milliseconds since 1970) plus `ms`.
  std::chrono::steady_clock::time_point Started = std::chrono::steady_clock::now();
  std::int64_t StartedUnixMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count();
  // The operator's command that runs (CommandScope), as the console names it.
  std::string_view RunningCommand;
  JournalNotes JournalState;  // what the journal keeps between two events
  bool Stopped = false;       // Stop has run
  std::string PacketDbPath;   // the packet database Initialize read
  // The next connection's number: counted from 1 at start, never reused. It
  // is the connection's name in the detailed log and in the capture.
  std::uint64_t NextConversation = 1;
  EventObservers Events;
  FaultSet Faults;
  std::vector<HeldWrite> Held;          // in order; a connection's writes never overtake
  std::set<std::string> FaultComments;  // the capture's comments of faulted packets
  // While true, the packet being sent is the operator's bytes (SendInjected),
  // also when a fault held it: its event says so (Injected) and the capture's
  // comment starts with kInjectedComment (SentComment).
  bool Injecting = false;
  UnknownPackets Unknown;          // the bytes behind the latest "Unknown Packet" lines
  UnknownPackets PacketLineBytes;  // and behind the latest packet lines

  // --- Controls -------------------------------------------------------------
  ListBox List1;            // the packet log
  CheckBox Check1;          // "Hide Unknown Packets"
  TextBox Text2;            // map name
  TextBox Pos[2];           // start cell: x, y
  OptionGroup Option1;      // 0 "Female", 1 "Male"
  TextBox Text1;            // nothing writes to it
  CheckBox LogDetail;       // "Show Time and Connection": off as designed
  CheckBox LogPackets;      // "Show Every Packet": off as designed
  PacketLines EveryPacket;  // the lines "Show Every Packet" adds

  // --- Settings the operator may change at start ---------------------------
  // The wait before each accept; it holds the one thread.
  std::chrono::milliseconds AcceptDelay{kDefaultAcceptDelayMs};
  // Whether the listener keeps more than one waiting connection now.
  bool WideBacklog = false;
  // The rhythm of PollConnections.
  std::chrono::milliseconds TickInterval{kDefaultTickMs};
  // Whether a stop (a signal, Ctrl+C) waits to be taken by the loop that runs
  // the form; asked between the slices of the accept delay. Set by that loop;
  // none: never.
  std::function<bool()> StopRequested;
  // The tick's answer from the system, kept so that asking allocates
  // nothing: the sockets with something to receive, sorted.
  std::vector<SocketHandle> ReadableSockets;
  // The address Load listens on, in host byte order.
  std::uint32_t ListenAddress = kLoopbackAddress;
  // The map tick: time of day in hundredths of a second.
  std::function<std::int32_t()> MapTick;
  // The time of day in the detailed log, in microseconds since midnight.
  std::function<std::int64_t()> TimeOfDay;
};

// While it lives, the operator's command `name` (as the console names it:
// "warp", "capture") runs: what is told meanwhile is its outcome. It is
// told as kCommand at both ends; inside another command it does nothing.
class CommandScope {
 public:
  CommandScope(Form1& form, std::string_view name);
  ~CommandScope();
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;

 private:
  Form1* form_ = nullptr;  // nullptr: inside another command
};

// Seconds since local midnight times 100, rounded.
std::int32_t LocalMapTick();

}  // namespace quib
