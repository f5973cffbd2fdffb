// The socket layer: starting and stopping the socket library, the one listening
// socket, and thin calls over accept, recv, send, close and getsockname, and
// the question which sockets have something to receive.
//
// Every call has the shape the rest of the server expects from the socket
// library: a socket is a 32-bit handle, -1 means failure, nothing is shown or
// logged. The layer keeps track of the sockets it opened; a call on a handle it
// did not open, or has closed, fails with -1. That keeps a record whose socket
// the server closed from ever reading or writing a descriptor the system has
// since handed to something else. Addresses come and go as Endpoints, in host
// byte order. The layer is written once (socket_layer.cpp) over a small
// backend per system (socket_backend.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/socket_types.h"

namespace quib {

using SocketHandle = std::int32_t;
inline constexpr SocketHandle kInvalidSocket = -1;
inline constexpr std::int32_t kSocketError = -1;

// True while the socket library is started by this layer.
bool WinsockStarted();

// Starts the socket library once; later calls do nothing. Writes the library's
// description into `description` and returns WinsockStarted().
bool SocketStartup(std::string& description);

// Opens a non-blocking TCP socket bound to `bindAddress`:port (127.0.0.1
// unless the operator chose another) with a backlog of `backlog` waiting
// connections (1 as designed). Port 0 lets the system pick a free port
// (GetSockName tells which); 65535 and ports outside 0 to 65535 are refused
// without a socket. On success fills `address` with what was asked for and
// returns the socket, else -1 (LastSocketError says why).
SocketHandle ListenOn(std::int32_t port, std::uint32_t bindAddress, Endpoint& address,
                      std::int32_t backlog = 1);

// The most waiting connections the system keeps for a listener.
std::int32_t LargestBacklog();

// Changes how many waiting connections the listener keeps, where the system
// allows it (Linux does; Windows keeps the first). False when it refused.
bool SetListenBacklog(SocketHandle listener, std::int32_t backlog);

// Stops the socket library: every socket this layer still holds is closed.
void SocketCleanup();

// Accepts one waiting connection as a non-blocking socket; -1 when none waits.
// Its sends leave at once: the system does not hold small ones back waiting
// for the client's acknowledgement (TCP_NODELAY).
SocketHandle AcceptConnection(SocketHandle listener, Endpoint& peer);

// The accepted sockets this layer holds that have something to receive:
// bytes, the peer's close or a reset, asked of the system once, without
// waiting, in no particular order. The system watches them from their accept
// (epoll on Linux): asking costs what is ready, not what is open. When it
// cannot be asked, `readable` holds every socket the layer holds: a receive
// then tells.
void FindReadableSockets(std::vector<SocketHandle>& readable);

// Why the last ListenOn, ReceiveBytes or SendBytes failed.
enum class SocketError {
  kNone,
  kWouldBlock,           // nothing to read yet, or no room to send
  kReset,                // the peer reset the connection
  kAddressInUse,         // another socket listens on the port
  kAddressNotAvailable,  // the address is not one of this machine's
  kOther,                // any other failure, a handle the layer does not hold included
};
SocketError LastSocketError();

// The system's own words for why the last ListenOn failed, after the call that
// failed: "bind: Permission denied". Empty when the system was not asked (a
// port the layer refuses, the library not started) or nothing failed.
const std::string& ListenFailureText();

// 0 on orderly close by the peer, -1 on error or when no data waits, else the
// number of bytes received.
std::int32_t ReceiveBytes(SocketHandle socket, std::uint8_t* buffer, std::int32_t length);

// Sends without blocking; returns the bytes the system accepted, which may be
// fewer than `length`, or -1 (LastSocketError says why).
std::int32_t SendBytes(SocketHandle socket, const std::uint8_t* buffer, std::int32_t length);

std::int32_t CloseSocket(SocketHandle socket);
// Closes a socket so that its peer sees a reset (RST), not an orderly end.
std::int32_t ResetSocket(SocketHandle socket);

// True while `socket` is one this layer opened and has not closed.
bool IsSocketOpen(SocketHandle socket);

// The local end of `socket`: 0, or -1 with `address` left as it was.
std::int32_t GetSockName(SocketHandle socket, Endpoint& address);

}  // namespace quib
