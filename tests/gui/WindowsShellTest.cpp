// What only the Windows build does: the drive list holds the logical drives with their volume
// labels and selects the current one, a drive picked from it refills the tree at that drive's
// own current directory, and the launcher's About entry sits in its system menu.
#include <algorithm>
#include <cctype>
#include <sstream>

#include "app/LauncherDlg.h"
#include "dirchooser/ChooseDirDlg.h"
#include "res/Templates.h"
#include "tests/gui/GuiTest.h"

#include <wx/msw/wrapwin.h>  // last: the Win32 names would shadow the dialog layer's

using namespace kivofs_test;

namespace {

// A chooser opened in the scratch folder, on drive C:, and the entries of its drive list.
class WindowsDriveListTest : public DialogTest {
 protected:
  void SetUp() override {
    fs::current_path(dir);
    ASSERT_TRUE(dlg.Create());
    for (int i = 0; i < dlg.m_comboDrives.GetCount(); ++i) {
      entries.push_back(dlg.m_comboDrives.GetLBText(i));
    }
  }
  CChooseDirDlg dlg;
  std::vector<std::string> entries;
};

// The run labels drive C: "KIVO TEST" before it starts (scripts/test-windows): Wine shows a
// label set from inside a session only from its next session on.
TEST_F(WindowsDriveListTest, ListsEveryLogicalDriveWithItsLabelAndSelectsTheCurrentOne) {
  std::string letters;
  for (int bit = 0; bit < 26; ++bit) {
    if (::GetLogicalDrives() & (DWORD{1} << bit)) letters += static_cast<char>('A' + bit);
  }
  ASSERT_EQ(letters.size(), entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(std::string(1, letters[i]) + ": ", entries[i].substr(0, 3));
  }
  EXPECT_NE(entries.end(), std::ranges::find(entries, "C: KIVO TEST"));
  ASSERT_NE(ui::CB_ERR, dlg.m_comboDrives.GetCurSel());
  EXPECT_EQ("C:", entries[static_cast<std::size_t>(dlg.m_comboDrives.GetCurSel())].substr(0, 2));
}

// Another drive, and a directory on it that the shell has recorded as that drive's own current
// one (in the variable "=D:"): "D:" means that directory, not the drive's root.
TEST_F(WindowsDriveListTest, PickingADriveShowsItsOwnCurrentDirectory) {
  const auto other = std::ranges::find_if(entries, [](const std::string& entry) {
    return std::toupper(entry[0]) != 'C' && fs::exists(entry.substr(0, 2) + "\\");
  });
  ASSERT_NE(entries.end(), other);
  const std::string drive = other->substr(0, 2);
  const auto own = std::find_if(fs::directory_iterator(drive + "\\"), fs::directory_iterator(),
                                [](const fs::directory_entry& e) { return e.is_directory(); });
  ASSERT_NE(fs::directory_iterator(), own);
  ::SetEnvironmentVariableW(fs::path("=" + drive).c_str(), own->path().c_str());

  dlg.m_comboDrives.SetCurSel(static_cast<int>(other - entries.begin()));
  dlg.SendCommand(res::choosedir::IDC_DRIVES, ui::CBN_SELCHANGE);
  EXPECT_EQ(own->path().string(), TextOf(dlg, res::choosedir::IDC_DIRECTORY));
  EXPECT_EQ(drive, dlg.m_treeDirectory.GetItemText(dlg.m_treeDirectory.GetRootItem()));
  EXPECT_EQ(own->path(), fs::current_path()) << "the drive's directory becomes the process's";
}

TEST(WindowsSystemMenuTest, EndsWithTheAboutEntryThatOpensTheAboutBox) {
  std::ostringstream diagnostics;
  kivo::fs::DriveBuilder builder{diagnostics};
  CKivoFSUtilsDlg dlg{builder};
  ASSERT_TRUE(dlg.Create());
  const auto window = static_cast<HWND>(dlg.m_hWnd->GetHWND());
  HMENU menu = ::GetSystemMenu(window, FALSE);
  const auto count = static_cast<UINT>(::GetMenuItemCount(menu));
  ASSERT_GE(count, 2u);
  EXPECT_TRUE(::GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
  wchar_t text[64] = {};
  ::GetMenuStringW(menu, count - 1, text, 64, MF_BYPOSITION);
  EXPECT_EQ(std::wstring(L"&About Kivo FS Utils..."), text);
  EXPECT_EQ(0x0010u, ::GetMenuItemID(menu, static_cast<int>(count - 1)));

  ModalHook hook;
  hook.ExpectDialog(kAboutCaption, [](ui::CDialog& about) { PressKey(about, 0, WXK_RETURN); });
  ::SendMessageW(window, WM_SYSCOMMAND, 0x0010, 0);
  EXPECT_EQ(-1, dlg.GetModalResult()) << "the launcher stays open";
}

}  // namespace
