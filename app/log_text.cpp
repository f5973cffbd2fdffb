#include "app/log_text.h"

#include "app/main_window.h"

namespace quib {

std::string LogText(const ListBox& log) {
  std::string text;
  for (const std::string& line : log.Items()) {
    text += line;
    text += '\n';
  }
  return text;
}

std::string UnknownPacketText(const Form1& form, std::size_t row) {
  if (form.List1.Kind(row) != kUnknownPacketLine) return {};
  const std::string& line = form.List1.Items()[row];
  const auto* packet = form.Unknown.Find(form.List1.FirstNumber() + row);
  if (packet == nullptr) {
    return line + "\n\nThe bytes of this packet are no longer held: only those of the last " +
           std::to_string(UnknownPackets::kKept) + " unknown packets are kept.";
  }
  return DescribeUnknownPacket(*packet);
}

}  // namespace quib
