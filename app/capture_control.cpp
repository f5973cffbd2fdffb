// Form1's side of the capture: the capture observes the stream of events,
// each connection a conversation of its own, and its buffer goes to the file
// once per tick.
#include <string>

#include "app/main_window.h"
#include "protocol/packet_cases.h"

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

PacketCapture::EndKind EndOf(CloseKind how) {
  switch (how) {
    case CloseKind::kClient:
      return PacketCapture::EndKind::kClientClosed;
    case CloseKind::kReset:
      return PacketCapture::EndKind::kReset;
    case CloseKind::kServer:
    case CloseKind::kGivenUp:
      break;
  }
  return PacketCapture::EndKind::kServerClosed;
}

}  // namespace

void Form1::CaptureEvent(const ConnectionEvent& event) {
  if (!Capture.IsOpen() || event.Connection == nullptr) return;
  const ConnectionRecord& connection = *event.Connection;
  switch (event.Kind) {
    case EventKind::kAccepted:
      BeginConversation(*this, connection);
      break;
    case EventKind::kPacketIn:
      // The comment says how the server read the packet.
      Capture.ClientData(connection.Conversation, event.Bytes.data(), event.Bytes.size(),
                         PacketCaseComment(connection, event.Id, event.Case), TimestampNow());
      break;
    case EventKind::kDropped:
      Capture.ClientData(connection.Conversation, event.Bytes.data(), event.Bytes.size(),
                         "Dropped: " + std::string(event.Text), TimestampNow());
      break;
    case EventKind::kWritten:
      Capture.ServerData(connection.Conversation, event.Bytes.data(), event.Bytes.size(),
                         event.Text, TimestampNow());
      break;
    case EventKind::kClosed:
      Capture.EndConversation(connection.Conversation, EndOf(event.How), TimestampNow());
      break;
    default:
      break;
  }
}

bool Form1::StartCapture(const std::string& path, std::string& error) {
  const CommandScope command(*this, "capture");
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
  if (!previous.empty()) Emit({.Kind = EventKind::kCaptureClosed, .Text = previous});
  Emit({.Kind = EventKind::kCaptureStarted, .Text = path});
  Tell(previous.empty() ? "Capture started: " + path
                        : "Capture to " + previous + " stopped; capture started: " + path);
  return true;
}

void Form1::StopCapture() {
  // A failure not told yet is told all the same.
  if (!Capture.IsOpen()) {
    FlushCapture();
    return;
  }
  const CommandScope command(*this, "capture");
  Capture.Close();
  if (FlushCapture()) return;
  Emit({.Kind = EventKind::kCaptureClosed, .Text = Capture.Path()});
  Tell("Capture stopped: " + Capture.Path());
}

bool Form1::FlushCapture() {
  if (Capture.IsOpen()) Capture.Flush();
  const std::string error = Capture.TakeError();
  if (error.empty()) return false;
  Tell("Capture stopped: " + error);
  Emit({.Kind = EventKind::kCaptureStopped, .Text = error});
  return true;
}

}  // namespace quib
