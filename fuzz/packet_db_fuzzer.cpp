// The packet database reader on arbitrary text. Besides the sanitizers, it
// checks what every reader of the table relies on: the table never has more
// than 65536 entries, and a written id is always within 1 to 65534.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "packetdb/packet_database.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckEntry(const quib::PacketEntry& entry) {
  // Zero means no line wrote it; every line that did clamps the id.
  Require(entry.Id <= 0xFFFE);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const quib::PacketTable table = quib::ParsePacketDatabase(text);
  Require(table.size() <= 65536);
  for (const quib::VersionEntry& version : table) {
    for (const quib::PacketEntry* entry :
         {&version.wanttoconnection, &version.loadendack, &version.ticksend, &version.globalmessage,
          &version.emotion, &version.sndoridori, &version.walktoxy, &version.howmanyconnections,
          &version.restart}) {
      CheckEntry(*entry);
    }
  }
  // Lookups beyond the table must say "none", never read past it.
  Require(quib::FindVersion(table, static_cast<std::int32_t>(table.size())) == nullptr);
  Require(quib::FindVersion(table, -1) == nullptr);
  return 0;
}
