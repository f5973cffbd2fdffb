// The console on Windows. The loop waits on sockets with select, never on
// window messages: without a display there may be no window at all (Wine
// then makes none). Threads of their own do what would block it, and touch
// nothing of the server: one reads standard input and hands complete lines to
// the loop, one writes the log to standard output; both talk to the loop
// through loopback sockets. Ctrl+C, Ctrl+Break and closing the console come
// in the same way, from the handler Windows calls on a thread of its own.
#include <winsock2.h>

#include <windows.h>

#include "console/console_loop_win32.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "app/main_window.h"
#include "console/console_commands.h"
#include "console/log_output.h"
#include "startup/program_options.h"
#include "startup/start_server.h"

namespace quib {

namespace {

// Past this the reader hands over what it has: the loop refuses the line.
constexpr std::size_t kMaxCommandLine = 4096;

// Two connected loopback sockets: the loop's end and another thread's.
struct Channel {
  SOCKET Near = INVALID_SOCKET;
  SOCKET Far = INVALID_SOCKET;
};

bool OpenChannel(Channel& channel) {
  const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, 0);
  if (listener == INVALID_SOCKET) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  bool open = ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              ::listen(listener, 1) == 0 &&
              ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  if (open) {
    channel.Far = ::socket(AF_INET, SOCK_STREAM, 0);
    open = ::connect(channel.Far, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  sockaddr_in peer{};
  sockaddr_in farEnd{};
  if (open) {
    length = sizeof peer;
    channel.Near = ::accept(listener, reinterpret_cast<sockaddr*>(&peer), &length);
    length = sizeof farEnd;
    ::getsockname(channel.Far, reinterpret_cast<sockaddr*>(&farEnd), &length);
  }
  ::closesocket(listener);
  // Another program may have connected first: only our own end will do.
  return channel.Near != INVALID_SOCKET && peer.sin_port == farEnd.sin_port;
}

bool SendAll(SOCKET socket, const char* bytes, std::size_t count) {
  while (count > 0) {
    const int n = ::send(socket, bytes, static_cast<int>(count), 0);
    if (n <= 0) return false;
    bytes += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

// Standard input, a console or a pipe, line by line to the loop; its end
// closes the channel.
DWORD WINAPI ReadInput(void* channel) {
  const SOCKET loop = reinterpret_cast<SOCKET>(channel);
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  std::string pending;
  char chunk[4096];
  DWORD n = 0;
  while (::ReadFile(input, chunk, sizeof chunk, &n, nullptr) && n > 0) {
    pending.append(chunk, n);
    const auto end = pending.size() > kMaxCommandLine ? pending.size() - 1 : pending.rfind('\n');
    if (end == std::string::npos) continue;
    if (!SendAll(loop, pending.data(), end + 1)) return 0;
    pending.erase(0, end + 1);
  }
  // A last line without its line feed still counts.
  pending += '\n';
  if (pending.size() > 1) SendAll(loop, pending.data(), pending.size());
  ::shutdown(loop, SD_SEND);
  return 0;
}

// The log from the loop to standard output, for as long as both last. A
// reader that stops holds up this thread only.
DWORD WINAPI WriteLog(void* channel) {
  const SOCKET loop = reinterpret_cast<SOCKET>(channel);
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  char chunk[4096];
  int n;
  while ((n = ::recv(loop, chunk, sizeof chunk, 0)) > 0) {
    DWORD written = 0;
    for (int at = 0; at < n; at += static_cast<int>(written)) {
      if (!::WriteFile(output, chunk + at, static_cast<DWORD>(n - at), &written, nullptr)) {
        ::closesocket(loop);  // the reader is gone: the loop hears of it
        return 0;
      }
    }
  }
  return 0;
}

SOCKET g_stop = INVALID_SOCKET;
HANDLE g_unloaded = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  ::send(g_stop, "s", 1, 0);
  // Windows ends the process once this returns for a closing console, a
  // logoff or a shutdown: let the unload step run first.
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) ::WaitForSingleObject(g_unloaded, 4000);
  return TRUE;
}

void Say(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

HANDLE StartThread(LPTHREAD_START_ROUTINE routine, SOCKET channel) {
  return ::CreateThread(nullptr, 0, routine, reinterpret_cast<void*>(channel), 0, nullptr);
}

}  // namespace

int RunConsoleMode(const ProgramOptions& options) {
  // The streams carry the same bytes as on Linux: lines end in a line feed.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);

  Form1 form;
  std::string error;
  if (!StartServer(form, options, error)) {
    Say(error + "\n");
    return 1;
  }
  Say(StartedText(form));

  Channel input;
  Channel stop;
  Channel logChannel;
  u_long nonBlocking = 1;
  if (!OpenChannel(input) || !OpenChannel(stop) || !OpenChannel(logChannel) ||
      ::ioctlsocket(logChannel.Near, static_cast<long>(FIONBIO), &nonBlocking) != 0) {
    Say("The console cannot be set up.\n");
    form.Unload();
    return 1;
  }
  g_stop = stop.Far;
  g_unloaded = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  if (const HANDLE reader = StartThread(ReadInput, input.Far)) ::CloseHandle(reader);
  const HANDLE writer = StartThread(WriteLog, logChannel.Far);

  LogOutput log;
  const LogOutput::Writer write = [&logChannel](const char* bytes, std::size_t count) -> long {
    const int n =
        ::send(logChannel.Near, bytes, static_cast<int>(std::min<std::size_t>(count, 1 << 16)), 0);
    if (n >= 0) return n;
    return ::WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
  };
  const auto flushLog = [&] {
    log.Flush(write);
    if (const std::uint64_t dropped = log.TakeDroppedNotice()) {
      Say(std::to_string(dropped) +
          " log lines were dropped while standard output was not being read\n");
    }
  };
  form.List1.OnAppend = [&log](const std::string& line) { log.Append(line); };
  form.OnCaptureStopped = [](const std::string& why) { Say("Capture stopped: " + why + "\n"); };

  using Clock = std::chrono::steady_clock;
  auto nextTick = Clock::now() + form.TickInterval;
  const auto listener = static_cast<SOCKET>(form.LoginServer.Socket);
  bool inputOpen = true;
  InputLines lines;
  bool quit = false;
  while (!quit) {
    const auto wait = std::chrono::ceil<std::chrono::microseconds>(nextTick - Clock::now());
    const long long micros = std::max<long long>(0, wait.count());
    timeval timeout{static_cast<long>(micros / 1000000), static_cast<long>(micros % 1000000)};
    fd_set readable;
    fd_set writable;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_SET(stop.Near, &readable);
    FD_SET(listener, &readable);
    if (inputOpen) FD_SET(input.Near, &readable);
    if (log.Pending()) FD_SET(logChannel.Near, &writable);
    const int ready = ::select(0, &readable, &writable, nullptr, &timeout);
    if (ready == SOCKET_ERROR) break;

    if (ready > 0) {
      if (FD_ISSET(stop.Near, &readable)) break;
      if (FD_ISSET(listener, &readable)) form.AcceptPending();
      if (inputOpen && FD_ISSET(input.Near, &readable)) {
        char chunk[4096];
        const int n = ::recv(input.Near, chunk, sizeof chunk, 0);
        if (n > 0) {
          lines.Pending.append(chunk, static_cast<std::size_t>(n));
          quit = RunInputLines(form, lines, stderr);
        } else {
          inputOpen = false;  // the end of the input stops the commands only
        }
      }
    }

    if (!quit) TickIfDue(form, nextTick);
    flushLog();
  }

  form.Unload();
  form.List1.OnAppend = nullptr;
  form.OnCaptureStopped = nullptr;
  // The log written so far reaches standard output before the program ends,
  // unless its reader keeps it waiting.
  flushLog();
  ::shutdown(logChannel.Near, SD_SEND);
  if (writer != nullptr) {
    ::WaitForSingleObject(writer, 2000);
    ::CloseHandle(writer);
  }
  ::SetEvent(g_unloaded);
  return 0;
}

}  // namespace quib
