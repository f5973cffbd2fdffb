#include "net/ipv4_text.h"

namespace quib {

std::string FormatIPv4(std::uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 255) + "." +
         std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255);
}

bool IsLoopback(std::uint32_t address) { return (address >> 24) == 127; }

}  // namespace quib
