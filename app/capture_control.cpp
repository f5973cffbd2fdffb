// Form1's side of the capture: the capture observes the stream of events,
// each connection a conversation of its own, and its buffer goes to the file
// once per tick.
#include <string>
#include <string_view>
#include <utility>

#include "app/main_window.h"
#include "protocol/packet_cases.h"
#include "protocol/receive_path.h"

namespace quib {

namespace {

// The connection's two ends, for the capture's addresses (host byte order).
void BeginConversation(Form1& form, const ConnectionRecord& connection,
                       std::string_view comment = {}) {
  Endpoint local = EndpointOf(form.LoginServer.Address);
  GetSockName(connection.Socket, local);
  const Endpoint peer = EndpointOf(connection.PeerAddress);
  form.Capture.BeginConversation(connection.Conversation, peer.Address, peer.Port, local.Address,
                                 local.Port, TimestampNow(), comment);
}

// The handshake's comment of a connection that joins a capture as it is. Its
// map login, if any, is not in the file: the packet version the server reads
// its packets by is told here, in the words of the packets' comments.
std::string JoinComment(const ConnectionRecord& connection) {
  std::string comment = "Connected before the capture started";
  if (connection.PacketVersion > 0 && !DetectionDue(connection)) {
    comment += ", packet version " + std::to_string(connection.PacketVersion);
  }
  return comment;
}

PacketCapture::EndKind EndOf(CloseKind how) {
  switch (how) {
    case CloseKind::kClient:
      return PacketCapture::EndKind::kClientClosed;
    case CloseKind::kReset:
      return PacketCapture::EndKind::kReset;
    case CloseKind::kServerReset:
      return PacketCapture::EndKind::kServerReset;
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
    case EventKind::kShortPacket:
      ShortPacketConversation = connection.Conversation;
      break;
    case EventKind::kPacketIn: {
      // The comment says how the server read the packet, and whether it
      // came short: the bytes that never came read as zero.
      std::string comment = PacketCaseComment(connection, event.Id, event.Case);
      if (std::exchange(ShortPacketConversation, 0) == connection.Conversation) {
        comment += "; short: " + std::to_string(event.Bytes.size()) + " of " +
                   std::to_string(event.Length) + " bytes";
      }
      Capture.ClientData(connection.Conversation, event.Bytes.data(), event.Bytes.size(), comment,
                         TimestampNow());
      break;
    }
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
  if (Capture.IsOpen() && Capture.Writes(path)) {
    Tell("Capture to " + Capture.Path() + " goes on: " + path + " is the file it writes");
    return true;
  }
  // A capture whose last write fails now is told as stopped, not as going on.
  FlushCapture();
  const std::string previous = Capture.IsOpen() ? Capture.Path() : std::string();
  if (!Capture.Open(path, error)) {
    if (!previous.empty()) error += "; the capture to " + previous + " goes on";
    return false;
  }
  // Connections already open join as they are; those the server has closed
  // or given up on are over.
  for (ConnectionRecord& connection : ConnectionTable) {
    if (connection.Conversation != 0 && !connection.GivenUp && IsSocketOpen(connection.Socket)) {
      BeginConversation(*this, connection, JoinComment(connection));
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
