#include "startup/run_mode.h"

#include "startup/program_options.h"

namespace quib {

RunChoice ChooseRunMode(const ProgramOptions& options, bool windowBuilt, const Display& display) {
  if (options.Headless) return {RunMode::kConsole, {}};
  if (!windowBuilt) {
    return {RunMode::kConsole, "Built without the window: running in the console."};
  }
  switch (display.State) {
    case Display::Kind::kAvailable:
      return {RunMode::kWindow, {}};
    case Display::Kind::kUnreachable:
      return {RunMode::kConsole,
              "Display " + display.Name + " cannot be reached: running in the console."};
    case Display::Kind::kNone:
      break;
  }
  return {RunMode::kConsole, "No display available: running in the console."};
}

}  // namespace quib
