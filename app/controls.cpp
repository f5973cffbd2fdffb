#include "app/controls.h"

#include <algorithm>

namespace quib {

bool AllDigits(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::size_t CharacterCount(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

void TextBox::SetText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  if (OnChange) OnChange();
}

bool TextBox::Type(std::string text) {
  if (!Accepts(text)) return false;
  if (max_length_ == 0 || text.size() <= max_length_) {
    SetText(std::move(text));
    return true;
  }
  const std::string typed = text;
  // Cut at a character's start: a character of several bytes (UTF-8, as the
  // console and the windows hand text over) is kept whole or not at all.
  std::size_t length = max_length_;
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  text.resize(length);
  SetText(std::move(text));
  if (OnCut) OnCut(typed);
  return true;
}

void CheckBox::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  if (OnChange) OnChange();
}

void OptionGroup::Select(int index) {
  if (index == selected_ || index < 0 || index > 1) return;
  selected_ = index;
  if (OnChange) OnChange();
}

void ListBox::AddItem(std::string line, std::uint8_t kind) {
  if (items_.size() >= kMaxLines) {
    items_.pop_front();
    kinds_.pop_front();
    if (OnDropOldest) OnDropOldest();
  }
  items_.push_back(std::move(line));
  kinds_.push_back(kind);
  ++appended_;
  if (OnAppend) OnAppend(items_.back());
}

void ListBox::Clear() {
  items_.clear();
  kinds_.clear();
  if (OnClear) OnClear();
}

}  // namespace quib
