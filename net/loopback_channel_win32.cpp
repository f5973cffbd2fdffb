#include "net/loopback_channel.h"
#include "net/socket_types.h"

namespace quib {

namespace {

void CloseEnd(SOCKET& socket) {
  if (socket != INVALID_SOCKET) ::closesocket(socket);
  socket = INVALID_SOCKET;
}

}  // namespace

bool OpenLoopbackChannel(LoopbackChannel& channel) {
  const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, 0);
  if (listener == INVALID_SOCKET) return false;
  sockaddr_in address = SocketAddressOf({kLoopbackAddress, 0});
  int length = sizeof address;
  bool open = ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              ::listen(listener, 1) == 0 &&
              ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  if (open) {
    channel.Far = ::socket(AF_INET, SOCK_STREAM, 0);
    open = channel.Far != INVALID_SOCKET &&
           ::connect(channel.Far, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  sockaddr_in peer{};
  sockaddr_in farEnd{};
  if (open) {
    length = sizeof peer;
    channel.Near = ::accept(listener, reinterpret_cast<sockaddr*>(&peer), &length);
    length = sizeof farEnd;
    ::getsockname(channel.Far, reinterpret_cast<sockaddr*>(&farEnd), &length);
  }
  ::closesocket(listener);
  // Another program may have connected first: only our own end will do.
  if (channel.Near != INVALID_SOCKET && EndpointOf(peer) == EndpointOf(farEnd)) return true;
  CloseLoopbackChannel(channel);
  return false;
}

void CloseLoopbackChannel(LoopbackChannel& channel) {
  CloseEnd(channel.Near);
  CloseEnd(channel.Far);
}

}  // namespace quib
