#include "packetdb/text_utils.h"

#include <cstdio>
#include <memory>

namespace quib {

std::string ReadWholeFile(const std::string& path) {
  // Binary mode: carriage returns stay, every byte becomes one character.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                        &std::fclose);
  if (!file) return {};
  // Read to the end rather than trusting a size up front: a directory or a
  // file that changes while it is read must not give a bogus buffer.
  std::string text;
  char chunk[16384];
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
    text.append(chunk, got);
    if (got < sizeof chunk) break;
  }
  if (std::ferror(file.get())) return {};
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

int SplitFields(std::vector<std::string>& fields, std::string text, char separator) {
  if (text.empty()) return 0;  // the caller's array stays as it was
  // Walk by position instead of taking fields off the front, so a long text
  // costs one pass.
  std::vector<std::string> found;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find(separator, start);
    if (at == std::string::npos) break;
    found.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  // A trailing separator leaves nothing behind it: no empty last field.
  if (start < text.size()) found.push_back(text.substr(start));
  fields = std::move(found);
  return static_cast<int>(fields.size());
}

}  // namespace quib
