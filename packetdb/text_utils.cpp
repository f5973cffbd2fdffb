#include "packetdb/text_utils.h"

#include <limits>

namespace quib {

std::string ReadWholeFile(const std::string& path) {
  std::string text;
  if (ReadRegularFile(path, std::numeric_limits<std::size_t>::max(), text) != ReadResult::kRead) {
    return {};
  }
  return text;
}

std::string TakeField(std::string& text, char separator) {
  const std::size_t at = text.find(separator);
  if (at == std::string::npos) {
    std::string whole = std::move(text);
    text.clear();
    return whole;
  }
  std::string field = text.substr(0, at);
  text.erase(0, at + 1);
  return field;
}

std::string RemoveAll(std::string text, char separator) {
  std::erase(text, separator);
  return text;
}

std::size_t SplitFirstFields(std::string_view text, char separator,
                             std::span<std::string_view> fields) {
  std::size_t count = 0;
  std::size_t start = 0;
  while (count < fields.size()) {
    const std::size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      // A trailing separator leaves nothing behind it: no empty last field.
      if (start < text.size()) fields[count++] = text.substr(start);
      break;
    }
    fields[count++] = text.substr(start, at - start);
    start = at + 1;
  }
  return count;
}

}  // namespace quib
