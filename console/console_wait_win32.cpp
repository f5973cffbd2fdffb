// The console's waiting on Windows: one select on sockets, never on window
// messages (without a display there may be no window at all; Wine then makes
// none). What would block the loop runs on helper threads that touch nothing
// of the server and talk to the loop through loopback sockets:
// - the input's reader hands whole command lines to the loop: a console or a
//   pipe cannot be waited on with select;
// - one mover for standard output and one for standard error only move bytes
//   from their channel to the stream. They stay because WriteFile on a
//   console or a pipe waits until the reader takes the bytes, and neither has
//   a write that does not (an overlapped write needs a handle opened for it,
//   which an inherited standard handle is not). The loop's sends into a
//   channel never wait: a reader that stops holds up its mover only.
// Ctrl+C, Ctrl+Break and the console's closing come over a socket as well,
// from the handler Windows calls on a thread of its own.
#include <winsock2.h>

#include <windows.h>

#include <io.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "console/console_session.h"
#include "console/console_wait.h"
#include "net/loopback_channel.h"

namespace quib {

namespace {

// A channel holds no more than a pipe would: what a stalled reader has not
// taken waits in the session's queue, within its bound.
constexpr int kChannelBuffer = 64 << 10;

bool SendAll(SOCKET socket, const char* bytes, std::size_t count) {
  while (count > 0) {
    const int n = ::send(socket, bytes, static_cast<int>(count), 0);
    if (n <= 0) return false;
    bytes += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

HANDLE StreamHandle(int fd) {
  return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

struct Reader {
  LoopbackChannel Lines;
  HANDLE Input = INVALID_HANDLE_VALUE;
  bool Started = false;  // the thread runs and owns the far end
  bool Open = false;     // the loop still takes lines
};

// The input, a console or a pipe, line by line to the loop; its end closes
// the channel.
DWORD WINAPI ReadInput(void* context) {
  const Reader& reader = *static_cast<Reader*>(context);
  const SOCKET loop = reader.Lines.Far;
  std::string pending;
  char chunk[4096];
  DWORD n = 0;
  while (::ReadFile(reader.Input, chunk, sizeof chunk, &n, nullptr) && n > 0) {
    pending.append(chunk, n);
    // Past the longest line it hands over what it has: the loop refuses it.
    const auto end = pending.size() > kMaxCommandLine ? pending.size() - 1 : pending.rfind('\n');
    if (end == std::string::npos) continue;
    if (!SendAll(loop, pending.data(), end + 1)) {
      pending.clear();  // the loop has gone
      break;
    }
    pending.erase(0, end + 1);
  }
  // A last line without its line feed still counts.
  if (!pending.empty()) SendAll(loop, pending.data(), pending.size());
  ::shutdown(loop, SD_SEND);
  ::closesocket(loop);
  return 0;
}

struct Mover {
  LoopbackChannel Bytes;
  HANDLE Output = INVALID_HANDLE_VALUE;
  bool Running = false;                 // the thread runs and owns the far end
  std::atomic<std::uint64_t> Moved{0};  // for the wait at the end only
};

// The bytes from the loop to the stream, until the loop shuts the channel
// or the stream's reader is gone (the loop then hears of it).
DWORD WINAPI MoveBytes(void* context) {
  Mover& mover = *static_cast<Mover*>(context);
  char chunk[4096];
  int n;
  while ((n = ::recv(mover.Bytes.Far, chunk, sizeof chunk, 0)) > 0) {
    DWORD written = 0;
    for (int at = 0; at < n; at += static_cast<int>(written)) {
      if (!::WriteFile(mover.Output, chunk + at, static_cast<DWORD>(n - at), &written, nullptr) ||
          written == 0) {
        ::closesocket(mover.Bytes.Far);
        return 0;
      }
      mover.Moved += written;
    }
  }
  ::closesocket(mover.Bytes.Far);
  return 0;
}

bool StartThread(LPTHREAD_START_ROUTINE routine, void* context, HANDLE* thread = nullptr) {
  const HANDLE started = ::CreateThread(nullptr, 0, routine, context, 0, nullptr);
  if (started == nullptr) return false;
  if (thread != nullptr) {
    *thread = started;
  } else {
    ::CloseHandle(started);
  }
  return true;
}

// The stop channel's far end while a console session runs, and the event set
// once its unload step is done. Windows calls the handler on a thread of its
// own, registered for the session only.
std::atomic<SOCKET> g_stop{INVALID_SOCKET};
HANDLE g_unloaded = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const SOCKET stop = g_stop.load();
  if (stop != INVALID_SOCKET) ::send(stop, "s", 1, 0);
  // Windows ends the process once this returns for a closing console, a
  // logoff or a shutdown: let the unload step run first.
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) ::WaitForSingleObject(g_unloaded, 4000);
  return TRUE;
}

SOCKET Native(SocketHandle socket) {
  return static_cast<SOCKET>(static_cast<std::uint32_t>(socket));
}

}  // namespace

struct ConsoleWaiter::State {
  bool Started = false;   // Windows Sockets, for the channels
  bool Handling = false;  // OnConsoleEvent is registered
  bool WantsInput = false;
  LoopbackChannel Stop;
  Reader Input;
  Mover Log;
  Mover Messages;
  HANDLE Threads[2] = {nullptr, nullptr};  // the movers'
};

namespace {

bool StartMover(Mover& mover, HANDLE* thread) {
  u_long nonBlocking = 1;
  const int size = kChannelBuffer;
  const char* value = reinterpret_cast<const char*>(&size);
  if (!OpenLoopbackChannel(mover.Bytes) ||
      ::ioctlsocket(mover.Bytes.Near, static_cast<long>(FIONBIO), &nonBlocking) != 0) {
    return false;
  }
  ::setsockopt(mover.Bytes.Near, SOL_SOCKET, SO_SNDBUF, value, sizeof size);
  ::setsockopt(mover.Bytes.Far, SOL_SOCKET, SO_RCVBUF, value, sizeof size);
  mover.Running = StartThread(MoveBytes, &mover, thread);
  return mover.Running;
}

// A stream without its mover is written as stdio would, waiting.
long WriteDirect(HANDLE output, const char* bytes, std::size_t count) {
  DWORD written = 0;
  const auto chunk = static_cast<DWORD>(std::min<std::size_t>(count, 1 << 16));
  if (!::WriteFile(output, bytes, chunk, &written, nullptr) || written == 0) return -1;
  return static_cast<long>(written);
}

long Write(Mover& mover, const char* bytes, std::size_t count) {
  if (!mover.Running) return WriteDirect(mover.Output, bytes, count);
  const int n =
      ::send(mover.Bytes.Near, bytes, static_cast<int>(std::min<std::size_t>(count, 1 << 16)), 0);
  if (n >= 0) return n;
  return ::WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

void CloseSocket(SOCKET& socket) {
  if (socket != INVALID_SOCKET) ::closesocket(socket);
  socket = INVALID_SOCKET;
}

}  // namespace

ConsoleWaiter::ConsoleWaiter(const ConsoleStreams& streams) : state_(std::make_unique<State>()) {
  State& state = *state_;
  std::fflush(streams.Log);
  std::fflush(streams.Messages);
  state.Log.Output = StreamHandle(::_fileno(streams.Log));
  state.Messages.Output = StreamHandle(::_fileno(streams.Messages));
  state.Input.Input = StreamHandle(streams.Input);

  WSADATA data{};
  state.Started = ::WSAStartup(MAKEWORD(1, 1), &data) == 0;
  if (!state.Started || !OpenLoopbackChannel(state.Stop)) return;
  // One event for the process, unset while a session runs.
  if (g_unloaded == nullptr) {
    g_unloaded = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  } else {
    ::ResetEvent(g_unloaded);
  }
  g_stop = state.Stop.Far;
  state.Handling = ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
  state.WantsInput = streams.Input >= 0;
  if (state.WantsInput && OpenLoopbackChannel(state.Input.Lines)) {
    state.Input.Started = StartThread(ReadInput, &state.Input);
    state.Input.Open = state.Input.Started;
  }
  StartMover(state.Log, &state.Threads[0]);
  StartMover(state.Messages, &state.Threads[1]);
}

ConsoleWaiter::~ConsoleWaiter() {
  State& state = *state_;
  // The session is over: no handler of it is called again, and one that
  // waits for the unload step (done by now) returns.
  if (state.Handling) ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  g_stop = INVALID_SOCKET;
  if (g_unloaded != nullptr) ::SetEvent(g_unloaded);
  CloseLoopbackChannel(state.Stop);
  for (SOCKET* end : {&state.Input.Lines.Near, &state.Log.Bytes.Near, &state.Messages.Bytes.Near}) {
    CloseSocket(*end);
  }
  // A helper that runs owns its far end.
  if (!state.Input.Started) CloseSocket(state.Input.Lines.Far);
  if (!state.Log.Running) CloseSocket(state.Log.Bytes.Far);
  if (!state.Messages.Running) CloseSocket(state.Messages.Bytes.Far);
  for (HANDLE thread : state.Threads) {
    if (thread != nullptr) ::CloseHandle(thread);
  }
  if (state.Started) ::WSACleanup();
}

bool ConsoleWaiter::IsSetUp() const {
  const State& state = *state_;
  return state.Stop.Near != INVALID_SOCKET && (!state.WantsInput || state.Input.Started) &&
         state.Log.Running && state.Messages.Running;
}

bool ConsoleWaiter::Wait(const ConsoleWait& wait, ConsoleReady& ready) {
  State& state = *state_;
  const auto left =
      std::chrono::ceil<std::chrono::microseconds>(wait.Until - std::chrono::steady_clock::now());
  const long long micros = std::max<long long>(0, left.count());
  timeval timeout{static_cast<long>(micros / 1000000), static_cast<long>(micros % 1000000)};
  fd_set readable;
  fd_set writable;
  FD_ZERO(&readable);
  FD_ZERO(&writable);
  const bool stop = wait.Stop && state.Stop.Near != INVALID_SOCKET;
  const bool input = wait.Input && state.Input.Open;
  if (stop) FD_SET(state.Stop.Near, &readable);
  if (wait.Listener != kInvalidSocket) FD_SET(Native(wait.Listener), &readable);
  if (input) FD_SET(state.Input.Lines.Near, &readable);
  if (wait.Log && state.Log.Running) FD_SET(state.Log.Bytes.Near, &writable);
  if (wait.Messages && state.Messages.Running) FD_SET(state.Messages.Bytes.Near, &writable);
  if (readable.fd_count == 0 && writable.fd_count == 0) {
    // select takes no empty sets: only the time is waited for.
    ::Sleep(static_cast<DWORD>((micros + 999) / 1000));
    return true;
  }
  const int count = ::select(0, &readable, &writable, nullptr, &timeout);
  if (count == SOCKET_ERROR) return false;
  if (count == 0) return true;
  ready.Stop = stop && FD_ISSET(state.Stop.Near, &readable);
  ready.Listener = wait.Listener != kInvalidSocket && FD_ISSET(Native(wait.Listener), &readable);
  if (input && FD_ISSET(state.Input.Lines.Near, &readable)) {
    char chunk[4096];
    const int n = ::recv(state.Input.Lines.Near, chunk, sizeof chunk, 0);
    if (n > 0) {
      ready.Input.assign(chunk, static_cast<std::size_t>(n));
    } else {
      ready.InputEnded = true;
      state.Input.Open = false;  // the reader has ended
    }
  }
  return true;
}

bool ConsoleWaiter::StopRequested() const {
  const SOCKET stop = state_->Stop.Near;
  if (stop == INVALID_SOCKET) return false;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(stop, &readable);
  timeval now{0, 0};
  return ::select(0, &readable, nullptr, nullptr, &now) > 0;
}

long ConsoleWaiter::WriteLog(const char* bytes, std::size_t count) {
  return Write(state_->Log, bytes, count);
}

long ConsoleWaiter::WriteMessages(const char* bytes, std::size_t count) {
  return Write(state_->Messages, bytes, count);
}

void ConsoleWaiter::Close(const ConsoleEnd& end) {
  State& state = *state_;
  for (Mover* mover : {&state.Log, &state.Messages}) {
    if (mover->Running) ::shutdown(mover->Bytes.Near, SD_SEND);
  }
  // Each mover writes what its channel holds: waited for while its reader
  // takes bytes, and no longer. One the session gave up on is not waited for.
  HANDLE threads[2];
  DWORD count = 0;
  if (end.Log && state.Threads[0] != nullptr) threads[count++] = state.Threads[0];
  if (end.Messages && state.Threads[1] != nullptr) threads[count++] = state.Threads[1];
  std::uint64_t moved = state.Log.Moved + state.Messages.Moved;
  while (count > 0 &&
         ::WaitForMultipleObjects(count, threads, TRUE,
                                  static_cast<DWORD>(kStalledOutput.count())) == WAIT_TIMEOUT) {
    const std::uint64_t now = state.Log.Moved + state.Messages.Moved;
    if (now == moved || std::chrono::steady_clock::now() >= end.By) break;
    moved = now;
  }
}

}  // namespace quib
