// The console's waiting on Linux: one poll on the stop pipe, the listening
// socket, standard input and, while bytes wait for them, standard output and
// standard error.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "console/console_wait.h"

namespace quib {

namespace {

// EAGAIN and EWOULDBLOCK are one value on Linux, two on some systems.
bool IsWouldBlock(int error) {
  if (error == EAGAIN) return true;
  return error == EWOULDBLOCK;
}

// An output the console writes without ever waiting for its reader (a reader
// that stops must not stop the server), and without changing the status flags
// of a file description it shares: a terminal's is the shell's as well, and
// O_NONBLOCK left on it, even by a server killed outright, makes other
// programs' reads fail. So:
// - a regular file never makes a writer wait: written as it is;
// - a socket is sent to with MSG_DONTWAIT;
// - a terminal, a pipe or another device is opened again, as a description of
//   the console's own (/proc/self/fd/N) on which O_NONBLOCK is set;
// - where that fails, a write goes only when poll says the output takes
//   bytes, and no more than PIPE_BUF of them.
class NonBlockingOutput {
 public:
  explicit NonBlockingOutput(std::FILE* stream) {
    std::fflush(stream);
    fd_ = ::fileno(stream);
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0 || S_ISREG(info.st_mode)) return;
    if (S_ISSOCK(info.st_mode)) {
      how_ = How::kSend;
      return;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd_);
    own_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    how_ = own_ >= 0 ? How::kOwn : How::kPolled;
  }
  ~NonBlockingOutput() {
    if (own_ >= 0) ::close(own_);
  }
  NonBlockingOutput(const NonBlockingOutput&) = delete;
  NonBlockingOutput& operator=(const NonBlockingOutput&) = delete;

  // What poll watches for room: the description written to.
  int Fd() const { return own_ >= 0 ? own_ : fd_; }

  long Write(const char* bytes, std::size_t count) const {
    if (how_ == How::kPolled) {
      pollfd room{fd_, POLLOUT, 0};
      if (::poll(&room, 1, 0) <= 0) return 0;
      if ((room.revents & POLLOUT) == 0) return -1;  // the reader is gone
      count = std::min<std::size_t>(count, PIPE_BUF);
    }
    for (;;) {
      const auto n = how_ == How::kSend ? ::send(fd_, bytes, count, MSG_DONTWAIT | MSG_NOSIGNAL)
                                        : ::write(Fd(), bytes, count);
      if (n >= 0) return static_cast<long>(n);
      if (errno == EINTR) continue;
      return IsWouldBlock(errno) ? 0 : -1;
    }
  }

 private:
  enum class How { kWrite, kSend, kOwn, kPolled };
  int fd_ = -1;
  int own_ = -1;  // the description of its own, for kOwn
  How how_ = How::kWrite;
};

}  // namespace

struct ConsoleWaiter::State {
  explicit State(const ConsoleStreams& streams)
      : Stop(streams.Stop), Input(streams.Input), Log(streams.Log), Messages(streams.Messages) {}

  int Stop;
  int Input;
  NonBlockingOutput Log;
  NonBlockingOutput Messages;
};

ConsoleWaiter::ConsoleWaiter(const ConsoleStreams& streams)
    : state_(std::make_unique<State>(streams)) {}

ConsoleWaiter::~ConsoleWaiter() = default;

bool ConsoleWaiter::IsSetUp() const { return true; }

bool ConsoleWaiter::Wait(const ConsoleWait& wait, ConsoleReady& ready) {
  State& state = *state_;
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(wait.Until - std::chrono::steady_clock::now());
  pollfd fds[5] = {{wait.Stop ? state.Stop : -1, POLLIN, 0},
                   {wait.Listener, POLLIN, 0},
                   {wait.Input ? state.Input : -1, POLLIN, 0},
                   {wait.Log ? state.Log.Fd() : -1, POLLOUT, 0},
                   {wait.Messages ? state.Messages.Fd() : -1, POLLOUT, 0}};
  const int count = ::poll(fds, 5, static_cast<int>(std::max<std::int64_t>(0, left.count())));
  if (count < 0) return errno == EINTR;
  if (count == 0) return true;
  ready.Stop = fds[0].revents != 0;
  ready.Listener = (fds[1].revents & POLLIN) != 0;
  if (fds[2].revents != 0) {
    char chunk[4096];
    const auto n = ::read(state.Input, chunk, sizeof chunk);
    if (n > 0) {
      ready.Input.assign(chunk, static_cast<std::size_t>(n));
    } else if (n == 0 || (errno != EINTR && !IsWouldBlock(errno))) {
      ready.InputEnded = true;  // or it cannot be read
      state.Input = -1;
    }
  }
  return true;
}

bool ConsoleWaiter::StopRequested() const {
  pollfd stop{state_->Stop, POLLIN, 0};
  return state_->Stop >= 0 && ::poll(&stop, 1, 0) > 0;
}

long ConsoleWaiter::WriteLog(const char* bytes, std::size_t count) {
  return state_->Log.Write(bytes, count);
}

long ConsoleWaiter::WriteMessages(const char* bytes, std::size_t count) {
  return state_->Messages.Write(bytes, count);
}

// The writes went straight to the streams: nothing is on its way.
void ConsoleWaiter::Close(const ConsoleEnd&) {}

}  // namespace quib
