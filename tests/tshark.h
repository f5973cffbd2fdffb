// The packet analyser, run on a capture file the server wrote: what it says
// about the file's frames, conversations and byte streams.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace quib::test {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;  // without the line tshark prints when run as root
};

// Runs a shell command and takes its output.
ToolRun Shell(const std::string& command);

class Tshark {
 public:
  // The analyser on `file`, with `serverPort` decoded as plain data (no
  // dissector guesses at the bytes). Available() is false when it is not
  // installed.
  Tshark(std::string file, int serverPort);
  bool Available() const { return !tool_.empty(); }

  ToolRun Run(const std::string& args) const;
  // Every frame that reads badly: a bad checksum, an analysis flag, a
  // malformed packet, a warning. Empty for a clean file.
  std::string Faults() const;
  // "A:PORT B:PORT" for each TCP conversation.
  std::set<std::string> Conversations() const;
  struct Stream {
    Bytes ToServer;
    Bytes ToClient;
  };
  // The reassembled bytes of TCP stream `index`, each way.
  Stream Follow(int index) const;
  // Each client frame's comment, one per line, in the order of the file.
  std::string Comments() const;
  // The same of the server's frames.
  std::string ServerComments() const;
  // Every client frame that carries data, in the order of the file: the
  // client's port, the bytes and the comment.
  struct Frame {
    int ClientPort = 0;
    Bytes Data;
    std::string Comment;
  };
  std::vector<Frame> ClientFrames() const;

 private:
  std::string tool_;
  std::string file_;
  int port_;
};

// dumpcap on the loopback interface: the packets of one TCP port, into a file,
// from Start() until Stop(). Needs root (or dumpcap's capture rights).
class LiveCapture {
 public:
  LiveCapture() = default;
  LiveCapture(const LiveCapture&) = delete;
  LiveCapture& operator=(const LiveCapture&) = delete;
  ~LiveCapture() { Stop(); }

  // False when dumpcap is missing or does not capture within 5 seconds.
  bool Start(int port, const std::string& file);
  // Ends the capture, the file complete; returns what dumpcap said.
  std::string Stop();

 private:
  std::string Said() const;
  pid_t pid_ = -1;
  std::string said_;  // the file of its standard error
};

}  // namespace quib::test
