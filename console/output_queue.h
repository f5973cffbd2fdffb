// Text on its way to a standard stream. Writing it never waits for the
// reader: what the reader has not taken yet waits here, up to a bound; past
// the bound whole entries (log lines, messages) are dropped and counted, and
// the count is handed out once the reader takes bytes again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quib {

// Log lines waiting for standard output.
inline constexpr std::size_t kLogOutputLimit = 1 << 20;
// Messages waiting for standard error.
inline constexpr std::size_t kMessagesOutputLimit = 64 << 10;

class OutputQueue {
 public:
  // How the bound is kept.
  enum class Bound {
    // An entry is kept when it fits within the bound: the log's lines.
    kEntryFits,
    // An entry is kept when less than the bound waits before it: one long
    // message (the bytes of many packets) still reaches a reader that keeps up.
    kRoomBefore,
  };

  // Takes up to `count` bytes; returns how many it took, 0 when it would
  // have to wait, -1 when the output is gone for good.
  using Writer = std::function<long(const char* bytes, std::size_t count)>;

  OutputQueue(std::size_t limit, Bound bound) : limit_(limit), bound_(bound) {}

  // Queues `text` whole, or counts it as dropped.
  void Append(std::string_view text);
  // Queues `line` and a line feed, or counts it as dropped.
  void AppendLine(std::string_view line);
  bool Pending() const { return head_ < queued_.size(); }
  // Writes what waits, as far as `write` takes it. True when it took bytes.
  bool Flush(const Writer& write);
  // Entries dropped since the last call, once writing has resumed and there
  // is room again; 0 until then.
  std::uint64_t TakeDroppedNotice();
  // Every entry dropped so far, told or not.
  std::uint64_t DroppedTotal() const { return droppedTotal_; }

 private:
  std::size_t Waiting() const { return queued_.size() - head_; }
  bool Keeps(std::size_t size) const;
  void Enqueue(std::string_view text, std::string_view end);

  std::size_t limit_;
  Bound bound_;
  std::string queued_;
  std::size_t head_ = 0;       // queued_ before it has been written
  std::uint64_t dropped_ = 0;  // entries dropped and not yet told
  std::uint64_t droppedTotal_ = 0;
  bool resumed_ = false;  // bytes were taken since the drops
  bool gone_ = false;     // the reader went away: nothing is kept
};

}  // namespace quib
