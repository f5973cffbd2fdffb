// Form1's side of the journal: it observes the stream of events, its first
// line says what runs, the server's own lines (listening, stopped) carry
// what Form1 knows, and its buffer goes to the file once per tick.
#include <chrono>

#include "app/main_window.h"
#include "journal/journal_lines.h"
#include "net/ipv4_text.h"
#include "platform/os.h"
#include "protocol/packet_cases.h"

#ifndef QUIB_VERSION
#define QUIB_VERSION "unknown"
#endif

namespace quib {

namespace {

// The format of every line; a line's fields may grow, never change meaning.
constexpr std::int64_t kJournalFormat = 1;

// One reading of the clock a line: the time is the system's clock when the
// server started plus the time since, so that it never goes back.
LineTime TimeNow(Form1& form) {
  using namespace std::chrono;
  const std::int64_t sinceStart = duration_cast<milliseconds>(form.Now() - form.Started).count();
  return {form.StartedUnixMs + sinceStart, sinceStart, &form.JournalState.LastTime};
}

// The first line: the format, the program, and the options in force.
std::string FirstLine(Form1& form, const std::string& path) {
  std::string text;
  JsonLine line(text);
  BeginLine(line, "journal", TimeNow(form));
  line.Number("format", kJournalFormat);
  line.Text("version", QUIB_VERSION);
  line.Number("pid", static_cast<std::int64_t>(ProcessId()));
  line.Open("options");
  line.Text("address", FormatIPv4(EndpointOf(form.LoginServer.Address).Address));
  line.Number("port", form.ListeningPort());
  line.Number("tick_ms", form.TickInterval.count());
  line.Number("accept_delay_ms", form.AcceptDelay.count());
  line.Bool("log_detail", form.LogDetail.Checked());
  line.Text("packet_db", form.PacketDbPath);
  if (form.Capture.IsOpen()) line.Text("capture", form.Capture.Path());
  line.Text("journal", path);
  line.Close();
  line.End();
  return text;
}

void AppendListening(std::string& out, Form1& form) {
  JsonLine line(out);
  BeginLine(line, "listening", TimeNow(form));
  line.Text("address", FormatIPv4(EndpointOf(form.LoginServer.Address).Address));
  line.Number("port", form.ListeningPort());
  line.Number("pid", static_cast<std::int64_t>(ProcessId()));
  line.End();
}

// A judged run's verdict, in its summary: each expectation, the furthest
// milestone of each client when one is not met, the violation, the status.
void AppendVerdict(JsonLine& line, const Form1& form) {
  const RunSummary& summary = form.Summary;
  line.Open("expected");
  for (const Expectation& expectation : form.Rules.Expected) {
    line.Open(MilestoneName(expectation.Step));
    line.Number("clients", static_cast<std::int64_t>(expectation.Clients));
    line.Number("reached", static_cast<std::int64_t>(summary.ReachedCount(expectation.Step)));
    line.Bool("met", ExpectationMet(summary, expectation));
    line.Close();
  }
  line.Close();
  if (!EveryExpectationMet(summary, form.Rules)) {
    line.Open("furthest");
    for (const RunSummary::Furthest& client : summary.FurthestReached) {
      line.Word(std::to_string(client.Conversation),
                client.Reached ? MilestoneName(client.Step) : "nothing");
    }
    line.Close();
  }
  if (!form.Violation.empty()) line.Text("violation", form.Violation);
  line.Number("status", RunExitStatus(form));
}

void AppendStopped(std::string& out, Form1& form, std::string_view why) {
  const RunSummary& summary = form.Summary;
  const auto count = [](std::uint64_t n) { return static_cast<std::int64_t>(n); };
  JsonLine line(out);
  BeginLine(line, "stopped", TimeNow(form));
  line.Text("why", why);
  line.Open("summary");
  line.Number("connections", count(summary.Connections));
  line.Open("milestones");
  for (std::size_t step = 0; step < kMilestoneCount; ++step) {
    line.Number(MilestoneName(static_cast<Milestone>(step)), count(summary.Reached[step]));
  }
  line.Close();
  line.Number("unknown", count(summary.UnknownPackets));
  line.Number("short", count(summary.ShortPackets));
  line.Number("detect_failed", count(summary.DetectFailed));
  if (summary.DroppedLines > 0) line.Number("dropped_lines", count(summary.DroppedLines));
  if (summary.DroppedMessages > 0) line.Number("dropped_messages", count(summary.DroppedMessages));
  if (form.Rules.Any()) AppendVerdict(line, form);
  line.Close();
  line.End();
}

// A command that told nothing is journaled all the same, by its name.
void AppendSilentCommand(std::string& out, Form1& form) {
  JsonLine line(out);
  BeginLine(line, "command", TimeNow(form));
  line.Text("name", form.RunningCommand);
  line.End();
}

}  // namespace

void Form1::JournalEvent(const ConnectionEvent& event) {
  if (!Journal.IsOpen()) return;
  std::string& out = Journal.Buffer();
  JournalNotes& notes = JournalState;
  EventContext context{.Packets = &Packets,
                       .EchoRole = notes.Handling,
                       .Command = RunningCommand,
                       .Peer = &notes.Peer};
  switch (event.Kind) {
    case EventKind::kWritten:  // the journal has each packet whole, as sent
      return;
    case EventKind::kShortPacket:
      notes.ShortPacket = event.Connection != nullptr ? event.Connection->Conversation : 0;
      return;
    case EventKind::kCommand:
      if (!event.Text.empty()) {
        notes.CommandTold = false;
        return;
      }
      if (notes.CommandTold) return;
      AppendSilentCommand(out, *this);
      break;
    case EventKind::kListening:
      AppendListening(out, *this);
      break;
    case EventKind::kStopped:
      AppendStopped(out, *this, event.Text);
      break;
    case EventKind::kPacketIn:
      context.HandledShort =
          event.Connection != nullptr && event.Connection->Conversation == notes.ShortPacket;
      notes.ShortPacket = 0;
      if (event.Case != nullptr) notes.Handling = event.Case->Role;
      if (!AppendEventLine(out, event, TimeNow(*this), context)) return;
      break;
    default:
      if (!AppendEventLine(out, event, TimeNow(*this), context)) return;
      notes.CommandTold = notes.CommandTold || event.Kind == EventKind::kOutcome;
      break;
  }
  Journal.LineAdded();
}

bool Form1::StartJournal(const std::string& path, std::string& error) {
  const CommandScope command(*this, "journal");
  if (Journal.IsOpen() && Journal.Writes(path)) {
    Tell("Journal to " + Journal.Path() + " goes on: " + path + " is the file it writes");
    return true;
  }
  // A journal whose last write fails now is told as stopped, not as going on.
  FlushJournal();
  const std::string previous = Journal.IsOpen() ? Journal.Path() : std::string();
  if (!Journal.Open(path, FirstLine(*this, path), error)) {
    if (!previous.empty()) error += "; the journal to " + previous + " goes on";
    return false;
  }
  Tell(previous.empty() ? "Journal started: " + path
                        : "Journal to " + previous + " stopped; journal started: " + path);
  return true;
}

void Form1::StopJournal() {
  if (!Journal.IsOpen()) {
    FlushJournal();
    return;
  }
  const CommandScope command(*this, "journal");
  Journal.Close();
  if (!FlushJournal()) Tell("Journal stopped: " + Journal.Path());
}

bool Form1::FlushJournal() {
  if (Journal.IsOpen()) Journal.Flush();
  const std::string error = Journal.TakeError();
  if (error.empty()) return false;
  Tell("Journal stopped: " + error);
  return true;
}

}  // namespace quib
