// What a dialog window is built from: its controls with their identifiers,
// kinds, texts and places, as a resource template lists them. The same
// template feeds the headless control model and the GTK face, so both show
// the same controls under the same identifiers.
//
// Places are in dialog units (about a quarter of an average character wide
// and an eighth of a character high); the GTK face scales them to pixels.
// Templates are plain constant data: thread-safe to read.
#pragma once

#include <string>
#include <vector>

namespace quorel {

enum class ControlKind {
  kTab,           // tab control (the frame of a property dialog)
  kGroupBox,      // frame with a caption around other controls
  kStatic,        // label or read-out text
  kEdit,          // single-line text entry
  kDropDownList,  // drop-down list without free text
  kPushButton,
  kCheckBox,     // ticks itself when clicked
  kRadioButton,  // checks itself and clears the others of its group when clicked
  kTrackbar,     // horizontal slider
  kUpDown,       // pair of arrows bound to an edit ("buddy")
};

// Identifier of a control that the logic never addresses (labels, group boxes).
inline constexpr int kNoControlId = -1;
// Standard button identifiers (also the results of a modal run).
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

enum ControlStyle : unsigned {
  kStyleNone = 0,
  kStyleDefaultButton = 1u << 0,  // Enter presses it
  kStyleReadOnly = 1u << 1,       // edit the user cannot type into
  kStyleNumber = 1u << 2,         // edit for a (signed) decimal number
  kStyleGroupStart = 1u << 3,     // first radio button of a group
  kStyleCentered = 1u << 4,       // static text centred in its box
};

struct ControlRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct ControlTemplate {
  ControlKind kind = ControlKind::kStatic;
  int id = kNoControlId;
  std::string text;  // "&" marks the mnemonic letter ("&&" is a literal "&")
  ControlRect rect;
  unsigned style = kStyleNone;
  int buddy = 0;  // up-down controls: the edit they are bound to
};

struct DialogTemplate {
  int resourceId = 0;  // 106, 101, ...: which template of which language
  std::string caption;
  ControlRect rect;  // a page's rect.x/y is its place inside the frame's tab
  std::vector<ControlTemplate> controls;
};

}  // namespace quorel
