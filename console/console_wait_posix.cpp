// The console's waiting on Linux: one poll on the stop pipe, the listening
// socket, standard input and, while bytes wait for them, standard output and
// standard error.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "console/console_wait.h"

namespace quib {

namespace {

// EAGAIN and EWOULDBLOCK are one value on Linux, two on some systems.
bool IsWouldBlock(int error) {
  if (error == EAGAIN) return true;
  return error == EWOULDBLOCK;
}

// An output's descriptor, made non-blocking for as long as the console runs
// when it is a pipe, a socket or a terminal: a reader that stops must not
// stop the server. Files never make a writer wait.
class NonBlockingOutput {
 public:
  explicit NonBlockingOutput(std::FILE* stream) {
    std::fflush(stream);
    fd_ = ::fileno(stream);
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) return;
    if (!S_ISFIFO(info.st_mode) && !S_ISSOCK(info.st_mode) && !S_ISCHR(info.st_mode)) return;
    flags_ = ::fcntl(fd_, F_GETFL);
    if (flags_ >= 0 && (flags_ & O_NONBLOCK) == 0) ::fcntl(fd_, F_SETFL, flags_ | O_NONBLOCK);
  }
  // Standard output and standard error may share their file description,
  // and so the flag: the one that set it puts it back.
  ~NonBlockingOutput() {
    if (flags_ >= 0 && (flags_ & O_NONBLOCK) == 0) ::fcntl(fd_, F_SETFL, flags_);
  }
  NonBlockingOutput(const NonBlockingOutput&) = delete;
  NonBlockingOutput& operator=(const NonBlockingOutput&) = delete;

  int Fd() const { return fd_; }

  long Write(const char* bytes, std::size_t count) const {
    for (;;) {
      const auto n = ::write(fd_, bytes, count);
      if (n >= 0) return static_cast<long>(n);
      if (errno == EINTR) continue;
      return IsWouldBlock(errno) ? 0 : -1;
    }
  }

 private:
  int fd_ = -1;
  int flags_ = -1;
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
