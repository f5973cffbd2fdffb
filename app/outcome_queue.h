// The outcomes a window's status bar shows, in the order the form told them:
// none is replaced at once by the next. While others wait, an outcome shows
// for kOutcomeLeast; the last shows for kOutcomeShown, then the bar's lasting
// text is back. At most kOutcomesWaiting wait behind the one that shows: past
// that the oldest waiting goes, so that a burst never holds the bar for long.
// No toolkit and no clock of its own: the window gives the time and asks
// again when NextChange comes.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>

namespace quib {

// How long the last outcome shows, and any outcome while others wait.
inline constexpr std::chrono::seconds kOutcomeShown{5};
inline constexpr std::chrono::seconds kOutcomeLeast{2};
inline constexpr std::size_t kOutcomesWaiting = 3;

class OutcomeQueue {
 public:
  using Clock = std::chrono::steady_clock;

  // `text` told at `now`: it shows at once when nothing else does, after
  // the others otherwise. Told again while it is the newest, it is not
  // queued twice; when it shows, its time starts again.
  void Add(std::string text, Clock::time_point now);
  // What shows at `now`, or nullptr when no outcome does. An outcome whose
  // time is over makes way for the next, which starts its time at `now`.
  const std::string* Shown(Clock::time_point now);
  // When what shows changes next; none while no outcome shows.
  std::optional<Clock::time_point> NextChange() const;

 private:
  Clock::duration Allotted() const;

  std::deque<std::string> outcomes_;  // the one that shows first
  Clock::time_point since_;           // when the first began to show
};

}  // namespace quib
