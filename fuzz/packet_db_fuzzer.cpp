// The packet database reader on arbitrary text. Besides the sanitizers, it
// checks what every reader of the table relies on: the table never has more
// than 65536 entries, and a written id is always within 1 to 65534; and that
// each mistake it counts is said, on a line of the text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <string>

#include "packetdb/database_summary.h"
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
  // Every mistake is said, each with a line of the text and some words.
  const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  std::size_t said = 0;
  quib::ReadReport report;
  report.Say = [&](const quib::DatabaseMistake& mistake) {
    Require(mistake.Line >= 1 && mistake.Line <= lines && !mistake.What.empty());
    ++said;
  };
  const quib::PacketTable table = quib::ParsePacketDatabase(text, &report);
  Require(said == std::accumulate(report.Found.begin(), report.Found.end(), std::size_t{0}));
  Require(table.size() <= 65536);
  // What is said of the versions reads only what the table holds.
  quib::VersionWarnings(table, report.Listed);
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
