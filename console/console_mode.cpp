#include "console/console_mode.h"

#include <string>

#include "app/main_window.h"
#include "console/console_session.h"
#include "startup/program_options.h"
#include "startup/start_server.h"

namespace quib {

namespace {

// The session on `form`, started from `options` when there are any.
int Run(Form1& form, const ConsoleStreams& streams, const ProgramOptions* options) {
  ConsoleWaiter waiter(streams);
  int status = 0;
  ConsoleSession session(
      form,
      [&waiter](const char* bytes, std::size_t count) { return waiter.WriteLog(bytes, count); },
      [&waiter](const char* bytes, std::size_t count) {
        return waiter.WriteMessages(bytes, count);
      });
  std::string error;
  if (!waiter.IsSetUp()) {
    session.Say("The console cannot be set up.\n");
    status = 1;
  } else if (options != nullptr && !StartServer(form, *options, error)) {
    session.Say(error + "\n");
    status = 1;
  } else if (options != nullptr) {
    TellStarted(form);
  }
  if (status != 0) session.Stop("start-failed");
  // The accept delay asks between its slices whether a stop waits.
  form.StopRequested = [&waiter] { return waiter.StopRequested(); };

  ConsoleWait wait = session.Step({});
  while (!session.Done()) {
    ConsoleReady ready;
    if (!waiter.Wait(wait, ready)) {
      session.Stop("console-failed");
      break;
    }
    wait = session.Step(ready);
  }
  // The last lines reach the streams before the unload step: on Windows
  // it ends every socket, the helpers' channels too.
  waiter.Close(session.End());
  form.StopRequested = nullptr;
  form.Unload();
  if (options != nullptr) RemoveReadyFile(*options);
  return status == 0 ? RunExitStatus(form) : status;
}

}  // namespace

int RunConsoleMode(const ProgramOptions& options, const ConsoleStreams& streams) {
  Form1 form;
  return Run(form, streams, &options);
}

int RunConsole(Form1& form, const ConsoleStreams& streams) { return Run(form, streams, nullptr); }

}  // namespace quib
