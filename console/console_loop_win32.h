// The console on Windows: start-up, the loop, the unload step.
#pragma once

namespace quib {

struct ProgramOptions;

// Starts the server and runs it in the console until "quit", Ctrl+C,
// Ctrl+Break or the console's closing. Returns the exit status: 0, or 1 when
// start-up failed.
int RunConsoleMode(const ProgramOptions& options);

}  // namespace quib
