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
  // have already gone out. `comment`, a text that outlives the queue, is what
  // the capture says of the packet where it starts.
  void Push(const std::uint8_t* bytes, std::size_t count, bool started,
            const char* comment = nullptr);
  // The unsent bytes of the first packet, and its comment while none of it
  // has gone out (nullptr once it has started, or when it had none).
  std::size_t FrontLength() const;
  const char* FrontComment() const;
  // Removes the first `count` bytes, which the socket has accepted.
  void Drop(std::size_t count);
  // Keeps only the rest of a packet whose start has gone out: what must
  // still be sent so that the peer never sees half a packet.
  void KeepStartedPacket();
  void Clear();

 private:
  // Offsets are 32 bits: a queue never holds more than a connection's bound.
  std::vector<std::uint8_t> bytes_;
  struct Packet {
    std::uint32_t Length;  // of its unsent part
    const char* Comment;
  };
  std::vector<Packet> packets_;
  std::uint32_t head_ = 0;         // bytes_ before head_ have been sent
  std::uint32_t firstPacket_ = 0;  // packets_ before it are done
  bool headStarted_ = false;       // the first unsent packet is partly out
};

}  // namespace quib
