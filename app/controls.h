// Toolkit-free models of the window's controls. Form1 owns them; the window and
// the console mirror them, and every change is announced through `OnChange` so
// that a view can follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace quib {

// True when every character of `text` is a decimal digit (the empty text too).
bool AllDigits(const std::string& text);

// The characters of UTF-8 `text`: its bytes but those that continue one.
std::size_t CharacterCount(const std::string& text);

class TextBox {
 public:
  explicit TextBox(std::string text = {}) : text_(std::move(text)) {}

  const std::string& Text() const { return text_; }

  // Set from code: no limit applies, as with the window's own text property.
  void SetText(std::string text);

  // What the user types replaces the text: refused (false) when the box takes
  // digits only and the text holds anything else; cut to MaxLength bytes
  // otherwise, at the start of a character.
  bool Type(std::string text);
  // Whether Type would take `text` rather than refuse it.
  bool Accepts(const std::string& text) const { return !digits_only_ || AllDigits(text); }

  std::size_t MaxLength() const { return max_length_; }
  void SetMaxLength(std::size_t length) { max_length_ = length; }  // 0: no limit
  bool DigitsOnly() const { return digits_only_; }
  void SetDigitsOnly(bool flag) { digits_only_ = flag; }

  std::function<void()> OnChange;
  // What the user typed was longer than MaxLength and was cut: the text
  // typed, before the cut.
  std::function<void(const std::string&)> OnCut;

 private:
  std::string text_;
  std::size_t max_length_ = 0;
  bool digits_only_ = false;
};

class CheckBox {
 public:
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);

  std::function<void()> OnChange;

 private:
  bool checked_ = false;
};

// A two-element option group: selecting one element clears the other.
class OptionGroup {
 public:
  int Selected() const { return selected_; }
  void Select(int index);

  std::function<void()> OnChange;

 private:
  int selected_ = 0;
};

// The packet log. Lines are appended at the end; past kMaxLines the oldest
// goes, so that a long run stays within bounded memory. Clear removes all.
class ListBox {
 public:
  static constexpr std::size_t kMaxLines = 100000;

  const std::deque<std::string>& Items() const { return items_; }
  // `kind` says what the line is about, for what a view offers on its row.
  void AddItem(std::string line, std::uint8_t kind = 0);
  // The kind of Items()[row]; 0 for a row past the end.
  std::uint8_t Kind(std::size_t row) const { return row < kinds_.size() ? kinds_[row] : 0; }
  void Clear();
  // How many lines were ever appended: the number of a line stays its own
  // while older ones are dropped. Items()[i] is line FirstNumber() + i.
  std::uint64_t Appended() const { return appended_; }
  std::uint64_t FirstNumber() const { return appended_ - items_.size(); }

  std::function<void(const std::string&)> OnAppend;
  std::function<void()> OnDropOldest;  // the first line went to make room
  std::function<void()> OnClear;

 private:
  std::deque<std::string> items_;
  std::deque<std::uint8_t> kinds_;  // beside items_, one each
  std::uint64_t appended_ = 0;
};

}  // namespace quib
