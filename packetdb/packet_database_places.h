// Where packet_db.txt is looked for, in this order, each place relative to
// the folder of the program: the one list of them. The server reads it
// (DefaultPacketDatabasePaths), the dissector's tables are generated from it
// (quib.lua looks in the same places from each folder the program may be in
// relative to its own), and packaging/deb.cmake installs the file at the place
// of an install, read from the lines below: keep each place a quoted text of
// its own line, with '/' between folders.
#pragma once

#include <string_view>

namespace quib {

inline constexpr std::string_view kPacketDatabasePlaces[] = {
    "packet_db.txt",                       // beside it: a build folder, the unpacked Windows zip
    "../share/quib-server/packet_db.txt",  // an install: PREFIX/bin, PREFIX/share/quib-server
};

}  // namespace quib
