// The map tick from the POSIX clock (Linux).
#include <ctime>

#include <cmath>

#include "app/main_window.h"

namespace quib {

std::int32_t LocalMapTick() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
                         now.tv_nsec / 1e9;
  return static_cast<std::int32_t>(std::lround(seconds * 100.0));
}

}  // namespace quib
