#include "ui/Wnd.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/textentry.h>
#include <wx/weakref.h>
#include <wx/window.h>

#include <unordered_map>

#include "ui/WxText.h"

namespace ui {
namespace {

std::unordered_map<wxWindow*, CWnd*>& PermanentMap() {
  static std::unordered_map<wxWindow*, CWnd*> map;
  return map;
}

void DispatchPostedMessage(const MSG& msg) {
  // Like the framework's pre-translation walk: the target first, then each parent up to and
  // including its top-level window.
  for (wxWindow* window = msg.hwnd; window != nullptr; window = window->GetParent()) {
    if (CWnd* wnd = CWnd::FromHandlePermanent(window)) {
      if (wnd->PreTranslateMessage(msg)) return;
    }
    if (window->IsTopLevel()) break;
  }
}

}  // namespace

CWnd::~CWnd() { Detach(); }

BOOL CWnd::Attach(HWND hWnd) {
  if (hWnd == nullptr || m_hWnd != nullptr) return FALSE;
  auto& map = PermanentMap();
  if (map.count(hWnd) != 0) return FALSE;
  m_hWnd = hWnd;
  map[hWnd] = this;
  // A window destroyed under us must not leave a dangling handle behind.
  hWnd->Bind(wxEVT_DESTROY, &CWnd::OnWindowDestroyed, this);
  return TRUE;
}

void CWnd::OnWindowDestroyed(wxWindowDestroyEvent& event) {
  event.Skip();
  if (m_hWnd != nullptr && event.GetEventObject() == m_hWnd) {
    m_hWnd->Unbind(wxEVT_DESTROY, &CWnd::OnWindowDestroyed, this);
    PermanentMap().erase(m_hWnd);
    m_hWnd = nullptr;
  }
}

HWND CWnd::Detach() {
  HWND hWnd = m_hWnd;
  if (hWnd != nullptr) {
    auto& map = PermanentMap();
    auto found = map.find(hWnd);
    if (found != map.end() && found->second == this) {
      map.erase(found);
      hWnd->Unbind(wxEVT_DESTROY, &CWnd::OnWindowDestroyed, this);
    }
    m_hWnd = nullptr;
  }
  return hWnd;
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
  auto& map = PermanentMap();
  auto found = map.find(hWnd);
  return found == map.end() ? nullptr : found->second;
}

HWND CWnd::GetParent() const { return m_hWnd ? m_hWnd->GetParent() : nullptr; }

void CWnd::SetWindowText(const CString& text) {
  if (m_hWnd) SetWindowTextOf(m_hWnd, text);
}

int CWnd::MessageBox(const CString& text, const CString& caption, UINT type) {
  long style = wxOK;
  switch (type & MB_ICONMASK) {
    case MB_ICONERROR: style |= wxICON_ERROR; break;
    case MB_ICONQUESTION: style |= wxICON_QUESTION; break;
    case MB_ICONWARNING: style |= wxICON_WARNING; break;
    case MB_ICONINFORMATION: style |= wxICON_INFORMATION; break;
    default: style |= wxICON_NONE; break;
  }
  wxMessageDialog box(m_hWnd, ToWx(text), ToWx(caption), style);
  box.ShowModal();
  return IDOK;
}

BOOL CWnd::PreTranslateMessage(const MSG&) { return FALSE; }

const MessageMap* CWnd::GetThisMessageMap() {
  static const MessageMapEntry entries[] = {{0, 0, false, nullptr, nullptr}};
  static const MessageMap map{nullptr, entries};
  return &map;
}

const MessageMap* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

const MessageMapEntry* CWnd::FindEntry(UINT code, int id, bool reflected) const {
  for (const MessageMap* map = GetMessageMap(); map != nullptr;
       map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const MessageMapEntry* entry = map->entries; entry->pfn || entry->pfnNotify; ++entry) {
      if (entry->code == code && entry->reflected == reflected && (reflected || entry->id == id)) {
        return entry;
      }
    }
  }
  return nullptr;
}

BOOL CWnd::Dispatch(const MessageMapEntry* entry, NMHDR* header, LRESULT* result) {
  if (entry == nullptr) return FALSE;
  if (entry->pfnNotify) {
    (this->*entry->pfnNotify)(header, result);
  } else {
    (this->*entry->pfn)();
  }
  return TRUE;
}

BOOL CWnd::OnCmdMsg(int id, UINT code) {
  // A command comes without a header: a handler that takes one gets one of the ID and code.
  NMHDR header{nullptr, static_cast<UINT_PTR>(id), code};
  LRESULT result = 0;
  return Dispatch(FindEntry(code, id, false), &header, &result);
}

BOOL CWnd::OnNotify(int id, UINT code, NMHDR* header, LRESULT* result) {
  return Dispatch(FindEntry(code, id, false), header, result);
}

BOOL CWnd::OnChildNotify(UINT code, NMHDR* header, LRESULT* result) {
  return Dispatch(FindEntry(code, 0, true), header, result);
}

BOOL PostMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hWnd == nullptr || wxTheApp == nullptr) return FALSE;
  // The target may be gone by the time the queue reaches the message.
  wxWeakRef<wxWindow> target(hWnd);
  wxTheApp->CallAfter([target, message, wParam, lParam] {
    if (target) DispatchPostedMessage(MSG{target.get(), message, wParam, lParam});
  });
  return TRUE;
}

int CompareNoCase(const CString& a, const CString& b) {
  const std::size_t length = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < length; ++i) {
    auto fold = [](char c) {
      const auto u = static_cast<unsigned char>(c);
      return (u >= 'A' && u <= 'Z') ? u + ('a' - 'A') : static_cast<unsigned>(u);
    };
    const unsigned ca = fold(a[i]);
    const unsigned cb = fold(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace ui

namespace ui {

CString GetWindowTextOf(wxWindow* window) {
  if (auto* entry = dynamic_cast<wxTextEntry*>(window)) return FromWx(entry->GetValue());
  return FromWx(window->GetLabel());
}

void SetWindowTextOf(wxWindow* window, const CString& text) {
  if (auto* entry = dynamic_cast<wxTextEntry*>(window)) {
    entry->ChangeValue(ToWx(text));
  } else {
    window->SetLabel(ToWx(text));
  }
}

}  // namespace ui
