#include "bench/server_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

extern char** environ;

namespace quib::bench {

namespace {

constexpr int kStartTimeoutMs = 5000;

bool Reaped(pid_t pid, int timeoutMs) {
  for (int waited = 0; waited <= timeoutMs; waited += 10) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace

ServerChild::ServerChild(const std::vector<std::string>& args) {
  int err[2];
  if (::pipe2(err, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<std::string> words{QUIB_SERVER_BINARY, "--headless", "--port", "0"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int spawned = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(err[1]);
  error_ = err[0];
  if (spawned != 0) {
    pid_ = -1;
    return;
  }

  static const std::regex kLine("Quib-Server listening on [0-9.]+:([0-9]+)\n");
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    std::smatch match;
    if (std::regex_search(stderr_, match, kLine)) {
      port_ = std::stoi(match[1].str());
      return;
    }
    pollfd fd{error_, POLLIN, 0};
    if (::poll(&fd, 1, 100) <= 0) continue;
    char chunk[512];
    const auto n = ::read(error_, chunk, sizeof chunk);
    if (n <= 0) return;  // it ended before listening
    stderr_.append(chunk, static_cast<std::size_t>(n));
  }
}

ServerChild::~ServerChild() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    if (!Reaped(pid_, 3000)) {
      ::kill(pid_, SIGKILL);
      Reaped(pid_, 3000);
    }
  }
  if (error_ >= 0) ::close(error_);
}

}  // namespace quib::bench
