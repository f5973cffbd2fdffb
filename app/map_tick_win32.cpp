// The map tick from the Windows clock: local time to the millisecond.
#include <windows.h>

#include <cmath>

#include "app/main_window.h"

namespace quib {

std::int32_t LocalMapTick() {
  SYSTEMTIME local{};
  ::GetLocalTime(&local);
  const double seconds = local.wHour * 3600.0 + local.wMinute * 60.0 + local.wSecond +
                         local.wMilliseconds / 1e3;
  return static_cast<std::int32_t>(std::lround(seconds * 100.0));
}

}  // namespace quib
