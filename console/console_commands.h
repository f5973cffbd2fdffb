// The console's commands: the operator's form of the window's controls, one
// command per line.
#pragma once

#include <string>
#include <string_view>

namespace quib {

class Form1;

struct ConsoleReply {
  bool Quit = false;
  std::string Error;  // non-empty when the command was refused; nothing changed
  std::string Info;   // what "show" prints
};

// Runs one command line against the window's controls, as a user would set
// them: no sockets are touched except by warp and reload.
ConsoleReply RunConsoleCommand(Form1& form, std::string_view line);

// The current settings, one per line.
std::string DescribeSettings(const Form1& form);

}  // namespace quib
