// One stream of events: everything the server does with its clients, what
// the operator's commands did and what the server says, in the order it
// happens. Every view of it observes the stream: the designed log lines and
// their detailed prefix, the capture and its comments, the journal, the
// windows' status bar, the console's standard error. An event lives for the
// call that tells it: its bytes and texts are borrowed.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace quib {

struct ConnectionRecord;
struct PacketCase;
struct PacketDescription;

enum class EventKind : std::uint8_t {
  kAccepted,        // a client connected (a new record, or a kept one continued)
  kPacketIn,        // a client packet as framed, before its branch runs: Id, Case, Bytes, Length
  kShortPacket,     // it is handled with fewer bytes than its Length, as no more came
  kTextCut,         // a chat's text did not fit its line: Bytes sent of the Length it announced
  kUnknown,         // no case knows its Id: Bytes, everything buffered, goes with it
  kDropped,         // client bytes no packet will read: Bytes, and why in Text
  kPacketOut,       // a packet sent to one connection: Bytes, its row in Packet
  kWritten,         // bytes the connection's socket took: Bytes, and in Text the name of
                    // the packet that starts with them (empty when they continue one)
  kMilestone,       // a step of the client's road: Step
  kDetectFailed,    // the map login's packet version cannot be told
  kClosed,          // the connection ended: How
  kOutcome,         // what a command did, or a value the server changed: Text
  kCaptureStopped,  // the capture stopped on its own: why in Text
  kCaptureStarted,  // a capture starts: its file in Text
  kCaptureClosed,   // a capture ends as asked (a command, the server's end): its file in Text
  kCommand,         // the operator's command Text starts (as the console names it); an empty
                    // Text ends it: what is told in between is its outcome
  kListening,       // the server listens: the line that says so in Text
  kNotice,          // what the server says besides (what its packet database holds): Text
  kWarning,         // a warning, as said: Text
  kStopped,         // the server stops: why in Text (quit, stop-signal, window-closed)
  kFault,           // a fault fired on a packet sent: what it did in Text, its number in
                    // Fault, the packet's Id
};

// A set of kinds, one bit each: what an observer takes.
using EventKinds = std::uint32_t;
static_assert(static_cast<unsigned>(EventKind::kFault) < 32, "a kind past 32 needs a wider set");

constexpr EventKinds KindsOf(std::initializer_list<EventKind> kinds) {
  EventKinds set = 0;
  for (const EventKind kind : kinds) set |= EventKinds{1} << static_cast<unsigned>(kind);
  return set;
}

constexpr bool Takes(EventKinds kinds, EventKind kind) {
  return ((kinds >> static_cast<unsigned>(kind)) & 1U) != 0;
}

// What a send tells: the packet sent, the bytes its socket took.
inline constexpr EventKinds kSendKinds = KindsOf({EventKind::kPacketOut, EventKind::kWritten});

// The steps of a client's road that the log and its observers name.
enum class Milestone : std::uint8_t {
  kPreLogin,    // a login pre-request
  kLogin,       // the server list sent: on to the character server
  kCharacters,  // the character list sent
  kSelect,      // a character chosen: on to the map server
  kMap,         // in the map, at the packet version told
  kLoaded,      // the client reports its map loaded
};

enum class CloseKind : std::uint8_t {
  kClient,       // the client closed it
  kServer,       // the server closed it (after a login, a select, a refusal)
  kReset,        // the client reset it
  kGivenUp,      // the client stopped reading its replies; the server let it go
  kServerReset,  // the operator had the server reset it
};

struct ConnectionEvent {
  EventKind Kind;
  const ConnectionRecord* Connection = nullptr;  // what it is about; nullptr: none
  std::span<const std::uint8_t> Bytes;
  std::string_view Text;
  std::uint16_t Id = 0;
  const PacketCase* Case = nullptr;  // kPacketIn: how it is read; nullptr for an unknown id
  const PacketDescription* Packet = nullptr;  // kPacketOut: its row; nullptr for none
  std::int32_t Length = 0;  // kPacketIn, kShortPacket: its length; 0 when none is known
  Milestone Step = Milestone::kLogin;
  bool FirstTime = false;  // kMilestone: the connection had not reached Step before
  CloseKind How = CloseKind::kClient;
  std::uint32_t Fault = 0;  // kFault: the fault's number
  bool Injected = false;    // kPacketOut: the operator's bytes (send #N), not a reply
};

// The observers of the stream, told in the order they were added, each of
// the kinds it takes. Most events are a client's packets that no view but
// the form's own takes: they cost one test here.
class EventObservers {
 public:
  using Observer = std::function<void(const ConnectionEvent&)>;

  // Returns the key that removes it again.
  int Add(EventKinds kinds, Observer observer) {
    observers_.push_back({++lastKey_, kinds, std::move(observer)});
    taken_ |= kinds;
    return lastKey_;
  }
  void Remove(int key) {
    std::erase_if(observers_, [key](const Entry& entry) { return entry.Key == key; });
    taken_ = 0;
    for (const Entry& entry : observers_) taken_ |= entry.Kinds;
  }
  // Whether an observer takes any of `kinds`.
  bool Takes(EventKinds kinds) const { return (taken_ & kinds) != 0; }
  void Notify(const ConnectionEvent& event) const {
    if (!quib::Takes(taken_, event.Kind)) return;
    for (const Entry& entry : observers_) {
      if (quib::Takes(entry.Kinds, event.Kind)) entry.Tell(event);
    }
  }

 private:
  struct Entry {
    int Key;
    EventKinds Kinds;
    Observer Tell;
  };
  std::vector<Entry> observers_;
  EventKinds taken_ = 0;
  int lastKey_ = 0;
};

// An observer for as long as this lives: what a view hooks onto the stream
// of a form that outlives it.
class EventSubscription {
 public:
  EventSubscription(EventObservers& observers, EventKinds kinds, EventObservers::Observer observer)
      : observers_(&observers), key_(observers.Add(kinds, std::move(observer))) {}
  ~EventSubscription() { observers_->Remove(key_); }
  EventSubscription(const EventSubscription&) = delete;
  EventSubscription& operator=(const EventSubscription&) = delete;

 private:
  EventObservers* observers_;
  int key_;
};

}  // namespace quib
