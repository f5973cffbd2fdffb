#include "tests/small_disk.h"

#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace quib::test {

SmallDisk::SmallDisk(std::size_t bytes) {
  char folder[] = "/tmp/quib-small-disk-XXXXXX";
  if (::mkdtemp(folder) == nullptr) {
    why_ = std::strerror(errno);
    return;
  }
  folder_ = folder;
  const std::string options = "size=" + std::to_string(bytes);
  if (::mount("tmpfs", folder, "tmpfs", 0, options.c_str()) != 0) {
    why_ = std::string("cannot mount a tmpfs (") + std::strerror(errno) + "; it needs root)";
    return;
  }
  mounted_ = true;
}

SmallDisk::~SmallDisk() {
  if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  if (!folder_.empty()) ::rmdir(folder_.c_str());
}

bool SmallDisk::LeaveRoom(std::size_t room) {
  struct statvfs info {};
  if (!mounted_ || ::statvfs(folder_.c_str(), &info) != 0) return false;
  const std::size_t free = info.f_bavail * info.f_frsize;
  if (free <= room) return true;
  std::ofstream filler(Path("filler"), std::ios::binary);
  const std::vector<char> zeros(free - room, 0);
  filler.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
  return static_cast<bool>(filler.flush());
}

bool EndsOnAWholeBlock(const std::string& path, std::size_t& blocks) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                         std::istreambuf_iterator<char>());
  blocks = 0;
  std::size_t at = 0;
  while (at + 12 <= bytes.size()) {
    const std::size_t length = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 |
                               static_cast<std::size_t>(bytes[at + 7]) << 24;
    if (length < 12 || length % 4 != 0 || at + length > bytes.size()) return false;
    at += length;
    ++blocks;
  }
  return at == bytes.size();
}

}  // namespace quib::test
