#include "app/log_text.h"

#include <algorithm>

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

FormRect BytesDialogPlace(const FormRect& window, const FormRect& log, int width, int height,
                          const FormRect& work, int down) {
  const int workRight = work.Left + work.Width;
  int left = workRight - width;
  for (const int beside : {window.Left + window.Width, window.Left - width, log.Left - width}) {
    if (beside >= work.Left && beside + width <= workRight) {
      left = beside;
      break;
    }
  }
  const int top = std::min(window.Top + down, work.Top + work.Height - height);
  return {std::max(left, work.Left), std::max(top, work.Top), width, height};
}

}  // namespace quib
