// One console session, the same on every platform: the operator's command
// lines in, the log out to standard output and everything the console says
// out to standard error, neither ever waited for, and the tick's rhythm. A
// loop hands each wake-up to Step and waits for what Step returns.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "console/console_wait.h"
#include "console/output_queue.h"
#include "protocol/connection_events.h"

namespace quib {

class Form1;

// A longer command line is refused rather than buffered without end.
inline constexpr std::size_t kMaxCommandLine = 4096;

// Runs PollConnections when the tick at `nextTick` is due and sets the next.
// Ticks keep to a fixed rhythm however often a loop wakes; a tick held up (by
// an accept's wait) is run once, not caught up.
void TickIfDue(Form1& form, std::chrono::steady_clock::time_point& nextTick);

class ConsoleSession {
 public:
  // Hooks the log and what the form tells onto `form` for as long as the
  // session lives; the hooks found there come back afterwards.
  ConsoleSession(Form1& form, OutputQueue::Writer log, OutputQueue::Writer messages);
  ~ConsoleSession();
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;

  // Everything the console says to the operator goes through here.
  void Say(std::string_view text);

  // One wake-up: a stop request, a waiting connection, command lines, the
  // tick when due, then the outputs as far as they take it. Returns what to
  // wait for next.
  ConsoleWait Step(const ConsoleReady& ready);

  // Ends the running, for `why` (Form1::Stop): the capture and the journal
  // stop, and from then on Step only writes what waits, until the outputs
  // have taken it or stalled.
  void Stop(std::string_view why);
  // Nothing is left to wait for: the loop ends.
  bool Done() const { return phase_ == Phase::kDone; }
  // Once stopped: the outputs not given up on, and the latest end.
  ConsoleEnd End() const;

 private:
  enum class Phase { kRunning, kStopping, kDone };

  struct Output {
    OutputQueue Queue;
    OutputQueue::Writer Write;
    // When it last was empty or took bytes.
    std::chrono::steady_clock::time_point Since;

    // Its reader has taken nothing for kStalledOutput.
    bool Stalled(std::chrono::steady_clock::time_point now) const {
      return Queue.Pending() && Since + kStalledOutput <= now;
    }
  };

  void RunInput(std::string_view bytes);
  void RunLines();
  void Flush(std::chrono::steady_clock::time_point now);
  ConsoleWait NextWait(std::chrono::steady_clock::time_point now);

  Form1& form_;
  Output log_;
  Output messages_;
  std::function<void(const std::string&)> previousAppend_;
  std::unique_ptr<EventSubscription> outcomes_;  // what the form tells, said
  std::string pending_;                          // a partial line waiting for the rest
  bool discarding_ = false;                      // inside a line too long to run
  bool inputOpen_ = true;
  bool ticking_ = false;
  std::chrono::steady_clock::time_point nextTick_;
  Phase phase_ = Phase::kRunning;
  std::chrono::steady_clock::time_point stopBy_;  // the end of kStopping at the latest
};

}  // namespace quib
