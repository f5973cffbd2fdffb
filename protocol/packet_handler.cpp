// Framing and dispatch. A packet is known by its 16-bit id at offset 0 alone,
// whatever role the connection plays; the packet cases (packet_cases.h) say
// which branch takes it and how long it is, first match wins.
#include "protocol/packet_handler.h"

#include <algorithm>

#include "app/main_window.h"
#include "base/byte_order.h"
#include "protocol/packet_cases.h"
#include "protocol/packet_log.h"
#include "protocol/reply_names.h"

namespace quib {

namespace {

// The length of the packet at the head of the buffer; 0 when no case knows
// it, and it cannot be framed.
std::int32_t FramedLength(const ConnectionRecord& connection, const PacketCase* packetCase,
                          const VersionEntry* version) {
  return packetCase == nullptr ? 0 : CaseLength(*packetCase, version, connection.RecvBuffer);
}

// True while the packet at the head is not whole: its id, the bytes that tell
// its length, or the length they tell are not all held. A length of 0, or one
// past the buffer, cannot be waited for.
bool IsShort(const PacketCase* packetCase, std::int32_t length, std::int32_t held) {
  const std::int32_t head = packetCase == nullptr ? 2 : CaseHeadLength(*packetCase);
  return held < head || (length > 0 && length <= kBufferSize && held < length);
}

// Puts the packet at the head of the buffer in the capture before it is
// handled, so that its replies follow it: the bytes framing will remove,
// with the server's reading of them as the comment.
void CapturePacket(Form1& form, ConnectionRecord& connection, std::uint16_t id,
                   const PacketCase* packetCase, std::int32_t length, std::int32_t held) {
  const std::int32_t framed = length <= 0 || length > held ? held : length;
  form.CaptureClientBytes(connection, 0, framed, PacketCaseComment(connection, id, packetCase));
  connection.CapturedHead = framed;
}

// Removes the packet of `length` bytes from the head of the buffer.
void Consume(ConnectionRecord& connection, std::int32_t length) {
  if (connection.RecvLength <= 0) return;
  const std::int32_t held = std::min(connection.RecvLength, kBufferSize);
  // A length of 0 or less would leave the same bytes at the head for every
  // later tick, and a packet longer than what is held cannot be cut from it:
  // either way everything buffered goes. A packet longer than the buffer
  // can ever hold has its rest skipped as it arrives.
  if (length <= 0 || length >= held) {
    if (length > kBufferSize) connection.SkipLength = length - held;
    connection.RecvLength = 0;
  } else {
    auto* bytes = connection.RecvBuffer.data();
    std::move(bytes + length, bytes + held, bytes);
    connection.RecvLength = held - length;
  }
  // The handler never frames a map login that waits for its version; framed
  // all the same, it waits with what is left of it.
  connection.DetectionBytes = std::min(connection.DetectionBytes, connection.RecvLength);
}

}  // namespace

void HandlePacket(Form1& form, ConnectionRecord& connection) {
  if (connection.RecvLength < 0) connection.RecvLength = 0;
  if (connection.RecvLength == 0) return;
  // A map login waits for its version to be told: which case reads it
  // depends on that.
  if (connection.DetectionBytes > 0) return;
  const auto id = static_cast<std::uint16_t>(ReadInt16(connection.RecvBuffer, 0));
  const VersionEntry* version = ConnectionVersion(form, connection);
  const PacketCase* packetCase = FindPacketCase(id, version);
  const std::int32_t held = std::min(connection.RecvLength, kBufferSize);
  const std::int32_t length = FramedLength(connection, packetCase, version);
  // A packet whose rest is still coming waits at the head for it. Once a tick
  // has brought nothing, it is handled with what it holds, and the bytes not
  // received read as whatever the buffer holds there.
  if (IsShort(packetCase, length, held)) {
    if (connection.NewBytes) return;
    if (held < length && length <= kBufferSize && !form.Check1.Checked()) {
      form.Log(ShortPacketLine(connection, id, held, length), &connection);
    }
  }
  const bool capturing = form.Capture.IsOpen();
  if (capturing) CapturePacket(form, connection, id, packetCase, length, held);
  PacketBuffer scratch{};  // every reply of this call is built here, in turn
  // Id 0 is no packet: nothing runs, and it is framed as the cases frame it.
  if (id != 0x0000) {
    if (packetCase == nullptr) {
      HandleUnknownPacket(form, connection, id);
    } else if (packetCase->Handle != nullptr) {
      packetCase->Handle(form, connection, scratch);
    }
  }
  Consume(connection, length);
  if (capturing) {
    // A branch that emptied the buffer took the packets behind this one too.
    if (connection.RecvLength == 0 && connection.CapturedHead < held) {
      form.CaptureClientBytes(connection, connection.CapturedHead, held,
                              "Dropped: with the packet before it");
    }
    connection.CapturedHead = 0;
  }
}

void ConsumePacket(Form1& form, ConnectionRecord& connection, std::uint16_t packetId) {
  const VersionEntry* version = ConnectionVersion(form, connection);
  Consume(connection, FramedLength(connection, FindPacketCase(packetId, version), version));
}

const VersionEntry* ConnectionVersion(const Form1& form, const ConnectionRecord& connection) {
  return FindVersion(form.Packets, connection.PacketVersion);
}

void SendReply(Form1& form, ConnectionRecord& connection, const PacketBuffer& buffer,
               std::int32_t length) {
  form.SendToConnection(connection, buffer.data(), std::clamp(length, 0, kBufferSize),
                        ReplyComment(static_cast<std::uint16_t>(ReadInt16(buffer, 0))));
}

std::int32_t SendToMap(Form1& form, const PacketBuffer& buffer, std::int32_t length) {
  return form.SendToMapConnections(buffer.data(), std::clamp(length, 0, kBufferSize),
                                   ReplyComment(static_cast<std::uint16_t>(ReadInt16(buffer, 0))));
}

void SendAccountEcho(Form1& form, ConnectionRecord& connection, PacketBuffer& scratch,
                     std::int32_t accountId) {
  WriteInt32(scratch, 0, static_cast<std::uint32_t>(accountId));
  form.SendToConnection(connection, scratch.data(), 4, kAccountEchoComment);
}

void WriteServerEndpoint(PacketBuffer& buffer, std::int32_t offset, const ServerAddress& server) {
  const Endpoint endpoint = EndpointOf(server.Address);
  std::uint8_t address[4];
  StoreBig32(address, endpoint.Address);
  for (std::int32_t i = 0; i < 4; ++i) WriteByte(buffer, offset + i, address[i]);
  WriteInt16(buffer, offset + 4, endpoint.Port);
}

}  // namespace quib
