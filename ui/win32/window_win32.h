// The window on Windows: native controls placed as the form was designed,
// mirroring Form1's control models both ways, with Timer1 and the accept
// notification that reaches the hidden button rWin. Form1 keeps all state.
#pragma once

namespace quib {

struct ProgramOptions;

// The class name of the window, and the message that Windows Sockets posts to
// rWin when a connection waits (the mouse-move message).
inline constexpr wchar_t kWindowClass[] = L"QuibServerForm1";
inline constexpr unsigned kAcceptMessage = 512;

// Control ids: GetDlgItem(window, id) finds each control.
enum ControlId : int {
  kCheck1 = 101,
  kCommand2,
  kFrame1,
  kCommand4,
  kOption1Male,    // Option1 element 1
  kOption1Female,  // Option1 element 0
  kText2,
  kCommand3,
  kPos1,
  kPos0,
  kLabel3,
  kLabel2,
  kLabel1,
  kRWin,
  kList1,
  kCommand1,
  kText1,
};

// The whole program in window mode: start-up (a message box and exit status 1
// when it fails), the window, and the unload step when the window closes.
int RunWindowMode(const ProgramOptions& options);

}  // namespace quib
