#include "console/console_session.h"

#include <algorithm>
#include <utility>

#include "app/main_window.h"
#include "startup/console_commands.h"
#include "startup/start_server.h"

namespace quib {

using Clock = std::chrono::steady_clock;

void TickIfDue(Form1& form, Clock::time_point& nextTick) {
  const auto now = Clock::now();
  if (now < nextTick) return;
  form.PollConnections();
  while (nextTick <= now) nextTick += form.TickInterval;
}

ConsoleSession::ConsoleSession(Form1& form, OutputQueue::Writer log, OutputQueue::Writer messages)
    : form_(form),
      log_{OutputQueue(kLogOutputLimit, OutputQueue::Bound::kEntryFits), std::move(log), {}},
      messages_{OutputQueue(kMessagesOutputLimit, OutputQueue::Bound::kRoomBefore),
                std::move(messages),
                {}} {
  previousAppend_ = std::exchange(form_.List1.OnAppend,
                                  [this](const std::string& line) { log_.Queue.AppendLine(line); });
  outcomes_ = std::make_unique<EventSubscription>(
      form_.Events, KindsOf({EventKind::kOutcome}) | kSaidOnStandardError,
      [this](const ConnectionEvent& event) { Say(std::string(event.Text) + "\n"); });
}

ConsoleSession::~ConsoleSession() { form_.List1.OnAppend = std::move(previousAppend_); }

void ConsoleSession::Say(std::string_view text) { messages_.Queue.Append(text); }

void ConsoleSession::Stop(std::string_view why) {
  if (phase_ != Phase::kRunning) return;
  // The run's summary counts what the console could not write; the last
  // words of the capture and the journal, if they have any, still go out.
  form_.Summary.DroppedLines = log_.Queue.DroppedTotal();
  form_.Summary.DroppedMessages = messages_.Queue.DroppedTotal();
  form_.Stop(why);
  // A judged run says what it came to (the journal's last line has it too).
  if (form_.Rules.Any()) Say(VerdictText(form_));
  phase_ = Phase::kStopping;
  const auto now = Clock::now();
  stopBy_ = now + kLastOutputLimit;
  log_.Since = now;
  messages_.Since = now;
}

ConsoleWait ConsoleSession::Step(const ConsoleReady& ready) {
  if (phase_ == Phase::kRunning && !ticking_) {
    nextTick_ = Clock::now() + form_.TickInterval;
    ticking_ = true;
  }
  if (ready.Stop) Stop("stop-signal");
  if (phase_ == Phase::kRunning && ready.Listener) form_.AcceptPending();
  if (phase_ == Phase::kRunning && !ready.Input.empty()) RunInput(ready.Input);
  if (phase_ == Phase::kRunning && ready.InputEnded && inputOpen_) {
    // A last line without its line feed still counts; the server keeps
    // running without commands.
    inputOpen_ = false;
    if (!pending_.empty()) RunInput("\n");
  }
  if (phase_ == Phase::kRunning) TickIfDue(form_, nextTick_);
  if (phase_ == Phase::kRunning && !form_.Held.empty()) form_.RunDueWrites();
  const auto now = Clock::now();
  if (phase_ == Phase::kRunning) {
    if (const std::string_view why = EndDue(form_, now); !why.empty()) Stop(why);
  }
  Flush(now);
  return NextWait(now);
}

void ConsoleSession::RunInput(std::string_view bytes) {
  pending_.append(bytes);
  std::size_t end;
  while (phase_ == Phase::kRunning && (end = pending_.find('\n')) != std::string::npos) {
    const std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    if (discarding_) {
      discarding_ = false;
      continue;
    }
    // A line too long is refused whether it came whole or in pieces.
    if (line.size() > kMaxCommandLine) {
      Say("command line too long; ignored\n");
      continue;
    }
    const ConsoleReply reply = RunConsoleCommand(form_, line);
    if (!reply.Error.empty()) Say(reply.Error + "\n");
    if (!reply.Info.empty()) Say(reply.Info);
    if (reply.Quit) Stop("quit");
  }
  if (pending_.size() > kMaxCommandLine) {
    if (!discarding_) Say("command line too long; ignored\n");
    discarding_ = true;
    pending_.clear();
  }
}

void ConsoleSession::Flush(Clock::time_point now) {
  if (log_.Queue.Flush(log_.Write)) log_.Since = now;
  if (const std::uint64_t dropped = log_.Queue.TakeDroppedNotice()) {
    Say(std::to_string(dropped) +
        " log lines were dropped while standard output was not being read\n");
  }
  if (messages_.Queue.Flush(messages_.Write)) messages_.Since = now;
  if (const std::uint64_t dropped = messages_.Queue.TakeDroppedNotice()) {
    Say(std::to_string(dropped) +
        " messages were dropped while standard error was not being read\n");
    if (messages_.Queue.Flush(messages_.Write)) messages_.Since = now;
  }
}

ConsoleWait ConsoleSession::NextWait(Clock::time_point now) {
  ConsoleWait wait;
  wait.Log = log_.Queue.Pending();
  wait.Messages = messages_.Queue.Pending();
  if (phase_ == Phase::kRunning) {
    wait.Stop = true;
    wait.Listener = form_.LoginServer.Socket;
    wait.Input = inputOpen_;
    wait.Until = std::min({nextTick_, Deadline(form_), form_.NextWriteDue()});
    return wait;
  }
  // Stopping: wait for the outputs that still take bytes, and no longer.
  wait.Until = stopBy_;
  bool taking = false;
  for (const Output* output : {&log_, &messages_}) {
    if (!output->Queue.Pending() || output->Stalled(now)) continue;
    taking = true;
    wait.Until = std::min(wait.Until, output->Since + kStalledOutput);
  }
  if (!taking || now >= stopBy_) phase_ = Phase::kDone;
  return wait;
}

ConsoleEnd ConsoleSession::End() const {
  const auto now = Clock::now();
  return {!log_.Stalled(now), !messages_.Stalled(now), stopBy_};
}

}  // namespace quib
