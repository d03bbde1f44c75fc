// The drive tool's "Create Drive" group on real widgets: the create flow with its messages,
// the image summary in kilobytes, the two browse buttons, focus loss, Exit and the standard
// commands.
#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/dialog.h>

#include <algorithm>
#include <optional>

#include "tests/gui/RomFSDlgFixture.h"
#include "tests/support/OrdinaryUser.h"

using namespace kivofs_test;

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

int CountLines(const std::string& text, const std::string& line) {
  int count = 0;
  std::istringstream in(text);
  for (std::string got; std::getline(in, got);) count += got == line ? 1 : 0;
  return count;
}

TEST_F(RomFSDlgTest, CreateWithEmptyFieldsShowsAndChangesNothing) {
  TypeInto(kRenamePath, "typed, never transferred out");
  ModalHook hook;  // any box fails the test
  Press(kCreate);
  EXPECT_TRUE(hook.shown().empty());
  EXPECT_EQ(m_builder->scanCount(), 0);
  EXPECT_EQ(m_out.str(), "");
  // No transfer out: the typed text stays although the member now holds it too.
  EXPECT_EQ(Field(kRenamePath), "typed, never transferred out");
  EXPECT_EQ(SummaryFields(), (std::vector<std::string>{"", "", "", ""}));
}

TEST_F(RomFSDlgTest, CreateWithSourceOnlyScansAndBuildsNothing) {
  fs::path source = MakeWorkedExample();
  TypeInto(kSourceDir, source.string());
  TypeInto(kDriveName, "typed name");
  ModalHook hook;
  Press(kCreate);
  EXPECT_TRUE(hook.shown().empty());
  EXPECT_EQ(m_builder->scanCount(), 3);
  EXPECT_EQ(m_builder->totals().byteCount, 1100);
  EXPECT_EQ(m_out.str(), "") << "no statistics without a build";
  EXPECT_EQ(Field(kDriveName), "typed name");
  EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1)
      << "nothing but the source tree in the scratch folder";
}

TEST_F(RomFSDlgTest, CreateBuildsTheImageAndShowsItsSummaryInKilobytes) {
  fs::path source = MakeWorkedExample();
  fs::path image = m_dir / "out.kid";
  TypeInto(kSourceDir, source.string());
  TypeInto(kImagePath, image.string());
  TypeInto(kDriveName, "replaced by the build");
  ModalHook hook;
  Press(kCreate);
  EXPECT_TRUE(hook.shown().empty());

  ASSERT_EQ(fs::file_size(image), 11776u);
  // 11776 * 10 / 1024 = 115 tenths.
  EXPECT_EQ(SummaryFields(), (std::vector<std::string>{"1.00", "2", "11.5", "Kivo Rom Drive"}));
  EXPECT_EQ(m_dlg->m_strDriveSize, "11.5");
  EXPECT_EQ(m_dlg->m_strRootEntries, "2");
  // The builder's lines, trace included, go to the output stream the dialog was given.
  const std::string out = m_out.str();
  for (const char* line : {"num of files = 2", "num of dir's = 1", "actual total space taken by files = 1100",
                           "disk data space (files) = 2560", "disk data space (dir) = 4096", "rom drive size = 11776",
                           "root start = 1024", "data start = 5120", "root dir", "file", "root file", "ee"}) {
    EXPECT_EQ(CountLines(out, line), 1) << line << " in\n" << out;
  }
}

TEST_F(RomFSDlgTest, TwoBuildsInOneRunUseOnlyTheirOwnScan) {
  fs::path image = m_dir / "out.kid";
  TypeInto(kImagePath, image.string());
  ModalHook hook;

  TypeInto(kSourceDir, MakeWorkedExample().string());
  Press(kCreate);
  ASSERT_EQ(fs::file_size(image), 11776u);
  EXPECT_EQ(Field(kDriveSize), "11.5");

  TypeInto(kSourceDir, MakeOneEmptyDirectory().string());
  Press(kCreate);
  EXPECT_TRUE(hook.shown().empty());
  EXPECT_EQ(m_builder->scanCount(), 1);
  ASSERT_EQ(fs::file_size(image), 9216u);
  EXPECT_EQ(SummaryFields(), (std::vector<std::string>{"1.00", "1", "9.0", "Kivo Rom Drive"}));
  EXPECT_EQ(CountLines(m_out.str(), "num of files = 0"), 1);
  EXPECT_EQ(CountLines(m_out.str(), "rom drive size = 9216"), 1);
}

struct MissingSourceCase {
  const char* label;
  bool olderImage;
  std::vector<std::string> summaryAfter;
};

class RomFSDlgMissingSourceTest : public RomFSDlgTest,
                                  public ::testing::WithParamInterface<MissingSourceCase> {};

TEST_P(RomFSDlgMissingSourceTest, NothingFoundThenTheOutputPathIsSummarised) {
  const MissingSourceCase& c = GetParam();
  fs::path image = m_dir / "out.kid";
  if (c.olderImage) BuildElsewhere(MakeOneEmptyDirectory(), image);
  const Bytes before = c.olderImage ? ReadBytes(image) : Bytes{};

  TypeInto(kSourceDir, (m_dir / "no such directory").string());
  TypeInto(kImagePath, image.string());
  TypeInto(kRenamePath, "typed");
  ModalHook hook;
  ExpectBox(hook, kNothingFound);
  if (!c.olderImage) ExpectBox(hook, kCouldNotOpen);
  Press(kCreate);

  EXPECT_TRUE(hook.AllAnswered());
  EXPECT_EQ(SummaryFields(), c.summaryAfter);
  EXPECT_EQ(fs::exists(image), c.olderImage);
  if (c.olderImage) {
    EXPECT_EQ(ReadBytes(image), before) << "the older image is left as it was";
  }
  EXPECT_EQ(Field(kRenamePath), "typed") << "transferred in at the start, out at the end";
  EXPECT_EQ(m_out.str(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RomFSDlgMissingSourceTest,
    ::testing::Values(MissingSourceCase{"NoFileThere", false, {"", "", "", ""}},
                      MissingSourceCase{"OlderImage", true, {"1.00", "1", "9.0", "Kivo Rom Drive"}}),
    [](const auto& testInfo) { return std::string(testInfo.param.label); });

TEST_F(RomFSDlgTest, EmptySourceWithAnOutputPathIsNothingFound) {
  TypeInto(kImagePath, (m_dir / "out.kid").string());
  ModalHook hook;
  ExpectBox(hook, kNothingFound);
  ExpectBox(hook, kCouldNotOpen);
  Press(kCreate);
  EXPECT_EQ(m_builder->rootPathLength(), 0u);
  EXPECT_FALSE(fs::exists(m_dir / "out.kid"));
}

TEST_F(RomFSDlgTest, RootPathLengthIsThePathAsTyped) {
  fs::path source = MakeWorkedExample();
  const std::string typed = source.string() + "/";
  TypeInto(kSourceDir, typed);
  Press(kCreate);
  EXPECT_EQ(m_builder->rootPathLength(), typed.size());
}

// Summaries of hand-made files through the create flow: a missing source leaves the file at
// the output path alone, and the summary that follows reads it.
struct SummaryCase {
  const char* label;
  HandMadeImage image;
  std::vector<std::string> kilobytes;  // version, root entries, size, name
  std::string bytes;                   // the size as the open flow shows it
};

const SummaryCase kSummaryCases[] = {
    {"Size1023", {1023, 100, "Kivo Rom Drive", 64, 350, {0}}, {"1.00", "1", "0.9", "Kivo Rom Drive"}, "1023"},
    {"Size1024Version7FullName", {1024, 7, "ABCDEFGHIJKLMNOP", 64, 350, {}},
     {"0.07", "0", "1.0", "ABCDEFGHIJKLMNOP"}, "1024"},
    {"Size1536EmptySlotFirst", {1536, 1234, "", 64, 350, {35, 105, 315}}, {"12.34", "3", "1.5", ""}, "1536"},
    // The count looks at every 35th byte up to the region's end, the last byte included.
    {"Size10239LastByteOfRoot", {10239, 100, "Drive", 512, 4096, {0, 35 * 116, 4095}},
     {"1.00", "3", "9.9", "Drive"}, "10239"},
    // A name in a single-byte code page shows as Latin-1 text, not as an empty field.
    {"Latin1Name", {1024, 100, "Caf\xE9", 64, 35, {}}, {"1.00", "0", "1.0", "Caf\xC3\xA9"}, "1024"},
    {"NegativeVersion", {2048, -105, "x", 64, 35, {0}}, {"-1.-5", "1", "2.0", "x"}, "2048"},
};

class RomFSDlgSummaryTest : public RomFSDlgTest, public ::testing::WithParamInterface<SummaryCase> {};

TEST_P(RomFSDlgSummaryTest, CreateFlowShowsKilobytes) {
  const SummaryCase& c = GetParam();
  fs::path image = m_dir / "image.kid";
  WriteBytes(image, MakeImage(c.image));
  TypeInto(kSourceDir, (m_dir / "missing").string());
  TypeInto(kImagePath, image.string());
  ModalHook hook;
  ExpectBox(hook, kNothingFound);
  Press(kCreate);
  EXPECT_EQ(SummaryFields(), c.kilobytes);
}

TEST_P(RomFSDlgSummaryTest, OpenFlowShowsBytes) {
  const SummaryCase& c = GetParam();
  fs::path image = m_dir / "image.kid";
  WriteBytes(image, MakeImage(c.image));
  ModalHook hook;
  hook.ExpectFileDialog("Open...", image.string());
  Press(kOpenImage);
  std::vector<std::string> expected = c.kilobytes;
  expected[2] = c.bytes;
  EXPECT_EQ(SummaryFields(), expected);
  EXPECT_EQ(Field(kImagePath), image.string());
  EXPECT_EQ(Field(kRenamePath), image.string());
}

INSTANTIATE_TEST_SUITE_P(Cases, RomFSDlgSummaryTest, ::testing::ValuesIn(kSummaryCases),
                         [](const auto& testInfo) { return std::string(testInfo.param.label); });

TEST_F(RomFSDlgTest, ChooseDirectoryOkFillsTheSourceAndCancelEmptiesIt) {
  fs::path source = MakeWorkedExample();
  ModalHook hook;
  hook.ExpectDialog("Choose Directory", [&](ui::CDialog& chooser) {
    chooser.SetDlgItemText(1000, source.string());
    chooser.OnOK();
  });
  Press(kBrowseSource);
  EXPECT_EQ(Field(kSourceDir), source.string());
  EXPECT_EQ(m_dlg->m_strSourceDir, source.string());

  hook.ExpectDialog("Choose Directory", [](ui::CDialog& chooser) { chooser.OnCancel(); });
  Press(kBrowseSource);
  EXPECT_EQ(Field(kSourceDir), "");
  EXPECT_EQ(m_dlg->m_strSourceDir, "");
  EXPECT_TRUE(hook.AllAnswered());
}

TEST_F(RomFSDlgTest, SaveAsFillsBothPathFieldsAndAddsTheExtension) {
  ModalHook hook;
  hook.ExpectFileDialog("Save As", (m_dir / "drive").string());
  Press(kBrowseImage);
  const std::string chosen = (m_dir / "drive.kid").string();
  EXPECT_EQ(Field(kImagePath), chosen);
  EXPECT_EQ(Field(kRenamePath), chosen);
  EXPECT_FALSE(fs::exists(chosen)) << "the picker only names the file";

  // Saving a name before any build: the file does not exist yet.
  ExpectBox(hook, kCouldNotOpen);
  Press(kSaveNewName);
  EXPECT_TRUE(hook.AllAnswered());
}

TEST_F(RomFSDlgTest, CancelledPickerChangesNoPathButTransfersOut) {
  ModalHook hook;
  hook.ExpectFileDialog("Save As", (m_dir / "first.kid").string());
  Press(kBrowseImage);

  // Typed without a transfer in (field 1013 has no focus-loss handler): the next transfer
  // out puts the member's older value back.
  TypeInto(kRenamePath, "typed into the rename path");
  TypeInto(kImagePath, "typed into the image path");
  hook.ExpectFileDialog("Save As", "");
  Press(kBrowseImage);
  EXPECT_EQ(Field(kRenamePath), (m_dir / "first.kid").string());
  EXPECT_EQ(Field(kImagePath), (m_dir / "first.kid").string());

  // A focus loss on 1011 transfers in, so its typed text survives the next transfer out.
  TypeInto(kImagePath, "kept");
  LoseFocus(Ctl(kImagePath));
  TypeInto(kRenamePath, "lost again");
  hook.ExpectFileDialog("Open...", "");
  Press(kOpenImage);
  EXPECT_EQ(Field(kImagePath), "kept");
  EXPECT_EQ(Field(kRenamePath), (m_dir / "first.kid").string());
  EXPECT_TRUE(hook.AllAnswered());
}

TEST_F(RomFSDlgTest, FocusLossOfEitherPathFieldTransfersIn) {
  TypeInto(kSourceDir, "typed source");
  LoseFocus(Ctl(kSourceDir));
  EXPECT_EQ(m_dlg->m_strSourceDir, "typed source");
  TypeInto(kImagePath, "typed image");
  LoseFocus(Ctl(kImagePath));
  EXPECT_EQ(m_dlg->m_strImagePath, "typed image");
  TypeInto(kRenamePath, "typed rename");
  LoseFocus(Ctl(kRenamePath));
  EXPECT_EQ(m_dlg->m_strRenamePath, "") << "1013 has no focus-loss handler";
}

TEST_F(RomFSDlgTest, OpenThenCreateBuildsOverTheOpenedImage) {
  fs::path image = m_dir / "opened.kid";
  BuildElsewhere(MakeOneEmptyDirectory(), image);
  ModalHook hook;
  hook.ExpectFileDialog("Open...", image.string());
  Press(kOpenImage);
  EXPECT_EQ(Field(kDriveSize), "9216");

  TypeInto(kSourceDir, MakeWorkedExample().string());
  Press(kCreate);
  EXPECT_EQ(fs::file_size(image), 11776u);
  EXPECT_EQ(Field(kDriveSize), "11.5");
}

TEST_F(RomFSDlgTest, ExitReleasesTheImageBufferAndCancels) {
  TypeInto(kSourceDir, MakeWorkedExample().string());
  TypeInto(kImagePath, (m_dir / "out.kid").string());
  Press(kCreate);
  ASSERT_FALSE(m_builder->imageHead().empty());
  Press(kExit);
  EXPECT_TRUE(m_builder->imageHead().empty());
  EXPECT_EQ(m_dlg->GetModalResult(), ui::IDCANCEL);
}

TEST_F(RomFSDlgTest, EnterAcceptsWithATransferInAndKeepsTheImageBuffer) {
  TypeInto(kSourceDir, MakeWorkedExample().string());
  TypeInto(kImagePath, (m_dir / "out.kid").string());
  Press(kCreate);
  TypeInto(kDriveName, "typed last");
  PressKey(*m_dlg, Ctl(kDriveName), WXK_RETURN);
  EXPECT_EQ(m_dlg->GetModalResult(), ui::IDOK);
  EXPECT_EQ(m_dlg->m_strDriveName, "typed last");
  EXPECT_FALSE(m_builder->imageHead().empty());
}

TEST_F(RomFSDlgTest, EscapeCancelsAndKeepsTheImageBuffer) {
  TypeInto(kSourceDir, MakeWorkedExample().string());
  TypeInto(kImagePath, (m_dir / "out.kid").string());
  Press(kCreate);
  TypeInto(kDriveName, "not transferred");
  PressKey(*m_dlg, Ctl(kDriveName), WXK_ESCAPE);
  EXPECT_EQ(m_dlg->GetModalResult(), ui::IDCANCEL);
  EXPECT_EQ(m_dlg->m_strDriveName, "Kivo Rom Drive");
  EXPECT_FALSE(m_builder->imageHead().empty());
}

TEST_F(RomFSDlgTest, RunsModallyUntilExit) {
  m_dlg.reset();
  CRomFSDlg dlg(*m_builder);
  ModalHook hook;
  hook.ExpectDialog("Kivo RomFS", [](ui::CDialog& shown) {
    wxWindow* exitButton = shown.m_hWnd->FindWindow(kExit);
    ASSERT_NE(exitButton, nullptr);
    Click(exitButton);
  });
  EXPECT_EQ(dlg.DoModal(), ui::IDCANCEL);
}

// Faults the builder reports instead of writing a bad image: the box names what failed, and
// no summary is read as if the build had worked.
TEST_F(RomFSDlgTest, RefusedBuildIsReportedAndNothingIsSummarised) {
  fs::path source = m_dir / "crowded";
  for (int i = 0; i < 118; ++i) WriteSourceFile(source / ("f" + std::to_string(i)), 1);
  fs::path image = m_dir / "out.kid";
  TypeInto(kSourceDir, source.string());
  TypeInto(kImagePath, image.string());
  ModalHook hook;
  ExpectAnyBox(hook);
  Press(kCreate);
  ASSERT_EQ(hook.shown().size(), 1u);
  EXPECT_TRUE(Contains(hook.shown()[0].text, "holds 118 items")) << hook.shown()[0].text;
  EXPECT_TRUE(Contains(hook.shown()[0].text, source.string())) << hook.shown()[0].text;
  EXPECT_FALSE(fs::exists(image));
  EXPECT_EQ(SummaryFields(), (std::vector<std::string>{"", "", "", ""}));
}

TEST_F(RomFSDlgTest, ALongListOfProblemsIsCutShort) {
  // Names that differ only in case meet in one stored name: one problem per pair.
  fs::path source = m_dir / "clashes";
  for (int i = 0; i < 14; ++i) {
    WriteSourceFile(source / ("name" + std::to_string(i)), 1);
    WriteSourceFile(source / ("NAME" + std::to_string(i)), 1);
  }
  TypeInto(kSourceDir, source.string());
  TypeInto(kImagePath, (m_dir / "out.kid").string());
  ModalHook hook;
  ExpectAnyBox(hook);
  Press(kCreate);
  ASSERT_EQ(hook.shown().size(), 1u);
  const std::string& text = hook.shown()[0].text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 + 11 + 1) << text;
  EXPECT_TRUE(Contains(text, "\n(and 2 more)")) << text;
  std::size_t listed = 0;
  for (std::size_t at = text.find("same stored name"); at != std::string::npos;
       at = text.find("same stored name", at + 1)) {
    ++listed;
  }
  EXPECT_EQ(listed, 12u) << text;
}

TEST_F(RomFSDlgTest, UnreadableSourceFileIsReportedAndTheOldImageStays) {
  fs::path source = MakeWorkedExample();
  fs::path vanishing = source / "readme.txt";
  kivo::fs::BuilderOptions options;
  options.beforePlacement = [vanishing] { fs::remove(vanishing); };
  Open(std::move(options));

  fs::path image = m_dir / "out.kid";
  BuildElsewhere(MakeOneEmptyDirectory(), image);
  const Bytes before = ReadBytes(image);
  TypeInto(kSourceDir, source.string());
  TypeInto(kImagePath, image.string());
  ModalHook hook;
  ExpectAnyBox(hook);
  Press(kCreate);
  ASSERT_EQ(hook.shown().size(), 1u);
  EXPECT_TRUE(Contains(hook.shown()[0].text, "readme.txt")) << hook.shown()[0].text;
  EXPECT_EQ(ReadBytes(image), before);
  EXPECT_EQ(SummaryFields(), (std::vector<std::string>{"", "", "", ""}));
}

// An output the builder cannot open (its folder is missing, or it is read-only for an
// ordinary user) is neither written nor summarised: one "Error could't open file".
class RomFSDlgUnwritableOutputTest : public RomFSDlgTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RomFSDlgUnwritableOutputTest, GivesOneCouldNotOpenBox) {
  const bool readOnly = GetParam();
  fs::path image = m_dir / "no such folder" / "out.kid";
  Bytes before;
  if (readOnly) {
    image = m_dir / "out.kid";
    BuildElsewhere(MakeOneEmptyDirectory(), image);
    before = ReadBytes(image);
    kivo::testfiles::GiveToOrdinaryUser(m_dir);
    fs::permissions(image, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  }
  TypeInto(kSourceDir, MakeWorkedExample().string());
  TypeInto(kImagePath, image.string());
  ModalHook hook;
  ExpectBox(hook, kCouldNotOpen);
  {
    std::optional<kivo::testfiles::AsOrdinaryUser> ordinaryUser;
    if (readOnly) ordinaryUser.emplace();
    Press(kCreate);
  }
  EXPECT_TRUE(hook.AllAnswered());
  EXPECT_EQ(SummaryFields(), (std::vector<std::string>{"", "", "", ""}));
  EXPECT_EQ(Field(kImagePath), image.string());
  if (readOnly) {
    EXPECT_EQ(ReadBytes(image), before);
  }
}

INSTANTIATE_TEST_SUITE_P(Outputs, RomFSDlgUnwritableOutputTest, ::testing::Values(false, true),
                         [](const auto& test) { return test.param ? "ReadOnly" : "FolderMissing"; });

TEST_F(RomFSDlgTest, ScreenshotAfterABuild) {
  ModalHook hook;
  hook.ExpectFileDialog("Save As", (m_dir / "game.kid").string());
  Press(kBrowseImage);
  // Typed after the picker, whose transfer out would have replaced it.
  TypeInto(kSourceDir, MakeWorkedExample().string());
  Press(kCreate);
  ASSERT_EQ(Field(kDriveSize), "11.5");
  const std::string shot = std::string(KIVOFS_BINARY_DIR) + "/screenshots/drive-tool.png";
  EXPECT_TRUE(SaveScreenshot(m_dlg->GetDialogWindow(), shot));
}

}  // namespace
