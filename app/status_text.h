// What the windows' status bar shows for as long as the server runs: its
// sections, and how they fit the bar's width. The console's "show" says the
// same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

// The bar's sections, left to right.
enum class StatusPart : std::uint8_t {
  kListening,
  kConnections,
  kWarp,
  kReload,
  kFaults,
  kCapture
};
inline constexpr std::size_t kStatusPartCount = 6;

// One section: its whole text first, then shorter forms, tried in turn when
// the bar is too narrow for it; an empty form leaves the section out.
struct StatusSection {
  StatusPart Part;
  std::vector<std::string> Forms;
  bool operator==(const StatusSection&) const = default;
};

// "Listening on 127.0.0.1:6900", "2 connections, 1 in the map", "Warp to
// prontera.gat (150, 170)" as Warp would send it now, "reload pending" while
// a reload waits for the next map loaded, "Capture: FILE" while one runs.
std::vector<StatusSection> StatusSections(const Form1& form);

// The whole text, the sections joined with " | ": the bar's tooltip.
std::string StatusText(const std::vector<StatusSection>& sections);
std::string StatusText(const Form1& form);

// What each section shows in a bar `width` wide, when `measure` gives the
// width a text takes in a section, the room around it included; an empty
// text leaves its section out. Sections are shortened in turn, the listening
// address first and the warp target last, then the listening address is
// left out, so that the capture stays in view; where even then the bar is
// too narrow, the capture's file name is cut from its start
// ("Capture: …ad.pcapng").
std::vector<std::string> FitStatus(const std::vector<StatusSection>& sections, int width,
                                   const std::function<int(const std::string&)>& measure);

}  // namespace quib
