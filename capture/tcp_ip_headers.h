// IPv4 and TCP headers for the frames of a synthesised capture.
//
// Wire format: big-endian. IPv4: 20 bytes, version 4, header length 5 words,
// no type of service, total length, identification, "don't fragment", TTL 64,
// protocol 6 (TCP), header checksum, source, destination. TCP: ports, sequence
// and acknowledgement numbers, data offset, flags, window 65535, checksum over
// the pseudo-header (source, destination, zero, 6, TCP length), the header and
// the payload, urgent pointer 0; a SYN carries the maximum segment size option.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quib {

inline constexpr std::uint8_t kTcpFin = 0x01;
inline constexpr std::uint8_t kTcpSyn = 0x02;
inline constexpr std::uint8_t kTcpRst = 0x04;
inline constexpr std::uint8_t kTcpPsh = 0x08;
inline constexpr std::uint8_t kTcpAck = 0x10;

inline constexpr std::size_t kMaxTcpIpHeaderSize = 20 + 24;
inline constexpr std::uint16_t kTcpWindow = 65535;
// The most payload one IPv4 packet carries with both 20-byte headers.
inline constexpr std::size_t kMaxTcpPayload = 65535 - 40;

// One TCP segment's header fields; addresses and numbers in host order.
struct TcpSegment {
  std::uint32_t Source = 0;
  std::uint32_t Destination = 0;
  std::uint16_t SourcePort = 0;
  std::uint16_t DestinationPort = 0;
  std::uint32_t Sequence = 0;
  std::uint32_t Acknowledgement = 0;
  std::uint8_t Flags = 0;
  std::uint16_t IpId = 0;
};

// The one's complement sum of `bytes` as 16-bit big-endian words, an odd last
// byte padded with zero, added to `sum` and not folded.
std::uint32_t SumWords(const std::uint8_t* bytes, std::size_t count, std::uint32_t sum);

// Folds a sum to 16 bits and complements it: the checksum field's value.
std::uint16_t FoldChecksum(std::uint32_t sum);

// Writes the IPv4 and TCP headers of `segment` carrying `payload` (at most
// kMaxTcpPayload bytes) into `out`, which holds kMaxTcpIpHeaderSize bytes, and
// returns how many it wrote: 40, or 44 on a SYN.
std::size_t PutTcpIpHeaders(std::uint8_t* out, const TcpSegment& segment,
                            const std::uint8_t* payload, std::size_t payloadSize);

}  // namespace quib
