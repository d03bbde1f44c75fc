// The drive tool on real widgets: the create flow with its boxes and the summary in Kbytes, the
// open flow with the summary in bytes, storing a new name with the 15-letter warning, the two
// browse buttons, and Exit.
#include <memory>
#include <sstream>

#include "drivetool/RomFSDlg.h"
#include "res/Templates.h"
#include "tests/gui/GuiTest.h"

using namespace kivofs_test;
using namespace res::romfs;

namespace {

constexpr const char* kEmpty = "|||";

// A scratch folder with the source trees "src" (two root entries, an 11776-byte image) and
// "single" (one, 9216 bytes), and a drive tool on a builder of its own.
class RomFSDlgTest : public DialogTest {
 protected:
  void SetUp() override {
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
  void Create(const std::string& source, const std::string& output) {
    Type(*dlg, IDC_SOURCE_DIR, Path(source));
    Type(*dlg, IDC_IMAGE_PATH, Path(output));
    Click(*dlg, IDC_CREATE_DRIVE);
  }
  void OpenImage(const std::string& name, const char* box = nullptr) {
    hook.ExpectFileDialog("Open...", Path(name), "Kivo Image Drive files|*.kid|All files|*.*");
    if (box != nullptr) hook.ExpectMessageBox(kCaption, box);
    Click(*dlg, IDC_OPEN_IMAGE);
  }
  // Version, root entries, size and name.
  std::string Summary() {
    return TextOf(*dlg, IDC_FS_VERSION) + "|" + TextOf(*dlg, IDC_ROOT_ENTRIES) + "|" +
           TextOf(*dlg, IDC_DRIVE_SIZE) + "|" + TextOf(*dlg, IDC_DRIVE_NAME);
  }

  std::ostringstream out;
  std::unique_ptr<kivo::fs::DriveBuilder> builder;
  std::unique_ptr<CRomFSDlg> dlg;
};

// With `olderImage`, an image of "single" lies at the output already, read-only with `readOnly`.
struct CreateCase {
  const char* name;
  std::string source = "src", output = "out.kid";
  bool olderImage = false, readOnly = false;
  std::vector<std::string> boxes = {};
  std::string summary = kEmpty;
};

class RomFSDlgCreateTest : public RomFSDlgTest, public ::testing::WithParamInterface<CreateCase> {};

TEST_P(RomFSDlgCreateTest, ShowsItsBoxesAndTheSummaryInKbytes) {
  const CreateCase& c = GetParam();
  if (c.olderImage) {
    Create("single", "out.kid");
    Open();
  }
  for (const std::string& box : c.boxes) hook.ExpectMessageBox(kCaption, box);
  const auto create = [&] { Create(c.source, c.output); };
  c.readOnly ? RunWithReadOnly("out.kid", create) : create();
  EXPECT_EQ(c.summary, Summary());
  EXPECT_EQ(c.source == "src" ? 3 : 0, builder->scanCount()) << "the source is scanned as typed";
}

constexpr const char* kNothingFound = "directory empty or not found";
const CreateCase kCreateCases[] = {
    {.name = "SourceOnly", .output = ""},
    {.name = "Build", .summary = "1.00|2|11.5|Kivo Rom Drive"},
    {.name = "NothingFoundNoFile", .source = "missing", .boxes = {kNothingFound, kCouldNotOpen}},
    {.name = "NothingFoundOldImage", .source = "missing", .olderImage = true,
     .boxes = {kNothingFound}, .summary = "1.00|1|9.0|Kivo Rom Drive"},
    {.name = "UnwritableOutput", .olderImage = true, .readOnly = true, .boxes = {kCouldNotOpen}}};
INSTANTIATE_TEST_SUITE_P(Cases, RomFSDlgCreateTest, testing::ValuesIn(kCreateCases), CaseName);

TEST_F(RomFSDlgTest, RefusedBuildShowsWhyAndNoSummary) {
  kivo::fs::BuilderOptions options;
  options.beforePlacement = [this] { fs::remove(dir / "src" / "readme.txt"); };
  Open(std::move(options));
  hook.ExpectMessageBox(kCaption);
  Create("src", "out.kid");
  EXPECT_TRUE(hook.lastText.starts_with(
      "The drive image was not built: a source file could not be read.\n\n"));
  EXPECT_TRUE(hook.lastText.ends_with("\nnothing was written to '" + Path("out.kid") + "'"));
  EXPECT_EQ(kEmpty, Summary());
}

TEST_F(RomFSDlgTest, OpenShowsTheSummaryInBytesAndTheImageInBothPaths) {
  Create("src", "out.kid");
  Open();
  const std::string summary = "1.00|2|11776|Kivo Rom Drive";
  for (const char* name : {"out.kid", "gone.kid"}) {
    OpenImage(name, name == std::string("gone.kid") ? kCouldNotOpen : nullptr);
    EXPECT_EQ(summary, Summary()) << "a file that cannot be opened leaves the summary";
    EXPECT_EQ(Path(name), TextOf(*dlg, IDC_IMAGE_PATH));
    EXPECT_EQ(Path(name), TextOf(*dlg, IDC_RENAME_PATH));
  }
  Type(*dlg, IDC_DRIVE_NAME, "typed");
  OpenImage("");
  EXPECT_EQ(summary, Summary()) << "a cancelled open only transfers out";
}

// How a name is cut and stored is the core's; here the name as typed reaches the file, after the
// warning on focus loss when it is too long, or Save shows why not. The summary stays. Then
// Exit ends the tool and releases the image.
TEST_F(RomFSDlgTest, SaveStoresTheNameAsTypedOrShowsWhyNotThenExitEnds) {
  Create("src", "out.kid");
  const auto loseFocus = [this] {
    Send(Control(*dlg, IDC_DRIVE_NAME), wxFocusEvent(wxEVT_KILL_FOCUS, IDC_DRIVE_NAME));
  };
  Type(*dlg, IDC_DRIVE_NAME, "New");
  loseFocus();
  Type(*dlg, IDC_RENAME_PATH, Path("missing.kid"));
  hook.ExpectMessageBox(kCaption, kCouldNotOpen);
  Click(*dlg, IDC_SAVE_NEW_NAME);
#ifndef _WIN32  // Wine lets root write to a read-only file, which Windows never does
  Type(*dlg, IDC_RENAME_PATH, Path("out.kid"));
  hook.ExpectMessageBox(kCaption, kCouldNotOpen);
  RunWithReadOnly("out.kid", [this] { Click(*dlg, IDC_SAVE_NEW_NAME); });
#endif
  EXPECT_EQ("New", TextOf(*dlg, IDC_DRIVE_NAME)) << "the field keeps the name as typed";

  Type(*dlg, IDC_RENAME_PATH, Path("out.kid"));
  Type(*dlg, IDC_DRIVE_NAME, "ääääääää");
  hook.ExpectMessageBox(
      kCaption, "Warning the name will be truncated.  \nThe name may only be 15 letters long.");
  loseFocus();
  Click(*dlg, IDC_SAVE_NEW_NAME);
  EXPECT_EQ("11.5", TextOf(*dlg, IDC_DRIVE_SIZE)) << "the summary is not refreshed";
  OpenImage("out.kid");
  EXPECT_EQ("äääääää", TextOf(*dlg, IDC_DRIVE_NAME));
  ASSERT_FALSE(builder->imageHead().empty());
  Click(*dlg, IDC_EXIT);
  EXPECT_EQ(ui::IDCANCEL, dlg->GetModalResult());
  EXPECT_TRUE(builder->imageHead().empty()) << "Exit releases the image";
}

TEST_F(RomFSDlgTest, BrowseButtonsFillTheirFieldsAndTransferOut) {
  hook.ExpectDialog(kChooserCaption, [this](ui::CDialog& chooser) {
    chooser.SetDlgItemText(res::choosedir::IDC_DIRECTORY, Path("src"));
    Click(chooser, ui::IDOK);
  });
  Click(*dlg, IDC_BROWSE_SOURCE);
  EXPECT_EQ(Path("src"), TextOf(*dlg, IDC_SOURCE_DIR));
  hook.ExpectDialog(kChooserCaption, [](ui::CDialog& c) { Click(c, ui::IDCANCEL); });
  Click(*dlg, IDC_BROWSE_SOURCE);
  EXPECT_EQ("", TextOf(*dlg, IDC_SOURCE_DIR)) << "Cancel empties the source";

  hook.ExpectFileDialog(kSaveAs, Path("game"));
  Click(*dlg, IDC_BROWSE_IMAGE);
  Type(*dlg, IDC_RENAME_PATH, "typed");
  hook.ExpectFileDialog(kSaveAs, "");
  Click(*dlg, IDC_BROWSE_IMAGE);
  EXPECT_EQ(Path("game.kid"), TextOf(*dlg, IDC_IMAGE_PATH));
  EXPECT_EQ(Path("game.kid"), TextOf(*dlg, IDC_RENAME_PATH))
      << "Cancel changes no path but transfers out";
}

}  // namespace
