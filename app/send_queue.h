// The bytes of a connection's replies that its socket has not accepted yet.
// They go out first, in order, on later attempts. The queue keeps packet
// boundaries so that a connection given up on can still be ended after a
// whole packet. Empty, it holds no memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quib {

class SendQueue {
 public:
  bool Empty() const { return bytes_.size() == head_; }
  std::size_t Size() const { return bytes_.size() - head_; }
  const std::uint8_t* Data() const { return bytes_.data() + head_; }

  // Appends the unsent rest of one packet; `started` when its first bytes
  // have already gone out.
  void Push(const std::uint8_t* bytes, std::size_t count, bool started);
  // Removes the first `count` bytes, which the socket has accepted.
  void Drop(std::size_t count);
  // Keeps only the rest of a packet whose start has gone out: what must
  // still be sent so that the peer never sees half a packet.
  void KeepStartedPacket();
  void Clear();

 private:
  // Offsets are 32 bits: a queue never holds more than a connection's bound.
  std::vector<std::uint8_t> bytes_;
  std::vector<std::uint32_t> packets_;  // length of each packet's unsent part
  std::uint32_t head_ = 0;              // bytes_ before head_ have been sent
  std::uint32_t firstPacket_ = 0;       // packets_ before it are done
  bool headStarted_ = false;            // the first unsent packet is partly out
};

}  // namespace quib
