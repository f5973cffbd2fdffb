#include "net/ipv4_text.h"

namespace quib {

std::string FormatIPv4(std::uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 255) + "." +
         std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255);
}

// Appended piece by piece: "literal" + a temporary string sets off a false
// overlap warning in GCC 12 at -O3.
std::string FormatEndpoint(const Endpoint& endpoint) {
  std::string text = FormatIPv4(endpoint.Address);
  text += ':';
  text += std::to_string(endpoint.Port);
  return text;
}

bool IsLoopback(std::uint32_t address) { return (address >> 24) == 127; }

}  // namespace quib
