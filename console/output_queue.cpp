#include "console/output_queue.h"

namespace quib {

bool OutputQueue::Keeps(std::size_t size) const {
  if (bound_ == Bound::kEntryFits) return Waiting() + size <= limit_;
  return Waiting() < limit_;
}

void OutputQueue::Enqueue(std::string_view text, std::string_view end) {
  if (gone_) return;
  if (!Keeps(text.size() + end.size())) {
    ++dropped_;
    ++droppedTotal_;
    resumed_ = false;
    return;
  }
  if (head_ > 0 && head_ == queued_.size()) {
    queued_.clear();
    head_ = 0;
  }
  queued_.append(text);
  queued_.append(end);
}

void OutputQueue::Append(std::string_view text) {
  if (!text.empty()) Enqueue(text, {});
}

void OutputQueue::AppendLine(std::string_view line) { Enqueue(line, "\n"); }

bool OutputQueue::Flush(const Writer& write) {
  bool took = false;
  while (Pending() && !gone_) {
    const long taken = write(queued_.data() + head_, queued_.size() - head_);
    if (taken < 0) {
      gone_ = true;
      queued_.clear();
      head_ = 0;
      return took;
    }
    if (taken == 0) break;
    took = true;
    head_ += static_cast<std::size_t>(taken);
    if (dropped_ > 0) resumed_ = true;
  }
  // Keep the written front from piling up.
  if (head_ == queued_.size() || head_ > limit_) {
    queued_.erase(0, head_);
    head_ = 0;
  }
  return took;
}

std::uint64_t OutputQueue::TakeDroppedNotice() {
  if (!resumed_ || Waiting() >= limit_) return 0;
  const std::uint64_t dropped = dropped_;
  dropped_ = 0;
  resumed_ = false;
  return dropped;
}

}  // namespace quib
