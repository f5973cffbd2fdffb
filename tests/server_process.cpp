#include "tests/server_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string_view>
#include <thread>

extern char** environ;

namespace quib::test {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::vector<std::string> ChildEnvironment(const ServerProcess::EnvironmentChanges& changes) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (changes.count(name) == 0) entries.push_back(text);
  }
  for (const auto& [name, value] : changes) {
    if (value) entries.push_back(name + "=" + *value);
  }
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ServerProcess::~ServerProcess() {
  if (pid_ > 0 && !exitCode_) {
    ::kill(pid_, SIGKILL);
    Reap(5000);
  }
  CloseFd(input_);
  CloseFd(output_);
  CloseFd(error_);
}

bool ServerProcess::Start(const std::vector<std::string>& args,
                          const EnvironmentChanges& environment) {
  // Writing commands to a server that has ended must fail, not end the tests.
  ::signal(SIGPIPE, SIG_IGN);
  int in[2];
  int out[2];
  int err[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return false;
  if (::pipe2(out, O_CLOEXEC) != 0) return false;
  if (::pipe2(err, O_CLOEXEC) != 0) return false;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const int ends[3] = {in[0], out[1], err[1]};
  for (int fd = 0; fd <= 2; ++fd) {
    const bool closed =
        std::find(ClosedStreams.begin(), ClosedStreams.end(), fd) != ClosedStreams.end();
    if (closed) {
      posix_spawn_file_actions_addclose(&actions, fd);
    } else if (Terminal >= 0 && fd < 2) {
      posix_spawn_file_actions_adddup2(&actions, Terminal, fd);
    } else {
      posix_spawn_file_actions_adddup2(&actions, ends[fd], fd);
    }
  }
  if (OutputPipeSize > 0) ::fcntl(out[0], F_SETPIPE_SZ, OutputPipeSize);

  // The child starts with default signal handling whatever this process set.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int signal : {SIGINT, SIGTERM, SIGPIPE, SIGTTIN}) sigaddset(&defaults, signal);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  // QUIB_SERVER_WRAPPER runs the server under another program, a memory
  // checker or Wine say: its words, split at spaces, come before the binary.
  // QUIB_SERVER_BINARY names another build of the server, the Windows one.
  std::vector<std::string> argv = Wrapper;
  if (const char* wrapper = std::getenv("QUIB_SERVER_WRAPPER")) {
    std::istringstream words(wrapper);
    for (std::string word; words >> word;) argv.push_back(word);
  }
  const char* binary = std::getenv("QUIB_SERVER_BINARY");
  if (!Binary.empty()) {
    argv.push_back(Binary);
  } else {
    argv.push_back(binary != nullptr && binary[0] != '\0' ? binary : QUIB_SERVER_BINARY);
  }
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> envp = ChildEnvironment(environment);
  auto argvPointers = Pointers(argv);
  auto envpPointers = Pointers(envp);
  const int result = ::posix_spawnp(&pid_, argv[0].c_str(), &actions, &attributes,
                                    argvPointers.data(), envpPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);

  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  input_ = in[1];
  output_ = out[0];
  error_ = err[0];
  if (result != 0) {
    pid_ = -1;
    return false;
  }
  return true;
}

bool ServerProcess::Pump(int timeoutMs) {
  pollfd fds[2] = {{outputPaused_ ? -1 : output_, POLLIN, 0},
                   {errorsPaused_ ? -1 : error_, POLLIN, 0}};
  if (output_ < 0 && error_ < 0) return false;
  if (::poll(fds, 2, timeoutMs) <= 0) return true;
  std::string* sinks[2] = {&stdout_, &stderr_};
  int* streams[2] = {&output_, &error_};
  for (int i = 0; i < 2; ++i) {
    if (fds[i].revents == 0) continue;
    char chunk[4096];
    const auto n = ::read(*streams[i], chunk, sizeof chunk);
    if (n > 0) {
      sinks[i]->append(chunk, static_cast<std::size_t>(n));
    } else {
      CloseFd(*streams[i]);
    }
  }
  return true;
}

std::int32_t ServerProcess::WaitForListening(int timeoutMs) {
  static const std::regex kLine("Quib-Server listening on [0-9.]+:([0-9]+)\n");
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    std::smatch match;
    if (std::regex_search(stderr_, match, kLine)) return std::stoi(match[1].str());
    if (MsLeft(deadline) == 0 || !Pump(MsLeft(deadline))) return -1;
  }
}

std::optional<std::string> ServerProcess::ReadLine(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto end = stdout_.find('\n');
    if (end != std::string::npos) {
      std::string line = stdout_.substr(0, end);
      stdout_.erase(0, end + 1);
      return line;
    }
    if (MsLeft(deadline) == 0 || !Pump(MsLeft(deadline))) return std::nullopt;
  }
}

bool ServerProcess::WaitForError(const std::string& text, int timeoutMs, std::size_t from) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (stderr_.find(text, from) != std::string::npos) return true;
    if (MsLeft(deadline) == 0 || !Pump(MsLeft(deadline))) return false;
  }
}

bool ServerProcess::WriteLine(const std::string& line) {
  if (input_ < 0) return false;
  const std::string text = line + "\n";
  std::size_t written = 0;
  while (written < text.size()) {
    pollfd p{input_, POLLOUT, 0};
    if (::poll(&p, 1, 2000) <= 0 || (p.revents & (POLLERR | POLLHUP)) != 0) return false;
    const auto n = ::write(input_, text.data() + written, text.size() - written);
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

void ServerProcess::CloseInput() { CloseFd(input_); }

bool ServerProcess::Signal(int signal) {
  return pid_ > 0 && !exitCode_ && ::kill(pid_, signal) == 0;
}

void ServerProcess::Reap(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (pid_ > 0 && !exitCode_) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      // What it wrote before it ended is still in the pipes.
      const auto drained = Clock::now() + std::chrono::milliseconds(500);
      while (MsLeft(drained) > 0 && Pump(MsLeft(drained))) {
      }
      return;
    }
    if (done < 0 || MsLeft(deadline) == 0) return;
    // Keep the pipes drained meanwhile: a server blocked on a full pipe
    // would never end.
    if (!Pump(10)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::optional<int> ServerProcess::Wait(int timeoutMs) {
  Reap(timeoutMs);
  return exitCode_;
}

std::int32_t ServerProcess::StartConsole(const std::vector<std::string>& extra) {
  std::vector<std::string> args{"--headless", "--port", "0"};
  args.insert(args.end(), extra.begin(), extra.end());
  return Start(args) ? WaitForListening() : -1;
}

bool ServerProcess::IsWindowsProgram() {
  const char* binary = std::getenv("QUIB_SERVER_BINARY");
  return binary != nullptr && std::string_view(binary).ends_with(".exe");
}

std::vector<int> ServerProcess::StopSignals() {
  if (IsWindowsProgram()) return {SIGINT};
  return {SIGTERM, SIGINT};
}

std::optional<int> ServerProcess::Stop(int timeoutMs) {
  Signal(StopSignals().front());
  if (Wait(timeoutMs)) return exitCode_;
  ::kill(pid_, SIGKILL);
  Reap(5000);
  return std::nullopt;
}

}  // namespace quib::test
