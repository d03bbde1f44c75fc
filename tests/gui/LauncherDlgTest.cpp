// The launcher on real widgets: its picture buttons open a new drive tool or ROM attach dialog
// each time, the blank ones do nothing, the About entry opens the about box, and closing it
// ends its modal run.
#include <gtest/gtest.h>
#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/menu.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/AboutDlg.h"
#include "app/LauncherDlg.h"
#include "res/LauncherPictures.h"
#include "tests/gui/GuiActions.h"
#include "tests/gui/ModalHook.h"
#include "ui/Resources.h"

using namespace kivofs_test;

namespace {

bool SamePixels(const wxBitmap& a, const wxBitmap& b) {
  if (!a.IsOk() || !b.IsOk() || a.GetSize() != b.GetSize()) return false;
  const wxImage ia = a.ConvertToImage();
  const wxImage ib = b.ConvertToImage();
  return std::equal(ia.GetData(), ia.GetData() + ia.GetWidth() * ia.GetHeight() * 3, ib.GetData());
}

std::vector<std::string> LabelsOf(wxWindow* window) {
  std::vector<std::string> labels;
  for (wxWindow* child : window->GetChildren()) {
    if (auto* label = wxDynamicCast(child, wxStaticText)) labels.push_back(ui::FromWx(label->GetLabelText()));
  }
  return labels;
}

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dlg.Create()); }
  void TearDown() override { dlg.DestroyWindow(); }

  std::ostringstream diagnostics;
  kivo::fs::DriveBuilder builder{diagnostics};
  CKivoFSUtilsDlg dlg{builder};
};

TEST_F(LauncherTest, OpensWithTitleIconAndFocusOnOk) {
  EXPECT_EQ("Kivo FS Utils", ui::FromWx(dlg.GetDialogWindow()->GetTitle()));
  const wxIconBundle icons = dlg.GetDialogWindow()->GetIcons();
  EXPECT_TRUE(icons.GetIconOfExactSize(wxSize(32, 32)).IsOk());
  EXPECT_TRUE(icons.GetIconOfExactSize(wxSize(16, 16)).IsOk());
  PumpEvents();
  EXPECT_EQ(Control(dlg, ui::IDOK), wxWindow::FindFocus());
}

// Each picture button: the control it is bound to and its normal and pressed pictures.
struct PictureCase {
  int id;
  int normal;
  int pressed;  // the normal picture again when it has none
};

class LauncherPictureTest : public LauncherTest, public ::testing::WithParamInterface<PictureCase> {};

TEST_P(LauncherPictureTest, ButtonShowsItsPictures) {
  const PictureCase& c = GetParam();
  ui::CBitmapButton* bound[] = {&dlg.m_buttonCreateDrive, &dlg.m_buttonAddDrives, &dlg.m_buttonBlankLeft,
                                &dlg.m_buttonBlankRight};
  auto* button = wxDynamicCast(Control(dlg, c.id), wxButton);
  ASSERT_NE(nullptr, button);
  EXPECT_EQ(button, bound[c.id - 1001]->m_hWnd);
  EXPECT_TRUE(SamePixels(ui::LoadBitmapResource(c.normal), button->GetBitmapLabel()));
  EXPECT_TRUE(SamePixels(ui::LoadBitmapResource(c.pressed), button->GetBitmapPressed()));
  // The pictures do not resize the button: it keeps its template size.
  EXPECT_EQ(dlg.GetDialogWindow()->ConvertDialogToPixels(wxSize(105, 60)), button->GetSize());
}

INSTANTIATE_TEST_SUITE_P(Buttons, LauncherPictureTest,
                         ::testing::Values(PictureCase{1001, 129, 133}, PictureCase{1002, 130, 142},
                                           PictureCase{1003, 131, 131}, PictureCase{1004, 132, 132}));

TEST_F(LauncherTest, BlankButtonsDoNothing) {
  ModalHook hook;  // any dialog that appears fails the test
  Click(dlg, 1003);
  Click(dlg, 1004);
  PumpEvents();
  EXPECT_TRUE(hook.shown().empty());
  EXPECT_EQ(-1, dlg.GetModalResult());
  EXPECT_TRUE(dlg.GetDialogWindow()->IsShown());
}

TEST_F(LauncherTest, CreateDriveButtonOpensTheDriveTool) {
  ModalHook hook;
  hook.ExpectDialog("Kivo RomFS", [](ui::CDialog& tool) {
    EXPECT_EQ(135u, tool.GetTemplateID());
    Click(tool, 1005);  // Exit
  });
  Click(dlg, 1001);
  EXPECT_TRUE(hook.AllAnswered());
  EXPECT_EQ(-1, dlg.GetModalResult());
}

TEST_F(LauncherTest, RomAttachDialogOpensEmptyEachTime) {
  ModalHook hook;
  for (int round = 0; round < 2; ++round) {
    hook.ExpectDialog("AddKivoFS", [round](ui::CDialog& attach) {
      EXPECT_EQ(136u, attach.GetTemplateID());
      for (int id : {1006, 1007, 1008, 1010}) EXPECT_EQ("", TextOf(Control(attach, id))) << round << " " << id;
      EXPECT_FALSE(wxDynamicCast(Control(attach, 1013), wxCheckBox)->GetValue()) << round;
      // Filled and stored by a Save that stops at its first check; then closed.
      for (int id : {1006, 1007, 1008}) Type(Control(attach, id), "/nowhere/typed");
      wxDynamicCast(Control(attach, 1013), wxCheckBox)->SetValue(true);
      Click(attach, 1014);
      EXPECT_EQ("/nowhere/typed", TextOf(Control(attach, 1007)));
      Click(attach, 1015);
    });
    hook.ExpectMessageBox("Kivo FS Utils", "The Save path for the new rom needs to be filled out");
    Click(dlg, 1002);
    EXPECT_TRUE(hook.AllAnswered()) << round;
  }
}

TEST_F(LauncherTest, SystemMenuEndsWithSeparatorAndAbout) {
  std::unique_ptr<wxMenu> menu = dlg.CreateSystemMenu();
  ASSERT_NE(nullptr, menu);
  const size_t count = menu->GetMenuItemCount();
  ASSERT_GE(count, 2u);
  EXPECT_TRUE(menu->FindItemByPosition(count - 2)->IsSeparator());
  const wxMenuItem* about = menu->FindItemByPosition(count - 1);
  EXPECT_EQ(0x0010, about->GetId());
  EXPECT_EQ("&About Kivo FS Utils...", ui::FromWx(about->GetItemLabel()));
  EXPECT_EQ(wxID_CLOSE, menu->FindItemByPosition(0)->GetId());
}

// System commands by ID: the About entry (its low four bits are ignored), Close, and others.
struct CommandCase {
  unsigned id;
  bool opensAbout;
  bool closes;
};

class LauncherCommandTest : public LauncherTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(LauncherCommandTest, MenuCommandReachesItsHandler) {
  const CommandCase& c = GetParam();
  {
    ModalHook hook;
    if (c.opensAbout) {
      hook.ExpectDialog("About Kivo FS Utils", [](ui::CDialog& about) {
        EXPECT_EQ(100u, about.GetTemplateID());
        const std::vector<std::string> labels = LabelsOf(about.m_hWnd);
        ASSERT_EQ(2u, labels.size());
        EXPECT_EQ("Kivo FS Utils Version 1.0", labels[0]);
        EXPECT_FALSE(labels[1].empty());
        bool iconShown = false;
        for (wxWindow* child : about.m_hWnd->GetChildren()) {
          if (auto* icon = wxDynamicCast(child, wxStaticBitmap)) iconShown = icon->GetBitmap().IsOk();
        }
        EXPECT_TRUE(iconShown);
        Click(about, ui::IDOK);
      });
    }
    // As the context menu delivers the chosen entry.
    wxCommandEvent event(wxEVT_MENU, static_cast<int>(c.id));
    dlg.m_hWnd->GetEventHandler()->ProcessEvent(event);
    EXPECT_TRUE(hook.AllAnswered());
  }
  EXPECT_EQ(c.closes ? ui::IDCANCEL : -1, dlg.GetModalResult());
}

INSTANTIATE_TEST_SUITE_P(Commands, LauncherCommandTest,
                         ::testing::Values(CommandCase{0x0010, true, false}, CommandCase{0x001F, true, false},
                                           CommandCase{0x0020, false, false}, CommandCase{wxID_CLOSE, false, true}));

// Ways to close the launcher: each ends its modal run.
struct CloseCase {
  const char* name;
  int button;  // 0: a key instead
  int key;
  int result;
};

class LauncherCloseTest : public LauncherTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(LauncherCloseTest, Closes) {
  const CloseCase& c = GetParam();
  ModalHook hook;
  if (c.button != 0) {
    Click(dlg, c.button);
  } else {
    PressKey(dlg, Control(dlg, ui::IDOK), c.key);
  }
  EXPECT_EQ(c.result, dlg.GetModalResult());
}

INSTANTIATE_TEST_SUITE_P(Ways, LauncherCloseTest,
                         ::testing::Values(CloseCase{"Ok", ui::IDOK, 0, ui::IDOK},
                                           CloseCase{"Enter", 0, WXK_RETURN, ui::IDOK},
                                           CloseCase{"Escape", 0, WXK_ESCAPE, ui::IDCANCEL}),
                         [](const ::testing::TestParamInfo<CloseCase>& param) { return std::string(param.param.name); });

TEST(AboutDlgTest, RunsModallyAndClosesWithOk) {
  ModalHook hook;
  hook.ExpectDialog("About Kivo FS Utils", [](ui::CDialog& about) { PressKey(about, about.m_hWnd, WXK_RETURN); });
  CAboutDlg about;
  EXPECT_EQ(ui::IDOK, about.DoModal());
}

TEST(LauncherModalTest, DoModalReturnsWhenClosed) {
  std::ostringstream diagnostics;
  kivo::fs::DriveBuilder builder{diagnostics};
  CKivoFSUtilsDlg launcher(builder);
  ModalHook hook;
  hook.ExpectDialog("Kivo FS Utils", [](ui::CDialog& dlg) {
    Click(dlg, 1002);
    Click(dlg, ui::IDOK);
  });
  hook.ExpectDialog("AddKivoFS", [](ui::CDialog& attach) { Click(attach, 1015); });
  EXPECT_EQ(ui::IDOK, launcher.DoModal());
}

}  // namespace
