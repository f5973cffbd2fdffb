#include "capture/tcp_ip_headers.h"

#include "base/byte_order.h"

namespace quib {

namespace {

constexpr std::size_t kIpHeaderSize = 20;
constexpr std::size_t kTcpHeaderSize = 20;
constexpr std::uint8_t kProtocolTcp = 6;
constexpr std::uint16_t kDontFragment = 0x4000;
constexpr std::uint8_t kTimeToLive = 64;
constexpr std::uint8_t kOptionMss = 2;

}  // namespace

std::uint32_t SumWords(const std::uint8_t* bytes, std::size_t count, std::uint32_t sum) {
  std::uint64_t total = sum;
  for (std::size_t i = 0; i + 1 < count; i += 2) {
    total += LoadBig16(bytes + i);
  }
  if (count % 2 != 0) total += static_cast<std::uint32_t>(bytes[count - 1] << 8);
  while (total >> 32 != 0) total = (total & 0xFFFFFFFF) + (total >> 32);
  return static_cast<std::uint32_t>(total);
}

std::uint16_t FoldChecksum(std::uint32_t sum) {
  while (sum >> 16 != 0) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

std::size_t PutTcpIpHeaders(std::uint8_t* out, const TcpSegment& segment,
                            const std::uint8_t* payload, std::size_t payloadSize) {
  const bool syn = (segment.Flags & kTcpSyn) != 0;
  const std::size_t tcpHeaderSize = kTcpHeaderSize + (syn ? 4 : 0);
  const auto tcpLength = static_cast<std::uint16_t>(tcpHeaderSize + payloadSize);

  std::uint8_t* ip = out;
  ip[0] = 0x45;
  ip[1] = 0;
  StoreBig16(ip + 2, static_cast<std::uint16_t>(kIpHeaderSize + tcpLength));
  StoreBig16(ip + 4, segment.IpId);
  StoreBig16(ip + 6, kDontFragment);
  ip[8] = kTimeToLive;
  ip[9] = kProtocolTcp;
  StoreBig16(ip + 10, 0);
  StoreBig32(ip + 12, segment.Source);
  StoreBig32(ip + 16, segment.Destination);
  StoreBig16(ip + 10, FoldChecksum(SumWords(ip, kIpHeaderSize, 0)));

  std::uint8_t* tcp = out + kIpHeaderSize;
  StoreBig16(tcp, segment.SourcePort);
  StoreBig16(tcp + 2, segment.DestinationPort);
  StoreBig32(tcp + 4, segment.Sequence);
  StoreBig32(tcp + 8, segment.Acknowledgement);
  tcp[12] = static_cast<std::uint8_t>(tcpHeaderSize / 4 << 4);
  tcp[13] = segment.Flags;
  StoreBig16(tcp + 14, kTcpWindow);
  StoreBig16(tcp + 16, 0);
  StoreBig16(tcp + 18, 0);
  if (syn) {
    tcp[20] = kOptionMss;
    tcp[21] = 4;
    StoreBig16(tcp + 22, static_cast<std::uint16_t>(kMaxTcpPayload));
  }

  // The pseudo-header: both addresses, zero and the protocol, the TCP length.
  std::uint8_t pseudo[12];
  StoreBig32(pseudo, segment.Source);
  StoreBig32(pseudo + 4, segment.Destination);
  pseudo[8] = 0;
  pseudo[9] = kProtocolTcp;
  StoreBig16(pseudo + 10, tcpLength);
  std::uint32_t sum = SumWords(pseudo, sizeof pseudo, 0);
  sum = SumWords(tcp, tcpHeaderSize, sum);
  sum = SumWords(payload, payloadSize, sum);
  StoreBig16(tcp + 16, FoldChecksum(sum));
  return kIpHeaderSize + tcpHeaderSize;
}

}  // namespace quib
