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

#include "net/socket_layer.h"

namespace quib::backend {

// A failing call returns -1 (kInvalidSocket, kSocketError) and puts the
// system's own error code in `error`.

// Starts the socket library; false when it cannot be.
bool Start(std::string& description);
// Stops the library the layer started, once its sockets are closed.
void Stop();
// A bound, listening, non-blocking TCP socket with the system's options for a
// server's listener, or -1 with nothing left open.
SocketHandle Listen(const sockaddr_in& local, std::int32_t backlog, int& error);
// Sets the listener's backlog again: 0, or -1.
std::int32_t Relisten(SocketHandle listener, std::int32_t backlog);
std::int32_t LargestBacklog();
// One waiting connection as a non-blocking socket, or -1 when none waits.
SocketHandle Accept(SocketHandle listener, sockaddr_in& peer);
std::int32_t Receive(SocketHandle socket, std::uint8_t* buffer, std::int32_t length, int& error);
// Never waits and never raises a signal for a peer that went away.
std::int32_t Send(SocketHandle socket, const std::uint8_t* buffer, std::int32_t length, int& error);
std::int32_t Close(SocketHandle socket);
std::int32_t LocalAddress(SocketHandle socket, sockaddr_in& address);

// What the system's error codes mean to the layer; any code not listed is
// SocketError::kOther.
struct ErrorMeaning {
  int Code;
  SocketError Meaning;
};
std::span<const ErrorMeaning> ErrorMeanings();

}  // namespace quib::backend
