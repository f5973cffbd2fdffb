// Where packet_db.txt lives on Linux: beside the executable /proc names.
#include "packetdb/packet_database.h"

#include <filesystem>
#include <system_error>

namespace quib {

std::string DefaultPacketDatabasePath() {
  // The executable's own folder, not the current directory: the server may be
  // started from anywhere.
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || executable.empty()) return {};
  std::string folder = executable.parent_path().string();
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder + "packet_db.txt";
}

}  // namespace quib
