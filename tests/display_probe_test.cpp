#include "app/display_probe.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

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

TEST(DisplayProbeTest, LocalDisplayAnswersOnlyWhileItsServerListens) {
  constexpr int kNumber = 7391;
  const std::string display = ":" + std::to_string(kNumber);
  EXPECT_FALSE(X11DisplayReachable(display));
  const int server = FakeXServer(kNumber);
  ASSERT_GE(server, 0);
  EXPECT_TRUE(X11DisplayReachable(display));
  EXPECT_TRUE(X11DisplayReachable(display + ".0"));
  EXPECT_TRUE(X11DisplayReachable("unix" + display));
  ::close(server);
  EXPECT_FALSE(X11DisplayReachable(display));
}

TEST(DisplayProbeTest, MalformedIsUnreachableAndRemoteIsLeftToTheToolkit) {
  EXPECT_FALSE(X11DisplayReachable(""));
  EXPECT_FALSE(X11DisplayReachable("nonsense"));
  EXPECT_FALSE(X11DisplayReachable(":x"));
  EXPECT_TRUE(X11DisplayReachable("otherhost:10.0"));
}

}  // namespace
}  // namespace quib
