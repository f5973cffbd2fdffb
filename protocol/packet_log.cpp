// The packet log: every line names its client by peer hex, the IPv4 address
// in host order as uppercase hex without leading zeros.
#include "protocol/packet_log.h"

#include "app/main_window.h"

namespace quib {

namespace {

std::string UpperHex(std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value != 0);
  return text;
}

}  // namespace

std::string PeerHex(const ConnectionRecord& connection) {
  return UpperHex(EndpointOf(connection.PeerAddress).Address);
}

std::string ReceivedBytesDump(const ConnectionRecord& connection) {
  return HexDump(connection.RecvBuffer, 2, 18);
}

std::string UnknownPacketLine(const ConnectionRecord& connection, std::uint16_t packetId) {
  return "Unknown Packet (0x" + UpperHex(packetId) + ") - " + PeerHex(connection);
}

std::string ShortPacketLine(const ConnectionRecord& connection, std::uint16_t packetId,
                            std::int32_t held, std::int32_t length) {
  return "Short Packet (0x" + UpperHex(packetId) + ") - " + PeerHex(connection) + ": " +
         std::to_string(held) + " of " + std::to_string(length) + " bytes";
}

void HandleUnknownPacket(Form1& form, ConnectionRecord& connection, std::uint16_t packetId) {
  if (!form.Check1.Checked()) {
    std::string line = UnknownPacketLine(connection, packetId);
    form.Log(line, &connection);
    // Everything buffered goes with the packet: that is what it looked like.
    form.Unknown.Add(form.List1.Appended() - 1, std::move(line), connection.RecvBuffer.data(),
                     connection.RecvLength);
  }
  // Nothing behind an unknown id can be framed: drop it all, shown or hidden.
  connection.RecvLength = 0;
}

void ClearLog(Form1& form) {
  form.List1.Clear();
  form.Unknown.Clear();
}

}  // namespace quib
