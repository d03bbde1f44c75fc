// The dialog base: modal run and results, data exchange, message maps, standard keys, posted
// messages and message boxes, on real widgets.
#include <gtest/gtest.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/msgdlg.h>

#include <filesystem>

#include "tests/gui/GuiActions.h"
#include "tests/gui/ModalHook.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"
#include "ui/FileDialog.h"

using namespace kivofs_test;
using ui::CString;

namespace {

// Template 136: edits 1007, 1006, 1008, 1010, check box 1013, "Save" 1014, default button
// "Exit" 1015.
class CExchangeDlg : public ui::CDialog {
 public:
  CExchangeDlg() : ui::CDialog(136) {}
  CString m_strRom;
  CString m_strFirst = "first";
  CString m_strSecond = "second";
  int m_nCheck = 1;
  ui::CButton m_buttonSave;
  int saves = 0;
  int exits = 0;
  int romFocusLosses = 0;

 protected:
  void DoDataExchange(ui::CDataExchange* pDX) override {
    ui::DDX_Control(pDX, 1014, m_buttonSave);
    ui::DDX_Text(pDX, 1007, m_strRom);
    ui::DDX_Check(pDX, 1013, m_nCheck);
    // One control twice: going out the later member wins, coming in both receive the text.
    ui::DDX_Text(pDX, 1010, m_strFirst);
    ui::DDX_Text(pDX, 1010, m_strSecond);
  }
  void OnSave() { ++saves; }
  void OnExit() {
    ++exits;
    OnCancel();
  }
  void OnKillfocusRom() { ++romFocusLosses; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CExchangeDlg, ui::CDialog)
  ON_BN_CLICKED(1014, OnSave)
  ON_BN_CLICKED(1015, OnExit)
  ON_EN_KILLFOCUS(1007, OnKillfocusRom)
END_MESSAGE_MAP()

class CRecordingEdit : public ui::CEdit {
 public:
  std::vector<ui::UINT> received;
  ui::LRESULT WindowProc(ui::UINT message, ui::WPARAM, ui::LPARAM) override {
    received.push_back(message);
    return 0;
  }
};

// Template 129: edit 1000, tree 1001, combo 1002, plain buttons 1 "OK" and 2 "Cancel", no
// default button. No message map of its own: 1 and 2 reach the base's OnOK and OnCancel.
class CPlainDlg : public ui::CDialog {
 public:
  CPlainDlg() : ui::CDialog(129) {}
  CString m_strText = "initial";
  CRecordingEdit m_edit;
  std::vector<ui::MSG> pretranslated;
  ui::UINT handledMessage = ui::WM_USER + 10;

  ui::BOOL PreTranslateMessage(const ui::MSG& msg) override {
    pretranslated.push_back(msg);
    if (msg.message == handledMessage) return TRUE;
    return ui::CDialog::PreTranslateMessage(msg);
  }

 protected:
  void DoDataExchange(ui::CDataExchange* pDX) override {
    ui::DDX_Control(pDX, 1000, m_edit);
    ui::DDX_Text(pDX, 1000, m_strText);
  }
};

TEST(DialogExchange, OpeningTransfersMembersOut) {
  CExchangeDlg dlg;
  ASSERT_TRUE(dlg.Create());
  EXPECT_EQ("", TextOf(Control(dlg, 1007)));
  EXPECT_EQ("second", TextOf(Control(dlg, 1010)));
  EXPECT_TRUE(dynamic_cast<wxCheckBox*>(Control(dlg, 1013))->GetValue());
}

TEST(DialogExchange, TransferInCopiesEveryControlInListedOrder) {
  CExchangeDlg dlg;
  ASSERT_TRUE(dlg.Create());
  Type(Control(dlg, 1007), "host.nds");
  Type(Control(dlg, 1010), "out.nds");
  dynamic_cast<wxCheckBox*>(Control(dlg, 1013))->SetValue(false);
  EXPECT_EQ("", dlg.m_strRom) << "typing alone changes no member";
  ASSERT_TRUE(dlg.UpdateData(TRUE));
  EXPECT_EQ("host.nds", dlg.m_strRom);
  EXPECT_EQ(0, dlg.m_nCheck);
  EXPECT_EQ("out.nds", dlg.m_strFirst);
  EXPECT_EQ("out.nds", dlg.m_strSecond);
}

TEST(DialogExchange, TransferOutReplacesTypedText) {
  CExchangeDlg dlg;
  ASSERT_TRUE(dlg.Create());
  dlg.m_strRom = "stored.nds";
  dlg.m_nCheck = 0;
  Type(Control(dlg, 1007), "typed.nds");
  ASSERT_TRUE(dlg.UpdateData(FALSE));
  EXPECT_EQ("stored.nds", TextOf(Control(dlg, 1007)));
  EXPECT_FALSE(dynamic_cast<wxCheckBox*>(Control(dlg, 1013))->GetValue());
  EXPECT_EQ("second", TextOf(Control(dlg, 1010)));
}

TEST(DialogExchange, ControlIsBoundOnceAndFoundByID) {
  CExchangeDlg dlg;
  ASSERT_TRUE(dlg.Create());
  EXPECT_EQ(Control(dlg, 1014), dlg.m_buttonSave.m_hWnd);
  EXPECT_EQ(&dlg.m_buttonSave, dlg.GetDlgItem(1014));
  ASSERT_TRUE(dlg.UpdateData(TRUE));
  EXPECT_EQ(Control(dlg, 1014), dlg.m_buttonSave.m_hWnd);
  ui::CWnd* edit = dlg.GetDlgItem(1006);
  ASSERT_NE(nullptr, edit);
  EXPECT_EQ(1006, edit->GetDlgCtrlID());
  EXPECT_EQ(nullptr, dlg.GetDlgItem(4242));
  dlg.DestroyWindow();
  EXPECT_EQ(nullptr, dlg.m_buttonSave.m_hWnd) << "closing the dialog releases bound controls";
}

TEST(DialogMessageMap, RoutesClicksAndFocusLossToHandlers) {
  CExchangeDlg dlg;
  ASSERT_TRUE(dlg.Create());
  Click(dlg, 1014);
  Click(dlg, 1014);
  LoseFocus(Control(dlg, 1007));
  LoseFocus(Control(dlg, 1006));  // not in the map
  EXPECT_EQ(2, dlg.saves);
  EXPECT_EQ(1, dlg.romFocusLosses);
  EXPECT_EQ(-1, dlg.GetModalResult());
  Click(dlg, 1015);
  EXPECT_EQ(1, dlg.exits);
  EXPECT_EQ(ui::IDCANCEL, dlg.GetModalResult());
  Click(dlg, 1014);
  EXPECT_EQ(2, dlg.saves) << "an ended dialog takes no more commands";
}

TEST(DialogMessageMap, ButtonsOneAndTwoReachTheBaseHandlers) {
  CPlainDlg ok;
  ASSERT_TRUE(ok.Create());
  Type(Control(ok, 1000), "typed");
  Click(ok, ui::IDOK);
  EXPECT_EQ(ui::IDOK, ok.GetModalResult());
  EXPECT_EQ("typed", ok.m_strText);

  CPlainDlg cancel;
  ASSERT_TRUE(cancel.Create());
  Type(Control(cancel, 1000), "typed");
  Click(cancel, ui::IDCANCEL);
  EXPECT_EQ(ui::IDCANCEL, cancel.GetModalResult());
  EXPECT_EQ("initial", cancel.m_strText) << "cancel exchanges nothing";
}

struct KeyCase {
  const char* name;
  bool exchangeDialog;  // template 136 (default button Exit) or 129 (none)
  int focusId;
  int key;
  int expectedResult;
  bool expectTransferIn;
};

class DialogKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(DialogKeys, StandardCommands) {
  const KeyCase& c = GetParam();
  if (c.exchangeDialog) {
    CExchangeDlg dlg;
    ASSERT_TRUE(dlg.Create());
    Type(Control(dlg, 1007), "typed");
    PressKey(dlg, Control(dlg, c.focusId), c.key);
    EXPECT_EQ(c.expectedResult, dlg.GetModalResult());
    EXPECT_EQ(c.expectTransferIn ? "typed" : "", dlg.m_strRom);
  } else {
    CPlainDlg dlg;
    ASSERT_TRUE(dlg.Create());
    Type(Control(dlg, 1000), "typed");
    PressKey(dlg, Control(dlg, c.focusId), c.key);
    EXPECT_EQ(c.expectedResult, dlg.GetModalResult());
    EXPECT_EQ(c.expectTransferIn ? "typed" : "initial", dlg.m_strText);
  }
}

INSTANTIATE_TEST_SUITE_P(
    All, DialogKeys,
    ::testing::Values(
        KeyCase{"EnterInEditWithoutDefaultButtonAccepts", false, 1000, WXK_RETURN, ui::IDOK, true},
        KeyCase{"KeypadEnterAcceptsToo", false, 1000, WXK_NUMPAD_ENTER, ui::IDOK, true},
        KeyCase{"EnterInTreeAccepts", false, 1001, WXK_RETURN, ui::IDOK, true},
        KeyCase{"EnterOnFocusedCancelButtonCancels", false, 2, WXK_RETURN, ui::IDCANCEL, false},
        KeyCase{"EscapeCancelsWithoutExchange", false, 1000, WXK_ESCAPE, ui::IDCANCEL, false},
        KeyCase{"EnterInEditRunsTheDefaultButton", true, 1007, WXK_RETURN, ui::IDCANCEL, false},
        KeyCase{"EnterOnCheckBoxRunsTheDefaultButton", true, 1013, WXK_RETURN, ui::IDCANCEL, false},
        KeyCase{"EscapeCancelsWithDefaultButton", true, 1007, WXK_ESCAPE, ui::IDCANCEL, false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(DialogKeys, EnterOnFocusedSaveButtonRunsSave) {
  CExchangeDlg dlg;
  ASSERT_TRUE(dlg.Create());
  PressKey(dlg, Control(dlg, 1014), WXK_RETURN);
  EXPECT_EQ(1, dlg.saves);
  EXPECT_EQ(0, dlg.exits);
  EXPECT_EQ(-1, dlg.GetModalResult());
}

TEST(DialogKeys, OtherKeysGoToTheControl) {
  CPlainDlg dlg;
  ASSERT_TRUE(dlg.Create());
  PressKey(dlg, Control(dlg, 1000), 'A');
  EXPECT_EQ(-1, dlg.GetModalResult());
}

TEST(DialogClose, CloseBoxCancels) {
  CPlainDlg dlg;
  ASSERT_TRUE(dlg.Create());
  Type(Control(dlg, 1000), "typed");
  EXPECT_FALSE(dlg.m_hWnd->Close());  // vetoed: the dialog ends through its cancel command
  EXPECT_EQ(ui::IDCANCEL, dlg.GetModalResult());
  EXPECT_EQ("initial", dlg.m_strText);
}

TEST(DialogModal, DoModalRunsUntilOkAndReturnsIDOK) {
  ModalHook hook;
  hook.ExpectDialog("Choose Directory", [](ui::CDialog& dlg) {
    EXPECT_EQ("initial", TextOf(Control(dlg, 1000)));
    Type(Control(dlg, 1000), "chosen");
    PressKey(dlg, Control(dlg, 1000), WXK_RETURN);
  });
  CPlainDlg dlg;
  EXPECT_EQ(ui::IDOK, dlg.DoModal());
  EXPECT_EQ("chosen", dlg.m_strText);
  EXPECT_EQ(nullptr, dlg.m_hWnd);
  EXPECT_EQ(nullptr, dlg.m_edit.m_hWnd);
}

TEST(DialogModal, DefaultButtonEndsTheModalRun) {
  ModalHook hook;
  hook.ExpectDialog("AddKivoFS", [](ui::CDialog& dlg) { PressKey(dlg, Control(dlg, 1007), WXK_RETURN); });
  CExchangeDlg dlg;
  EXPECT_EQ(ui::IDCANCEL, dlg.DoModal());
  EXPECT_EQ(1, dlg.exits);
}

TEST(DialogModal, EachRunStartsAfresh) {
  ModalHook hook;
  hook.ExpectDialog("Choose Directory", [](ui::CDialog& dlg) { Click(dlg, ui::IDCANCEL); });
  hook.ExpectDialog("Choose Directory", [](ui::CDialog& dlg) {
    EXPECT_EQ("initial", TextOf(Control(dlg, 1000)));
    Click(dlg, ui::IDOK);
  });
  CPlainDlg dlg;
  EXPECT_EQ(ui::IDCANCEL, dlg.DoModal());
  EXPECT_EQ(ui::IDOK, dlg.DoModal());
}

TEST(DialogModal, NestedDialogRunsInsideTheOuterOne) {
  ModalHook hook;
  int innerResult = 0;
  hook.ExpectDialog("AddKivoFS", [&innerResult](ui::CDialog& outer) {
    CPlainDlg inner;
    innerResult = static_cast<int>(inner.DoModal());
    outer.EndDialog(ui::IDOK);
  });
  hook.ExpectDialog("Choose Directory", [](ui::CDialog& inner) { Click(inner, ui::IDOK); });
  CExchangeDlg outer;
  EXPECT_EQ(ui::IDOK, outer.DoModal());
  EXPECT_EQ(ui::IDOK, innerResult);
}

TEST(DialogModal, UnknownTemplateFails) {
  ui::CDialog dlg(4242);
  EXPECT_EQ(-1, dlg.DoModal());
}

TEST(DialogPostedMessage, ArrivesAfterTheHandlerAndIsPreTranslated) {
  CPlainDlg dlg;
  ASSERT_TRUE(dlg.Create());
  ui::PostMessage(Control(dlg, 1001), ui::WM_USER + 10, 0, 0);
  EXPECT_TRUE(dlg.pretranslated.empty()) << "a posted message waits for the event loop";
  PumpEvents();
  ASSERT_EQ(1u, dlg.pretranslated.size());
  EXPECT_EQ(Control(dlg, 1001), dlg.pretranslated[0].hwnd);
  EXPECT_EQ(1034u, dlg.pretranslated[0].message);
  EXPECT_EQ(0u, dlg.pretranslated[0].wParam);
  EXPECT_EQ(0, dlg.pretranslated[0].lParam);
}

TEST(DialogPostedMessage, HandledMessageIsNotDispatched) {
  CPlainDlg dlg;
  ASSERT_TRUE(dlg.Create());
  dlg.m_edit.PostMessage(ui::WM_USER + 10);
  dlg.m_edit.PostMessage(ui::WM_USER + 11, 7, 9);
  PumpEvents();
  EXPECT_EQ(2u, dlg.pretranslated.size());
  ASSERT_EQ(1u, dlg.m_edit.received.size()) << "only the unhandled message reaches the control";
  EXPECT_EQ(ui::WM_USER + 11, dlg.m_edit.received[0]);
}

TEST(DialogPostedMessage, ToAClosedDialogIsDropped) {
  CPlainDlg dlg;
  ASSERT_TRUE(dlg.Create());
  ui::PostMessage(dlg.m_hWnd, ui::WM_USER + 10, 0, 0);
  dlg.DestroyWindow();
  PumpEvents();
  EXPECT_TRUE(dlg.pretranslated.empty());
  EXPECT_FALSE(ui::PostMessage(nullptr, ui::WM_USER + 10, 0, 0));
}

TEST(DialogMessageBox, IconIsExactlyTheOneAskedFor) {
  ModalHook hook;
  hook.ExpectMessageBox("DEBUG", std::string("FindFirstFile() returned INVALID_HANDLE_VALUE"), wxICON_NONE);
  hook.ExpectMessageBox("GetLastError", std::string("No such file or directory"), wxICON_ERROR);
  CPlainDlg dlg;
  ASSERT_TRUE(dlg.Create());
  EXPECT_EQ(ui::IDOK, dlg.m_edit.MessageBox("FindFirstFile() returned INVALID_HANDLE_VALUE", "DEBUG", ui::MB_OK));
  EXPECT_EQ(ui::IDOK, dlg.MessageBox("No such file or directory", "GetLastError", ui::MB_OK | ui::MB_ICONERROR));
  ASSERT_EQ(2u, hook.shown().size());
}

struct PickerCase {
  const char* name;
  const char* defExt;
  const char* chosen;  // relative to the test folder; empty: cancelled
  ui::INT_PTR expectedResult;
  const char* expectedName;
};

class FileDialogCases : public ::testing::TestWithParam<PickerCase> {};

TEST_P(FileDialogCases, FullPathFromDirectoryAndName) {
  const PickerCase& c = GetParam();
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kivofs-picker";
  std::filesystem::create_directories(folder);
  ModalHook hook;
  hook.ExpectFileDialog("Save As", *c.chosen ? (folder / c.chosen).string() : std::string());
  ui::CFileDialog picker(TRUE, c.defExt, nullptr, ui::OFN_HIDEREADONLY | ui::OFN_OVERWRITEPROMPT,
                         "Kivo Image Drive files|*.kid|All files|*.*||");
  picker.m_ofn.lpstrTitle = "Save As";
  EXPECT_EQ(c.expectedResult, picker.DoModal());
  if (c.expectedResult == ui::IDOK) {
    EXPECT_EQ((folder / c.expectedName).string(), picker.GetPathName());
    EXPECT_EQ(c.expectedName, picker.GetFileName());
  } else {
    EXPECT_EQ("", picker.GetPathName());
  }
}

INSTANTIATE_TEST_SUITE_P(
    All, FileDialogCases,
    ::testing::Values(PickerCase{"NewNameGetsDefaultExtension", "kid", "drive", ui::IDOK, "drive.kid"},
                      PickerCase{"NameWithExtensionKeepsIt", "kid", "drive.bin", ui::IDOK, "drive.bin"},
                      PickerCase{"NoDefaultExtension", nullptr, "rom", ui::IDOK, "rom"},
                      PickerCase{"Cancelled", "kid", "", ui::IDCANCEL, ""}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(FileDialog, FilterListBecomesWildcard) {
  EXPECT_EQ("NDS and GBA files|*.nds;*.gba|All files|*.*",
            ui::CFileDialog::ToWildcard("NDS and GBA files|*.nds;*.gba|All files|*.*||"));
}

}  // namespace

namespace {

TEST(ModalHookNesting, InnerHookAnswersTheDialogsOpenedInsideAnAction) {
  ModalHook outer;
  outer.ExpectDialog("AddKivoFS", [](ui::CDialog& dlg) {
    ModalHook inner;
    inner.ExpectMessageBox("Kivo FS Utils", std::string("Saved"), wxICON_NONE);
    dlg.MessageBox("Saved", "Kivo FS Utils", ui::MB_OK);
    EXPECT_TRUE(inner.AllAnswered());
    dlg.EndDialog(ui::IDOK);
  });
  CExchangeDlg dlg;
  EXPECT_EQ(ui::IDOK, dlg.DoModal());
  EXPECT_EQ(1u, outer.shown().size()) << "the outer hook saw only its own dialog";
}

}  // namespace
