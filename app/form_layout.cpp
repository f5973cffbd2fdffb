#include "app/form_layout.h"

#include <algorithm>
#include <array>

#include "base/settings.h"

namespace quib {

namespace {

using enum ControlKind;
using enum FormControl;
constexpr ControlParent kInFrame = ControlParent::Frame1;
constexpr ControlParent kOnWindow = ControlParent::Window;

constexpr std::array<FormRow, kFormControlCount> kRows{{
    {Check1,
     "Check1",
     CheckBox,
     "Hide Unknown Packets",
     {5040, 4515, 2535, 195},
     kOnWindow,
     {},
     OnResize::KeepsToBottom},
    {Command2,
     "Command2",
     Button,
     "Clear Log",
     {2835, 4515, 1065, 225},
     kOnWindow,
     {},
     OnResize::KeepsToBottom},
    {Frame1, "Frame1", Frame, "Specifics", {105, 105, 2640, 1800}},
    {Command4, "Command4", Button, "Force Map Reload", {840, 1365, 1590, 330}, kInFrame},
    {Option1_1, "Option1(1)", OptionButton, "Male", {1680, 945, 855, 225}, kInFrame},
    {Option1_0, "Option1(0)", OptionButton, "Female", {735, 945, 855, 225}, kInFrame},
    {Text2,
     "Text2",
     TextBox,
     kDefaultMapName,
     {735, 630, 1065, 285},
     kInFrame,
     {.MaxLength = kMapNameMaxLength}},
    {Command3, "Command3", Button, "Warp", {1890, 315, 540, 330}, kInFrame},
    {Pos_1, "Pos(1)", TextBox, kDefaultPosY, {1365, 315, 435, 285}, kInFrame},
    {Pos_0, "Pos(0)", TextBox, kDefaultPosX, {735, 315, 435, 285}, kInFrame},
    {Label3, "Label3", Label, "Gender:", {105, 945, 645, 225}, kInFrame},
    {Label2, "Label2", Label, "Map:", {105, 630, 435, 225}, kInFrame},
    // The "x" stands between the two Pos boxes, which lie over the spaces.
    {Label1,
     "Label1",
     Label,
     "Position:           x",
     {105, 315, 1170, 195},
     kInFrame,
     {.AlignRight = true}},
    {Timer1, "Timer1", Timer, "", {105, 1995, 0, 0}},
    {rWin, "rWin", Button, "Hidden", {525, 1995, 960, 435}, kOnWindow, {.Visible = false}},
    {List1, "List1", ListBox, "", {2835, 105, 4740, 4350}, kOnWindow, {}, OnResize::Grows},
    {Command1,
     "Command1",
     Button,
     "Unused",
     {1470, 1995, 855, 435},
     kOnWindow,
     {.Visible = false, .Enabled = false}},
    {Text1, "Text1", TextBox, "", {105, 2100, 2640, 2640}, kOnWindow, {.MultiLine = true}},
}};

constexpr bool InCreationOrder() {
  for (std::size_t i = 0; i < kRows.size(); ++i) {
    if (static_cast<std::size_t>(kRows[i].Control) != i) return false;
  }
  return true;
}
static_assert(InCreationOrder(), "row i of the form is FormControl i");

}  // namespace

std::span<const FormRow> FormRows() { return kRows; }

const FormRow& RowOf(FormControl control) { return kRows[static_cast<std::size_t>(control)]; }

FormRect ResizedPlace(const FormRow& row, int width, int height,
                      const std::function<int(int)>& toUnit) {
  const FormRect& twips = row.Place;
  const FormRect designed{toUnit(twips.Left), toUnit(twips.Top), toUnit(twips.Width),
                          toUnit(twips.Height)};
  switch (row.Resize) {
    case OnResize::Grows: {
      const int rightMargin = toUnit(kFormPlace.Width) - toUnit(twips.Left + twips.Width);
      const int bottomMargin = toUnit(kFormPlace.Height) - toUnit(twips.Top + twips.Height);
      return {designed.Left, designed.Top, std::max(0, width - designed.Left - rightMargin),
              std::max(0, height - designed.Top - bottomMargin)};
    }
    case OnResize::KeepsToBottom:
      return {designed.Left, height - (toUnit(kFormPlace.Height) - designed.Top), designed.Width,
              designed.Height};
    case OnResize::Stays:
      break;
  }
  return designed;
}

}  // namespace quib
