// The socket layer, written once over the system's backend (socket_backend.h):
// the library's started flag, the registry of the sockets it opened, the
// refusal of every other handle, the listen address's checks and the meaning
// of a failure.
#include "net/socket_layer.h"

#include <set>

#include "net/socket_backend.h"

namespace quib {

namespace {

bool g_started = false;
SocketError g_lastError = SocketError::kNone;
std::string g_listenFailure;  // the system's words for the last failed listen
// Every socket this layer opened and has not closed.
std::set<SocketHandle> g_open;

bool IsOpen(SocketHandle socket) { return g_open.count(socket) != 0; }

std::int32_t Failed(SocketError error) {
  g_lastError = error;
  return kSocketError;
}

SocketError MeaningOf(int code) {
  for (const backend::ErrorMeaning& row : backend::ErrorMeanings()) {
    if (row.Code == code) return row.Meaning;
  }
  return SocketError::kOther;
}

// The address a listener binds. False for a port the server refuses: one
// outside 16 bits would wrap to another (0 among them), and 65535 is refused
// as such.
bool MakeListenAddress(std::int32_t port, std::uint32_t bindAddress, sockaddr_in& local) {
  if (port < 0 || port >= 0xFFFF) return false;
  local = SocketAddressOf({bindAddress, static_cast<std::uint16_t>(port)});
  return true;
}

SocketHandle Keep(SocketHandle socket) {
  if (socket != kInvalidSocket) g_open.insert(socket);
  return socket;
}

}  // namespace

bool WinsockStarted() { return g_started; }

SocketError LastSocketError() { return g_lastError; }

const std::string& ListenFailureText() { return g_listenFailure; }

bool SocketStartup(std::string& description) {
  if (!g_started) g_started = backend::Start(description);
  return g_started;
}

SocketHandle ListenOn(std::int32_t port, std::uint32_t bindAddress, Endpoint& address,
                      std::int32_t backlog) {
  g_listenFailure.clear();
  sockaddr_in local{};
  if (!MakeListenAddress(port, bindAddress, local) || !g_started) {
    return Failed(SocketError::kOther);
  }
  int error = 0;
  const char* call = "socket";
  const SocketHandle socket = Keep(backend::Listen(local, backlog, error, call));
  if (socket == kInvalidSocket) {
    g_listenFailure = std::string(call) + ": " + backend::ErrorText(error);
    return Failed(MeaningOf(error));
  }
  address = EndpointOf(local);
  return socket;
}

std::int32_t LargestBacklog() { return backend::LargestBacklog(); }

bool SetListenBacklog(SocketHandle listener, std::int32_t backlog) {
  return IsOpen(listener) && backend::Relisten(listener, backlog) == 0;
}

void SocketCleanup() {
  for (SocketHandle socket : g_open) backend::Close(socket);
  g_open.clear();
  if (g_started) backend::Stop();
  g_started = false;
}

SocketHandle AcceptConnection(SocketHandle listener, Endpoint& peer) {
  if (!IsOpen(listener)) return kInvalidSocket;
  sockaddr_in from{};
  const SocketHandle socket = Keep(backend::Accept(listener, from));
  if (socket != kInvalidSocket) peer = EndpointOf(from);
  return socket;
}

void FindReadableSockets(std::vector<SocketHandle>& readable) {
  readable.clear();
  if (!g_started || backend::FindReadable(g_open.size(), readable)) return;
  readable.assign(g_open.begin(), g_open.end());
}

std::int32_t ReceiveBytes(SocketHandle socket, std::uint8_t* buffer, std::int32_t length) {
  if (!IsOpen(socket) || length < 0) return Failed(SocketError::kOther);
  int error = 0;
  const std::int32_t n = backend::Receive(socket, buffer, length, error);
  return n < 0 ? Failed(MeaningOf(error)) : n;
}

std::int32_t SendBytes(SocketHandle socket, const std::uint8_t* buffer, std::int32_t length) {
  if (!IsOpen(socket) || length < 0) return Failed(SocketError::kOther);
  int error = 0;
  const std::int32_t n = backend::Send(socket, buffer, length, error);
  return n < 0 ? Failed(MeaningOf(error)) : n;
}

bool IsSocketOpen(SocketHandle socket) { return IsOpen(socket); }

std::int32_t CloseSocket(SocketHandle socket) {
  if (g_open.erase(socket) == 0) return kSocketError;
  return backend::Close(socket) == 0 ? 0 : kSocketError;
}

std::int32_t ResetSocket(SocketHandle socket) {
  if (g_open.erase(socket) == 0) return kSocketError;
  return backend::Abort(socket) == 0 ? 0 : kSocketError;
}

std::int32_t GetSockName(SocketHandle socket, Endpoint& address) {
  sockaddr_in local{};
  if (!IsOpen(socket) || backend::LocalAddress(socket, local) != 0) return kSocketError;
  address = EndpointOf(local);
  return 0;
}

}  // namespace quib
