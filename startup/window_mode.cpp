#include "startup/window_mode.h"

#include <cstdio>

#include "app/main_window.h"
#include "startup/start_server.h"

namespace quib {

int RunWindowMode(const ProgramOptions& options, const WindowCalls& calls) {
  Form1 form;
  std::string error;
  if (!StartServer(form, options, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::fflush(stderr);
    calls.ShowStartFailure(error);
    return 1;
  }
  const EventSubscription said(form.Events, kSaidOnStandardError, [](const ConnectionEvent& event) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(event.Text.size()), event.Text.data());
    std::fflush(stderr);
  });
  TellStarted(form);
  form.StopRequested = calls.StopRequested;
  const int status = calls.RunWindow(form);
  form.StopRequested = nullptr;
  form.Stop("window-closed");
  if (form.Rules.Any()) {
    std::fputs(VerdictText(form).c_str(), stderr);
    std::fflush(stderr);
  }
  form.Unload();
  RemoveReadyFile(options);
  return status == 0 ? RunExitStatus(form) : status;
}

}  // namespace quib
