// Log lines on their way to standard output. Writing them never waits for
// the reader: what it has not taken yet waits here, up to kLimit bytes;
// beyond that whole lines are dropped and counted, and the count is handed
// out once the reader takes bytes again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quib {

class LogOutput {
 public:
  static constexpr std::size_t kLimit = 1 << 20;

  // Takes up to `count` bytes; returns how many it took, 0 when it would
  // have to wait, -1 when the output is gone for good.
  using Writer = std::function<long(const char* bytes, std::size_t count)>;

  // Queues `line` and a line feed, or counts it as dropped when it does not
  // fit.
  void Append(std::string_view line);
  bool Pending() const { return head_ < queued_.size(); }
  // Writes what waits, as far as `write` takes it.
  void Flush(const Writer& write);
  // Lines dropped since the last call, once writing has resumed; 0 until then.
  std::uint64_t TakeDroppedNotice();

 private:
  std::string queued_;
  std::size_t head_ = 0;       // queued_ before it has been written
  std::uint64_t dropped_ = 0;  // lines dropped and not yet told
  bool resumed_ = false;       // bytes were taken since the drops
  bool gone_ = false;          // the reader went away: nothing is kept
};

}  // namespace quib
