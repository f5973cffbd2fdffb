// The console: the server without a window. The log goes to standard output,
// one line per entry; standard input takes the operator's commands, one per
// line; everything else is said on standard error.
#pragma once

#include <chrono>
#include <cstdio>
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

// What arrived on the input, split into command lines.
struct InputLines {
  std::string Pending;      // a partial line waiting for the rest
  bool Discarding = false;  // inside a line too long to run
};

// Runs every complete line of `input.Pending`; a partial line waits for the
// rest, and a line too long to run is refused. Errors and "show" go to
// `messages`. True when a command asked to quit.
bool RunInputLines(Form1& form, InputLines& input, std::FILE* messages);

// Runs PollConnections when the tick at `nextTick` is due and sets the next.
// Ticks keep to a fixed rhythm however often a loop wakes; a tick held up (by
// an accept's wait) is run once, not caught up.
void TickIfDue(Form1& form, std::chrono::steady_clock::time_point& nextTick);

struct ConsoleStreams {
  int Input = 0;                 // commands; -1 when there are none
  std::FILE* Log = stdout;       // the log lines, and nothing else
  std::FILE* Messages = stderr;  // errors and "show"
};

// The event loop of a loaded Form1 (Linux; console_loop_win32.h on Windows): accepts connections
// when the listening socket is readable, polls every connection each 250 ms, and reads commands.
// Returns 0 after the unload step, when `stopFd` becomes readable (a stop
// signal) or on "quit". The end of the input stops the commands only.
int RunConsole(Form1& form, int stopFd, const ConsoleStreams& streams = {});

}  // namespace quib
