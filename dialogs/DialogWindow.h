// The headless control model: one dialog window (a frame or a page) whose
// controls are found by identifier, with the state a Windows dialog keeps
// for them (text, enabled, visible, check state, list items and selection,
// trackbar range, position and tick frequency, up-down range and buddy).
//
// Two kinds of callers change it, and they differ in what they notify:
// - The dialog logic changes controls the way dialog code does. Only a new
//   edit text notifies the logic (an edit reports every change of its text,
//   whoever made it); selecting, checking and positioning do not.
// - A user, through the scripted driver or the GTK face, acts with the User*
//   operations, which change the state as the real control would and then
//   notify the logic (click, selection change, edit change, trackbar moved).
// Every change is also reported to the observer (the GTK face) so that its
// widgets follow the model.
//
// The operations are virtual so that the GUI module, a separate shared
// object that sees none of the library's symbols, reaches them through the
// object's own table.
//
// Thread context: a window belongs to the thread that runs its dialog; it
// takes no lock. Other threads reach a running dialog only through
// DialogSession::Post.
#pragma once

#include <string>
#include <vector>

#include "dialogs/DialogTemplate.h"

namespace quorel {

enum class ControlNotify {
  kClicked,           // button, check box or radio button clicked
  kEditChanged,       // an edit's text changed
  kSelectionChanged,  // the user chose another entry of a list or another tab
};

struct DialogControl {
  ControlKind kind = ControlKind::kStatic;
  int id = kNoControlId;
  std::string text;
  ControlRect rect;
  unsigned style = kStyleNone;
  bool enabled = true;
  bool visible = true;
  bool checked = false;
  std::vector<std::string> items;  // drop-down lists and tabs
  int selection = -1;              // -1: nothing selected
  int rangeMin = 0;                // trackbars and up-downs
  int rangeMax = 100;
  int position = 0;
  int tickFrequency = 1;
  int buddy = 0;  // up-down: the edit it is bound to
};

// Receives the notifications of a window's controls (the dialog logic).
class DialogHandler {
 public:
  virtual ~DialogHandler() = default;
  virtual void OnCommand(int id, ControlNotify notify) = 0;
  // A trackbar was moved by the user to its (already stored) position.
  virtual void OnTrackbarMoved(int id) = 0;
};

// Follows the state of a window's controls (the GTK face).
class ControlObserver {
 public:
  virtual ~ControlObserver() = default;
  virtual void OnControlChanged(int id) = 0;
  // The window itself was shown or hidden.
  virtual void OnWindowShown(bool shown) = 0;
};

class DialogWindow {
 public:
  explicit DialogWindow(const DialogTemplate &dialogTemplate);
  virtual ~DialogWindow() = default;
  DialogWindow(const DialogWindow &) = delete;
  DialogWindow &operator=(const DialogWindow &) = delete;

  virtual const DialogTemplate &Template() const;
  virtual const std::vector<DialogControl> &Controls() const;
  // The control with this identifier; null for an unknown one (and for
  // kNoControlId, which names no single control).
  virtual const DialogControl *Find(int id) const;

  virtual void SetHandler(DialogHandler *handler);
  virtual void SetObserver(ControlObserver *observer);
  virtual bool IsShown() const;
  virtual void Show(bool shown);

  // --- what the dialog logic calls ---
  virtual void SetText(int id, const std::string &text);  // edits notify kEditChanged
  virtual std::string GetText(int id) const;
  // Signed or unsigned decimal text, as dialog code writes numbers.
  virtual void SetInt(int id, int value, bool isSigned);
  // The number in an edit: optional blanks, a sign (signed only), digits,
  // optional blanks; anything else, or a value beyond 32 bits, reads as 0.
  virtual int GetInt(int id, bool isSigned) const;
  virtual void Enable(int id, bool enabled);
  virtual void ShowControl(int id, bool visible);
  virtual void SetCheck(int id, bool checked);
  virtual bool IsChecked(int id) const;
  virtual void ResetItems(int id);
  virtual void AddItem(int id, const std::string &text);
  virtual void InsertItem(int id, int index, const std::string &text);  // index past the end appends
  virtual void DeleteItem(int id, int index);
  virtual int ItemCount(int id) const;
  // An index outside the list clears the selection (and the call fails, as
  // selecting a missing entry does).
  virtual bool SetSelection(int id, int index);
  virtual int GetSelection(int id) const;
  virtual void SetRange(int id, int minimum, int maximum);  // trackbar or up-down
  virtual void SetPosition(int id, int position);           // a trackbar clamps it to its range
  virtual int GetPosition(int id) const;
  virtual void SetTickFrequency(int id, int frequency);
  virtual void SetBuddy(int upDownId, int editId);

  // --- what a user does (scripted driver, GTK face) ---
  // Each returns false, changing nothing, when the control is missing,
  // disabled, hidden or of another kind.
  virtual bool UserClick(int id);
  virtual bool UserType(int id, const std::string &text);
  virtual bool UserSelect(int id, int index);
  virtual bool UserMoveTrackbar(int id, int position);
  // One click on an up-down arrow (+1 up, -1 down): the buddy's number moves
  // by one within the up-down's range and is written into the buddy.
  virtual bool UserSpin(int id, int delta);

 private:
  DialogControl *FindMutable(int id);
  bool UserCanReach(const DialogControl *control, ControlKind kind) const;
  void Changed(int id);
  void Notify(int id, ControlNotify notify);

  const DialogTemplate &template_;
  std::vector<DialogControl> controls_;
  DialogHandler *handler_ = nullptr;
  ControlObserver *observer_ = nullptr;
  bool shown_ = true;
};

// Parses a dialog number as GetInt does: *ok false (and 0) for text that is
// not one.
int ParseDialogInt(const std::string &text, bool isSigned, bool *ok);

}  // namespace quorel
