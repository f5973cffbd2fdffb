#include "startup/console_commands.h"

#include <algorithm>

#include "app/connection_actions.h"
#include "app/connection_rows.h"
#include "app/log_text.h"
#include "app/main_window.h"
#include "app/status_text.h"
#include "protocol/map_commands.h"
#include "startup/program_options.h"

namespace quib {

namespace {

// The column where help starts, as in the options of --help.
constexpr std::size_t kHelpColumn = 18;

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

// --- The commands, each as the table calls it ----------------------------------

// "(empty)" for an empty box, its text otherwise.
std::string Shown(const std::string& text) { return text.empty() ? "(empty)" : text; }

ConsoleReply RunMap(Form1& form, const CommandLine& line) {
  // A NUL would end the name early on the client's side, and in every text
  // that shows it.
  if (line.Rest.find('\0') != std::string::npos) return Refuse("map takes no NUL character");
  // The rest of the line, as it would be typed into the box; a name cut to
  // fit is told as such.
  form.Text2.Type(line.Rest);
  if (form.Text2.Text() == line.Rest) form.Tell("Map name: " + Shown(line.Rest));
  return {};
}

ConsoleReply RunPos(Form1& form, const CommandLine& line) {
  if (line.Args.size() != 2) return Refuse("pos takes two numbers: pos X Y");
  for (const auto& value : line.Args) {
    if (value.empty() || !AllDigits(value)) {
      return Refuse("pos takes digits only, not \"" + value + "\"");
    }
  }
  form.Pos[0].Type(line.Args[0]);
  form.Pos[1].Type(line.Args[1]);
  TellCellChanges(form);
  return {};
}

// posx / posy: one box, digits only; no argument empties it.
ConsoleReply RunPosXOrY(Form1& form, const CommandLine& line) {
  if (line.Args.size() > 1) return Refuse(line.Command + " takes at most one number");
  const std::string value = line.Args.empty() ? std::string() : line.Args[0];
  if (!AllDigits(value)) return Refuse(line.Command + " takes digits only, not \"" + value + "\"");
  form.Pos[line.Command == "posx" ? 0 : 1].Type(value);
  TellCellChanges(form);
  return {};
}

ConsoleReply RunGender(Form1& form, const CommandLine& line) {
  if (line.Args.size() != 1 || (line.Args[0] != "female" && line.Args[0] != "male")) {
    return Refuse("gender takes female or male");
  }
  form.Option1.Select(line.Args[0] == "female" ? 0 : 1);
  form.Tell("Gender: " + line.Args[0]);
  return {};
}

ConsoleReply RunHide(Form1& form, const CommandLine& line) {
  bool on = false;
  if (!OnOrOff(line.Args, on)) return Refuse("hide takes on or off");
  form.Check1.SetChecked(on);
  form.Tell(std::string("Hide Unknown Packets: ") + (on ? "on" : "off"));
  return {};
}

// tick / accept-delay: milliseconds within the range of the one it sets.
ConsoleReply RunCadence(Form1& form, const CommandLine& line) {
  const bool tick = line.Command == "tick";
  std::int32_t ms = 0;
  const Range range = tick ? kTickRange : kAcceptDelayRange;
  if (line.Args.size() != 1 || !ParseNumber(line.Args[0], range, ms)) {
    return Refuse(line.Command + " takes milliseconds from " + RangeText(range));
  }
  if (tick) {
    form.SetTickInterval(std::chrono::milliseconds(ms));
  } else {
    form.SetAcceptDelay(std::chrono::milliseconds(ms));
  }
  return {};
}

// capture / journal: FILE starts writing to it, off stops what `running`
// says runs, or says `none`.
ConsoleReply RunFileCommand(Form1& form, const CommandLine& line, bool running, const char* none,
                            bool (Form1::*start)(const std::string&, std::string&),
                            void (Form1::*stop)()) {
  if (line.Rest.empty()) return Refuse(line.Command + " takes a file name, or off");
  if (line.Rest == "off") {
    if (running) {
      (form.*stop)();
    } else {
      form.Tell(none);
    }
    return {};
  }
  std::string error;
  if (!(form.*start)(line.Rest, error)) return Refuse(error);
  return {};
}

ConsoleReply RunCapture(Form1& form, const CommandLine& line) {
  return RunFileCommand(form, line, form.Capture.IsOpen(), "No capture runs", &Form1::StartCapture,
                        &Form1::StopCapture);
}

ConsoleReply RunJournal(Form1& form, const CommandLine& line) {
  return RunFileCommand(form, line, form.Journal.IsOpen(), "No journal runs", &Form1::StartJournal,
                        &Form1::StopJournal);
}

ConsoleReply RunFault(Form1& form, const CommandLine& line) {
  if (!line.Args.empty() && line.Args[0] == "clear") {
    std::int32_t number = 0;
    if (line.Args.size() > 2 ||
        (line.Args.size() == 2 && !ParseNumber(line.Args[1], Range{1, 1000000}, number))) {
      return Refuse("fault clear takes a fault's number, or nothing for every fault");
    }
    form.ClearFault(static_cast<std::uint32_t>(number));
    return {};
  }
  std::string error;
  if (line.Args.size() != 1 || !form.AddFault(line.Args[0], error)) {
    return Refuse(error.empty() ? "fault takes a SPEC (slice:7, delay:300,reply=0x0073...) or "
                                  "clear [N]"
                                : error);
  }
  return {};
}

ConsoleReply RunFaults(Form1& form, const CommandLine&) {
  ConsoleReply reply;
  reply.Info = DescribeFaults(form.Faults);
  return reply;
}

ConsoleReply RunDetail(Form1& form, const CommandLine& line) {
  bool on = false;
  if (!OnOrOff(line.Args, on)) return Refuse("detail takes on or off");
  form.SetLogDetail(on);
  return {};
}

ConsoleReply RunPackets(Form1& form, const CommandLine& line) {
  bool on = false;
  if (!OnOrOff(line.Args, on)) return Refuse("packets takes on or off");
  form.SetLogPackets(on);
  return {};
}

ConsoleReply RunBytes(Form1& form, const CommandLine& line) {
  std::int32_t count = 1;
  if (line.Args.size() > 1 ||
      (line.Args.size() == 1 && !ParseNumber(line.Args[0], kBytesCountRange, count))) {
    return Refuse("bytes takes a number of packets from " + RangeText(kBytesCountRange));
  }
  ConsoleReply reply;
  reply.Info = NewestBytesText(form, static_cast<std::size_t>(count));
  return reply;
}

// What an action on one connection returned: refused when it says why.
ConsoleReply Refused(std::string error) {
  return error.empty() ? ConsoleReply{} : Refuse(std::move(error));
}

// The connection a command names first ("#3"), or false.
bool ConnectionOf(const CommandLine& line, std::uint64_t& number) {
  return !line.Args.empty() && ParseConnectionNumber(line.Args[0], number);
}

ConsoleReply RunWarp(Form1& form, const CommandLine& line) {
  if (line.Args.empty()) {
    form.Command3_Click();
    return {};
  }
  std::uint64_t number = 0;
  if (line.Args.size() != 1 || !ConnectionOf(line, number)) {
    return Refuse("warp takes a connection, #N, or nothing for every client in the map");
  }
  return Refused(WarpOne(form, number));
}

// close #N / reset #N.
ConsoleReply RunEndOne(Form1& form, const CommandLine& line) {
  std::uint64_t number = 0;
  if (line.Args.size() != 1 || !ConnectionOf(line, number)) {
    return Refuse(line.Command + " takes a connection: " + line.Command + " #N (conns lists them)");
  }
  return Refused(line.Command == "close" ? CloseOne(form, number) : ResetOne(form, number));
}

ConsoleReply RunSend(Form1& form, const CommandLine& line) {
  std::uint64_t number = 0;
  if (line.Args.size() < 2 || !ConnectionOf(line, number)) {
    return Refuse("send takes a connection and bytes: send #N HEX... (conns lists them)");
  }
  std::vector<std::uint8_t> bytes;
  std::string error;
  if (!ParseHexBytes(Trim(line.Rest).substr(line.Args[0].size()), bytes, error)) {
    return Refuse(error);
  }
  return Refused(SendInjected(form, number, bytes));
}

ConsoleReply RunConns(Form1& form, const CommandLine&) {
  ConsoleReply reply;
  reply.Info = ConnectionTableText(ConnectionRows(form, std::chrono::steady_clock::now()));
  return reply;
}

ConsoleReply RunReload(Form1& form, const CommandLine&) {
  form.Command4_Click();
  return {};
}

ConsoleReply RunClear(Form1& form, const CommandLine&) {
  form.Command2_Click();
  return {};
}

ConsoleReply RunShow(Form1& form, const CommandLine&) {
  ConsoleReply reply;
  reply.Info = DescribeSettings(form);
  return reply;
}

ConsoleReply RunHelp(Form1&, const CommandLine&) {
  ConsoleReply reply;
  reply.Info = ConsoleCommandsHelp("");
  return reply;
}

ConsoleReply RunQuit(Form1&, const CommandLine&) {
  ConsoleReply reply;
  reply.Quit = true;
  return reply;
}

const ConsoleCommand* FindCommand(const std::string& name) {
  for (const ConsoleCommand& command : ConsoleCommands()) {
    if (name == command.Name) return &command;
  }
  return nullptr;
}

// "map NAME, pos X Y, ..., quit".
std::string CommandList() {
  std::string list;
  for (const ConsoleCommand& command : ConsoleCommands()) {
    list += (list.empty() ? "" : ", ") + std::string(command.Synopsis);
  }
  return list;
}

}  // namespace

const std::vector<ConsoleCommand>& ConsoleCommands() {
  static const std::vector<ConsoleCommand> kCommands = {
      {"map", "map NAME",
       "set the map name (at most " + std::to_string(kMapNameMaxLength) + " characters)", RunMap},
      {"pos", "pos X Y",
       "set the start cell (each " + RangeText(kCellRange) + "; warp takes the nearest)", RunPos},
      {"posx", "posx [X]", "set the start cell's X (digits only; none empties it)", RunPosXOrY},
      {"posy", "posy [Y]", "set the start cell's Y (digits only; none empties it)", RunPosXOrY},
      {"gender", "gender female|male", "set the gender sent at login", RunGender},
      {"hide", "hide on|off", "hide unknown packets in the log", RunHide},
      {"tick", "tick MS", "change the tick (" + RangeText(kTickRange) + " milliseconds)",
       RunCadence},
      {"accept-delay", "accept-delay MS",
       "change the accept delay (" + RangeText(kAcceptDelayRange) + " milliseconds)", RunCadence},
      {"capture", "capture FILE|off", "start writing a capture to FILE, or stop", RunCapture},
      {"packets", "packets on|off", "add a log line for every packet taken and sent", RunPackets},
      {"fault", "fault SPEC|clear [N]",
       "set a fault on the packets sent (as --fault), or clear fault N or every one", RunFault},
      {"faults", "faults", "list the faults: each one's number, SPEC and how often it fired",
       RunFaults},
      {"journal", "journal FILE|off", "start writing the journal (JSON Lines) to FILE, or stop",
       RunJournal},
      {"detail", "detail on|off", "start each log line with the time and the connection",
       RunDetail},
      {"bytes", "bytes [N]",
       "print the bytes of the last N unknown packets or packet lines (default 1)", RunBytes},
      {"warp", "warp [#N]", "send every client in the map, or connection N, to the map and cell",
       RunWarp},
      {"reload", "reload", "force every client in the map to reload it", RunReload},
      {"conns", "conns", "print every connection: number, address, role, state, traffic", RunConns},
      {"send", "send #N HEX...",
       "send connection N the bytes as one packet (hex, spaces allowed; logged as injected)",
       RunSend},
      {"close", "close #N", "close connection N as the server closes one", RunEndOne},
      {"reset", "reset #N", "reset connection N: the client sees a reset", RunEndOne},
      {"clear", "clear", "clear the log", RunClear},
      {"show", "show", "print the current settings on standard error", RunShow},
      {"help", "help", "print these commands on standard error", RunHelp},
      {"quit", "quit", "stop the server", RunQuit},
  };
  return kCommands;
}

ConsoleReply RunConsoleCommand(Form1& form, std::string_view text) {
  text = Trim(text);
  if (text.empty()) return {};
  const auto words = Words(text);
  CommandLine line{
      words[0], {words.begin() + 1, words.end()}, std::string(Trim(text.substr(words[0].size())))};
  const ConsoleCommand* command = FindCommand(line.Command);
  if (command == nullptr) {
    return Refuse("unknown command \"" + line.Command + "\"; commands: " + CommandList());
  }
  if (line.Command == command->Synopsis && !line.Args.empty()) {
    return Refuse(line.Command + " takes no arguments");
  }
  const CommandScope running(form, command->Name);
  return command->Run(form, line);
}

std::string ConsoleCommandsHelp(std::string_view indent) {
  std::string text;
  for (const ConsoleCommand& command : ConsoleCommands()) {
    std::string synopsis = command.Synopsis;
    synopsis.resize(std::max(kHelpColumn, synopsis.size() + 2), ' ');
    text += std::string(indent) + synopsis + command.Help + "\n";
  }
  return text;
}

std::string DescribeSettings(const Form1& form) {
  const WarpTarget target = WarpTargetOf(form);
  std::string position = std::to_string(target.X) + " " + std::to_string(target.Y);
  if (!CellChanges(form).empty()) {
    position += " (typed " + Shown(form.Pos[0].Text()) + " " + Shown(form.Pos[1].Text()) +
                "; cells are " + RangeText(kCellRange) + ")";
  }
  const ConnectionCounts counts = CountConnections(form);
  std::string text;
  text += "map: " + Shown(form.Text2.Text()) + "\n";
  text += "position: " + position + "\n";
  text += std::string("gender: ") + (form.Option1.Selected() == 0 ? "female" : "male") + "\n";
  text += std::string("hide unknown packets: ") + (form.Check1.Checked() ? "on" : "off") + "\n";
  text += std::string("log detail: ") + (form.LogDetail.Checked() ? "on" : "off") + "\n";
  text += std::string("every packet: ") + (form.LogPackets.Checked() ? "on" : "off") + "\n";
  text += "connections: " + std::to_string(counts.Open) + "\n";
  text += "in the map: " + std::to_string(counts.InMap) + "\n";
  if (form.LoginServer.Socket != kInvalidSocket) {
    text += "listening: " + ListeningAddress(form) + "\n";
  }
  text += "tick: " + std::to_string(form.TickInterval.count()) + " ms\n";
  text += "accept delay: " + std::to_string(form.AcceptDelay.count()) + " ms\n";
  text += "capture: " + (form.Capture.IsOpen() ? form.Capture.Path() : std::string("off")) + "\n";
  text += "journal: " + (form.Journal.IsOpen() ? form.Journal.Path() : std::string("off")) + "\n";
  if (form.ReloadPending()) text += "reload pending\n";
  return text;
}

}  // namespace quib
