// The one place that decides between the window and the console.
#pragma once

#include <string>

#include "platform/os.h"

namespace quib {

struct ProgramOptions;

enum class RunMode {
  kWindow,
  kConsole,
};

struct RunChoice {
  RunMode Mode = RunMode::kConsole;
  // Why the console runs where a window was wanted, for standard error;
  // empty when the choice is the one asked for.
  std::string Notice;
};

// --headless asks for the console; otherwise the window, when the program has
// one and `display` can show it.
RunChoice ChooseRunMode(const ProgramOptions& options, bool windowBuilt, const Display& display);

}  // namespace quib
