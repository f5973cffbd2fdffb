#include "console/log_output.h"

namespace quib {

void LogOutput::Append(std::string_view line) {
  if (gone_) return;
  if (queued_.size() - head_ + line.size() + 1 > kLimit) {
    ++dropped_;
    resumed_ = false;
    return;
  }
  if (head_ > 0 && head_ == queued_.size()) {
    queued_.clear();
    head_ = 0;
  }
  queued_.append(line);
  queued_.push_back('\n');
}

void LogOutput::Flush(const Writer& write) {
  while (Pending() && !gone_) {
    const long taken = write(queued_.data() + head_, queued_.size() - head_);
    if (taken < 0) {
      gone_ = true;
      queued_.clear();
      head_ = 0;
      return;
    }
    if (taken == 0) return;
    head_ += static_cast<std::size_t>(taken);
    if (dropped_ > 0) resumed_ = true;
  }
  // Keep the written front from piling up.
  if (head_ == queued_.size() || head_ > kLimit) {
    queued_.erase(0, head_);
    head_ = 0;
  }
}

std::uint64_t LogOutput::TakeDroppedNotice() {
  if (!resumed_) return 0;
  const std::uint64_t dropped = dropped_;
  dropped_ = 0;
  resumed_ = false;
  return dropped;
}

}  // namespace quib
