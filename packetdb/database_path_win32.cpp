// Where packet_db.txt lives on Windows: beside the executable the system
// loaded. The path is handed on in UTF-8, the form file reading expects.
#include "packetdb/packet_database.h"

#include <windows.h>

#include <vector>

namespace quib {

std::string DefaultPacketDatabasePath() {
  // The executable's own folder, not the current directory: the program may
  // be started from anywhere, or by a double click.
  std::vector<wchar_t> name(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return {};
    if (length < name.size()) {
      name.resize(length);
      break;
    }
    if (name.size() >= 32768) return {};
    name.resize(name.size() * 2);
  }
  while (!name.empty() && name.back() != L'\\' && name.back() != L'/') name.pop_back();
  if (name.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string folder(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), folder.data(), size,
                        nullptr, nullptr);
  return folder + "packet_db.txt";
}

}  // namespace quib
