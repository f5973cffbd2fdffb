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

#include "app/console_loop_win32.h"
#include "app/program_options.h"
#include "app/window_win32.h"

#ifndef QUIB_VERSION
#define QUIB_VERSION "unknown"
#endif

namespace {

std::string Utf8(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string result(static_cast<std::size_t>(size - 1), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  return result;
}

// The arguments as typed, in UTF-8 (argv would hold them in the ANSI code
// page, losing what it cannot show).
std::vector<std::string> Arguments() {
  int count = 0;
  wchar_t** words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(Utf8(words[i]));
  ::LocalFree(words);
  return args;
}

// True when a window can be made. Without a display (Wine without X) there is
// none: the program then runs in the console, as on Linux.
bool WindowAvailable() {
  HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
  if (probe == nullptr) return false;
  ::DestroyWindow(probe);
  return true;
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
  if (const auto status = quib::ParseOrAnswer(Arguments(), program, QUIB_VERSION, options)) return *status;
  if (options.Headless) return quib::RunConsoleMode(options);
  if (!WindowAvailable()) {
    std::fprintf(stderr, "No display available: running in the console.\n");
    return quib::RunConsoleMode(options);
  }
  if (ConsoleIsOurOwn()) ::FreeConsole();
  return quib::RunWindowMode(options);
}
