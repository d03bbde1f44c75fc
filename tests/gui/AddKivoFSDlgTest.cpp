// The ROM attach dialog on real widgets: which boxes Save shows in which order and whether it
// writes a whole ROM, the browse pickers, and the ways it closes.
#include <map>
#include <tuple>

#include "res/Templates.h"
#include "romattach/AttachDrives.h"
#include "romattachdlg/AddKivoFSDlg.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/Assert.h"

using namespace kivofs_test;
using namespace res::addkivofs;

namespace {

constexpr const char* kNoSize = "Error reading rom file";
constexpr const char* kNoOutput = "The Save path for the new rom needs to be filled out";
constexpr int kFields[] = {IDC_HOST, IDC_DRIVE0, IDC_DRIVE1, IDC_OUTPUT};

// A scratch folder with a host ROM and two drive images, and the dialog.
class AddKivoFSDlgTest : public DialogTest {
 protected:
  void SetUp() override {
    WriteFile(dir / "host.nds", std::string(100, '\x11').replace(40, 11, "KivoFSDrive"));
    WriteFile(dir / "zero.kid", std::string(700, '\x22'));
    WriteFile(dir / "one.kid", std::string(1300, '\x33'));
    ASSERT_TRUE(dlg.Create());
  }
  // What the core writes for these fields: the dialog must hand them over as they are.
  std::string Attached(const std::string (&fields)[4], bool saveFlash) {
    const kivo::rom::AttachRequest request{.host = Path(fields[0]), .drive0 = Path(fields[1]),
                                           .drive1 = Path(fields[2]), .output = dir / "core.nds",
                                           .saveFlash = saveFlash};
    EXPECT_OK(kivo::rom::AttachDrives(request));
    return ReadFile(dir / "core.nds");
  }

  CAddKivoFSDlg dlg;
};

// The fields as typed; `box` is the one box Save shows (a ROM is written when it says "Saved").
// Which failure of the core is of which kind is the core's; here one of each kind the dialog
// tells apart.
struct SaveCase {
  const char* name;
  std::string host = "host.nds", drive0 = "", drive1 = "", output = "out.nds";
  bool saveFlash = false, readOnlyOutput = false;
  std::string box;
};

class AddKivoFSSaveTest : public AddKivoFSDlgTest, public testing::WithParamInterface<SaveCase> {};

TEST_P(AddKivoFSSaveTest, ShowsItsBoxesAndWritesOnlyAWholeRom) {
  const SaveCase& c = GetParam();
  const std::string fields[] = {c.host, c.drive0, c.drive1, c.output};
  for (std::size_t i = 0; i < 4; ++i) Type(dlg, kFields[i], Path(fields[i]));
  Check(dlg, IDC_SAVE_FLASH).SetValue(c.saveFlash);
  hook.ExpectMessageBox(kCaption, c.box);
  const std::string older = "an older output";
  WriteFile(dir / "out.nds", older);
  const auto save = [this] { Click(dlg, IDC_SAVE); };
  c.readOnlyOutput ? RunWithReadOnly("out.nds", save) : save();
  EXPECT_EQ(c.box == "Saved" ? Attached(fields, c.saveFlash) : older, ReadFile(dir / "out.nds"));
  EXPECT_EQ(Path(c.host), TextOf(dlg, IDC_HOST)) << "Save changes no field";
}

const SaveCase kSaveCases[] = {
    {.name = "NothingFilled", .host = "", .output = "", .box = kNoOutput},
    {.name = "NoDrive", .box = kNoDrive},
    {.name = "Drive1", .drive1 = "one.kid", .box = "Saved"},
    {.name = "BothDrives", .drive0 = "zero.kid", .drive1 = "one.kid", .saveFlash = true,
     .box = "Saved"},
    {.name = "MissingDrives", .drive0 = "gone0.kid", .drive1 = "gone1.kid", .box = kNoSize},
    {.name = "ReadOnlyOutput", .drive0 = "zero.kid", .readOnlyOutput = true, .box = kCouldNotOpen}};

INSTANTIATE_TEST_SUITE_P(Cases, AddKivoFSSaveTest, testing::ValuesIn(kSaveCases), CaseName);

TEST_F(AddKivoFSDlgTest, BrowseFillsItsFieldAndReloadsTheOthersFromTheStoredPaths) {
  const char* roms = "NDS and GBA files|*.nds;*.gba|All files|*.*";
  const char* drives = "KivoFS Image Drive files|*.kid|All files|*.*";
  const char* drive = "Pick Drive image file...";
  // Button, picker title and wildcard, field, the name chosen (empty: cancelled) and the name
  // shown (only "Save As" adds its default extension).
  const std::tuple<int, const char*, const char*, int, const char*, const char*> browses[] = {
      {IDC_BROWSE_HOST, "Pick Kivo Rom...", roms, IDC_HOST, "host", "host"},
      {IDC_BROWSE_DRIVE0, drive, drives, IDC_DRIVE0, "zero", "zero"},
      {IDC_BROWSE_DRIVE1, drive, drives, IDC_DRIVE1, "one.kid", "one.kid"},
      {IDC_BROWSE_OUTPUT, kSaveAs, roms, IDC_OUTPUT, "new", "new.nds"},
      {IDC_BROWSE_OUTPUT, kSaveAs, roms, IDC_OUTPUT, "new.gba", "new.gba"},
      {IDC_BROWSE_HOST, "Pick Kivo Rom...", roms, IDC_HOST, "", "host"}};
  std::map<int, std::string> stored;
  for (const auto& [button, title, wildcard, field, chosen, shown] : browses) {
    for (int id : kFields) Type(dlg, id, "typed, never stored");
    Check(dlg, IDC_SAVE_FLASH).SetValue(true);
    hook.ExpectFileDialog(title, Path(chosen), wildcard);
    Click(dlg, button);
    stored[field] = Path(shown);
    for (int id : kFields) EXPECT_EQ(stored[id], TextOf(dlg, id)) << title;
    EXPECT_FALSE(Check(dlg, IDC_SAVE_FLASH).GetValue());
  }
}

TEST_F(AddKivoFSDlgTest, ExitEnterEscapeAndTheCloseBoxCloseWithoutSaving) {
  const std::function<void(ui::CDialog&)> ways[] = {
      [](auto& d) { Click(d, IDC_EXIT); },
      [](auto& d) { PressKey(d, IDC_OUTPUT, WXK_RETURN); },
      [](auto& d) { PressKey(d, IDC_SAVE_FLASH, WXK_RETURN); },
      [](auto& d) { PressKey(d, IDC_DRIVE1, WXK_ESCAPE); },
      [](auto& d) { d.m_hWnd->Close(); }};
  for (const auto& close : ways) {
    CAddKivoFSDlg fresh;
    ASSERT_TRUE(fresh.Create());
    close(fresh);  // a Save would show a box the hook does not expect
    EXPECT_EQ(ui::IDCANCEL, fresh.GetModalResult());
  }
}

}  // namespace
