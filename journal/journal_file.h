// A journal file: JSON Lines, one object a line, written as the server goes
// and kept nowhere else. Lines gather in one buffer that goes to the file
// once it holds 64 KiB and on every Flush (once a tick); only whole lines
// reach the file. The file rules are the capture's: only a regular file is
// taken, and opening never waits on what its path names; the first failed
// write ends the journal, the file cut back to its last whole line and
// closed, IsOpen() false and TakeError() saying why. Lines added while it is
// closed go nowhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/os.h"

namespace quib {

class JournalFile {
 public:
  JournalFile() = default;
  ~JournalFile();
  JournalFile(const JournalFile&) = delete;
  JournalFile& operator=(const JournalFile&) = delete;

  // Creates or empties the regular file at `path` and writes `firstLine` to
  // it at once. A journal already open writes out what it holds first and is
  // closed only once the new file has taken that line, so that a switch
  // loses nothing and a file that takes nothing leaves it going. When `path`
  // names the open file, by any name, nothing changes. False when the file
  // cannot be created or is no regular file ("Unable to open the journal
  // file PATH: reason" in `error`), or does not take its first line
  // ("Unable to write the journal file PATH: reason").
  bool Open(const std::string& path, std::string_view firstLine, std::string& error);
  // Writes what is buffered and closes the file. False when that failed.
  bool Close();
  bool IsOpen() const { return file_.IsOpen(); }
  // True while the journal writes the file that `path` names, by any name.
  bool Writes(const std::string& path) const { return file_.IsFileAt(path); }
  // The file of the journal that runs, or ran last.
  const std::string& Path() const { return path_; }

  // Where the next line is built: append one whole line ending in a line
  // feed, then call LineAdded.
  std::string& Buffer() { return buffer_; }
  // The line is complete: it goes out with the others once enough wait.
  void LineAdded();
  // Writes what is buffered. False when the journal is not open (any more).
  bool Flush();
  // Why the journal stopped on its own, once; empty while nothing failed.
  std::string TakeError() { return std::exchange(lastError_, {}); }

 private:
  bool WriteOut();

  OutputFile file_;
  std::string path_;
  std::string buffer_;         // whole lines not yet written
  std::uint64_t written_ = 0;  // bytes on disk, always whole lines
  std::string lastError_;
};

}  // namespace quib
