#include "app/outcome_queue.h"

#include <iterator>

namespace quib {

void OutcomeQueue::Add(std::string text, Clock::time_point now) {
  Shown(now);
  if (!outcomes_.empty() && outcomes_.back() == text) {
    if (outcomes_.size() == 1) since_ = now;
    return;
  }
  if (outcomes_.empty()) since_ = now;
  outcomes_.push_back(std::move(text));
  if (outcomes_.size() > kOutcomesWaiting + 1) outcomes_.erase(std::next(outcomes_.begin()));
}

const std::string* OutcomeQueue::Shown(Clock::time_point now) {
  // One step at most: the next outcome shows from now, however late the
  // window asks.
  if (!outcomes_.empty() && now - since_ >= Allotted()) {
    outcomes_.pop_front();
    since_ = now;
  }
  return outcomes_.empty() ? nullptr : &outcomes_.front();
}

std::optional<OutcomeQueue::Clock::time_point> OutcomeQueue::NextChange() const {
  if (outcomes_.empty()) return std::nullopt;
  return since_ + Allotted();
}

OutcomeQueue::Clock::duration OutcomeQueue::Allotted() const {
  return outcomes_.size() > 1 ? Clock::duration(kOutcomeLeast) : Clock::duration(kOutcomeShown);
}

}  // namespace quib
