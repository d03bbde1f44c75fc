// The drive tool's "Re-Name Drive" group on real widgets: opening an image, the name-length
// warning and storing a new name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "tests/gui/RomFSDlgFixture.h"
#include "tests/support/OrdinaryUser.h"

using namespace kivofs_test;

namespace {

const std::string kWarning = "Warning the name will be truncated.  \nThe name may only be 15 letters long.";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Two bytes each in UTF-8.
const std::string kUmlaut = "\xC3\xA4";

std::string Repeat(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

struct WarningCase {
  const char* label;
  std::string name;
  bool warns;
};

class RomFSDlgWarningTest : public RomFSDlgTest, public ::testing::WithParamInterface<WarningCase> {};

TEST_P(RomFSDlgWarningTest, FocusLossOfTheNameField) {
  const WarningCase& c = GetParam();
  TypeInto(kDriveName, c.name);
  ModalHook hook;
  if (c.warns) ExpectBox(hook, kWarning);
  LoseFocus(Ctl(kDriveName));
  EXPECT_TRUE(hook.AllAnswered());
  EXPECT_EQ(hook.shown().size(), c.warns ? 1u : 0u);
  EXPECT_EQ(m_dlg->m_strDriveName, c.name) << "transferred in, not shortened";
  EXPECT_EQ(Field(kDriveName), c.name);

  // Each focus loss asks again.
  if (c.warns) ExpectBox(hook, kWarning);
  LoseFocus(Ctl(kDriveName));
  EXPECT_EQ(hook.shown().size(), c.warns ? 2u : 0u);
}

// Lengths count bytes, as the stored field does.
INSTANTIATE_TEST_SUITE_P(Cases, RomFSDlgWarningTest,
                         ::testing::Values(WarningCase{"Empty", "", false},
                                           WarningCase{"Fifteen", "ABCDEFGHIJKLMNO", false},
                                           WarningCase{"Sixteen", "ABCDEFGHIJKLMNOP", true},
                                           WarningCase{"Thirty", Repeat("Drive ", 5), true},
                                           WarningCase{"FourteenBytes", Repeat(kUmlaut, 7), false},
                                           WarningCase{"SixteenBytes", Repeat(kUmlaut, 8), true}),
                         [](const auto& testInfo) { return std::string(testInfo.param.label); });

struct RenameCase {
  const char* label;
  std::string typed;
  std::string storedField;  // the 16 bytes at offset 4 afterwards
  std::string shownAfterReopen;
};

class RomFSDlgRenameTest : public RomFSDlgTest, public ::testing::WithParamInterface<RenameCase> {};

TEST_P(RomFSDlgRenameTest, SaveChangesOnlyTheNameField) {
  const RenameCase& c = GetParam();
  fs::path image = m_dir / "drive.kid";
  BuildElsewhere(MakeWorkedExample(), image);
  const Bytes before = ReadBytes(image);

  ModalHook hook;
  hook.ExpectFileDialog("Open...", image.string());
  Press(kOpenImage);
  ASSERT_EQ(Field(kDriveName), "Kivo Rom Drive");
  ASSERT_EQ(Field(kDriveSize), "11776");

  TypeInto(kDriveName, c.typed);
  Press(kSaveNewName);
  EXPECT_TRUE(hook.shown().size() == 1u) << "no box from the save";

  const Bytes after = ReadBytes(image);
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < after.size(); ++i) {
    if (i >= 4 && i < 20) continue;
    ASSERT_EQ(after[i], before[i]) << "byte " << i << " changed";
  }
  EXPECT_EQ(std::string(after.begin() + 4, after.begin() + 20), c.storedField);

  // No transfer out: the field keeps the name as typed and the summary is not refreshed.
  EXPECT_EQ(Field(kDriveName), c.typed);
  EXPECT_EQ(Field(kDriveSize), "11776");

  hook.ExpectFileDialog("Open...", image.string());
  Press(kOpenImage);
  EXPECT_EQ(Field(kDriveName), c.shownAfterReopen);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RomFSDlgRenameTest,
    ::testing::Values(
        // Shorter than the old name: nothing of "Kivo Rom Drive" is left behind it.
        RenameCase{"Shorter", "Game", std::string("Game") + std::string(12, '\0'), "Game"},
        RenameCase{"Fifteen", "ABCDEFGHIJKLMNO", std::string("ABCDEFGHIJKLMNO") + '\0', "ABCDEFGHIJKLMNO"},
        RenameCase{"Sixteen", "ABCDEFGHIJKLMNOP", std::string("ABCDEFGHIJKLMNO") + '\0', "ABCDEFGHIJKLMNO"},
        RenameCase{"Empty", "", std::string(16, '\0'), ""},
        // A two-byte character is kept whole or not at all, so the stored name stays text.
        RenameCase{"TwoByteCharacters", Repeat(kUmlaut, 8), Repeat(kUmlaut, 7) + std::string(2, '\0'),
                   Repeat(kUmlaut, 7)}),
    [](const auto& testInfo) { return std::string(testInfo.param.label); });

TEST_F(RomFSDlgTest, SaveUsesAPathTypedIntoTheRenameField) {
  fs::path image = m_dir / "typed.kid";
  BuildElsewhere(MakeOneEmptyDirectory(), image);
  TypeInto(kRenamePath, image.string());
  TypeInto(kDriveName, "Typed");
  ModalHook hook;
  Press(kSaveNewName);
  EXPECT_TRUE(hook.shown().empty());
  const Bytes after = ReadBytes(image);
  EXPECT_EQ(std::string(after.begin() + 4, after.begin() + 9), "Typed");
  EXPECT_EQ(after[9], 0);
  EXPECT_EQ(Field(kDriveSize), "") << "no summary after a save";
}

struct SaveFailureCase {
  const char* label;
  enum { EmptyPath, MissingFile, Directory, ReadOnlyFile } target;
};

class RomFSDlgSaveFailureTest : public RomFSDlgTest, public ::testing::WithParamInterface<SaveFailureCase> {};

TEST_P(RomFSDlgSaveFailureTest, CannotOpenWritesNothing) {
  const SaveFailureCase& c = GetParam();
  fs::path image = m_dir / "drive.kid";
  BuildElsewhere(MakeOneEmptyDirectory(), image);
  const Bytes before = ReadBytes(image);
  std::string path;
  switch (c.target) {
    case SaveFailureCase::EmptyPath: path = ""; break;
    case SaveFailureCase::MissingFile: path = (m_dir / "missing.kid").string(); break;
    case SaveFailureCase::Directory: path = m_dir.string(); break;
    case SaveFailureCase::ReadOnlyFile:
      kivo::testfiles::GiveToOrdinaryUser(m_dir);
      fs::permissions(image, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
      path = image.string();
      break;
  }
  TypeInto(kRenamePath, path);
  TypeInto(kDriveName, "New");
  ModalHook hook;
  ExpectBox(hook, kCouldNotOpen);
  {
    std::optional<kivo::testfiles::AsOrdinaryUser> ordinaryUser;
    if (c.target == SaveFailureCase::ReadOnlyFile) ordinaryUser.emplace();
    Press(kSaveNewName);
  }
  EXPECT_TRUE(hook.AllAnswered());
  EXPECT_EQ(ReadBytes(image), before);
  EXPECT_FALSE(fs::exists(m_dir / "missing.kid"));
  EXPECT_EQ(Field(kDriveName), "New");
}

INSTANTIATE_TEST_SUITE_P(Cases, RomFSDlgSaveFailureTest,
                         ::testing::Values(SaveFailureCase{"EmptyPath", SaveFailureCase::EmptyPath},
                                           SaveFailureCase{"MissingFile", SaveFailureCase::MissingFile},
                                           SaveFailureCase{"Directory", SaveFailureCase::Directory},
                                           SaveFailureCase{"ReadOnlyFile", SaveFailureCase::ReadOnlyFile}),
                         [](const auto& testInfo) { return std::string(testInfo.param.label); });

TEST_F(RomFSDlgTest, SaveIntoAFileTooShortForTheNameIsRefused) {
  fs::path tiny = m_dir / "tiny.kid";
  const Bytes before(19, 0xAB);
  WriteBytes(tiny, before);
  TypeInto(kRenamePath, tiny.string());
  TypeInto(kDriveName, "Name");
  ModalHook hook;
  ExpectAnyBox(hook);
  Press(kSaveNewName);
  ASSERT_EQ(hook.shown().size(), 1u);
  EXPECT_TRUE(Contains(hook.shown()[0].text, "too short")) << hook.shown()[0].text;
  EXPECT_TRUE(Contains(hook.shown()[0].text, tiny.string())) << hook.shown()[0].text;
  EXPECT_EQ(ReadBytes(tiny), before);
}

TEST_F(RomFSDlgTest, SaveThatCannotWriteIsReported) {
  TypeInto(kRenamePath, "/dev/full");
  TypeInto(kDriveName, "Name");
  ModalHook hook;
  ExpectAnyBox(hook);
  Press(kSaveNewName);
  ASSERT_EQ(hook.shown().size(), 1u);
  EXPECT_NE(hook.shown()[0].text, kCouldNotOpen);
  EXPECT_TRUE(Contains(hook.shown()[0].text, "/dev/full")) << hook.shown()[0].text;
}

TEST_F(RomFSDlgTest, SaveIntoAPipeIsRefusedWithoutWaitingForAReader) {
  fs::path pipe = m_dir / "pipe.kid";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  TypeInto(kRenamePath, pipe.string());
  TypeInto(kDriveName, "Name");
  ModalHook hook;
  ExpectAnyBox(hook);
  Press(kSaveNewName);
  ASSERT_EQ(hook.shown().size(), 1u);
  EXPECT_TRUE(Contains(hook.shown()[0].text, pipe.string())) << hook.shown()[0].text;

  // Opening it as an image does not wait either.
  hook.ExpectFileDialog("Open...", pipe.string());
  ExpectAnyBox(hook);
  Press(kOpenImage);
  ASSERT_EQ(hook.shown().size(), 3u);
  EXPECT_TRUE(Contains(hook.shown()[2].text, pipe.string())) << hook.shown()[2].text;
  EXPECT_EQ(SummaryFields(), (std::vector<std::string>{"", "", "", "Name"}));
}

TEST_F(RomFSDlgTest, OpenMissingImageKeepsTheSummaryButShowsThePath) {
  fs::path image = m_dir / "drive.kid";
  BuildElsewhere(MakeOneEmptyDirectory(), image);
  ModalHook hook;
  hook.ExpectFileDialog("Open...", image.string());
  Press(kOpenImage);
  const std::vector<std::string> summary = SummaryFields();
  ASSERT_EQ(summary, (std::vector<std::string>{"1.00", "1", "9216", "Kivo Rom Drive"}));

  const fs::path missing = m_dir / "gone.kid";
  hook.ExpectFileDialog("Open...", missing.string());
  ExpectBox(hook, kCouldNotOpen);
  Press(kOpenImage);
  EXPECT_TRUE(hook.AllAnswered());
  EXPECT_EQ(SummaryFields(), summary);
  EXPECT_EQ(Field(kImagePath), missing.string());
  EXPECT_EQ(Field(kRenamePath), missing.string());
}

TEST_F(RomFSDlgTest, CancelledOpenOnlyTransfersOut) {
  TypeInto(kImagePath, "typed");
  TypeInto(kDriveName, "typed name");
  ModalHook hook;
  hook.ExpectFileDialog("Open...", "");
  Press(kOpenImage);
  EXPECT_EQ(Field(kImagePath), "");
  EXPECT_EQ(Field(kDriveName), "");
}

struct ForeignFileCase {
  const char* label;
  Bytes bytes;
  const char* expectedPart;
};

class RomFSDlgForeignFileTest : public RomFSDlgTest, public ::testing::WithParamInterface<ForeignFileCase> {};

TEST_P(RomFSDlgForeignFileTest, OpenGivesAClearMessageAndKeepsTheSummary) {
  const ForeignFileCase& c = GetParam();
  fs::path good = m_dir / "good.kid";
  BuildElsewhere(MakeOneEmptyDirectory(), good);
  fs::path foreign = m_dir / "foreign.bin";
  WriteBytes(foreign, c.bytes);

  ModalHook hook;
  hook.ExpectFileDialog("Open...", good.string());
  Press(kOpenImage);
  const std::vector<std::string> summary = SummaryFields();

  hook.ExpectFileDialog("Open...", foreign.string());
  ExpectAnyBox(hook);
  Press(kOpenImage);
  ASSERT_EQ(hook.shown().size(), 3u);
  const std::string& text = hook.shown()[2].text;
  EXPECT_TRUE(Contains(text, c.expectedPart)) << text;
  EXPECT_TRUE(Contains(text, foreign.string())) << text;
  EXPECT_EQ(SummaryFields(), summary);
  EXPECT_EQ(ReadBytes(foreign), c.bytes);
}

Bytes RootOutsideTheFile() {
  HandMadeImage image{600, 100, "Foreign", 512, 4096, {}};
  return MakeImage(image);
}

Bytes RootOffsetOverflowing() {
  HandMadeImage image{600, 100, "Foreign", 0, 0, {}};
  Bytes bytes = MakeImage(image);
  PutLE32(bytes, 44, 0xFFFFFFF0u);
  PutLE32(bytes, 32, 0x20u);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(Cases, RomFSDlgForeignFileTest,
                         ::testing::Values(ForeignFileCase{"Empty", {}, "too short"},
                                           ForeignFileCase{"TenBytes", Bytes(10, 0x41), "too short"},
                                           ForeignFileCase{"FortyEightBytes", Bytes(48, 0), "too short"},
                                           ForeignFileCase{"RootBeyondTheEnd", RootOutsideTheFile(), "outside"},
                                           ForeignFileCase{"RootOffsetWraps", RootOffsetOverflowing(), "outside"}),
                         [](const auto& testInfo) { return std::string(testInfo.param.label); });

TEST_F(RomFSDlgTest, CreateOverAForeignFileWithAMissingSourceGivesAClearMessage) {
  fs::path foreign = m_dir / "notes.txt";
  WriteBytes(foreign, Bytes(30, 'n'));
  TypeInto(kSourceDir, (m_dir / "missing").string());
  TypeInto(kImagePath, foreign.string());
  ModalHook hook;
  ExpectBox(hook, kNothingFound);
  ExpectAnyBox(hook);
  Press(kCreate);
  ASSERT_EQ(hook.shown().size(), 2u);
  EXPECT_TRUE(Contains(hook.shown()[1].text, "too short")) << hook.shown()[1].text;
  EXPECT_EQ(SummaryFields(), (std::vector<std::string>{"", "", "", ""}));
}

}  // namespace
