// The login role: any login is accepted with a fixed account and a server list
// of one server, this same listening endpoint.
#pragma once

#include "protocol/packet_buffer.h"

namespace quib {

class Form1;
struct ConnectionRecord;

// 0x0200, 0x0204: logged only.
void HandleLoginPreRequest(Form1& form, ConnectionRecord& connection);

// 0x0064, 0x01DD: replies 0x0069 and closes the connection.
void HandleLoginRequest(Form1& form, ConnectionRecord& connection, PacketBuffer& scratch);

}  // namespace quib
