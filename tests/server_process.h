// A quib-server child process for the tests and the benchmarks: started with
// arguments and pipes for its standard streams, always killed and reaped in
// the end.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quib::test {

// No wait before an accept and a tick of 10 ms: the road in well under a
// second.
inline const std::vector<std::string> kFastCadence{"--accept-delay", "0", "--tick", "10"};

class ServerProcess {
 public:
  ServerProcess() = default;
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  ~ServerProcess();  // kills the server if it still runs, and reaps it

  // Environment changes for the child: a value sets the variable, nullopt
  // removes it. Everything else is inherited.
  using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

  // Starts the server binary with `args`. False when it could not be spawned.
  bool Start(const std::vector<std::string>& args, const EnvironmentChanges& environment = {});

  // Waits for "Quib-Server listening on ADDRESS:PORT" on standard error and
  // returns PORT, or -1 when the line does not come in time.
  std::int32_t WaitForListening(int timeoutMs = 5000);

  // Start and WaitForListening of the server in the console on a free port,
  // with `extra` arguments (kFastCadence, say). -1 when it does not listen.
  std::int32_t StartConsole(const std::vector<std::string>& extra = {});

  // The next line the server writes to standard output (without its line
  // feed), or nullopt when none comes in time or the output ended.
  std::optional<std::string> ReadLine(int timeoutMs = 2000);

  // True once standard error holds `text` (at `from` or after), waiting up
  // to `timeoutMs`.
  bool WaitForError(const std::string& text, int timeoutMs = 2000, std::size_t from = 0);

  // Everything read from standard error so far, and standard output not yet
  // taken by ReadLine.
  const std::string& ErrorText() const { return stderr_; }
  const std::string& PendingOutput() const { return stdout_; }

  // Writes one command line (a line feed is added). False when the input is
  // closed.
  bool WriteLine(const std::string& line);
  void CloseInput();

  bool Signal(int signal);

  // Waits for the server to end and returns its exit code, 128 + the signal
  // when a signal ended it, or nullopt when it still runs after `timeoutMs`.
  std::optional<int> Wait(int timeoutMs = 5000);

  // The first of StopSignals, then Wait; a server that does not end in time is
  // killed and nullopt returned.
  std::optional<int> Stop(int timeoutMs = 5000);

  // The signals that stop the server with its unload step: SIGTERM and SIGINT
  // for the Linux program; SIGINT alone for the Windows one, which Wine turns
  // into Ctrl+C (SIGTERM ends a Wine process outright).
  static std::vector<int> StopSignals();

  // True when the server is the Windows program (QUIB_SERVER_BINARY names an
  // .exe, run under Wine).
  static bool IsWindowsProgram();

  pid_t Pid() const { return pid_; }

  // Set before Start: another binary than the server this build made, one
  // copied or installed elsewhere (QUIB_SERVER_BINARY is then not read).
  std::string Binary;
  // Set before Start: standard streams (0 to 2) the server starts without,
  // and a small capacity for the pipe of its standard output (0: default).
  std::vector<int> ClosedStreams;
  int OutputPipeSize = 0;
  // Set before Start: a terminal given as standard input and output, one
  // file description as a shell gives it (-1: pipes); and words ahead of the
  // binary and any QUIB_SERVER_WRAPPER (a program that drops a privilege).
  int Terminal = -1;
  std::vector<std::string> Wrapper;
  // While paused, nothing is read from the server's standard output (or
  // standard error), as with a pager that waits.
  void PauseOutput(bool paused) { outputPaused_ = paused; }
  void PauseErrors(bool paused) { errorsPaused_ = paused; }

 private:
  // Reads whatever the server has written, waiting up to `timeoutMs` for the
  // first byte. False when both streams have ended.
  bool Pump(int timeoutMs);
  void Reap(int timeoutMs);

  bool outputPaused_ = false;
  bool errorsPaused_ = false;
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  int error_ = -1;
  std::optional<int> exitCode_;
  std::string stdout_;
  std::string stderr_;
};

}  // namespace quib::test
