// quib-server.exe, the program on Windows: the window, or with --headless the
// console it was started from.
//
// It is built as a console program, so that from cmd or PowerShell it behaves
// as one: the shell waits for it, its streams are the shell's, Ctrl+C reaches
// it. Started from Explorer, Windows gives it a console of its own; the window
// lets that go at once, so no console window stays open.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "console/console_mode.h"
#include "platform/text_win32.h"
#include "startup/program_options.h"
#include "startup/run_mode.h"
#include "ui/win32/window_win32.h"

#ifndef QUIB_VERSION
#define QUIB_VERSION "unknown"
#endif

namespace {

// The arguments as typed, in UTF-8 (argv would hold them in the ANSI code
// page, losing what it cannot show).
std::vector<std::string> Arguments() {
  int count = 0;
  wchar_t** words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(quib::Utf8Text(words[i]));
  ::LocalFree(words);
  return args;
}

// True when this process is alone on its console: Windows made it for the
// program, as it does when Explorer starts a console program.
bool ConsoleIsOurOwn() {
  DWORD processes[2];
  return ::GetConsoleProcessList(processes, 2) == 1;
}

}  // namespace

int main() {
  const std::string program = "quib-server";
  quib::ProgramOptions options;
  if (const auto status = quib::ParseOrAnswer(Arguments(), program, QUIB_VERSION, options))
    return *status;
  const quib::RunChoice choice =
      quib::ChooseRunMode(options, true, quib::FindDisplay(quib::EnvironmentLookup()));
  if (!choice.Notice.empty()) std::fprintf(stderr, "%s\n", choice.Notice.c_str());
  if (choice.Mode == quib::RunMode::kConsole) return quib::RunConsoleMode(options);
  if (ConsoleIsOurOwn()) ::FreeConsole();
  return quib::RunWindowMode(options);
}
