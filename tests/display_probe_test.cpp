#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <string>

#include "platform/os.h"

namespace quib {
namespace {

// Listens where an X server with this display number would, in the abstract
// namespace, so that no file is left behind.
int FakeXServer(int number) {
  const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, path.data(), path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 4) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The environment a probe reads: the given variables only.
EnvironmentLookup Environment(std::map<std::string, std::string> variables) {
  return [variables = std::move(variables)](const char* name) -> const char* {
    const auto found = variables.find(name);
    return found == variables.end() ? nullptr : found->second.c_str();
  };
}

Display::Kind Probe(std::map<std::string, std::string> variables) {
  return FindDisplay(Environment(std::move(variables))).State;
}

TEST(DisplayProbeTest, LocalDisplayAnswersOnlyWhileItsServerListens) {
  constexpr int kNumber = 7391;
  const std::string display = ":" + std::to_string(kNumber);
  EXPECT_EQ(Probe({{"DISPLAY", display}}), Display::Kind::kUnreachable);
  const int server = FakeXServer(kNumber);
  ASSERT_GE(server, 0);
  EXPECT_EQ(Probe({{"DISPLAY", display}}), Display::Kind::kAvailable);
  EXPECT_EQ(Probe({{"DISPLAY", display + ".0"}}), Display::Kind::kAvailable);
  EXPECT_EQ(Probe({{"DISPLAY", "unix" + display}}), Display::Kind::kAvailable);
  ::close(server);
  const Display gone = FindDisplay(Environment({{"DISPLAY", display}}));
  EXPECT_EQ(gone.State, Display::Kind::kUnreachable);
  EXPECT_EQ(gone.Name, display);
}

TEST(DisplayProbeTest, WhatTheEnvironmentNamesDecides) {
  EXPECT_EQ(Probe({}), Display::Kind::kNone);
  EXPECT_EQ(Probe({{"DISPLAY", ""}}), Display::Kind::kNone);
  // Malformed names cannot be reached; another host is left to the toolkit,
  // and so are Wayland and an explicit platform, whatever DISPLAY says.
  EXPECT_EQ(Probe({{"DISPLAY", "nonsense"}}), Display::Kind::kUnreachable);
  EXPECT_EQ(Probe({{"DISPLAY", ":x"}}), Display::Kind::kUnreachable);
  EXPECT_EQ(Probe({{"DISPLAY", "otherhost:10.0"}}), Display::Kind::kAvailable);
  EXPECT_EQ(Probe({{"DISPLAY", ":x"}, {"WAYLAND_DISPLAY", "wayland-0"}}),
            Display::Kind::kAvailable);
  EXPECT_EQ(Probe({{"QT_QPA_PLATFORM", "offscreen"}}), Display::Kind::kAvailable);
}

}  // namespace
}  // namespace quib
