// The window mode, the same for both windows: start-up, its failure shown and
// exit status 1, the started text on standard error, the window, the unload
// step. Each window supplies its own calls.
#pragma once

#include <functional>
#include <string>

namespace quib {

class Form1;
struct ProgramOptions;

struct WindowCalls {
  // Shows why start-up failed, in a message box with an error icon; returns
  // once it is closed.
  std::function<void(const std::string& error)> ShowStartFailure;
  // Shows the window over the started `form` and runs it until it closes;
  // returns the exit status.
  std::function<int(Form1& form)> RunWindow;
  // Whether a stop signal waits for the window's loop, asked without
  // waiting during the accept delay (Form1::StopRequested); none: never.
  std::function<bool()> StopRequested;
};

// The whole program in window mode; returns the exit status.
int RunWindowMode(const ProgramOptions& options, const WindowCalls& calls);

}  // namespace quib
