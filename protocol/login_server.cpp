#include "protocol/login_server.h"

namespace quib {

void HandleLoginPreRequest(Form1&, ConnectionRecord&) {}  // STUB
void HandleLoginRequest(Form1&, ConnectionRecord&, PacketBuffer&) {}  // STUB

}  // namespace quib
