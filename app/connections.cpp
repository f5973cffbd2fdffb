#include "app/connections.h"

#include <algorithm>
#include <limits>
#include <thread>

#include "app/main_window.h"
#include "platform/os.h"
#include "protocol/packet_descriptions.h"
#include "protocol/packet_handler.h"
#include "protocol/receive_path.h"
#include "protocol/reply_names.h"

namespace quib {

namespace {

// A connection given up on keeps its socket this long at most, to let the
// rest of a packet already started reach the client.
constexpr auto kGiveUpGrace = std::chrono::seconds(10);

// A new connection with the socket value of a kept record continues its
// identity (account, character, slot, packet version, position, a pending
// re-detection) but none of the earlier connection's traffic.
void StartTraffic(ConnectionRecord& record, const Endpoint& peer) {
  record.PeerAddress = SocketAddressOf(peer);
  StartReceiving(record);
  record.State = kStateNone;
  record.Unsent.Clear();
  record.GivenUp = false;
}

void GiveUp(Form1& form, ConnectionRecord& connection) {
  DropReceived(form, connection, kDroppedGivenUp);
  connection.Unsent.KeepStartedPacket();
  connection.GivenUp = true;
  connection.GivenUpAt = std::chrono::steady_clock::now();
  connection.State = kStateNone;  // no more broadcasts
}

std::span<const std::uint8_t> Span(const std::uint8_t* bytes, std::int32_t count) {
  return {bytes, static_cast<std::size_t>(count)};
}

// The accept delay, slept a tick at a time; false as soon as a stop is asked
// for, which then comes within a tick instead of after the whole delay.
bool WaitAcceptDelay(const Form1& form) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + form.AcceptDelay;
  for (auto now = Clock::now(); now < end; now = Clock::now()) {
    std::this_thread::sleep_until(std::min(end, now + form.TickInterval));
    if (form.StopRequested && form.StopRequested()) return false;
  }
  return true;
}

}  // namespace

std::int32_t Form1::ConnectionCount() const {
  return static_cast<std::int32_t>(ConnectionTable.size());
}

bool Form1::AcceptsAtOnce() const {
  return AcceptDelay < std::chrono::milliseconds(kDefaultAcceptDelayMs);
}

void Form1::AcceptPending() {
  // The backlog follows the cadence, which the operator may change while the
  // server runs: as designed one connection waits, and every notification
  // accepts one; faster, the system keeps all that come at once and each
  // notification takes every one that waits, so that a burst is not dropped
  // (a dropped attempt costs its client a second).
  const bool atOnce = AcceptsAtOnce();
  if (atOnce != WideBacklog) {
    SetListenBacklog(LoginServer.Socket, atOnce ? LargestBacklog() : 1);
    WideBacklog = atOnce;
  }
  if (!WaitAcceptDelay(*this)) return;
  // A bound on one turn, so that a flood of connections cannot hold off the
  // tick for long; what is left is announced again.
  constexpr int kMostPerTurn = 256;
  for (int i = 0; i < (atOnce ? kMostPerTurn : 1); ++i) {
    if (!AcceptOne()) return;
  }
}

bool Form1::AcceptOne() {
  // A packet line holds its connection's record, which growing the table moves.
  FlushPacketLines();
  Endpoint peer;
  const SocketHandle socket = AcceptConnection(LoginServer.Socket, peer);
  if (socket == kInvalidSocket) return false;
  const auto reused = std::find_if(ConnectionTable.begin(), ConnectionTable.end(),
                                   [&](const ConnectionRecord& r) { return r.Socket == socket; });
  ConnectionRecord* record = nullptr;
  if (reused != ConnectionTable.end()) {
    record = &*reused;
    StartTraffic(*record, peer);
  } else {
    record = &ConnectionTable.emplace_back();
    record->Socket = socket;
    record->PeerAddress = SocketAddressOf(peer);
  }
  record->Conversation = NextConversation++;
  Emit({.Kind = EventKind::kAccepted, .Connection = record});
  return true;
}

void Form1::PollConnections() {
  if (!Held.empty()) RunDueWrites();
  // One question to the system for the whole tick: which sockets have bytes,
  // a close or a reset to receive. The answer is kept by socket, as a removal
  // moves the entries after it. A socket the server closed is not asked about.
  FindReadableSockets(ReadableSockets);
  std::sort(ReadableSockets.begin(), ReadableSockets.end());
  // A receive may remove the entry at i; the entry that moves into its place
  // then gets its packet handled without a receive of its own on this tick.
  for (std::size_t i = 0; i < ConnectionTable.size(); ++i) {
    ConnectionRecord& connection = ConnectionTable[i];
    ReceiveFromConnection(connection, std::binary_search(ReadableSockets.begin(),
                                                         ReadableSockets.end(), connection.Socket));
    if (i < ConnectionTable.size() && ConnectionTable[i].RecvLength > 0) {
      HandlePacket(*this, ConnectionTable[i]);
      // A run of the same send is counted within one packet's replies.
      FlushPacketLines();
    }
  }
  FlushCapture();
  FlushJournal();
}

void Form1::ReceiveFromConnection(ConnectionRecord& connection, bool readable) {
  if (!connection.Unsent.Empty()) FlushUnsent(connection);
  if (connection.GivenUp) {
    const bool graceOver = std::chrono::steady_clock::now() - connection.GivenUpAt > kGiveUpGrace;
    if (connection.Unsent.Empty() || graceOver) {
      EndConnection(connection, CloseKind::kGivenUp);
    }
    return;
  }

  // A full buffer would ask for 0 bytes, which reads like a close: skip it.
  // Nothing to receive goes as a receive that would block.
  const std::int32_t free = kBufferSize - connection.RecvLength;
  if (free <= 0 || !readable) {
    TakeReceivedBytes(*this, connection, 0);
    return;
  }
  std::uint8_t* at = connection.RecvBuffer.data() + connection.RecvLength;
  std::int32_t n = ReceiveBytes(connection.Socket, at, free);
  if (n == 0) {
    // The client has stopped sending. Packets it sent before are still
    // answered, one per tick as usual, a short one as it is: nothing more
    // will come. The record goes once they are done.
    if (connection.RecvLength > 0) {
      TakeReceivedBytes(*this, connection, 0);
      return;
    }
    EndConnection(connection, CloseKind::kClient);
    return;
  }
  if (n < 0) {
    // A reset connection goes as a closed one does: Windows keeps failing
    // its reads without ever returning 0, so the record would stay for good.
    if (LastSocketError() == SocketError::kReset) {
      EndConnection(connection, CloseKind::kReset);
      return;
    }
    TakeReceivedBytes(*this, connection, 0);
    return;
  }

  TakeReceivedBytes(*this, connection, n);
}

void Form1::EndConnection(ConnectionRecord& connection, CloseKind how) {
  Emit({.Kind = EventKind::kClosed, .Connection = &connection, .How = how});
  if (!Held.empty()) ForgetHeldWrites(connection);
  const SocketHandle socket = connection.Socket;
  if (how == CloseKind::kServerReset) {
    ResetSocket(socket);
  } else {
    CloseSocket(socket);
  }
  RemoveConnection(socket);
}

void Form1::RemoveConnection(SocketHandle socket) {
  const auto found = std::find_if(ConnectionTable.begin(), ConnectionTable.end(),
                                  [&](const ConnectionRecord& r) { return r.Socket == socket; });
  if (found != ConnectionTable.end()) ConnectionTable.erase(found);
}

std::int32_t Form1::SendToMapConnections(const std::uint8_t* buffer, std::int32_t length,
                                         const PacketDescription* packet) {
  std::int32_t sent = 0;
  for (ConnectionRecord& connection : ConnectionTable) {
    if (connection.State != kStateMap || connection.GivenUp || !IsSocketOpen(connection.Socket)) {
      continue;
    }
    SendToConnection(connection, buffer, length, packet);
    ++sent;
  }
  return sent;
}

void Form1::SendToConnection(ConnectionRecord& connection, const std::uint8_t* bytes,
                             std::int32_t length, const PacketDescription* packet) {
  if (connection.GivenUp || length <= 0) return;
  if (!Faults.Empty() || HoldsWrites(connection)) {
    SendWithFaults(connection, Span(bytes, length), packet);
    return;
  }
  SendNow(connection, bytes, length, packet, Span(bytes, length), SentComment(packet));
}

void Form1::SendNow(ConnectionRecord& connection, const std::uint8_t* bytes, std::int32_t length,
                    const PacketDescription* packet, std::span<const std::uint8_t> told,
                    const char* name) {
  if (connection.GivenUp || length <= 0) return;
  if (!connection.Unsent.Empty()) FlushUnsent(connection);
  std::int32_t sent = 0;
  if (connection.Unsent.Empty()) {
    sent = SendBytes(connection.Socket, bytes, length);
    if (sent < 0) {
      // A closed or reset socket takes nothing, now or later.
      if (LastSocketError() != SocketError::kWouldBlock) return;
      sent = 0;
    }
  }
  const auto rest = static_cast<std::size_t>(length - sent);
  if (rest > 0 && connection.Unsent.Size() + rest > kUnsentLimit) {
    GiveUp(*this, connection);
    return;
  }
  connection.Traffic.BytesOut += static_cast<std::uint64_t>(length);
  if (!told.empty()) {
    ++connection.Traffic.PacketsOut;
    connection.Traffic.LastPacket = CoarseNow();
  }
  // The capture names the packet where its bytes start, also when they wait.
  if (rest > 0) connection.Unsent.Push(bytes + sent, rest, sent > 0, name);
  if (!SendsObserved()) return;
  const std::string_view text = name != nullptr ? name : "";
  if (!told.empty()) {
    Emit({.Kind = EventKind::kPacketOut,
          .Connection = &connection,
          .Bytes = told,
          .Text = text,
          .Packet = packet,
          .Injected = Injecting});
  }
  if (sent > 0) {
    Emit({.Kind = EventKind::kWritten,
          .Connection = &connection,
          .Bytes = Span(bytes, sent),
          .Text = text});
  }
}

void Form1::FlushUnsent(ConnectionRecord& connection) {
  while (!connection.Unsent.Empty()) {
    const auto size = static_cast<std::int32_t>(
        std::min<std::size_t>(connection.Unsent.Size(), std::numeric_limits<std::int32_t>::max()));
    const std::int32_t sent = SendBytes(connection.Socket, connection.Unsent.Data(), size);
    if (sent < 0) {
      if (LastSocketError() != SocketError::kWouldBlock) connection.Unsent.Clear();
      return;
    }
    if (sent == 0) return;
    // Packet by packet, so that each starts with its own name.
    for (auto left = static_cast<std::size_t>(sent); left > 0;) {
      const std::size_t piece = std::min(left, connection.Unsent.FrontLength());
      const char* name = connection.Unsent.FrontComment();
      Emit({.Kind = EventKind::kWritten,
            .Connection = &connection,
            .Bytes = {connection.Unsent.Data(), piece},
            .Text = name != nullptr ? name : ""});
      connection.Unsent.Drop(piece);
      left -= piece;
    }
  }
}

void Form1::CloseConnection(ConnectionRecord& connection) {
  if (HoldsWrites(connection)) {
    HeldWrite end;
    end.Conversation = connection.Conversation;
    end.Due = Now();
    end.End = HeldWrite::kClose;
    Held.push_back(std::move(end));
    return;
  }
  CloseNow(connection);
}

void Form1::CloseNow(ConnectionRecord& connection) {
  Emit({.Kind = EventKind::kClosed, .Connection = &connection, .How = CloseKind::kServer});
  CloseSocket(connection.Socket);
  connection.Unsent.Clear();
}

}  // namespace quib
