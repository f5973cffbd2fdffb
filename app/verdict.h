// A verdict on a run, for a client's automated tests: the milestones expected
// of it, whether it ends at the first violation, when it ends at the latest,
// and the exit status it comes to. A run that sets none of these rules runs
// and ends as ever, with status 0.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/run_summary.h"
#include "protocol/connection_events.h"

namespace quib {

class Form1;

// How many clients must reach a milestone: `--expect map=2`.
struct Expectation {
  Milestone Step = Milestone::kLoaded;
  std::uint64_t Clients = 1;
};

struct VerdictRules {
  std::vector<Expectation> Expected;
  bool Strict = false;    // an unknown or short packet, a failed detection: the run ends, status 4
  bool UntilMet = false;  // the run ends once every expectation is met
  std::chrono::milliseconds Within{0};  // the run ends after this at the latest; 0: no end

  // Whether the run is judged at all: its summary said, its status the verdict's.
  bool Any() const { return !Expected.empty() || Strict || UntilMet || Within.count() > 0; }
};

// The exit statuses of the server, one table for --help, the manual page and
// README.md.
enum ExitStatus : std::uint8_t {
  kExitMet = 0,          // ended normally, every expectation met
  kExitStartFailed = 1,  // could not start
  kExitUsage = 2,        // a bad option
  kExitNotMet = 3,       // an expectation not met
  kExitViolation = 4,    // a violation under --strict
};
struct ExitStatusRow {
  ExitStatus Status;
  const char* Meaning;
};
inline constexpr ExitStatusRow kExitStatuses[] = {
    {kExitMet, "ended normally, every expectation met"},
    {kExitStartFailed, "could not start"},
    {kExitUsage, "a bad option (usage)"},
    {kExitNotMet, "an expectation not met"},
    {kExitViolation, "a violation under --strict"},
};

// The milestone named `name` ("login", "characters", "select", "map",
// "loaded"); nullopt for any other name.
std::optional<Milestone> MilestoneNamed(std::string_view name);
// "login, characters, select, map or loaded".
std::string ExpectableMilestones();
// Reads "map" or "map=2" (N from 1 to 1000000); false when it is neither.
bool ParseExpectation(std::string_view text, Expectation& expectation);

bool ExpectationMet(const RunSummary& summary, const Expectation& expectation);
bool EveryExpectationMet(const RunSummary& summary, const VerdictRules& rules);

// The kinds a strict run is judged by; the stream spares the verdict the
// others.
inline constexpr EventKinds kJudgedKinds =
    KindsOf({EventKind::kUnknown, EventKind::kShortPacket, EventKind::kDetectFailed});

// Judges one event of the stream: under --strict, the first unknown packet,
// packet handled short or failed detection is the run's violation.
void JudgeEvent(Form1& form, const ConnectionEvent& event);

// Why the run is to end now, as Form1::Stop names it ("violation",
// "expectations-met", "deadline"); empty while it runs on.
std::string_view EndDue(const Form1& form, std::chrono::steady_clock::time_point now);
// When the run ends at the latest; time_point::max() for no deadline.
std::chrono::steady_clock::time_point Deadline(const Form1& form);

// Stops the form (Form1::Stop) when the run is to end now; true then. The
// windows ask after each tick.
bool StopIfDue(Form1& form);

// The exit status of a run that started: 4, 3 or 0.
int RunExitStatus(const Form1& form);

// What standard error says at the end of a judged run: the connections, how
// many clients reached each milestone, the unknown and short packets, each
// expectation met or not, for one not met the furthest milestone each client
// reached, the violation if any, and the exit status. Each line ends in a
// line feed.
std::string VerdictText(const Form1& form);

}  // namespace quib
