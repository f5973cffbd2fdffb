// The window as it was designed: every control in creation order with its
// kind, caption, place in twips and settings. Both windows build their
// controls by walking this table, and their tests check what they built
// against it. No toolkit here: each window maps a kind to a control of its
// own and converts twips to its pixels.
#pragma once

#include <cstddef>
#include <functional>
#include <span>

namespace quib {

// Left, top, width and height; in twips in the table.
struct FormRect {
  int Left;
  int Top;
  int Width;
  int Height;
};

// The window: its caption, its place on the screen (left and top) and the
// size of its client area (width and height).
inline constexpr char kFormCaption[] = "Quib-Server";
inline constexpr FormRect kFormPlace{2250, 1395, 7635, 4830};

// The controls, in creation order; an element of a control array as
// name_index.
enum class FormControl {
  Check1,
  Command2,
  Frame1,
  Command4,
  Option1_1,
  Option1_0,
  Text2,
  Command3,
  Pos_1,
  Pos_0,
  Label3,
  Label2,
  Label1,
  Timer1,
  rWin,
  List1,
  Command1,
  Text1,
};
inline constexpr std::size_t kFormControlCount = static_cast<std::size_t>(FormControl::Text1) + 1;

enum class ControlKind { CheckBox, Button, Frame, OptionButton, TextBox, Label, Timer, ListBox };

// What holds a control: the window, or the frame Frame1.
enum class ControlParent { Window, Frame1 };

// What a control does when the window is resized.
enum class OnResize {
  Stays,          // where it was designed
  Grows,          // its right and bottom edges keep their distance to the window's
  KeepsToBottom,  // its top keeps its distance to the window's bottom
};

struct ControlSettings {
  bool Visible = true;
  bool Enabled = true;
  bool MultiLine = false;   // a text box of many lines, with a vertical scroll bar
  bool AlignRight = false;  // a label's text against its right edge
  int MaxLength = 0;        // characters a user may type into a text box; 0: no limit
};

struct FormRow {
  FormControl Control;
  const char* Name;  // the designer's name; "Pos(1)" for element 1 of Pos
  ControlKind Kind;
  const char* Caption;  // a text box's text at start; empty for a list or timer
  FormRect Place;       // twips, relative to its parent
  ControlParent Parent = ControlParent::Window;
  ControlSettings Settings = {};
  OnResize Resize = OnResize::Stays;
};

// Every control, in creation order: FormRows()[i].Control is FormControl i.
std::span<const FormRow> FormRows();
const FormRow& RowOf(FormControl control);

// Where `row`'s control stands, relative to its parent, when the window's
// client area is `width` by `height` in the unit that `toUnit` converts twips
// to: the margins that the table gives are kept in that unit.
FormRect ResizedPlace(const FormRow& row, int width, int height,
                      const std::function<int(int)>& toUnit);

}  // namespace quib
