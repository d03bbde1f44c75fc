// Creates a dialog's controls from its template in res/.
#pragma once

class wxDialog;
class wxFont;
class wxWindow;

namespace res {
struct DialogTemplate;
}

namespace ui {

// Sets the dialog's font and client size and creates every control of the template, in
// template order, at its position. Dialog units are converted with the dialog's own font
// metrics, so the window must exist first.
void BuildDialogFromTemplate(wxDialog& dialog, const res::DialogTemplate& dialogTemplate);

// The font that stands for the templates' 8-point "MS Sans Serif".
wxFont TemplateFont();

// Whether a combo box created from a template keeps its list sorted.
bool IsSortedComboBox(const wxWindow* window);

}  // namespace ui
