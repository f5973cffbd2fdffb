// A channel between threads of this process on Windows: two connected TCP
// sockets over loopback, because select waits on sockets only (not on a pipe
// or a console). Its sockets are not the socket layer's: the layer's calls
// refuse them, and the owner closes them with closesocket. The caller has
// started Windows Sockets.
#pragma once

#ifdef _WIN32
#include <winsock2.h>

namespace quib {

struct LoopbackChannel {
  SOCKET Near = INVALID_SOCKET;  // the loop's end
  SOCKET Far = INVALID_SOCKET;   // a helper's end
};

// Connects the two ends; false with both closed when it could not, or when
// another program connected first.
bool OpenLoopbackChannel(LoopbackChannel& channel);

// Closes both ends that are open, and marks them closed.
void CloseLoopbackChannel(LoopbackChannel& channel);

}  // namespace quib
#endif
