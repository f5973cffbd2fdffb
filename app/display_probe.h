// Whether the X display named by DISPLAY answers, so that a stale DISPLAY
// sends the program to the console instead of failing to open the window.
#pragma once

#include <string>

namespace quib {

// For a display on this machine (":N", ":N.S", "unix:N"): true when its
// socket accepts a connection. A display on another host is not probed and
// counts as reachable; the toolkit will say if it is not.
bool X11DisplayReachable(const std::string& display);

}  // namespace quib
