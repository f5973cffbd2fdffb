// Database texts that both readers of packet_db.txt are held to: the
// server's (packetdb/packet_database.cpp) and the dissector's (read_packet_db
// in quib.lua). The C++ reader's tests read every one from text and from a
// file (packet_database_text_test.cpp); the dissector's test reads each
// through tshark and expects of the same map packets what the server's
// reading makes of them (dissector_test.cpp).
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/packet_database_support.h"

namespace quib::test {

struct DatabaseText {
  std::string Name;
  std::string Text;
};

inline const std::vector<DatabaseText>& DatabaseTexts() {
  static const std::vector<DatabaseText> texts = [] {
    using namespace std::string_literals;
    const std::string login = "0x0072,19,wanttoconnection,2:4\n";
    const std::string walk = "0x0085,5,walktoxy,2\n";
    const std::string chat = "0x008C,-1,globalmessage,2\n";  // slot 1 carried over: 4
    std::string crlf;
    for (const char c : kSample) crlf += c == '\n' ? "\r\n" : std::string(1, c);
    std::vector<DatabaseText> all = {
        {"the sample", kSample},
        {"the sample with CRLF", crlf},
        {"the road", "packet_ver: 5\n" + login + walk + chat},
        {"spaces, CRLF, a fifth field, no last line feed",
         "  packet_ver:5 \r\n114,19,wanttoconnection,2:4,9\r\n0x85,5,walktoxy,2"},
        {"a section copies the one below", "packet_ver: 4\n" + walk + "packet_ver: 5\n" + login},
        {"a repeated header starts its section again",
         "packet_ver: 5\n" + walk + "packet_ver: 5\n" + login + chat},
        {"names and ids that store nothing",
         "packet_ver: 5\n0X72,19,wanttoconnection,2\n0x0072,19, walktoxy,2\n// packet_ver: 9\n"},
        {"a length that rounds up", "packet_ver: 5\n" + login + "0x0085, 4.51 ,walktoxy,2\n"},
        // 4.5 rounds to 4: the walk's cell is cut off, and its last byte heads the chat.
        {"a length that rounds down", "packet_ver: 5\n" + login + "0x0085,4.5,walktoxy,2\n" + chat},
        {"no section", login + walk},
        {"lines before the first header",
         "0x0072,19,wanttoconnection,2:6:10:14:18\npacket_ver: 5\n" + walk + chat},
        {"a lower section drops the higher ones",
         "packet_ver: 20\n0x009B,37,wanttoconnection,2\npacket_ver: 5\n" + login + walk},
        {"skipped versions stay empty",
         "packet_ver: 5\n" + login + "packet_ver: 7\n0x0072,39,wanttoconnection,2\n" + walk},
        {"unlisted slots carry over",
         "packet_ver: 5\n0x0072,19,wanttoconnection,2:4\n0x00B2,3,restart,,x\n" + chat},
        {"ids in every form",
         "packet_ver: 5\n114,19,wanttoconnection,2\n0x 8\t5,5,walktoxy,2\n0x00b2,3,restart,2\n"
         "0xFFFF,7,emotion,2\n0x8C,-1,globalmessage,2:4\n"},
        {"lengths out of range",
         "packet_ver: 5\n" + login + "0x0085,-5,walktoxy,2\n0x00B2,99999999999,restart,2\n"},
        {"a header between versions", "packet_ver: 5.5\n0x0072,22,wanttoconnection,2\n" + walk},
        {"a header without a number", "packet_ver:\n" + login + "packet_ver: 5\n" + walk},
        {"names in another case", "packet_ver: 5\n0x0072,19,WantToConnection,2\n" + walk},
        {"zero bytes", "packet_ver: 5\n0x0072,19\0junk,wanttoconnection,2\0:6\n"s + walk},
        {"a login that is a character select",
         "packet_ver: 5\n0x0066,3,wanttoconnection,2\n" + walk},
        {"ids the fixed cases take first",
         "packet_ver: 5\n" + login + "0x009B,5,walktoxy,2\n0x01C0,3,restart,2\n" + chat},
    };
    // The fuzz target's seeds: the shipped file and its edges.
    for (const char* name : {"shipped", "edges"}) {
      std::ifstream file(std::string(QUIB_SOURCE_DIR "/fuzz/corpus/packet_db/") + name,
                         std::ios::binary);
      all.push_back({std::string("fuzz/corpus/packet_db/") + name,
                     std::string(std::istreambuf_iterator<char>(file), {})});
    }
    return all;
  }();
  return texts;
}

}  // namespace quib::test
