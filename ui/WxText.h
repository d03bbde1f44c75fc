// Conversions between the layer's UTF-8 strings and wx strings, and window text access.
#pragma once

#include <wx/string.h>

#include "ui/Win.h"

namespace ui {

inline wxString ToWx(const CString& text) { return wxString::FromUTF8(text.data(), text.size()); }

inline CString FromWx(const wxString& text) {
  const wxScopedCharBuffer utf8 = text.utf8_str();
  return CString(utf8.data(), utf8.length());
}

// The text of an edit or combo box, or the label of any other window.
CString GetWindowTextOf(wxWindow* window);
// Sets it without raising a change notification.
void SetWindowTextOf(wxWindow* window, const CString& text);

}  // namespace ui
