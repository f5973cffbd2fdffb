#include "protocol/packet_log.h"

#include "app/main_window.h"

namespace quib {

std::string PeerHex(const ConnectionRecord&) { return {}; }  // STUB
std::string ReceivedBytesDump(const ConnectionRecord&) { return {}; }  // STUB
void HandleUnknownPacket(Form1&, ConnectionRecord& connection, std::uint16_t) {  // STUB
  connection.RecvLength = 0;
}
void ClearLog(Form1& form) { form.List1.Clear(); }

}  // namespace quib
