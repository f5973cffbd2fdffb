// The window on Windows: native controls built from the designed form,
// mirroring Form1's control models both ways, with Timer1 and the accept
// notification that reaches the hidden button rWin. Form1 keeps all state.
#pragma once

namespace quib {

struct ProgramOptions;

// The class name of the window, and the message that Windows Sockets posts to
// rWin when a connection waits (the mouse-move message).
inline constexpr wchar_t kWindowClass[] = L"QuibServerForm1";
inline constexpr unsigned kAcceptMessage = 512;

// The whole program in window mode: start-up (a message box and exit status 1
// when it fails), the window, and the unload step when the window closes.
int RunWindowMode(const ProgramOptions& options);

}  // namespace quib
