// The packet handler on arbitrary bytes. An input is read as:
//
//   byte 0       bit 0: the packet table comes from the input (else the
//                shipped packet_db.txt; sections above 99 are refused); bit 1: unknown packets
//                hidden; bit 2: a map reload pending; bit 3: the record is marked for version
//                detection; bit 4: its first packet already came
//   [bytes 1-2]  with bit 0: the length of the database text that follows
//   next byte    the record's State
//   next byte    its PacketVersion: below 0xF0 taken modulo 32, else the
//                next four bytes as a 32-bit value
//   the rest     operations: a code byte (its low three bits the operation,
//                its high three bits the target record) and its operands
//
// The record under test and three records already in the map all have socket
// -1: the socket layer refuses every send and close on it, so no input makes
// a system call. Bytes arrive as ReceiveFromConnection appends them, bounded by
// the free space, with its version detection rule: in one read, or in pieces
// with a tick between them, as TCP is free to deliver them; a tick may also
// find nothing new, which lets a short packet or a waiting map login be
// decided. The handler is called a bounded number of times. Beyond the
// sanitizers, the harness checks that the buffer length stays within 0 to
// 2048, that handling never grows it, that a waiting map login's bytes are
// held, and that the handler never adds or removes connections.
//
//   operations   0 one read: a 16-bit length and the bytes; 1 the same bytes
//                in pieces of 1 to 16 bytes (the next byte), a handler call
//                after each; 2 handler calls (1 to 4, the next byte) after
//                reads that brought bytes; 3 the same after reads that
//                brought nothing; 4 framing alone; 5 map commands; 6 the
//                map name; 7 the start cell boxes
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "app/connections.h"
#include "app/main_window.h"
#include "packetdb/packet_database.h"
#include "packetdb/version_detection.h"
#include "protocol/packet_buffer.h"
#include "protocol/packet_handler.h"
#include "protocol/receive_path.h"

namespace {

using quib::ConnectionRecord;
using quib::Form1;

constexpr int kMaxOperations = 256;
constexpr int kMaxHandlerCalls = 96;
constexpr std::size_t kMapPeers = 3;

void Require(bool condition) {
  if (!condition) std::abort();
}

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  std::size_t Left() const { return size_ - at_; }
  std::uint8_t Byte() { return Empty() ? 0 : data_[at_++]; }
  std::uint16_t Le16() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }
  std::uint32_t Le32() { return Le16() | static_cast<std::uint32_t>(Le16()) << 16; }
  // Up to `count` bytes; fewer at the end of the input.
  std::string Take(std::size_t count) {
    count = std::min(count, Left());
    std::string bytes(reinterpret_cast<const char*>(data_ + at_), count);
    at_ += count;
    return bytes;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

const quib::PacketTable& ShippedTable() {
  static const quib::PacketTable table = [] {
    quib::PacketTable loaded;
    Require(quib::LoadPacketDatabase(QUIB_SOURCE_DIR "/data/packet_db.txt", loaded));
    return loaded;
  }();
  return table;
}

// What ReceiveFromConnection does with the bytes of one successful recv.
void Append(Form1& form, ConnectionRecord& connection, std::string_view bytes) {
  const std::int32_t free = quib::kBufferSize - connection.RecvLength;
  const auto n = static_cast<std::int32_t>(std::min<std::size_t>(bytes.size(), free));
  if (n <= 0) {  // a full buffer skips the receive; 0 bytes is a close
    quib::TakeReceivedBytes(form, connection, 0);
    return;
  }
  std::memcpy(connection.RecvBuffer.data() + connection.RecvLength, bytes.data(), n);
  quib::TakeReceivedBytes(form, connection, n);
}

void CheckLength(const ConnectionRecord& connection) {
  Require(connection.RecvLength >= 0 && connection.RecvLength <= quib::kBufferSize);
  Require(connection.Receive.DetectionBytes >= 0 &&
          connection.Receive.DetectionBytes <= connection.RecvLength);
}

void Handle(Form1& form, ConnectionRecord& connection) {
  const std::int32_t before = connection.RecvLength;
  quib::HandlePacket(form, connection);
  CheckLength(connection);
  Require(connection.RecvLength <= std::max(before, 0));
}

// Large section numbers only make the table large, which the database
// fuzzer covers; here they would take most of the time. Versions up to 99
// are plenty for the handler.
bool HasLargeSection(const std::string& text) {
  constexpr std::string_view kHeader = "packet_ver:";
  for (auto at = text.find(kHeader); at != std::string::npos; at = text.find(kHeader, at + 1)) {
    int digits = 0;
    for (auto i = at + kHeader.size(); i < text.size(); ++i) {
      const char c = text[i];
      if (c == ' ' || c == '\t' || c == '+') continue;
      if (c < '0' || c > '9') break;
      if (++digits > 2) return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  Form1 form;
  form.MapTick = [] { return 0x01020304; };
  // Each read that brings nothing is a quiet tick.
  form.TickInterval = std::chrono::milliseconds(0);

  const std::uint8_t flags = input.Byte();
  if (flags & 1) {
    const std::string text = input.Take(input.Le16());
    if (HasLargeSection(text)) return -1;  // and keep it out of the corpus
    form.Packets = quib::ParsePacketDatabase(text);
  } else {
    form.Packets = ShippedTable();
  }
  form.Check1.SetChecked((flags & 2) != 0);
  form.ForceReloadPending = (flags & 4) ? -1 : 0;

  form.ConnectionTable.reserve(1 + kMapPeers);
  ConnectionRecord& record = form.ConnectionTable.emplace_back();
  record.PeerAddress = quib::SocketAddressOf({quib::kLoopbackAddress, 0});
  record.RedetectVersion = (flags & 8) ? -1 : 0;
  record.FirstPacketId = (flags & 16) ? 0x0064 : 0;
  record.State = input.Byte();
  const std::uint8_t version = input.Byte();
  record.PacketVersion = version < 0xF0 ? version % 32 : static_cast<std::int32_t>(input.Le32());
  for (std::size_t i = 0; i < kMapPeers; ++i) {
    ConnectionRecord& peer = form.ConnectionTable.emplace_back();
    peer.State = quib::kStateMap;
    peer.PacketVersion = 5;
  }
  const std::size_t connections = form.ConnectionTable.size();

  int handlerCalls = 0;
  for (int operation = 0; operation < kMaxOperations && !input.Empty(); ++operation) {
    // The high bits pick the target: mostly the record under test, sometimes
    // one of the peers already in the map.
    const std::uint8_t code = input.Byte();
    const std::size_t index = code >> 5;
    ConnectionRecord& target = form.ConnectionTable[index < connections ? index : 0];
    switch (code % 8) {
      case 0:  // one recv's worth of bytes
        Append(form, target, input.Take(input.Le16() % (quib::kBufferSize + 64)));
        CheckLength(target);
        break;
      case 1: {  // the same in pieces, a tick after each
        const std::string bytes = input.Take(input.Le16() % (quib::kBufferSize + 64));
        const std::size_t piece = 1 + input.Byte() % 16;
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
          Append(form, target, std::string_view(bytes).substr(at, piece));
          CheckLength(target);
          if (handlerCalls < kMaxHandlerCalls) {
            ++handlerCalls;
            Handle(form, target);
          }
        }
        break;
      }
      case 2:
      case 3: {  // a tick's handler call, or several; after quiet reads for 3
        const int calls = 1 + input.Byte() % 4;
        for (int i = 0; i < calls && handlerCalls < kMaxHandlerCalls; ++i, ++handlerCalls) {
          if (code % 8 == 3) quib::TakeReceivedBytes(form, target, 0);
          CheckLength(target);
          Handle(form, target);
        }
        break;
      }
      case 4: {  // framing alone, with any id
        const std::int32_t before = target.RecvLength;
        quib::ConsumePacket(form, target, input.Le16());
        CheckLength(target);
        Require(target.RecvLength <= std::max(before, 0));
        break;
      }
      case 5: {  // the operator's map commands
        const std::uint8_t which = input.Byte();
        if (which & 1) form.Command3_Click();
        if (which & 2) form.Command4_Click();
        if (which & 4) form.Command2_Click();
        break;
      }
      case 6:  // the map name, as set from code: no length limit
        form.Text2.SetText(input.Take(input.Byte()));
        break;
      case 7:  // the start cell boxes
        form.Pos[input.Byte() & 1].SetText(input.Take(input.Byte() % 24));
        break;
    }
    Require(form.ConnectionTable.size() == connections);
  }
  return 0;
}
