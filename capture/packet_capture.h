// A capture file of client sessions, synthesised from what the server sees:
// each accepted connection becomes a TCP conversation of raw IPv4 frames whose
// sequence and acknowledgement numbers follow the bytes sent each way, so an
// analyser shows whole conversations and every byte in each direction.
//
// Writes go through one buffer owned by the capture, and only whole blocks
// reach the file; nothing is allocated per frame, only per conversation. The
// first failed write ends the capture: the file is cut back to its last whole
// block and closed, IsOpen() turns false and LastError() says why, and what is
// left reads to its end.
// Every other call on a closed capture, or with an id that has no
// conversation, does nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "capture/pcapng_format.h"
#include "platform/os.h"

namespace quib {

class PacketCapture : private ByteSink {
 public:
  using ConversationId = std::uint64_t;
  enum class EndKind {
    kClientClosed,  // client FIN, server FIN, client ACK
    kServerClosed,  // server FIN, client FIN, server ACK
    kReset,         // the client resets the connection (RST from the client)
    kServerReset,   // the server resets it (RST from the server)
  };

  PacketCapture() = default;
  ~PacketCapture();
  PacketCapture(const PacketCapture&) = delete;
  PacketCapture& operator=(const PacketCapture&) = delete;

  // Creates or empties the regular file at `path`, writes its header and
  // starts it. A capture already open writes out what it holds first, and is
  // closed only once the new file has taken its header; when `path` names
  // its own file (by any name) nothing changes. False when the file cannot be
  // created or is no regular file (a FIFO, a device, a directory: nothing
  // waits for it), "Unable to open the capture file PATH: reason" in
  // `error`, or when it does not take its header, "Unable to write the
  // capture file PATH: reason"; a capture already open then goes on.
  bool Open(const std::string& path, std::string& error);
  // True while the capture writes the file that `path` names, by any name.
  bool Writes(const std::string& path) const { return file_.IsFileAt(path); }
  // Writes what is buffered and closes the file. False when that write or the
  // close failed (LastError() says why).
  bool Close();
  bool IsOpen() const { return file_.IsOpen(); }
  // The file of the capture that runs, or ran last.
  const std::string& Path() const { return path_; }
  // Writes what is buffered. False when the capture is not open (any more).
  bool Flush();
  // Why the capture stopped on its own; empty while nothing failed.
  const std::string& LastError() const { return lastError_; }
  // LastError(), which is then forgotten: each failure is told once.
  std::string TakeError() { return std::exchange(lastError_, {}); }

  // Addresses in host byte order. Writes the three-way handshake, the first
  // frame with `comment` as its packet comment; an empty comment adds none.
  void BeginConversation(ConversationId id, std::uint32_t clientAddress, std::uint16_t clientPort,
                         std::uint32_t serverAddress, std::uint16_t serverPort, Timestamp time,
                         std::string_view comment = {});
  // Bytes the client sent, as one frame (several past one IPv4 packet's
  // payload) with `comment` as its packet comment; an empty comment adds none.
  void ClientData(ConversationId id, const std::uint8_t* bytes, std::size_t count,
                  std::string_view comment, Timestamp time);
  // Bytes the server sent, as one frame or several past one packet's
  // payload, the first with `comment` as its packet comment.
  void ServerData(ConversationId id, const std::uint8_t* bytes, std::size_t count,
                  std::string_view comment, Timestamp time);
  // Closes the conversation and forgets its id.
  void EndConversation(ConversationId id, EndKind how, Timestamp time);

 private:
  // One direction of a conversation.
  struct Side {
    std::uint32_t Address = 0;
    std::uint16_t Port = 0;
    std::uint32_t NextSequence = 0;  // of the next byte this side sends
    std::uint32_t Acknowledged = 0;  // the other side's latest acknowledgement
  };
  struct Conversation {
    Side Client;
    Side Server;
  };

  void Data(ConversationId id, bool fromClient, const std::uint8_t* bytes, std::size_t count,
            std::string_view comment, Timestamp time);
  // One frame from `from` to `to`, acknowledging all `to` sent.
  void Segment(Side& from, Side& to, std::uint8_t flags, const std::uint8_t* payload,
               std::size_t count, std::string_view comment, Timestamp time);
  void Put(const std::uint8_t* bytes, std::size_t count) override;
  // A block is complete: it goes out with the others once enough wait.
  void EndBlock();
  // Writes the whole blocks buffered; on failure ends the capture.
  bool WriteOut();

  OutputFile file_;
  std::string path_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t buffered_ = 0;
  std::uint64_t written_ = 0;  // bytes on disk, always whole blocks
  std::unordered_map<ConversationId, Conversation> conversations_;
  std::uint16_t nextIpId_ = 0;
  std::string lastError_;
};

}  // namespace quib
