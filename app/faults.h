// Faults toward the client: what the server does wrong to the packets it
// sends, on purpose, named and repeatable. A fault is a kind with its
// argument, then filters, comma-separated, as --fault and the console's
// `fault` take it:
//   slice:7   delay:300,jitter=100,reply=0x0073   drop,reply=0x0073,count=1
//   reset,reply=0x0071   corrupt:2,role=map,p=0.1   close,drop,conn=3
// With no fault set nothing here runs: a packet goes out as ever.
#pragma once

#include <chrono>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/packet_descriptions.h"

namespace quib {

enum class FaultKind : std::uint8_t {
  kSlice,      // slice:N[,gap=MS]: writes of N bytes, MS apart, each its own segment
  kDelay,      // delay:MS[,jitter=MS]: held that long before it goes
  kStall,      // stall: held until the fault is cleared
  kDrop,       // drop: never sent
  kDuplicate,  // duplicate: sent twice
  kTruncate,   // truncate:N: only its first N bytes
  kCorrupt,    // corrupt:N: N of its bytes changed
  kClose,      // close: the server closes the connection right after it
  kReset,      // reset: the connection is reset right after it
};

struct FaultSpec {
  FaultKind Kind = FaultKind::kDrop;
  std::int32_t Amount = 0;  // slice, delay, truncate, corrupt: N or MS
  std::int32_t GapMs = 0;
  std::int32_t JitterMs = 0;
  bool Instead = false;  // close and reset: instead of the packet (",drop")
  // Filters; 0 (and kAnyRole) match every packet.
  std::uint16_t Reply = 0;
  bool AnyReply = true;
  std::uint64_t Conn = 0;
  int Role = -1;  // a PacketRole, or -1 for any
  std::uint64_t After = 0;
  std::uint64_t Count = 0;  // 0: no limit
  std::uint64_t Every = 1;
  double P = 1.0;
  std::string Text;  // as given
};

// Reads a fault; false with what is wrong in `error`.
bool ParseFaultSpec(std::string_view text, FaultSpec& spec, std::string& error);

struct Fault {
  std::uint32_t Number = 0;
  FaultSpec Spec;
  std::uint64_t Matched = 0;  // packets its filters took
  std::uint64_t Fired = 0;
};

// What the faults that fire make of one packet.
struct FaultPlan {
  bool Drop = false;
  int Copies = 1;
  std::int32_t Slice = 0;  // 0: whole
  std::int32_t GapMs = 0;
  std::int32_t DelayMs = 0;
  std::uint32_t StalledBy = 0;  // the stalling fault's number; 0: none
  bool Close = false;
  bool Reset = false;
  std::vector<std::uint8_t> Bytes;     // as they go, after truncate and corrupt
  std::vector<std::string> Told;       // "Fault 2: 0x0073 dropped", one per fault fired
  std::vector<std::uint32_t> FiredBy;  // the number of each fault fired, as Told
};

class FaultSet {
 public:
  bool Empty() const { return faults_.empty(); }
  const std::vector<Fault>& All() const { return faults_; }
  // Adds a fault; its number.
  std::uint32_t Add(FaultSpec spec);
  // Removes fault `number`, or every fault for 0; false when there is none.
  bool Clear(std::uint32_t number);
  // Every probability and jitter from here on follows `seed`.
  void Seed(std::uint64_t seed);
  std::uint64_t SeedInForce() const { return seed_; }

  // The faults that fire on a packet `bytes` described by `packet` (nullptr:
  // none) sent on connection `conn` of role `role`: the plan, empty of Told
  // when none fires.
  FaultPlan Plan(std::span<const std::uint8_t> bytes, const PacketDescription* packet,
                 std::uint64_t conn, PacketRole role);

 private:
  std::vector<Fault> faults_;
  std::uint32_t next_ = 1;
  std::uint64_t seed_ = 0;
  std::mt19937_64 random_;
};

// A write the faults hold back: a packet, a slice of one, or the end of its
// connection, due at a time or held by a stall.
struct HeldWrite {
  enum EndKind : std::uint8_t { kNone, kClose, kReset };
  std::uint64_t Conversation = 0;
  std::chrono::steady_clock::time_point Due;
  std::uint32_t StalledBy = 0;  // the stall's fault number; 0: none
  std::vector<std::uint8_t> Bytes;
  // On a packet's first write: the packet as the stream tells it sent, its
  // row and the capture's comment.
  std::vector<std::uint8_t> Whole;
  const PacketDescription* Packet = nullptr;
  const char* Comment = nullptr;
  bool Injected = false;  // the operator's bytes (send #N), as Form1::Injecting
  EndKind End = kNone;
};

// "  2  delay:300,reply=0x0073  fired 1 of 4 matched", a line each; for
// `faults` and the Faults window.
std::string DescribeFaults(const FaultSet& faults);

}  // namespace quib
