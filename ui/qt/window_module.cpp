// The entry point of quib-server-window.so, which the server loads when a
// window is wanted (startup/window_module.h).
#include "startup/window_module.h"

#include <poll.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <memory>
#include <type_traits>

#include "app/form_layout.h"
#include "app/main_window.h"
#include "startup/window_mode.h"
#include "ui/qt/operator_text.h"
#include "ui/qt/window_icon.h"
#include "ui/qt/window_view.h"

namespace quib {
namespace {

// The window mode (startup/window_mode.h) in Qt: the window's run ends when
// it closes or `stopFd` becomes readable.
int RunQtWindowMode(int& argc, char** argv, const ProgramOptions& options, int stopFd) {
  QApplication app(argc, argv);
  app.setWindowIcon(ProgramIcon());
  // Where the desktop matches windows to entries by name (Wayland).
  QGuiApplication::setDesktopFileName(QStringLiteral("quib-server"));
  // A stop signal ends the program whichever loop runs: the window's, or the
  // message box's when start-up failed.
  std::unique_ptr<QSocketNotifier> stop;
  if (stopFd >= 0) {
    stop = std::make_unique<QSocketNotifier>(stopFd, QSocketNotifier::Read);
    QObject::connect(stop.get(), &QSocketNotifier::activated, &app, &QCoreApplication::quit);
  }

  WindowCalls calls;
  calls.ShowStartFailure = [&stop](const std::string& error) {
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kFormCaption), OperatorText(error),
                    QMessageBox::Ok);
    if (stop) QObject::connect(stop.get(), &QSocketNotifier::activated, &box, &QDialog::reject);
    box.exec();
  };
  // The byte stays in the pipe for the notifier: asking takes nothing.
  calls.StopRequested = [stopFd] {
    pollfd stop{stopFd, POLLIN, 0};
    return stopFd >= 0 && ::poll(&stop, 1, 0) > 0;
  };
  calls.RunWindow = [&app](Form1& form) {
    WindowView view(form);
    view.show();
    app.exec();
    return 0;
  };
  return RunWindowMode(options, calls);
}

}  // namespace
}  // namespace quib

extern "C" __attribute__((visibility("default"))) int quib_run_window(
    int argc, char** argv, const quib::ProgramOptions* options, int stopFd) {
  // QApplication keeps a reference to argc for its whole life, which ends
  // before this call returns.
  int count = argc;
  return quib::RunQtWindowMode(count, argv, *options, stopFd);
}
static_assert(std::is_same_v<decltype(&quib_run_window), QuibRunWindow>);
