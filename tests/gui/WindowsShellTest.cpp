// What only the Windows build does: the drive list holds the logical drives with their volume
// labels and selects the current one, a drive picked from it refills the tree at that drive's
// own current directory, and the launcher's About entry sits in its system menu.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/LauncherDlg.h"
#include "dirchooser/ChooseDirDlg.h"
#include "res/Templates.h"
#include "tests/gui/GuiTest.h"

#include <wx/msw/wrapwin.h>  // last: the Win32 names would shadow the dialog layer's

using namespace kivofs_test;

namespace {

std::vector<std::string> DriveEntries(CChooseDirDlg& dlg) {
  std::vector<std::string> entries;
  for (int i = 0; i < dlg.m_comboDrives.GetCount(); ++i) entries.push_back(dlg.m_comboDrives.GetLBText(i));
  return entries;
}

// Gives drive C: a label for one test and takes it back afterwards. An empty label removes it
// (Wine faults on a null one). Wine shows a label set here only from its next session on, so
// the Wine run labels C: before it starts.
class LabelledDriveC {
 public:
  explicit LabelledDriveC(const wchar_t* label) {
    ::GetVolumeInformationW(L"C:\\", m_old, MAX_PATH, nullptr, nullptr, nullptr, nullptr, 0);
    m_set = ::SetVolumeLabelW(L"C:\\", label) != 0;
  }
  ~LabelledDriveC() { ::SetVolumeLabelW(L"C:\\", m_old); }
  bool set() const { return m_set; }

 private:
  wchar_t m_old[MAX_PATH] = {};
  bool m_set = false;
};

class WindowsDriveListTest : public ::testing::Test {
 protected:
  void SetUp() override { saved = fs::current_path(); }
  void TearDown() override { fs::current_path(saved); }
  fs::path saved;
};

TEST_F(WindowsDriveListTest, ListsEveryLogicalDriveWithItsLabelAndSelectsTheCurrentOne) {
  LabelledDriveC label(L"KIVO TEST");
  ASSERT_TRUE(label.set());
  fs::current_path(ScratchFolder());
  CChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  const std::vector<std::string> entries = DriveEntries(dlg);

  const DWORD mask = ::GetLogicalDrives();
  std::string letters;
  for (int bit = 0; bit < 26; ++bit) {
    if (mask & (DWORD{1} << bit)) letters += static_cast<char>('A' + bit);
  }
  ASSERT_EQ(letters.size(), entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_TRUE(std::regex_match(entries[i], std::regex(std::string(1, letters[i]) + ": .*"))) << entries[i];
  }
  EXPECT_NE(entries.end(), std::find(entries.begin(), entries.end(), "C: KIVO TEST"));

  const std::string current = fs::current_path().string();
  ASSERT_NE(ui::CB_ERR, dlg.m_comboDrives.GetCurSel());
  EXPECT_EQ(current.substr(0, 2), dlg.m_comboDrives.GetLBText(dlg.m_comboDrives.GetCurSel()).substr(0, 2));
}

TEST_F(WindowsDriveListTest, PickingADriveShowsItsOwnCurrentDirectory) {
  fs::current_path(ScratchFolder());
  CChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  const std::vector<std::string> entries = DriveEntries(dlg);
  // Another drive, and a directory on it that the shell has recorded as that drive's own
  // current one (in the variable "=D:"): "D:" means that directory, not the drive's root.
  const auto other = std::find_if(entries.begin(), entries.end(), [](const std::string& entry) {
    return std::toupper(entry[0]) != std::toupper(fs::current_path().string()[0]) && fs::exists(entry.substr(0, 2) + "\\");
  });
  ASSERT_NE(entries.end(), other);
  const std::string drive = other->substr(0, 2);
  fs::path own;
  for (const fs::directory_entry& entry : fs::directory_iterator(drive + "\\")) {
    if (entry.is_directory()) {
      own = entry.path();
      break;
    }
  }
  ASSERT_FALSE(own.empty());
  ::SetEnvironmentVariableW(fs::path("=" + drive).wstring().c_str(), own.wstring().c_str());

  dlg.m_comboDrives.SetCurSel(static_cast<int>(other - entries.begin()));
  dlg.SendCommand(res::choosedir::IDC_DRIVES, ui::CBN_SELCHANGE);
  EXPECT_EQ(own.string(), TextOf(dlg, res::choosedir::IDC_DIRECTORY));
  EXPECT_EQ(drive, dlg.m_treeDirectory.GetItemText(dlg.m_treeDirectory.GetRootItem()));
  EXPECT_EQ(own, fs::current_path()) << "the drive's current directory becomes the process's";
}

TEST(WindowsSystemMenuTest, EndsWithTheAboutEntryThatOpensTheAboutBox) {
  std::ostringstream diagnostics;
  kivo::fs::DriveBuilder builder{diagnostics};
  CKivoFSUtilsDlg dlg{builder};
  ASSERT_TRUE(dlg.Create());
  const auto window = static_cast<HWND>(dlg.m_hWnd->GetHWND());
  HMENU menu = ::GetSystemMenu(window, FALSE);
  ASSERT_NE(nullptr, menu);
  const int count = ::GetMenuItemCount(menu);
  ASSERT_GE(count, 2);
  EXPECT_TRUE(::GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION) & MF_SEPARATOR);
  wchar_t text[64] = {};
  ::GetMenuStringW(menu, static_cast<UINT>(count - 1), text, 64, MF_BYPOSITION);
  EXPECT_EQ(std::wstring(L"&About Kivo FS Utils..."), text);
  EXPECT_EQ(0x0010u, ::GetMenuItemID(menu, count - 1));

  ModalHook hook;
  hook.ExpectDialog("About Kivo FS Utils", [](ui::CDialog& about) { PressKey(about, 0, WXK_RETURN); });
  ::SendMessageW(window, WM_SYSCOMMAND, 0x0010, 0);
  EXPECT_EQ(-1, dlg.GetModalResult()) << "the launcher stays open";
}

}  // namespace
