// The Qt window is a module of its own, quib-server-window.so, loaded only
// when a window is wanted: the executable holds the core and the console and
// needs no Qt. The module holds no object of the core; it calls the core of
// the executable that loads it (which exports its symbols), so there is one
// copy of the core's state.
#pragma once

#include <string>
#include <vector>

namespace quib {
struct ProgramOptions;
}  // namespace quib

extern "C" {
// The module's one entry point, quib_run_window: the whole program in window
// mode (start-up, the window, the unload step when it closes or `stopFd`
// becomes readable). Returns the exit code.
using QuibRunWindow = int (*)(int argc, char** argv, const quib::ProgramOptions* options,
                              int stopFd);
}

namespace quib {

inline constexpr char kWindowModuleFile[] = "quib-server-window.so";
inline constexpr char kWindowEntryPoint[] = "quib_run_window";

// Where the module is looked for, in this order: beside the executable (the
// build folder), then in the install's library folder relative to it
// (../lib/<multiarch>/quib-server from /usr/bin). Empty when the executable's
// folder cannot be found.
std::vector<std::string> WindowModulePaths();

// Loads the first module of WindowModulePaths that loads and returns its
// entry point. nullptr when none does; `notice` then says so for standard
// error, in the loader's words: for each path that exists, why it did not
// load (Qt missing, say), and when none exists, that for each path.
QuibRunWindow LoadWindowModule(std::string& notice);

}  // namespace quib
