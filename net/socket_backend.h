// What each system supplies to the socket layer (socket_layer.cpp), and no
// more: the calls that differ between BSD sockets and Windows Sockets. The
// layer keeps the registry of open sockets, checks handles and listen
// addresses, and turns the system's error codes into SocketError; a backend
// call never sees a handle the layer did not open. Only the layer's own
// sources include this.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "net/socket_layer.h"

namespace quib::backend {

// A failing call returns -1 (kInvalidSocket, kSocketError) and puts the
// system's own error code in `error`.

// Starts the socket library, and the watch of accepted sockets; false when
// either cannot be.
bool Start(std::string& description);
// Stops the library the layer started, once its sockets are closed.
void Stop();
// A bound, listening, non-blocking TCP socket with the system's options for a
// server's listener, or -1 with nothing left open and `call` naming the call
// that failed ("bind").
SocketHandle Listen(const sockaddr_in& local, std::int32_t backlog, int& error, const char*& call);
// Sets the listener's backlog again: 0, or -1.
std::int32_t Relisten(SocketHandle listener, std::int32_t backlog);
std::int32_t LargestBacklog();
// One waiting connection as a non-blocking socket that sends each reply at
// once (no small-packet delay), watched by FindReadable until it is closed;
// or -1 when none waits (or it cannot be watched).
SocketHandle Accept(SocketHandle listener, sockaddr_in& peer);
// One question to the system, without waiting: which accepted sockets have
// something to receive (bytes, the peer's close, a reset). Appends those to
// `readable`; at most `held`, the sockets the layer holds. False when the
// system could not be asked.
bool FindReadable(std::size_t held, std::vector<SocketHandle>& readable);
std::int32_t Receive(SocketHandle socket, std::uint8_t* buffer, std::int32_t length, int& error);
// Never waits and never raises a signal for a peer that went away.
std::int32_t Send(SocketHandle socket, const std::uint8_t* buffer, std::int32_t length, int& error);
std::int32_t Close(SocketHandle socket);
// Closes so that the peer sees a reset: no lingering, no orderly end.
std::int32_t Abort(SocketHandle socket);
std::int32_t LocalAddress(SocketHandle socket, sockaddr_in& address);

// What the system's error codes mean to the layer; any code not listed is
// SocketError::kOther.
struct ErrorMeaning {
  int Code;
  SocketError Meaning;
};
std::span<const ErrorMeaning> ErrorMeanings();
// The system's own words for an error code.
std::string ErrorText(int code);

}  // namespace quib::backend
