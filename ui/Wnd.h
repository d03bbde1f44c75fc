// CWnd: a handle on one window of a dialog, with the message map that routes its notifications.
#pragma once

#include "ui/Win.h"

class wxWindowDestroyEvent;

namespace ui {

class CWnd;

using AFX_PMSG = void (CWnd::*)();
using AFX_PNOTIFY = void (CWnd::*)(NMHDR*, LRESULT*);

struct MessageMapEntry {
  UINT code;       // notification
  int id;          // control ID (unused by reflected entries)
  bool reflected;  // handled by the control itself rather than by its parent
  AFX_PMSG pfn;    // handler without arguments, or
  AFX_PNOTIFY pfnNotify;  // handler taking the notification header and the result
};

struct MessageMap {
  const MessageMap* (*pfnGetBaseMap)();
  const MessageMapEntry* entries;  // ends with an entry whose handlers are both null
};

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;
  HWND GetSafeHwnd() const { return m_hWnd; }

  // Binds this object to an existing window; the window stays owned by its parent.
  BOOL Attach(HWND hWnd);
  HWND Detach();
  // The object bound to that window with Attach, or nullptr.
  static CWnd* FromHandlePermanent(HWND hWnd);

  HWND GetParent() const;
  void SetWindowText(const CString& text);

  // A modal message box owned by this window. Only MB_OK is offered; the icon is the one asked
  // for in `type`, or none. Returns IDOK.
  int MessageBox(const CString& text, const CString& caption = CString(), UINT type = MB_OK);

  // Sees each posted message addressed to this window or one of its children; TRUE means
  // handled. A message nobody handles is dropped.
  virtual BOOL PreTranslateMessage(const MSG& msg);

  virtual const MessageMap* GetMessageMap() const;

  // Runs the first handler of the map chain for a notification from the control `id`.
  BOOL OnCmdMsg(int id, UINT code);
  // Same for notifications that carry a header and a result.
  BOOL OnNotify(int id, UINT code, NMHDR* header, LRESULT* result);
  // Gives a control a chance to handle its own notification (a reflected entry in its map).
  BOOL OnChildNotify(UINT code, NMHDR* header, LRESULT* result);

 protected:
  static const MessageMap* GetThisMessageMap();

 private:
  const MessageMapEntry* FindEntry(UINT code, int id, bool reflected) const;
  // Calls the handler of `entry`; FALSE when there is none.
  BOOL Dispatch(const MessageMapEntry* entry, NMHDR* header, LRESULT* result);
  void OnWindowDestroyed(wxWindowDestroyEvent& event);
};

// Queues a message for `hWnd`; it is delivered from the event loop, after the handler that
// posted it has returned. FALSE without a window.
BOOL PostMessage(HWND hWnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Case-insensitive ordering used by sorted lists and trees (ASCII letters fold; other bytes
// compare as they are).
int CompareNoCase(const CString& a, const CString& b);

}  // namespace ui

// Message map declarations, as in:
//   class CMyDlg : public ui::CDialog { ... DECLARE_MESSAGE_MAP() };
//   BEGIN_MESSAGE_MAP(CMyDlg, ui::CDialog)
//     ON_BN_CLICKED(1004, OnCreateDrive)
//   END_MESSAGE_MAP()
#define DECLARE_MESSAGE_MAP()                                    \
 protected:                                                      \
  static const ::ui::MessageMap* GetThisMessageMap();            \
                                                                 \
 public:                                                         \
  const ::ui::MessageMap* GetMessageMap() const override;       \
                                                                 \
 private:

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                       \
  const ::ui::MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const ::ui::MessageMap* theClass::GetThisMessageMap() {                            \
    using ThisClass [[maybe_unused]] = theClass;                                     \
    using TheBaseClass = baseClass;                                                  \
    static const ::ui::MessageMapEntry entries[] = {

#define END_MESSAGE_MAP()                                                       \
  {0, 0, false, nullptr, nullptr}                                               \
  }                                                                             \
  ;                                                                             \
  static const ::ui::MessageMap map{&TheBaseClass::GetThisMessageMap, entries}; \
  return &map;                                                                  \
  }

#define ON_CONTROL(code, id, memberFn) \
  {code, id, false, static_cast<::ui::AFX_PMSG>(&ThisClass::memberFn), nullptr},
#define ON_COMMAND(id, memberFn) ON_CONTROL(::ui::BN_CLICKED, id, memberFn)
#define ON_BN_CLICKED(id, memberFn) ON_CONTROL(::ui::BN_CLICKED, id, memberFn)
#define ON_EN_KILLFOCUS(id, memberFn) ON_CONTROL(::ui::EN_KILLFOCUS, id, memberFn)
#define ON_CBN_SELCHANGE(id, memberFn) ON_CONTROL(::ui::CBN_SELCHANGE, id, memberFn)
#define ON_NOTIFY(code, id, memberFn) \
  {code, id, false, nullptr, static_cast<::ui::AFX_PNOTIFY>(&ThisClass::memberFn)},
#define ON_NOTIFY_REFLECT(code, memberFn) \
  {code, 0, true, nullptr, static_cast<::ui::AFX_PNOTIFY>(&ThisClass::memberFn)},
