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
      : wxComboBox(parent, id, wxEmptyString, pos, size, 0, nullptr, wxCB_DROPDOWN), m_sorted(sorted) {}
  bool KeepsSorted() const { return m_sorted; }

 private:
  bool m_sorted;
};

long BorderStyle(std::uint32_t style) {
  return (style & res::WS_BORDER) ? wxBORDER_THEME : wxBORDER_NONE;
}

void CreateControl(wxDialog& dialog, const res::ControlTemplate& control) {
  using K = res::ControlKind;
  const wxPoint pos = dialog.ConvertDialogToPixels(wxPoint(control.x, control.y));
  const wxSize size = dialog.ConvertDialogToPixels(wxSize(control.cx, control.cy));
  const int id = control.id == res::IDC_STATIC ? wxID_ANY : control.id;
  const wxString text = ToWx(control.text ? control.text : "");
  switch (control.kind) {
    case K::Static: {
      auto* label = new wxStaticText(&dialog, id, wxEmptyString, pos, size, wxST_NO_AUTORESIZE);
      // "&&" in a template shows as one '&'; without a prefix every '&' shows as it is.
      if (control.style & res::SS_NOPREFIX) {
        label->SetLabelText(text);
      } else {
        label->SetLabel(text);
      }
      label->Wrap(size.x);
      label->SetSize(pos.x, pos.y, size.x, size.y);
      break;
    }
    case K::Icon:
      new wxStaticBitmap(&dialog, id, LoadBitmapResource(control.resourceId), pos, size);
      break;
    case K::Edit: {
      long style = BorderStyle(control.style);
      if (control.style & res::ES_READONLY) style |= wxTE_READONLY;
      if (control.exStyle & res::WS_EX_RIGHT) style |= wxTE_RIGHT;
      new TemplateTextCtrl(&dialog, id, pos, size, style, (control.style & res::WS_TABSTOP) != 0);
      break;
    }
    // Exact fit drops the toolkit's wide padding, which would hide labels such as "..." on
    // the narrow buttons the templates use.
    case K::PushButton:
      new wxButton(&dialog, id, text, pos, size, wxBU_EXACTFIT);
      break;
    case K::DefPushButton: {
      auto* button = new wxButton(&dialog, id, text, pos, size, wxBU_EXACTFIT);
      button->SetDefault();
      break;
    }
    case K::OwnerDrawButton:
      new wxButton(&dialog, id, wxEmptyString, pos, size, wxBU_EXACTFIT | wxBU_NOTEXT | wxBORDER_NONE);
      break;
    case K::CheckBox:
      new wxCheckBox(&dialog, id, text, pos, size);
      break;
    case K::GroupBox:
      new wxStaticBox(&dialog, id, text, pos, size);
      break;
    case K::TreeView: {
      // A hidden root lets the tree hold several top-level items.
      auto* tree = new wxTreeCtrl(&dialog, id, pos, size,
                                  wxTR_HIDE_ROOT | wxTR_NO_LINES | wxTR_NO_BUTTONS | wxTR_SINGLE |
                                      BorderStyle(control.style));
      tree->AddRoot(wxEmptyString);
      break;
    }
    case K::ComboBox:
      // The template's height covers the dropped-down list; the closed box keeps its own.
      new TemplateComboBox(&dialog, id, pos, wxSize(size.x, -1), (control.style & res::CBS_SORT) != 0);
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
  dialog.SetClientSize(dialog.ConvertDialogToPixels(wxSize(dialogTemplate.cx, dialogTemplate.cy)));
  for (const res::ControlTemplate& control : dialogTemplate.controls) CreateControl(dialog, control);
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
