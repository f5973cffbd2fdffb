// The console's commands: the operator's form of the window's controls, one
// command per line. One table holds them, a row per command; the console's
// dispatch, its help, the unknown-command message and --help all read it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quib {

class Form1;

struct ConsoleReply {
  bool Quit = false;
  std::string Error;  // non-empty when the command was refused; nothing changed
  std::string Info;   // what show, bytes and help print
};

// One command line taken apart.
struct CommandLine {
  std::string Command;            // the first word
  std::vector<std::string> Args;  // the words after it
  std::string Rest;               // everything after the command, as typed, trimmed
};

struct ConsoleCommand {
  const char* Name;
  // The name and what it takes, as help shows it. A synopsis that is the name
  // alone is a command without arguments: the dispatch refuses any.
  const char* Synopsis;
  std::string Help;  // what it does, on one line
  ConsoleReply (*Run)(Form1& form, const CommandLine& line);
};

// The commands, in the order help and the unknown-command message list them.
const std::vector<ConsoleCommand>& ConsoleCommands();

// Runs the command line `text` against the window's controls, as a user would set
// them: no sockets are touched except by warp and reload.
ConsoleReply RunConsoleCommand(Form1& form, std::string_view text);

// Every command on a line of its own after `indent`: its synopsis, then its
// help in the column the options of --help use.
std::string ConsoleCommandsHelp(std::string_view indent);

// The current settings, one per line.
std::string DescribeSettings(const Form1& form);

}  // namespace quib
