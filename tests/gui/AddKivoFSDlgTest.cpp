// The ROM attach dialog on real widgets: which boxes Save shows in which order and whether it
// writes a whole ROM, the browse pickers, and the ways it closes.
#include <gtest/gtest.h>

#include "res/Templates.h"
#include "romattachdlg/AddKivoFSDlg.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/OrdinaryUser.h"

using namespace kivofs_test;
using namespace res::addkivofs;

namespace {

constexpr const char* kCaption = "Kivo FS Utils";
constexpr const char* kNoSize = "Error reading rom file";
constexpr const char* kNoOpen = "Error could't open file";
constexpr int kFields[] = {IDC_HOST, IDC_DRIVE0, IDC_DRIVE1, IDC_OUTPUT};
constexpr std::size_t kBlockAt = 40 + 11;  // the parameter block follows the marker

// A scratch folder with a host ROM of 100 bytes (marker at 40) and drive images of 700 and
// 1300 bytes, and the dialog.
class AddKivoFSDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = ScratchFolder();
    host = std::string(100, '\x11').replace(40, 11, "KivoFSDrive");
    WriteFile(dir / "host.nds", host);
    WriteFile(dir / "zero.kid", std::string(700, '\x22'));
    WriteFile(dir / "one.kid", std::string(1300, '\x33'));
    ASSERT_TRUE(dlg.Create());
  }
  // Below the scratch folder; an empty name stands for an empty field.
  std::string Path(const std::string& name) { return name.empty() ? "" : (dir / name).string(); }

  // The host with its block describing `drives` in slots 1 and 2, then the drives.
  std::string Rom(const std::vector<std::string>& drives, bool saveFlash) {
    std::string rom = host;
    rom.replace(kBlockAt, 17, 17, '\0');
    auto put = [&rom](std::size_t at, std::size_t value) {
      for (std::size_t i = 0; i < 4; ++i) rom[at + i] = static_cast<char>(value >> (8 * i));
    };
    for (std::size_t slot = 0; slot < drives.size(); ++slot) {
      const std::string drive = ReadFile(dir / drives[slot]);
      put(kBlockAt + 8 * slot, rom.size());
      put(kBlockAt + 8 * slot + 4, rom.size() + drive.size() - 1);
      rom += drive;
    }
    rom[kBlockAt + 16] = saveFlash ? 1 : 0;
    return rom;
  }

  fs::path dir;
  std::string host;
  CAddKivoFSDlg dlg;
  ModalHook hook;  // any box not expected fails the test
};

struct SaveCase {
  const char* name;
  std::vector<std::string> fields;  // host, drive 0, drive 1, output
  bool saveFlash;
  std::vector<std::string> boxes;
  std::vector<std::string> written;  // the drives in the output, in slot order; none: no output
  const char* locked = "";  // for an ordinary user: "host.nds" unreadable, "out.nds" read-only
};

class AddKivoFSSaveTest : public AddKivoFSDlgTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(AddKivoFSSaveTest, ShowsItsBoxesAndWritesOnlyAWholeRom) {
  const SaveCase& c = GetParam();
  for (std::size_t i = 0; i < 4; ++i) Type(dlg, kFields[i], Path(c.fields[i]));
  SetCheck(dlg, IDC_SAVE_FLASH, c.saveFlash);
  for (const std::string& box : c.boxes) hook.ExpectMessageBox(kCaption, box);
  const std::string older = *c.locked ? "an older output" : "";
  std::optional<kivo::testfiles::AsOrdinaryUser> ordinaryUser;
  if (*c.locked) {
    WriteFile(dir / "out.nds", older);
    kivo::testfiles::GiveToOrdinaryUser(dir);
    fs::permissions(dir / c.locked, std::string(c.locked) == "host.nds" ? fs::perms::none : fs::perms::owner_read);
    ordinaryUser.emplace();
  }
  Click(dlg, IDC_SAVE);
  ordinaryUser.reset();
  EXPECT_EQ(c.written.empty() ? older : Rom(c.written, c.saveFlash), ReadFile(dir / c.fields[3]));
  EXPECT_EQ(Path(c.fields[0]), TextOf(dlg, IDC_HOST)) << "Save changes no field";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddKivoFSSaveTest,
    ::testing::Values(
        SaveCase{"NothingFilled", {"", "", "", ""}, false, {"The Save path for the new rom needs to be filled out"}, {}},
        SaveCase{"NoDrive", {"host.nds", "", "", "out.nds"}, false, {"one of the drive paths must be filled in to proceed"},
                 {}},
        SaveCase{"Drive0", {"host.nds", "zero.kid", "", "out.nds"}, false, {"Saved"}, {"zero.kid"}},
        SaveCase{"Drive1GoesToSlot1", {"host.nds", "", "one.kid", "out.nds"}, true, {"Saved"}, {"one.kid"}},
        SaveCase{"BothDrives", {"host.nds", "zero.kid", "one.kid", "out.nds"}, true, {"Saved"}, {"zero.kid", "one.kid"}},
        SaveCase{"EmptyHostPath", {"", "zero.kid", "", "out.nds"}, false, {kNoSize}, {}},
        SaveCase{"MissingDrivesStopAtTheFirstBox", {"host.nds", "gone0.kid", "gone1.kid", "out.nds"}, false, {kNoSize}, {}},
        SaveCase{"OutputFolderMissing", {"host.nds", "zero.kid", "", "none/out.nds"}, false, {kNoOpen}, {}},
        SaveCase{"UnreadableHost", {"host.nds", "zero.kid", "", "out.nds"}, false, {kNoOpen}, {}, "host.nds"},
        SaveCase{"ReadOnlyOutput", {"host.nds", "zero.kid", "", "out.nds"}, false, {kNoOpen}, {}, "out.nds"}),
    [](const auto& p) { return std::string(p.param.name); });

struct BrowseCase {
  int button;
  const char* title;
  const char* wildcard;
  int field;
  const char* chosen;
  const char* shown;  // only "Save As" adds its default extension
};

class AddKivoFSBrowseTest : public AddKivoFSDlgTest, public ::testing::WithParamInterface<BrowseCase> {};

TEST_P(AddKivoFSBrowseTest, FillsItsFieldAndReloadsTheOthers) {
  const BrowseCase& c = GetParam();
  for (int id : kFields) Type(dlg, id, "typed, never stored");
  SetCheck(dlg, IDC_SAVE_FLASH, true);
  hook.ExpectFileDialog(c.title, Path(c.chosen));
  Click(dlg, c.button);
  EXPECT_EQ(c.wildcard, hook.shown().at(0).text);
  for (int id : kFields) EXPECT_EQ(id == c.field ? Path(c.shown) : "", TextOf(dlg, id));
  EXPECT_FALSE(IsChecked(dlg, IDC_SAVE_FLASH));
  Type(dlg, c.field, "typed again");
  hook.ExpectFileDialog(c.title, "");
  Click(dlg, c.button);
  EXPECT_EQ(Path(c.shown), TextOf(dlg, c.field)) << "a cancelled picker keeps the stored path";
}

constexpr const char* kRoms = "NDS and GBA files|*.nds;*.gba|All files|*.*";
constexpr const char* kDrives = "KivoFS Image Drive files|*.kid|All files|*.*";

INSTANTIATE_TEST_SUITE_P(
    Buttons, AddKivoFSBrowseTest,
    ::testing::Values(BrowseCase{IDC_BROWSE_HOST, "Pick Kivo Rom...", kRoms, IDC_HOST, "host", "host"},
                      BrowseCase{IDC_BROWSE_DRIVE0, "Pick Drive image file...", kDrives, IDC_DRIVE0, "zero", "zero"},
                      BrowseCase{IDC_BROWSE_DRIVE1, "Pick Drive image file...", kDrives, IDC_DRIVE1, "one.kid", "one.kid"},
                      BrowseCase{IDC_BROWSE_OUTPUT, "Save As", kRoms, IDC_OUTPUT, "new", "new.nds"},
                      BrowseCase{IDC_BROWSE_OUTPUT, "Save As", kRoms, IDC_OUTPUT, "new.gba", "new.gba"}));

TEST_F(AddKivoFSDlgTest, ExitEnterEscapeAndTheCloseBoxCloseWithoutSaving) {
  const std::function<void(ui::CDialog&)> ways[] = {
      [](auto& d) { Click(d, IDC_EXIT); }, [](auto& d) { PressKey(d, IDC_OUTPUT, WXK_RETURN); },
      [](auto& d) { PressKey(d, IDC_SAVE_FLASH, WXK_RETURN); }, [](auto& d) { PressKey(d, IDC_DRIVE1, WXK_ESCAPE); },
      [](auto& d) { d.m_hWnd->Close(); }};
  for (const auto& close : ways) {
    CAddKivoFSDlg fresh;
    ASSERT_TRUE(fresh.Create());
    Type(fresh, IDC_HOST, Path("host.nds"));
    Type(fresh, IDC_DRIVE0, Path("zero.kid"));
    Type(fresh, IDC_OUTPUT, Path("out.nds"));
    close(fresh);
    EXPECT_EQ(ui::IDCANCEL, fresh.GetModalResult());
  }
  EXPECT_FALSE(fs::exists(dir / "out.nds"));
}

}  // namespace
