// Byte order, by shifts: little-endian as the client protocol and the capture
// file carry integers, big-endian as IPv4 and TCP headers do. Nothing here
// depends on the machine's own byte order.
#pragma once

#include <cstdint>

namespace quib {

inline void StoreLittle16(std::uint8_t* out, std::uint16_t value) {
  out[0] = static_cast<std::uint8_t>(value);
  out[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void StoreLittle32(std::uint8_t* out, std::uint32_t value) {
  StoreLittle16(out, static_cast<std::uint16_t>(value));
  StoreLittle16(out + 2, static_cast<std::uint16_t>(value >> 16));
}

inline std::uint16_t LoadLittle16(const std::uint8_t* in) {
  return static_cast<std::uint16_t>(in[0] | in[1] << 8);
}

inline std::uint32_t LoadLittle32(const std::uint8_t* in) {
  return LoadLittle16(in) | static_cast<std::uint32_t>(LoadLittle16(in + 2)) << 16;
}

inline void StoreBig16(std::uint8_t* out, std::uint16_t value) {
  out[0] = static_cast<std::uint8_t>(value >> 8);
  out[1] = static_cast<std::uint8_t>(value);
}

inline void StoreBig32(std::uint8_t* out, std::uint32_t value) {
  StoreBig16(out, static_cast<std::uint16_t>(value >> 16));
  StoreBig16(out + 2, static_cast<std::uint16_t>(value));
}

inline std::uint16_t LoadBig16(const std::uint8_t* in) {
  return static_cast<std::uint16_t>(in[0] << 8 | in[1]);
}

}  // namespace quib
