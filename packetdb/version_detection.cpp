#include "packetdb/version_detection.h"

namespace quib {

void DetectPacketVersion(Form1&, ConnectionRecord&, std::int32_t, std::int32_t) {}  // STUB

}  // namespace quib
