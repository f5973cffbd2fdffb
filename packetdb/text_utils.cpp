#include "packetdb/text_utils.h"

namespace quib {

std::string ReadWholeFile(const std::string&) { return {}; }  // STUB
std::string TakeField(std::string& text, char) { return std::move(text); }  // STUB
std::string RemoveAll(std::string text, char) { return text; }  // STUB
int SplitFields(std::vector<std::string>&, std::string, char) { return 0; }  // STUB

}  // namespace quib
