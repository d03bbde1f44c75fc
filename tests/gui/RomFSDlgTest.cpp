// The drive tool on real widgets: the create flow with its boxes and the summary in Kbytes, the
// open flow with the summary in bytes, storing a new name with the 15-letter warning, the two
// browse buttons, and the ways it ends.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "drivetool/RomFSDlg.h"
#include "res/Templates.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/OrdinaryUser.h"

using namespace kivofs_test;
using namespace res::romfs;

namespace {

constexpr const char* kCaption = "Kivo FS Utils";
constexpr const char* kNothingFound = "directory empty or not found";
constexpr const char* kCouldNotOpen = "Error could't open file";
using Summary = std::vector<std::string>;  // version, root entries, size, name
const Summary kEmpty{"", "", "", ""};

// A scratch folder with the source trees "src" (two root entries, an 11776-byte image) and
// "single" (one, 9216 bytes), and a drive tool on a builder of its own.
class RomFSDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = ScratchFolder();
    WriteFile(dir / "src" / "docs" / "a.bin", std::string(1000, 'a'));
    WriteFile(dir / "src" / "readme.txt", std::string(100, 'r'));
    fs::create_directories(dir / "single" / "only");
    Open();
  }
  void Open(kivo::fs::BuilderOptions options = {}) {
    dlg.reset();
    builder = std::make_unique<kivo::fs::DriveBuilder>(out, std::move(options));
    dlg = std::make_unique<CRomFSDlg>(*builder);
    ASSERT_TRUE(dlg->Create());
  }
  // Below the scratch folder; an empty name stands for an empty field.
  std::string Path(const std::string& name) { return name.empty() ? "" : (dir / name).string(); }
  void Create(const std::string& source, const std::string& output) {
    Type(*dlg, IDC_SOURCE_DIR, Path(source));
    Type(*dlg, IDC_IMAGE_PATH, Path(output));
    Click(*dlg, IDC_CREATE_DRIVE);
  }
  void OpenImage(const std::string& name, const char* box = nullptr) {
    hook.ExpectFileDialog("Open...", Path(name));
    if (box != nullptr) hook.ExpectMessageBox(kCaption, box);
    Click(*dlg, IDC_OPEN_IMAGE);
  }
  // Runs `act`; with `readOnly`, out.kid is read-only and `act` runs as an ordinary user.
  void MaybeReadOnly(bool readOnly, const std::function<void()>& act) {
    if (!readOnly) return act();
    kivo::testfiles::GiveToOrdinaryUser(dir);
    fs::permissions(dir / "out.kid", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    kivo::testfiles::AsOrdinaryUser ordinaryUser;
    act();
  }
  Summary Shown() {
    return {TextOf(*dlg, IDC_FS_VERSION), TextOf(*dlg, IDC_ROOT_ENTRIES), TextOf(*dlg, IDC_DRIVE_SIZE),
            TextOf(*dlg, IDC_DRIVE_NAME)};
  }

  fs::path dir;
  std::ostringstream out;
  std::unique_ptr<kivo::fs::DriveBuilder> builder;
  std::unique_ptr<CRomFSDlg> dlg;
  ModalHook hook;  // any box not expected fails the test
};

struct CreateCase {
  const char* name;
  const char* source;
  const char* output;
  bool olderImage;  // an image of "single" lies at the output already
  bool readOnly;
  std::vector<std::string> boxes;
  Summary summary;
};

class RomFSDlgCreateTest : public RomFSDlgTest, public ::testing::WithParamInterface<CreateCase> {};

TEST_P(RomFSDlgCreateTest, ShowsItsBoxesAndTheSummaryInKbytes) {
  const CreateCase& c = GetParam();
  if (c.olderImage) {
    Create("single", "out.kid");
    Open();
  }
  const std::string before = ReadFile(dir / "out.kid");
  for (const std::string& box : c.boxes) hook.ExpectMessageBox(kCaption, box);
  MaybeReadOnly(c.readOnly, [&] { Create(c.source, c.output); });
  EXPECT_EQ(c.summary, Shown());
  EXPECT_EQ(std::string(c.source) == "src" ? 3 : 0, builder->scanCount());
  if (c.summary[2] == "11.5") {
    EXPECT_EQ(11776u, fs::file_size(dir / "out.kid"));
  } else {
    EXPECT_EQ(c.olderImage, fs::exists(dir / "out.kid"));
    EXPECT_EQ(before, ReadFile(dir / "out.kid"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RomFSDlgCreateTest,
    ::testing::Values(
        CreateCase{"BothFieldsEmpty", "", "", false, false, {}, kEmpty},
        CreateCase{"SourceOnly", "src", "", false, false, {}, kEmpty},
        CreateCase{"Build", "src", "out.kid", false, false, {}, {"1.00", "2", "11.5", "Kivo Rom Drive"}},
        CreateCase{"NothingFoundNoFile", "missing", "out.kid", false, false, {kNothingFound, kCouldNotOpen}, kEmpty},
        CreateCase{"NothingFoundOlderImage", "missing", "out.kid", true, false, {kNothingFound},
                   {"1.00", "1", "9.0", "Kivo Rom Drive"}},
        CreateCase{"OutputFolderMissing", "src", "none/out.kid", false, false, {kCouldNotOpen}, kEmpty},
        CreateCase{"UnwritableOutputReadOnly", "src", "out.kid", true, true, {kCouldNotOpen}, kEmpty}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(RomFSDlgTest, RefusedBuildShowsTheProblemAndWritesNothing) {
  Create("single", "out.kid");
  const std::string before = ReadFile(dir / "out.kid");
  kivo::fs::BuilderOptions options;
  options.beforePlacement = [this] { fs::remove(dir / "src" / "readme.txt"); };
  Open(std::move(options));
  hook.ExpectMessageBox(kCaption);
  Create("src", "out.kid");
  EXPECT_NE(std::string::npos, hook.shown().back().text->find("readme.txt")) << *hook.shown().back().text;
  EXPECT_EQ(before, ReadFile(dir / "out.kid"));
  EXPECT_EQ(kEmpty, Shown());
}

TEST_F(RomFSDlgTest, OpenShowsTheSummaryInBytesAndTheImageInBothPaths) {
  Create("src", "out.kid");
  Open();
  // A name stored in a single-byte code page shows as Latin-1.
  std::string bytes = ReadFile(dir / "out.kid");
  WriteFile(dir / "out.kid", bytes.replace(4, 5, std::string("Caf\xE9\0", 5)));
  const Summary summary{"1.00", "2", "11776", "Caf\xC3\xA9"};
  for (const char* name : {"out.kid", "gone.kid"}) {
    OpenImage(name, name == std::string("gone.kid") ? kCouldNotOpen : nullptr);
    EXPECT_EQ(summary, Shown()) << "a file that cannot be opened leaves the summary";
    EXPECT_EQ(Path(name), TextOf(*dlg, IDC_IMAGE_PATH));
    EXPECT_EQ(Path(name), TextOf(*dlg, IDC_RENAME_PATH));
  }
  EXPECT_EQ("Kivo Image Drive files|*.kid|All files|*.*", hook.shown().front().text);
  Type(*dlg, IDC_DRIVE_NAME, "typed");
  OpenImage("");
  EXPECT_EQ(summary, Shown()) << "a cancelled open only transfers out";
}

struct RenameCase {
  const char* name;
  const char* path;
  std::string typed;
  bool warns;  // lengths count bytes
  const char* box;
  bool readOnly;
  std::string stored;  // the 16 bytes at offset 4 afterwards
};

class RomFSDlgRenameTest : public RomFSDlgTest, public ::testing::WithParamInterface<RenameCase> {};

TEST_P(RomFSDlgRenameTest, WarnsOnFocusLossAndStoresOnlyTheName) {
  const RenameCase& c = GetParam();
  Create("src", "out.kid");
  const std::string expected = ReadFile(dir / "out.kid").replace(4, 16, c.stored);
  Type(*dlg, IDC_RENAME_PATH, Path(c.path));
  Type(*dlg, IDC_DRIVE_NAME, c.typed);
  if (c.warns) {
    hook.ExpectMessageBox(kCaption, "Warning the name will be truncated.  \nThe name may only be 15 letters long.");
  }
  LoseFocus(*dlg, IDC_DRIVE_NAME);
  if (c.box != nullptr) hook.ExpectMessageBox(kCaption, c.box);
  MaybeReadOnly(c.readOnly, [&] { Click(*dlg, IDC_SAVE_NEW_NAME); });
  EXPECT_EQ(expected, ReadFile(dir / "out.kid"));
  EXPECT_FALSE(fs::exists(dir / "missing.kid"));
  EXPECT_EQ(c.typed, TextOf(*dlg, IDC_DRIVE_NAME)) << "no transfer out";
  EXPECT_EQ("11.5", TextOf(*dlg, IDC_DRIVE_SIZE));
  if (c.box != nullptr) return;
  OpenImage("out.kid");
  EXPECT_EQ(c.stored.substr(0, c.stored.find('\0')), TextOf(*dlg, IDC_DRIVE_NAME));
}

const std::string kFifteen("ABCDEFGHIJKLMNO\0", 16);
const std::string kOld("Kivo Rom Drive\0\0", 16);

INSTANTIATE_TEST_SUITE_P(
    Cases, RomFSDlgRenameTest,
    ::testing::Values(
        RenameCase{"Fifteen", "out.kid", "ABCDEFGHIJKLMNO", false, nullptr, false, kFifteen},
        RenameCase{"Sixteen", "out.kid", "ABCDEFGHIJKLMNOP", true, nullptr, false, kFifteen},
        RenameCase{"ShorterThanTheOldName", "out.kid", "Game", false, nullptr, false, "Game" + std::string(12, '\0')},
        RenameCase{"Empty", "out.kid", "", false, nullptr, false, std::string(16, '\0')},
        // A two-byte character is stored whole or not at all.
        RenameCase{"EightTwoByteLetters", "out.kid", "ääääääää", true, nullptr, false, std::string("äääääää\0\0", 16)},
        RenameCase{"EmptyPath", "", "New", false, kCouldNotOpen, false, kOld},
        RenameCase{"MissingFile", "missing.kid", "New", false, kCouldNotOpen, false, kOld},
        RenameCase{"ReadOnlyFile", "out.kid", "New", false, kCouldNotOpen, true, kOld}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(RomFSDlgTest, BrowseButtonsFillTheirFieldsAndTransferOut) {
  hook.ExpectDialog("Choose Directory", [this](ui::CDialog& chooser) {
    chooser.SetDlgItemText(res::choosedir::IDC_DIRECTORY, Path("src"));
    Click(chooser, ui::IDOK);
  });
  Click(*dlg, IDC_BROWSE_SOURCE);
  EXPECT_EQ(Path("src"), TextOf(*dlg, IDC_SOURCE_DIR));
  hook.ExpectDialog("Choose Directory", [](ui::CDialog& chooser) { Click(chooser, ui::IDCANCEL); });
  Click(*dlg, IDC_BROWSE_SOURCE);
  EXPECT_EQ("", TextOf(*dlg, IDC_SOURCE_DIR)) << "Cancel empties the source";

  hook.ExpectFileDialog("Save As", Path("game"));
  Click(*dlg, IDC_BROWSE_IMAGE);
  EXPECT_EQ("Kivo Image Drive files|*.kid|All files|*.*", hook.shown().back().text);
  Type(*dlg, IDC_RENAME_PATH, "typed");
  hook.ExpectFileDialog("Save As", "");
  Click(*dlg, IDC_BROWSE_IMAGE);
  EXPECT_EQ(Path("game.kid"), TextOf(*dlg, IDC_IMAGE_PATH));
  EXPECT_EQ(Path("game.kid"), TextOf(*dlg, IDC_RENAME_PATH)) << "Cancel changes no path but transfers out";
}

TEST_F(RomFSDlgTest, OnlyAcceptTransfersInAndOnlyExitReleasesTheImage) {
  for (const auto& [button, key, result] : {std::tuple{IDC_EXIT, 0, ui::IDCANCEL}, {0, WXK_ESCAPE, ui::IDCANCEL},
                                            {0, WXK_RETURN, ui::IDOK}}) {
    Open();
    Create("src", "out.kid");
    Type(*dlg, IDC_SOURCE_DIR, "typed");
    button != 0 ? Click(*dlg, button) : PressKey(*dlg, IDC_SOURCE_DIR, key);
    EXPECT_EQ(result, dlg->GetModalResult());
    EXPECT_EQ(result == ui::IDOK ? "typed" : Path("src"), dlg->m_strSourceDir);
    EXPECT_EQ(button == IDC_EXIT, builder->imageHead().empty());
  }
}

}  // namespace
