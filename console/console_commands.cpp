#include "console/console_commands.h"

#include <vector>

#include "app/main_window.h"
#include "app/status_text.h"
#include "protocol/map_commands.h"
#include "startup/program_options.h"
#include "startup/start_server.h"

namespace quib {

namespace {

const char kCommandList[] =
    "map NAME, pos X Y, posx [X], posy [Y], gender female|male, hide on|off, tick MS, "
    "accept-delay MS, capture FILE|off, detail on|off, bytes [N], warp, reload, clear, show, "
    "quit";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i > start) words.emplace_back(text.substr(start, i - start));
  }
  return words;
}

ConsoleReply Refuse(std::string error) {
  ConsoleReply reply;
  reply.Error = std::move(error);
  return reply;
}

// posx / posy: one box, digits only; no argument empties it.
ConsoleReply SetPosition(TextBox& box, const std::string& command,
                         const std::vector<std::string>& args) {
  if (args.size() > 1) return Refuse(command + " takes at most one number");
  const std::string value = args.empty() ? std::string() : args[0];
  if (!AllDigits(value)) return Refuse(command + " takes digits only, not \"" + value + "\"");
  box.Type(value);
  return {};
}

// A command that takes on or off; false when `args` is neither.
bool OnOrOff(const std::vector<std::string>& args, bool& on) {
  if (args.size() != 1 || (args[0] != "on" && args[0] != "off")) return false;
  on = args[0] == "on";
  return true;
}

// After a position was typed: what Warp will use instead of what it says.
void TellCellChanges(Form1& form) {
  const std::string changes = CellChanges(form);
  if (!changes.empty()) form.Tell("Start cell: " + changes);
}

}  // namespace

ConsoleReply RunConsoleCommand(Form1& form, std::string_view line) {
  line = Trim(line);
  if (line.empty()) return {};
  const auto words = Words(line);
  const std::string& command = words[0];
  const std::vector<std::string> args(words.begin() + 1, words.end());

  if (command == "map") {
    // The rest of the line, as it would be typed into the box.
    form.Text2.Type(std::string(Trim(line.substr(command.size()))));
    return {};
  }
  if (command == "pos") {
    if (args.size() != 2) return Refuse("pos takes two numbers: pos X Y");
    for (const auto& value : args) {
      if (value.empty() || !AllDigits(value)) {
        return Refuse("pos takes digits only, not \"" + value + "\"");
      }
    }
    form.Pos[0].Type(args[0]);
    form.Pos[1].Type(args[1]);
    TellCellChanges(form);
    return {};
  }
  if (command == "posx" || command == "posy") {
    ConsoleReply reply = SetPosition(form.Pos[command == "posx" ? 0 : 1], command, args);
    if (reply.Error.empty()) TellCellChanges(form);
    return reply;
  }
  if (command == "gender") {
    if (args.size() == 1 && args[0] == "female") {
      form.Option1.Select(0);
      return {};
    }
    if (args.size() == 1 && args[0] == "male") {
      form.Option1.Select(1);
      return {};
    }
    return Refuse("gender takes female or male");
  }
  if (command == "capture") {
    const std::string path(Trim(line.substr(command.size())));
    if (path.empty()) return Refuse("capture takes a file name, or off");
    if (path == "off") {
      form.StopCapture();
      return {};
    }
    std::string error;
    if (!form.StartCapture(path, error)) return Refuse(error);
    return {};
  }
  if (command == "bytes") {
    std::int32_t count = 1;
    if (args.size() > 1 || (args.size() == 1 && !ParseNumber(args[0], kBytesCountRange, count))) {
      return Refuse("bytes takes a number of packets from " + RangeText(kBytesCountRange));
    }
    ConsoleReply reply;
    const std::size_t shown = std::min(static_cast<std::size_t>(count), form.Unknown.Count());
    if (shown == 0) reply.Info = "no unknown packet is held\n";
    for (std::size_t back = shown; back-- > 0;) {
      reply.Info += DescribeUnknownPacket(form.Unknown.Newest(back));
    }
    return reply;
  }
  if (command == "tick" || command == "accept-delay") {
    const bool tick = command == "tick";
    std::int32_t ms = 0;
    const Range range = tick ? kTickRange : kAcceptDelayRange;
    if (args.size() != 1 || !ParseNumber(args[0], range, ms)) {
      return Refuse(command + " takes milliseconds from " + RangeText(range));
    }
    (tick ? form.TickInterval : form.AcceptDelay) = std::chrono::milliseconds(ms);
    return {};
  }
  bool on = false;
  if (command == "hide") {
    if (!OnOrOff(args, on)) return Refuse("hide takes on or off");
    form.Check1.SetChecked(on);
    return {};
  }
  if (command == "detail") {
    if (!OnOrOff(args, on)) return Refuse("detail takes on or off");
    form.SetLogDetail(on);
    return {};
  }

  // The commands below take no arguments.
  const bool known = command == "warp" || command == "reload" || command == "clear" ||
                     command == "show" || command == "quit";
  if (!known) return Refuse("unknown command \"" + command + "\"; commands: " + kCommandList);
  if (!args.empty()) return Refuse(command + " takes no arguments");

  ConsoleReply reply;
  if (command == "warp") {
    form.Command3_Click();
  } else if (command == "reload") {
    form.Command4_Click();
  } else if (command == "clear") {
    form.Command2_Click();
  } else if (command == "show") {
    reply.Info = DescribeSettings(form);
  } else {
    reply.Quit = true;
  }
  return reply;
}

std::string DescribeSettings(const Form1& form) {
  const WarpTarget target = WarpTargetOf(form);
  std::string position = std::to_string(target.X) + " " + std::to_string(target.Y);
  if (!CellChanges(form).empty()) {
    position += " (typed " + form.Pos[0].Text() + " " + form.Pos[1].Text() + "; cells are " +
                RangeText(kCellRange) + ")";
  }
  const ConnectionCounts counts = CountConnections(form);
  std::string text;
  text += "map: " + form.Text2.Text() + "\n";
  text += "position: " + position + "\n";
  text += std::string("gender: ") + (form.Option1.Selected() == 0 ? "female" : "male") + "\n";
  text += std::string("hide unknown packets: ") + (form.Check1.Checked() ? "on" : "off") + "\n";
  text += std::string("log detail: ") + (form.LogDetail.Checked() ? "on" : "off") + "\n";
  text += "connections: " + std::to_string(counts.Open) + "\n";
  text += "in the map: " + std::to_string(counts.InMap) + "\n";
  if (form.LoginServer.Socket != kInvalidSocket) {
    text += "listening: " + ListeningAddress(form) + "\n";
  }
  text += "tick: " + std::to_string(form.TickInterval.count()) + " ms\n";
  text += "accept delay: " + std::to_string(form.AcceptDelay.count()) + " ms\n";
  text += "capture: " + (form.Capture.IsOpen() ? form.Capture.Path() : std::string("off")) + "\n";
  return text;
}

}  // namespace quib
