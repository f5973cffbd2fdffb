// A file system that fills: a tmpfs of a given size mounted on a folder of its
// own (Linux, as root), unmounted and removed in the end.
#pragma once

#include <cstddef>
#include <string>

namespace quib::test {

class SmallDisk {
 public:
  explicit SmallDisk(std::size_t bytes);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  // False, with the reason in Why(), where no tmpfs could be mounted.
  bool Mounted() const { return mounted_; }
  const std::string& Why() const { return why_; }
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  // Fills the disk with a file of its own until `room` bytes are left.
  bool LeaveRoom(std::size_t room);

 private:
  std::string folder_;
  std::string why_;
  bool mounted_ = false;
};

// The sizes of the blocks of a pcapng file, walked by their lengths; false
// when the file does not end on a whole block.
bool EndsOnAWholeBlock(const std::string& path, std::size_t& blocks);

}  // namespace quib::test
