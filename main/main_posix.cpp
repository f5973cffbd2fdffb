// quib-server: the window when a display is available, the console otherwise.
// Start-up is initialisation (the packet database), load (the listening
// socket), then the event loop; SIGINT and SIGTERM run the unload step.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/console_mode.h"
#include "platform/os.h"
#include "startup/program_options.h"
#include "startup/run_mode.h"

#ifdef QUIB_HAVE_GUI
#include "startup/window_module.h"
#endif

#ifndef QUIB_VERSION
#define QUIB_VERSION "unknown"
#endif

namespace {

constexpr bool kWindowBuilt =
#ifdef QUIB_HAVE_GUI
    true;
#else
    false;
#endif

// A launcher may start the server with a standard stream closed. Its number
// would then go to the first descriptor the server opens (the stop pipe, a
// socket) and log lines would land there: give it /dev/null first.
void OpenClosedStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

// The write end of the stop pipe; the loop watches the read end, so a stop
// signal becomes an ordinary event and the unload step runs on the loop.
int g_stopWrite = -1;

void OnStopSignal(int) {
  const int saved = errno;
  const char byte = 's';
  [[maybe_unused]] const auto n = ::write(g_stopWrite, &byte, 1);
  errno = saved;
}

// Returns the read end of the stop pipe, or -1.
int InstallStopSignals() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  g_stopWrite = fds[1];
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A reader of the log that went away must not end the server, and reading
  // commands from a terminal in the background must not stop it.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGTTIN, SIG_IGN);
  return fds[0];
}

}  // namespace

int main(int argc, char** argv) {
  OpenClosedStandardStreams();
  const std::string program = argc > 0 ? argv[0] : "quib-server";
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  quib::ProgramOptions options;
  if (const auto status = quib::ParseOrAnswer(args, program, QUIB_VERSION, options)) return *status;

  const int stopFd = InstallStopSignals();
  const quib::RunChoice choice =
      quib::ChooseRunMode(options, kWindowBuilt, quib::FindDisplay([](const char* name) {
                            return static_cast<const char*>(std::getenv(name));
                          }));
  if (!choice.Notice.empty()) std::fprintf(stderr, "%s\n", choice.Notice.c_str());
#ifdef QUIB_HAVE_GUI
  if (choice.Mode == quib::RunMode::kWindow) {
    // The window's module, and Qt with it, is loaded only now; where either
    // is missing the console runs, and standard error says why.
    std::string notice;
    if (const QuibRunWindow runWindow = quib::LoadWindowModule(notice))
      return runWindow(argc, argv, &options, stopFd);
    std::fprintf(stderr, "%s\n", notice.c_str());
  }
#endif
  quib::ConsoleStreams streams;
  streams.Stop = stopFd;
  return quib::RunConsoleMode(options, streams);
}
