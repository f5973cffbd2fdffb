// The console on Windows. The loop waits on sockets with select, never on
// window messages: without a display there may be no window at all (Wine
// then makes none). Standard input is read by a thread of its own, which
// hands complete lines to the loop through a loopback socket and touches
// nothing else; Ctrl+C, Ctrl+Break and closing the console come in the same
// way, from the handler Windows calls on a thread of its own.
#include <winsock2.h>
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "app/console_mode.h"
#include "app/main_window.h"
#include "app/program_options.h"

namespace quib {

namespace {

// A longer command line is refused rather than buffered without end.
constexpr std::size_t kMaxCommandLine = 4096;

// Two connected loopback sockets: the loop reads what a feeder writes.
struct Channel {
  SOCKET Loop = INVALID_SOCKET;
  SOCKET Feeder = INVALID_SOCKET;
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
    channel.Feeder = ::socket(AF_INET, SOCK_STREAM, 0);
    open = ::connect(channel.Feeder, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  sockaddr_in peer{};
  sockaddr_in feeder{};
  if (open) {
    length = sizeof peer;
    channel.Loop = ::accept(listener, reinterpret_cast<sockaddr*>(&peer), &length);
    length = sizeof feeder;
    ::getsockname(channel.Feeder, reinterpret_cast<sockaddr*>(&feeder), &length);
  }
  ::closesocket(listener);
  // Another program may have connected first: only our own feeder will do.
  return channel.Loop != INVALID_SOCKET && peer.sin_port == feeder.sin_port;
}

bool SendAll(SOCKET socket, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const int n = ::send(socket, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Standard input, a console or a pipe, line by line to the loop; its end
// closes the channel.
DWORD WINAPI ReadInput(void* feeder) {
  const SOCKET channel = reinterpret_cast<SOCKET>(feeder);
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  std::string pending;
  char chunk[4096];
  DWORD n = 0;
  while (::ReadFile(input, chunk, sizeof chunk, &n, nullptr) && n > 0) {
    pending.append(chunk, n);
    // A line too long to run goes on as it is: the loop refuses it.
    const auto end = pending.size() > kMaxCommandLine ? pending.size() - 1 : pending.rfind('\n');
    if (end == std::string::npos) continue;
    if (!SendAll(channel, pending.substr(0, end + 1))) return 0;
    pending.erase(0, end + 1);
  }
  // A last line without its line feed still counts.
  if (!pending.empty()) SendAll(channel, pending + "\n");
  ::shutdown(channel, SD_SEND);
  return 0;
}

SOCKET g_stopFeeder = INVALID_SOCKET;
HANDLE g_unloaded = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  ::send(g_stopFeeder, "s", 1, 0);
  // Windows ends the process once this returns for a closing console, a
  // logoff or a shutdown: let the unload step run first.
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) ::WaitForSingleObject(g_unloaded, 4000);
  return TRUE;
}

void Say(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

// Runs every complete line; true when a command asked to quit.
bool RunInputLines(Form1& form, std::string& pending) {
  std::size_t end;
  while ((end = pending.find('\n')) != std::string::npos) {
    const std::string line = pending.substr(0, end);
    pending.erase(0, end + 1);
    if (line.size() > kMaxCommandLine) {
      Say("command line too long; ignored\n");
      continue;
    }
    const ConsoleReply reply = RunConsoleCommand(form, line);
    if (!reply.Error.empty()) Say(reply.Error + "\n");
    if (!reply.Info.empty()) Say(reply.Info);
    if (reply.Quit) return true;
  }
  return false;
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
  Say(ListeningMessage(form) + "\n");

  Channel input;
  Channel stop;
  if (!OpenChannel(input) || !OpenChannel(stop)) {
    Say("The console cannot be set up.\n");
    form.Unload();
    return 1;
  }
  g_stopFeeder = stop.Feeder;
  g_unloaded = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  if (const HANDLE reader = ::CreateThread(nullptr, 0, ReadInput,
                                           reinterpret_cast<void*>(input.Feeder), 0, nullptr)) {
    ::CloseHandle(reader);
  }

  form.List1.OnAppend = [](const std::string& line) {
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
  };

  using Clock = std::chrono::steady_clock;
  auto nextTick = Clock::now() + form.TickInterval;
  const auto listener = static_cast<SOCKET>(form.LoginServer.Socket);
  bool inputOpen = true;
  std::string pending;
  bool quit = false;
  while (!quit) {
    const auto wait = std::chrono::ceil<std::chrono::microseconds>(nextTick - Clock::now());
    const long long micros = std::max<long long>(0, wait.count());
    timeval timeout{static_cast<long>(micros / 1000000), static_cast<long>(micros % 1000000)};
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(stop.Loop, &readable);
    FD_SET(listener, &readable);
    if (inputOpen) FD_SET(input.Loop, &readable);
    const int ready = ::select(0, &readable, nullptr, nullptr, &timeout);
    if (ready == SOCKET_ERROR) break;

    if (ready > 0) {
      if (FD_ISSET(stop.Loop, &readable)) break;
      if (FD_ISSET(listener, &readable)) form.AcceptPending();
      if (inputOpen && FD_ISSET(input.Loop, &readable)) {
        char chunk[4096];
        const int n = ::recv(input.Loop, chunk, sizeof chunk, 0);
        if (n > 0) {
          pending.append(chunk, static_cast<std::size_t>(n));
          quit = RunInputLines(form, pending);
        } else {
          inputOpen = false;  // the end of the input stops the commands only
        }
      }
    }

    // Ticks keep to a fixed rhythm however often the loop wakes; a tick held
    // up (by an accept's wait) is run once, not caught up.
    const auto now = Clock::now();
    if (!quit && now >= nextTick) {
      form.PollConnections();
      while (nextTick <= now) nextTick += form.TickInterval;
    }
  }

  form.Unload();
  form.List1.OnAppend = nullptr;
  ::SetEvent(g_unloaded);
  return 0;
}

}  // namespace quib
