// The templates as data, and the dialogs built from them: every control at its converted
// rectangle, in template order, with its text.
#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "res/Templates.h"
#include "tests/gui/GuiActions.h"
#include "ui/Dialog.h"
#include "ui/WxText.h"

using namespace kivofs_test;

namespace {

struct ControlSpot {
  int templateId;
  int index;  // position in template order
  int id;
  res::ControlKind kind;
  const char* text;
  int x, y, cx, cy;
};

using K = res::ControlKind;

class TemplateData : public ::testing::TestWithParam<ControlSpot> {};

TEST_P(TemplateData, ControlIsWhereTheDesignPutIt) {
  const ControlSpot& spot = GetParam();
  const res::DialogTemplate* dialog = res::FindDialogTemplate(spot.templateId);
  ASSERT_NE(nullptr, dialog);
  ASSERT_LT(static_cast<size_t>(spot.index), dialog->controls.size());
  const res::ControlTemplate& control = dialog->controls[static_cast<size_t>(spot.index)];
  EXPECT_EQ(spot.id, control.id);
  EXPECT_EQ(spot.kind, control.kind);
  EXPECT_STREQ(spot.text, control.text);
  EXPECT_EQ(spot.x, control.x);
  EXPECT_EQ(spot.y, control.y);
  EXPECT_EQ(spot.cx, control.cx);
  EXPECT_EQ(spot.cy, control.cy);
}

INSTANTIATE_TEST_SUITE_P(
    Spots, TemplateData,
    ::testing::Values(
        ControlSpot{129, 0, -1, K::Static, "Directory Name :", 6, 7, 78, 10},
        ControlSpot{129, 2, 1001, K::TreeView, "Tree1", 6, 35, 188, 95},
        ControlSpot{129, 3, -1, K::Static, "Drives : ", 6, 133, 61, 8},
        ControlSpot{129, 4, 1002, K::ComboBox, "", 6, 144, 188, 12},
        ControlSpot{129, 6, 2, K::PushButton, "Cancel", 199, 35, 43, 14},
        ControlSpot{135, 0, -1, K::Static, "Note : Directories hold a maximum of 115 entries", 133, 103, 62, 25},
        ControlSpot{135, 7, 1005, K::PushButton, "Exit", 72, 225, 60, 14},
        ControlSpot{135, 16, 1004, K::PushButton, "Read && Save Directory", 11, 71, 85, 14},
        ControlSpot{135, 23, 1007, K::PushButton, "Save New Name", 11, 200, 85, 14},
        ControlSpot{136, 8, 1013, K::CheckBox, "Use Saveflash as a RAM Drive", 7, 127, 145, 15},
        ControlSpot{136, 10, 1015, K::DefPushButton, "Exit", 166, 145, 50, 14},
        ControlSpot{136, 14, -1, K::Static, "Saved Rom :", 7, 97, 67, 8},
        ControlSpot{102, 0, 1, K::DefPushButton, "OK", 93, 142, 50, 14},
        ControlSpot{102, 4, 1004, K::OwnerDrawButton, "", 125, 74, 105, 60},
        ControlSpot{100, 1, -1, K::Static, "Kivo FS Utils Version 1.0", 40, 10, 119, 8},
        ControlSpot{100, 3, 1, K::DefPushButton, "OK", 178, 7, 50, 14}));

struct DialogSpot {
  int id;
  const char* caption;
  int cx, cy;
  size_t controls;
  bool closeBox;
};

class TemplateDialogs : public ::testing::TestWithParam<DialogSpot> {};

TEST_P(TemplateDialogs, BuiltWithEveryControlAtItsConvertedRectangle) {
  const DialogSpot& spot = GetParam();
  const res::DialogTemplate* data = res::FindDialogTemplate(spot.id);
  ASSERT_NE(nullptr, data);
  EXPECT_EQ(spot.cx, data->cx);
  EXPECT_EQ(spot.cy, data->cy);
  EXPECT_STREQ("MS Sans Serif", data->fontName);
  EXPECT_EQ(8, data->pointSize);
  ASSERT_EQ(spot.controls, data->controls.size());

  ui::CDialog dlg(static_cast<ui::UINT>(spot.id));
  ASSERT_TRUE(dlg.Create());
  wxDialog* window = dlg.GetDialogWindow();
  EXPECT_EQ(spot.caption, ui::FromWx(window->GetTitle()));
  EXPECT_EQ(window->ConvertDialogToPixels(wxSize(data->cx, data->cy)), window->GetClientSize());
  EXPECT_EQ(spot.closeBox, window->HasFlag(wxCLOSE_BOX));

  // Children in template order, which is the tab order.
  const wxWindowList& children = window->GetChildren();
  ASSERT_EQ(data->controls.size(), children.size());
  size_t index = 0;
  for (wxWindow* child : children) {
    const res::ControlTemplate& control = data->controls[index++];
    if (control.id != res::IDC_STATIC) {
      EXPECT_EQ(control.id, child->GetId());
    }
    EXPECT_EQ(window->ConvertDialogToPixels(wxPoint(control.x, control.y)), child->GetPosition()) << index;
    const wxSize size = window->ConvertDialogToPixels(wxSize(control.cx, control.cy));
    EXPECT_EQ(size.x, child->GetSize().x) << index;
    if (control.kind != K::ComboBox) {
      EXPECT_EQ(size.y, child->GetSize().y) << index;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(All, TemplateDialogs,
                         ::testing::Values(DialogSpot{100, "About Kivo FS Utils", 235, 55, 4, true},
                                           DialogSpot{102, "Kivo FS Utils", 237, 163, 5, true},
                                           DialogSpot{129, "Choose Directory", 249, 163, 7, true},
                                           DialogSpot{135, "Kivo RomFS", 206, 246, 24, false},
                                           DialogSpot{136, "AddKivoFS", 223, 166, 15, true}),
                         [](const auto& p) { return std::to_string(p.param.id); });

TEST(TemplateDialogs, TextsShowAsDesigned) {
  ui::CDialog romfs(135);
  ASSERT_TRUE(romfs.Create());
  EXPECT_EQ(wxString("Read & Save Directory"), dynamic_cast<wxButton*>(Control(romfs, 1004))->GetLabelText())
      << "\"&&\" shows as one '&'";
  auto* size = dynamic_cast<wxTextCtrl*>(Control(romfs, 1002));
  ASSERT_NE(nullptr, size);
  EXPECT_FALSE(size->IsEditable());
  EXPECT_TRUE(size->HasFlag(wxTE_RIGHT));
  EXPECT_FALSE(size->AcceptsFocusFromKeyboard()) << "no tab stop";
  auto* name = dynamic_cast<wxTextCtrl*>(Control(romfs, 1001));
  EXPECT_TRUE(name->IsEditable());
  EXPECT_TRUE(name->AcceptsFocusFromKeyboard());

  ui::CDialog chooser(129);
  ASSERT_TRUE(chooser.Create());
  const wxWindowList& children = chooser.GetDialogWindow()->GetChildren();
  EXPECT_EQ(wxString("Directory Name :"), dynamic_cast<wxStaticText*>(children[0])->GetLabelText());
  EXPECT_EQ(wxString("Drives : "), dynamic_cast<wxStaticText*>(children[3])->GetLabelText());
  EXPECT_EQ(ui::IDOK, chooser.GetDefID()) << "no default button: Enter accepts";

  ui::CDialog attach(136);
  ASSERT_TRUE(attach.Create());
  EXPECT_EQ(1015, attach.GetDefID());
}

TEST(TemplateDialogs, FirstTabStopGetsTheFocus) {
  ui::CDialog chooser(129);
  ASSERT_TRUE(chooser.Create());
  PumpEvents();
  wxWindow* focus = wxWindow::FindFocus();
  ASSERT_NE(focus, nullptr) << "the display gives no keyboard focus";
  EXPECT_EQ(1000, focus->GetId());
}

}  // namespace

namespace {

class TemplateScreenshots : public ::testing::TestWithParam<int> {};

// Pictures of the bare templates for whoever builds a dialog on them; the dialogs' own tests
// take the pictures of the finished dialogs.
TEST_P(TemplateScreenshots, Saved) {
  ui::CDialog dlg(static_cast<ui::UINT>(GetParam()));
  ASSERT_TRUE(dlg.Create());
  const std::string path = std::string(KIVOFS_BINARY_DIR) + "/screenshots/template-" + std::to_string(GetParam()) + ".png";
  EXPECT_TRUE(SaveScreenshot(dlg.m_hWnd, path)) << path;
}

INSTANTIATE_TEST_SUITE_P(All, TemplateScreenshots, ::testing::Values(100, 102, 129, 135, 136));

}  // namespace
