// Form1's side of the capture: which connection is which conversation, and
// when the capture's buffer goes to the file.
#include <string>

#include "app/main_window.h"

namespace quib {

namespace {

// The connection's two ends, for the capture's addresses (host byte order).
void BeginConversation(Form1& form, const ConnectionRecord& connection) {
  Endpoint local = EndpointOf(form.LoginServer.Address);
  GetSockName(connection.Socket, local);
  const Endpoint peer = EndpointOf(connection.PeerAddress);
  form.Capture.BeginConversation(connection.Conversation, peer.Address, peer.Port, local.Address,
                                 local.Port, TimestampNow());
}

}  // namespace

bool Form1::StartCapture(const std::string& path, std::string& error) {
  const std::string previous = Capture.IsOpen() ? Capture.Path() : std::string();
  if (!Capture.Open(path, error)) {
    if (!previous.empty()) error += "; the capture to " + previous + " goes on";
    return false;
  }
  // Connections already open join as they are; those the server has closed
  // or given up on are over.
  for (ConnectionRecord& connection : ConnectionTable) {
    if (connection.Conversation != 0 && !connection.GivenUp && IsSocketOpen(connection.Socket)) {
      BeginConversation(*this, connection);
    }
  }
  Tell(previous.empty() ? "Capture started: " + path
                        : "Capture to " + previous + " stopped; capture started: " + path);
  return true;
}

void Form1::StopCapture() {
  const bool wasOpen = Capture.IsOpen();
  if (wasOpen) Capture.Close();
  if (!FlushCapture() && wasOpen) Tell("Capture stopped: " + Capture.Path());
}

bool Form1::FlushCapture() {
  if (Capture.IsOpen()) Capture.Flush();
  const std::string error = Capture.TakeError();
  if (error.empty()) return false;
  Tell("Capture stopped: " + error);
  if (OnCaptureStopped) OnCaptureStopped(error);
  return true;
}

void Form1::CaptureClientBytes(ConnectionRecord& connection, std::int32_t from, std::int32_t to,
                               std::string_view comment) {
  if (!Capture.IsOpen() || to <= from) return;
  Capture.ClientData(connection.Conversation, connection.RecvBuffer.data() + from,
                     static_cast<std::size_t>(to - from), comment, TimestampNow());
}

void Form1::CaptureDroppedBytes(ConnectionRecord& connection, std::string_view why) {
  CaptureClientBytes(connection, connection.CapturedHead, connection.RecvLength, why);
  connection.CapturedHead = connection.RecvLength;
}

void Form1::CaptureAccepted(ConnectionRecord& connection) {
  connection.Conversation = NextConversation++;
  if (Capture.IsOpen()) BeginConversation(*this, connection);
}

}  // namespace quib
