// The socket library's address type and byte-order calls, from the platform's
// own headers: Windows Sockets on Windows, BSD sockets elsewhere. The core
// includes this instead of either, so that it builds unchanged on both.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif
