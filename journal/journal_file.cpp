#include "journal/journal_file.h"

namespace quib {

namespace {

// Lines go to the file once this much waits.
constexpr std::size_t kWriteBufferSize = std::size_t{64} * 1024;

}  // namespace

JournalFile::~JournalFile() { Close(); }

bool JournalFile::Open(const std::string& path, std::string_view firstLine, std::string& error) {
  // Creating the file that runs would empty it, whatever name it goes by.
  if (Writes(path)) return true;
  Flush();
  OutputFile next;
  std::string reason;
  if (!next.Create(path, reason)) {
    error = "Unable to open the journal file " + path + ": " + reason;
    return false;
  }
  std::size_t written = 0;
  if (!next.Write(reinterpret_cast<const std::uint8_t*>(firstLine.data()), firstLine.size(),
                  written, reason)) {
    next.Truncate(0);
    error = "Unable to write the journal file " + path + ": " + reason;
    return false;
  }
  Close();
  file_.Swap(next);
  path_ = path;
  buffer_.clear();
  buffer_.reserve(kWriteBufferSize + kWriteBufferSize / 4);
  written_ = written;
  lastError_.clear();
  return true;
}

bool JournalFile::Close() {
  if (!IsOpen()) return true;
  bool written = WriteOut();
  std::string reason;
  if (IsOpen() && !file_.Close(reason) && written) {
    lastError_ = "Unable to close the journal file " + path_ + ": " + reason;
    written = false;
  }
  return written;
}

void JournalFile::LineAdded() {
  if (!IsOpen()) {
    buffer_.clear();
  } else if (buffer_.size() >= kWriteBufferSize) {
    WriteOut();
  }
}

bool JournalFile::Flush() { return IsOpen() && WriteOut(); }

bool JournalFile::WriteOut() {
  std::string reason;
  // What reached the disk of these lines goes again, so that the file ends
  // on a whole line.
  const bool whole = file_.AppendWhole(reinterpret_cast<const std::uint8_t*>(buffer_.data()),
                                       buffer_.size(), written_, reason);
  buffer_.clear();
  if (whole) return true;
  lastError_ = "Unable to write the journal file " + path_ + ": " + reason;
  return false;
}

}  // namespace quib
