#include "app/verdict.h"

#include <charconv>

#include "app/log_detail.h"
#include "app/main_window.h"
#include "journal/journal_lines.h"
#include "protocol/packet_log.h"

namespace quib {

namespace {

constexpr Milestone kExpectable[] = {Milestone::kLogin, Milestone::kCharacters, Milestone::kSelect,
                                     Milestone::kMap, Milestone::kLoaded};
constexpr std::uint64_t kMostClients = 1000000;
constexpr std::size_t kFurthestShown = 20;

std::string Plural(std::uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string ExpectationText(const Expectation& expectation) {
  std::string text(MilestoneName(expectation.Step));
  if (expectation.Clients != 1) text.append(1, '=').append(std::to_string(expectation.Clients));
  return text;
}

std::string FurthestText(const RunSummary& summary) {
  std::string text = "Furthest each client reached:";
  const auto& all = summary.FurthestReached;
  for (std::size_t i = 0; i < all.size() && i < kFurthestShown; ++i) {
    text += i == 0 ? " " : ", ";
    text += ConnectionText(all[i].Conversation, all[i].Peer);
    text += ' ';
    text += all[i].Reached ? std::string(MilestoneName(all[i].Step)) : "nothing";
  }
  if (all.empty()) text += " no client connected";
  if (summary.Connections > kFurthestShown) {
    text += ", and " + std::to_string(summary.Connections - kFurthestShown) + " more";
  }
  return text + "\n";
}

}  // namespace

std::optional<Milestone> MilestoneNamed(std::string_view name) {
  for (const Milestone step : kExpectable) {
    if (MilestoneName(step) == name) return step;
  }
  return std::nullopt;
}

std::string ExpectableMilestones() {
  std::string text;
  for (std::size_t i = 0; i < std::size(kExpectable); ++i) {
    if (i > 0) text += i + 1 == std::size(kExpectable) ? " or " : ", ";
    text += MilestoneName(kExpectable[i]);
  }
  return text;
}

bool ParseExpectation(std::string_view text, Expectation& expectation) {
  const std::size_t equals = text.find('=');
  const auto step = MilestoneNamed(text.substr(0, equals));
  if (!step) return false;
  std::uint64_t clients = 1;
  if (equals != std::string_view::npos) {
    const std::string_view number = text.substr(equals + 1);
    const auto [end, error] =
        std::from_chars(number.data(), number.data() + number.size(), clients);
    if (number.empty() || number[0] == '+' || error != std::errc() ||
        end != number.data() + number.size() || clients < 1 || clients > kMostClients) {
      return false;
    }
  }
  expectation = {.Step = *step, .Clients = clients};
  return true;
}

bool ExpectationMet(const RunSummary& summary, const Expectation& expectation) {
  return summary.ReachedCount(expectation.Step) >= expectation.Clients;
}

bool EveryExpectationMet(const RunSummary& summary, const VerdictRules& rules) {
  for (const Expectation& expectation : rules.Expected) {
    if (!ExpectationMet(summary, expectation)) return false;
  }
  return true;
}

void JudgeEvent(Form1& form, const ConnectionEvent& event) {
  if (!form.Rules.Strict || !form.Violation.empty() || !Takes(kJudgedKinds, event.Kind)) return;
  form.Violation = DesignedLine(event);
  if (event.Connection != nullptr) {
    form.Violation.insert(0, ConnectionText(*event.Connection) + " ");
  }
}

std::chrono::steady_clock::time_point Deadline(const Form1& form) {
  if (form.Rules.Within.count() <= 0) return std::chrono::steady_clock::time_point::max();
  return form.Started + form.Rules.Within;
}

std::string_view EndDue(const Form1& form, std::chrono::steady_clock::time_point now) {
  if (!form.Violation.empty()) return "violation";
  if (form.Rules.UntilMet && EveryExpectationMet(form.Summary, form.Rules)) {
    return "expectations-met";
  }
  if (now >= Deadline(form)) return "deadline";
  return {};
}

bool StopIfDue(Form1& form) {
  const std::string_view why = EndDue(form, std::chrono::steady_clock::now());
  if (why.empty()) return false;
  form.Stop(why);
  return true;
}

int RunExitStatus(const Form1& form) {
  if (!form.Violation.empty()) return kExitViolation;
  return EveryExpectationMet(form.Summary, form.Rules) ? kExitMet : kExitNotMet;
}

std::string VerdictText(const Form1& form) {
  const RunSummary& summary = form.Summary;
  std::string text = "Summary: " + Plural(summary.Connections, "connection", "connections") + ";";
  for (std::size_t i = 0; i < std::size(kExpectable); ++i) {
    text += i == 0 ? " " : ", ";
    text += std::string(MilestoneName(kExpectable[i])) + " " +
            std::to_string(summary.ReachedCount(kExpectable[i]));
  }
  text += "; " + Plural(summary.UnknownPackets, "unknown packet", "unknown packets") + ", " +
          Plural(summary.ShortPackets, "short packet", "short packets") + "\n";
  bool anyNotMet = false;
  for (const Expectation& expectation : form.Rules.Expected) {
    const bool met = ExpectationMet(summary, expectation);
    anyNotMet = anyNotMet || !met;
    text += "Expected " + ExpectationText(expectation) + ": " + (met ? "met" : "not met") + " (" +
            std::to_string(summary.ReachedCount(expectation.Step)) + " of " +
            std::to_string(expectation.Clients) + ")\n";
  }
  if (anyNotMet) text += FurthestText(summary);
  if (!form.Violation.empty()) text += "Violation: " + form.Violation + "\n";
  const int status = RunExitStatus(form);
  for (const ExitStatusRow& row : kExitStatuses) {
    if (row.Status == status) text += "Exit status " + std::to_string(status) + ": " + row.Meaning;
  }
  return text + "\n";
}

}  // namespace quib
