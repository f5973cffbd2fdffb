#include "protocol/packet_handler.h"

#include "app/main_window.h"

namespace quib {

void HandlePacket(Form1&, ConnectionRecord& connection) { connection.RecvLength = 0; }  // STUB
void ConsumePacket(Form1&, ConnectionRecord& connection, std::uint16_t) {  // STUB
  connection.RecvLength = 0;
}
const VersionEntry* ConnectionVersion(const Form1& form, const ConnectionRecord& connection) {
  return FindVersion(form.Packets, connection.PacketVersion);
}
void SendReply(const ConnectionRecord& connection, const PacketBuffer& buffer, std::int32_t length) {
  SendBytes(connection.Socket, buffer.data(), length);
}

}  // namespace quib
