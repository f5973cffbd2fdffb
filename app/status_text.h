// What the windows' status bar shows for as long as the server runs, and how
// long a command's outcome stays beside it. The console's "show" says the same.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace quib {

class Form1;

// ADDRESS:PORT of the listening socket.
std::string ListeningAddress(const Form1& form);

// Connections whose socket is open, and those of them in the map.
struct ConnectionCounts {
  std::int32_t Open = 0;
  std::int32_t InMap = 0;
};
ConnectionCounts CountConnections(const Form1& form);

// "Listening on 127.0.0.1:6900 | 2 connections, 1 in the map | Warp to
// prontera.gat (150, 170) | reload pending | Capture: FILE": a reload while
// one waits for the next map loaded, the capture only while one runs, the
// warp target as Warp would send it now.
std::string StatusText(const Form1& form);

// How long a command's outcome shows in the status bar.
inline constexpr std::chrono::seconds kOutcomeShown{5};

}  // namespace quib
