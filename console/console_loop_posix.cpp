// The console loop on Linux: poll on the stop pipe, the listening socket,
// standard input and the log's descriptor.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "app/main_window.h"
#include "console/console_commands.h"
#include "console/log_output.h"

namespace quib {

namespace {

void Say(const ConsoleStreams& streams, const std::string& text) {
  std::fputs(text.c_str(), streams.Messages);
  std::fflush(streams.Messages);
}

// EAGAIN and EWOULDBLOCK are one value on Linux, two on some systems.
bool IsWouldBlock(int error) {
  if (error == EAGAIN) return true;
  return error == EWOULDBLOCK;
}

// The log's descriptor, made non-blocking for as long as the loop runs when
// it is a pipe, a socket or a terminal: a reader that stops must not stop
// the server. Files never make a writer wait.
class NonBlockingOutput {
 public:
  explicit NonBlockingOutput(int fd) : fd_(fd) {
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) return;
    if (!S_ISFIFO(info.st_mode) && !S_ISSOCK(info.st_mode) && !S_ISCHR(info.st_mode)) return;
    flags_ = ::fcntl(fd_, F_GETFL);
    if (flags_ >= 0 && (flags_ & O_NONBLOCK) == 0) ::fcntl(fd_, F_SETFL, flags_ | O_NONBLOCK);
  }
  ~NonBlockingOutput() {
    if (flags_ >= 0 && (flags_ & O_NONBLOCK) == 0) ::fcntl(fd_, F_SETFL, flags_);
  }
  NonBlockingOutput(const NonBlockingOutput&) = delete;
  NonBlockingOutput& operator=(const NonBlockingOutput&) = delete;

  long Write(const char* bytes, std::size_t count) const {
    for (;;) {
      const auto n = ::write(fd_, bytes, count);
      if (n >= 0) return static_cast<long>(n);
      if (errno == EINTR) continue;
      return IsWouldBlock(errno) ? 0 : -1;
    }
  }

 private:
  int fd_;
  int flags_ = -1;
};

}  // namespace

int RunConsole(Form1& form, int stopFd, const ConsoleStreams& streams) {
  std::fflush(streams.Log);
  const int logFd = ::fileno(streams.Log);
  NonBlockingOutput output(logFd);
  LogOutput log;
  const LogOutput::Writer write = [&output](const char* bytes, std::size_t count) {
    return output.Write(bytes, count);
  };
  const auto flushLog = [&] {
    log.Flush(write);
    if (const std::uint64_t dropped = log.TakeDroppedNotice()) {
      Say(streams, std::to_string(dropped) +
                       " log lines were dropped while standard output was not being read\n");
    }
  };
  auto previousAppend = std::move(form.List1.OnAppend);
  form.List1.OnAppend = [&log](const std::string& line) { log.Append(line); };
  auto previousStopped = std::move(form.OnCaptureStopped);
  form.OnCaptureStopped = [&streams](const std::string& why) {
    Say(streams, "Capture stopped: " + why + "\n");
  };

  using Clock = std::chrono::steady_clock;
  auto nextTick = Clock::now() + form.TickInterval;
  int input = streams.Input;
  InputLines lines;
  bool quit = false;

  while (!quit) {
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextTick - Clock::now());
    pollfd fds[4] = {{stopFd, POLLIN, 0},
                     {form.LoginServer.Socket, POLLIN, 0},
                     {input, POLLIN, 0},
                     {log.Pending() ? logFd : -1, POLLOUT, 0}};
    const int ready = ::poll(fds, 4, static_cast<int>(std::max<std::int64_t>(0, wait.count())));
    if (ready < 0 && errno != EINTR) break;

    if (ready > 0) {
      if (fds[0].revents != 0) break;  // a stop signal
      if (fds[1].revents & POLLIN) form.AcceptPending();
      if (fds[2].revents != 0) {
        char chunk[4096];
        const auto n = ::read(input, chunk, sizeof chunk);
        if (n > 0) {
          lines.Pending.append(chunk, static_cast<std::size_t>(n));
          quit = RunInputLines(form, lines, streams.Messages);
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
          // End of input (or an input that cannot be read): a last line
          // without its line feed still counts; the server keeps running.
          if (!lines.Pending.empty()) {
            lines.Pending.push_back('\n');
            quit = RunInputLines(form, lines, streams.Messages);
          }
          input = -1;
        }
      }
    }

    if (!quit) TickIfDue(form, nextTick);
    flushLog();
  }

  form.Unload();
  form.List1.OnAppend = std::move(previousAppend);
  form.OnCaptureStopped = std::move(previousStopped);
  return 0;
}

}  // namespace quib
