// Small helpers that act on real widgets the way a user's input reaches them: by sending the
// control's own event.
#pragma once

#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/event.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>

#include "tests/gui/ModalHook.h"
#include "ui/Dialog.h"
#include "ui/WxText.h"

namespace kivofs_test {

inline wxWindow* Control(ui::CDialog& dialog, int id) {
  return dialog.m_hWnd ? dialog.m_hWnd->FindWindow(id) : nullptr;
}

inline void Click(wxWindow* button) {
  wxCommandEvent event(wxEVT_BUTTON, button->GetId());
  event.SetEventObject(button);
  button->GetEventHandler()->ProcessEvent(event);
}

inline void Click(ui::CDialog& dialog, int id) { Click(Control(dialog, id)); }

// A key press while `focus` has the keyboard focus (Enter, Escape, ...).
inline void PressKey(ui::CDialog& dialog, wxWindow* focus, int keyCode) {
  wxKeyEvent event(wxEVT_CHAR_HOOK);
  event.m_keyCode = keyCode;
  event.SetEventObject(focus);
  dialog.m_hWnd->GetEventHandler()->ProcessEvent(event);
}

inline void LoseFocus(wxWindow* control) {
  wxFocusEvent event(wxEVT_KILL_FOCUS, control->GetId());
  event.SetEventObject(control);
  control->GetEventHandler()->ProcessEvent(event);
}

// Replaces an edit's text as typing does (with the change notification).
inline void Type(wxWindow* edit, const std::string& text) {
  if (auto* entry = dynamic_cast<wxTextEntry*>(edit)) entry->SetValue(ui::ToWx(text));
}

inline std::string TextOf(wxWindow* control) { return ui::GetWindowTextOf(control); }

// Picks entry `index` of a combo box as the user does from its list.
inline void ChooseComboEntry(wxWindow* control, int index) {
  auto* combo = dynamic_cast<wxComboBox*>(control);
  combo->SetSelection(index);
  wxCommandEvent event(wxEVT_COMBOBOX, combo->GetId());
  event.SetEventObject(combo);
  event.SetInt(index);
  combo->GetEventHandler()->ProcessEvent(event);
}

// A double-click on a tree item: the first click selects it, the second activates it.
// Returns whether a handler stopped the tree's own processing.
inline bool DoubleClickTreeItem(wxWindow* control, void* item) {
  auto* tree = dynamic_cast<wxTreeCtrl*>(control);
  const wxTreeItemId id(item);
  tree->SelectItem(id);
  wxTreeEvent event(wxEVT_TREE_ITEM_ACTIVATED, tree, id);
  return tree->GetEventHandler()->ProcessEvent(event);
}

}  // namespace kivofs_test
