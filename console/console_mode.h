// The server without a window, for both mains: start-up, then the console
// session until "quit" or a stop request, then the unload step.
#pragma once

#include "console/console_wait.h"

namespace quib {

class Form1;
struct ProgramOptions;

// Starts the server with `options` and runs it in the console. Returns the
// exit status: 0, or 1 when start-up failed (said on standard error).
int RunConsoleMode(const ProgramOptions& options, const ConsoleStreams& streams = {});

// Runs a loaded `form` in the console: accepts connections when the
// listening socket is readable, polls every connection each tick, and reads
// commands. Returns 0 after the unload step, which comes on a stop request
// or "quit", once the log and the messages have gone out. The end of the
// input stops the commands only.
int RunConsole(Form1& form, const ConsoleStreams& streams = {});

}  // namespace quib
