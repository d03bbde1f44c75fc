#include "ui/DialogTemplate.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/dialog.h>
#include <wx/settings.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>

#include "res/Templates.h"
#include "ui/Resources.h"
#include "ui/WxText.h"

namespace ui {
namespace {

// An edit without a tab stop is skipped by Tab but can still be clicked into.
class TemplateTextCtrl : public wxTextCtrl {
 public:
  TemplateTextCtrl(wxWindow* parent, int id, const wxPoint& pos, const wxSize& size, long style,
                   bool tabStop)
      : wxTextCtrl(parent, id, wxEmptyString, pos, size, style), m_tabStop(tabStop) {}
  bool AcceptsFocusFromKeyboard() const override {
    return m_tabStop && wxTextCtrl::AcceptsFocusFromKeyboard();
  }

 private:
  bool m_tabStop;
};

// Sorting is done by the layer (case-insensitively, as the templates' sorted lists expect), so
// the wx control itself is unsorted.
class TemplateComboBox : public wxComboBox {
 public:
  TemplateComboBox(wxWindow* parent, int id, const wxPoint& pos, const wxSize& size, bool sorted)
      : wxComboBox(parent, id, wxEmptyString, pos, size, 0, nullptr, wxCB_DROPDOWN),
        m_sorted(sorted) {}
  bool KeepsSorted() const { return m_sorted; }

 private:
  bool m_sorted;
};

long BorderStyle(std::uint32_t style) {
  return (style & res::WS_BORDER) ? wxBORDER_THEME : wxBORDER_NONE;
}

// A control's window ID, its place in pixels and its text.
struct Placement {
  int id;
  wxPoint pos;
  wxSize size;
  wxString text;
};

void CreateLabel(wxDialog& dialog, const res::ControlTemplate& control, const Placement& at) {
  auto* label =
      new wxStaticText(&dialog, at.id, wxEmptyString, at.pos, at.size, wxST_NO_AUTORESIZE);
  // "&&" in a template shows as one '&'; without a prefix every '&' shows as it is.
  if (control.style & res::SS_NOPREFIX) {
    label->SetLabelText(at.text);
  } else {
    label->SetLabel(at.text);
  }
  label->Wrap(at.size.x);
  label->SetSize(at.pos.x, at.pos.y, at.size.x, at.size.y);
}

void CreateEdit(wxDialog& dialog, const res::ControlTemplate& control, const Placement& at) {
  long style = BorderStyle(control.style);
  if (control.style & res::ES_READONLY) style |= wxTE_READONLY;
  if (control.exStyle & res::WS_EX_RIGHT) style |= wxTE_RIGHT;
  new TemplateTextCtrl(&dialog, at.id, at.pos, at.size, style,
                       (control.style & res::WS_TABSTOP) != 0);
}

wxButton* CreatePushButton(wxDialog& dialog, const Placement& at) {
  // Exact fit drops the toolkit's wide padding, which would hide labels such as "..." on the
  // narrow buttons the templates use.
  return new wxButton(&dialog, at.id, at.text, at.pos, at.size, wxBU_EXACTFIT);
}

void CreateTree(wxDialog& dialog, const res::ControlTemplate& control, const Placement& at) {
  // A hidden root lets the tree hold several top-level items.
  auto* tree = new wxTreeCtrl(
      &dialog, at.id, at.pos, at.size,
      wxTR_HIDE_ROOT | wxTR_NO_LINES | wxTR_NO_BUTTONS | wxTR_SINGLE | BorderStyle(control.style));
  tree->AddRoot(wxEmptyString);
}

void CreateControl(wxDialog& dialog, const res::ControlTemplate& control) {
  using K = res::ControlKind;
  const Placement at{control.id == res::IDC_STATIC ? wxID_ANY : control.id,
                     dialog.ConvertDialogToPixels(wxPoint(control.x, control.y)),
                     dialog.ConvertDialogToPixels(wxSize(control.cx, control.cy)),
                     ToWx(control.text ? control.text : "")};
  switch (control.kind) {
    case K::Static:
      CreateLabel(dialog, control, at);
      break;
    case K::Icon:
      new wxStaticBitmap(&dialog, at.id, LoadBitmapResource(control.resourceId), at.pos, at.size);
      break;
    case K::Edit:
      CreateEdit(dialog, control, at);
      break;
    case K::PushButton:
      CreatePushButton(dialog, at);
      break;
    case K::DefPushButton:
      CreatePushButton(dialog, at)->SetDefault();
      break;
    case K::OwnerDrawButton:
      new wxButton(&dialog, at.id, wxEmptyString, at.pos, at.size,
                   wxBU_EXACTFIT | wxBU_NOTEXT | wxBORDER_NONE);
      break;
    case K::CheckBox:
      new wxCheckBox(&dialog, at.id, at.text, at.pos, at.size);
      break;
    case K::GroupBox:
      new wxStaticBox(&dialog, at.id, at.text, at.pos, at.size);
      break;
    case K::TreeView:
      CreateTree(dialog, control, at);
      break;
    case K::ComboBox:
      // The template's height covers the dropped-down list; the closed box keeps its own.
      new TemplateComboBox(&dialog, at.id, at.pos, wxSize(at.size.x, -1),
                           (control.style & res::CBS_SORT) != 0);
      break;
  }
}

}  // namespace

wxFont TemplateFont() {
  // The templates ask for 8-point "MS Sans Serif": the platform's default GUI font at 8 points
  // has about the same proportions, so every label fits the width the template gives it.
  wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
  font.SetPointSize(8);
  return font;
}

void BuildDialogFromTemplate(wxDialog& dialog, const res::DialogTemplate& dialogTemplate) {
  dialog.SetFont(TemplateFont());
  dialog.SetClientSize(
      dialog.ConvertDialogToPixels(wxSize(dialogTemplate.cx, dialogTemplate.cy)));
  for (const res::ControlTemplate& control : dialogTemplate.controls) {
    CreateControl(dialog, control);
  }
  if (dialogTemplate.x == 0 && dialogTemplate.y == 0) {
    dialog.CentreOnParent();
  } else {
    dialog.Move(dialog.ConvertDialogToPixels(wxPoint(dialogTemplate.x, dialogTemplate.y)));
  }
}

bool IsSortedComboBox(const wxWindow* window) {
  const auto* combo = dynamic_cast<const TemplateComboBox*>(window);
  return combo != nullptr && combo->KeepsSorted();
}

}  // namespace ui
