// The console's platform half: it waits for what the session asks, reads the
// input and takes the bytes for standard output and standard error, never
// blocking the loop. One file per platform: console_wait_posix.cpp (poll),
// console_wait_win32.cpp (select, with helper threads).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "base/settings.h"
#include "net/socket_layer.h"

namespace quib {

// Where the console's bytes come from and go to.
struct ConsoleStreams {
  int Input = 0;                 // commands; -1 when there are none
  std::FILE* Log = stdout;       // the log lines, and nothing else
  std::FILE* Messages = stderr;  // everything the console says
  // Linux: the read end of the pipe the stop signals write to (-1: none).
  // Windows takes Ctrl+C, Ctrl+Break and the console's closing itself.
  int Stop = -1;
};

// What the session waits for next.
struct ConsoleWait {
  bool Stop = false;                            // a stop request
  SocketHandle Listener = kInvalidSocket;       // a connection waiting to be accepted
  bool Input = false;                           // bytes on the input, or its end
  bool Log = false;                             // standard output taking bytes again
  bool Messages = false;                        // standard error taking bytes again
  std::chrono::steady_clock::time_point Until;  // the latest wake-up
};

// What became ready. An output that takes bytes again needs no word here:
// every step writes what waits.
struct ConsoleReady {
  bool Stop = false;
  bool Listener = false;
  std::string Input;        // what the input held
  bool InputEnded = false;  // the input ended, or cannot be read
};

// How the console ends: the outputs still waited for, until when.
struct ConsoleEnd {
  bool Log = true;
  bool Messages = true;
  std::chrono::steady_clock::time_point By;
};

// An output that takes nothing for this long is not waited for when the
// console stops: its reader keeps it waiting. The designed tick.
inline constexpr std::chrono::milliseconds kStalledOutput{kDefaultTickMs};
// However slowly the readers take it, the console ends within this of
// being stopped.
inline constexpr std::chrono::milliseconds kLastOutputLimit{2000};

class ConsoleWaiter {
 public:
  // Takes the streams for as long as it lives; flushes their stdio buffers
  // first, and gives them back as found.
  explicit ConsoleWaiter(const ConsoleStreams& streams);
  ~ConsoleWaiter();
  ConsoleWaiter(const ConsoleWaiter&) = delete;
  ConsoleWaiter& operator=(const ConsoleWaiter&) = delete;

  // False when the streams could not be taken (Windows: the helper threads'
  // channels); the writers then write as stdio would, waiting.
  bool IsSetUp() const;

  // Waits for what `wait` asks, until `wait.Until` at the latest, and says
  // in `ready` what came. False when waiting itself failed.
  bool Wait(const ConsoleWait& wait, ConsoleReady& ready);

  // True when a stop request waits, without waiting and without taking it:
  // the next Wait that asks for stops reports it.
  bool StopRequested() const;

  // Take up to `count` bytes: how many were taken, 0 when the stream would
  // have to wait, -1 when its reader is gone.
  long WriteLog(const char* bytes, std::size_t count);
  long WriteMessages(const char* bytes, std::size_t count);

  // Before the unload step: what the writers took reaches the streams that
  // `end` still waits for, as long as their readers take it (see
  // kStalledOutput) and until `end.By` at the latest; the helpers end.
  void Close(const ConsoleEnd& end);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quib
