// The ROM attach dialog on real widgets: fields typed as a user does, Save and the browse
// buttons clicked, message boxes and file pickers answered by the hook, files checked on disk.
#include <gtest/gtest.h>
#include <wx/checkbox.h>
#include <wx/filedlg.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "res/Templates.h"
#include "romattachdlg/AddKivoFSDlg.h"
#include "tests/gui/GuiActions.h"
#include "tests/gui/ModalHook.h"
#include "tests/support/OrdinaryUser.h"

using namespace kivofs_test;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

constexpr int kHost = res::addkivofs::IDC_HOST;
constexpr int kDrive0 = res::addkivofs::IDC_DRIVE0;
constexpr int kDrive1 = res::addkivofs::IDC_DRIVE1;
constexpr int kOutput = res::addkivofs::IDC_OUTPUT;
constexpr int kSaveFlash = res::addkivofs::IDC_SAVE_FLASH;
constexpr int kSave = res::addkivofs::IDC_SAVE;
constexpr int kExit = res::addkivofs::IDC_EXIT;
constexpr const char* kCaption = "Kivo FS Utils";
constexpr const char* kSaved = "Saved";
constexpr const char* kNoOutput = "The Save path for the new rom needs to be filled out";
constexpr const char* kNoDrive = "one of the drive paths must be filled in to proceed";
constexpr const char* kNoSize = "Error reading rom file";
constexpr const char* kNoOpen = "Error could't open file";

// Bytes below 'A' never spell the marker.
Bytes Filler(std::size_t size, unsigned seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>((i * 7 + seed * 13) % 60);
  return bytes;
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void PutLE32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
}

// A hook that also keeps the wildcard and default directory of every file picker it answers.
class PickerHook : public ModalHook {
 public:
  std::vector<std::string> wildcards;

 protected:
  int Enter(wxDialog* dialog) override {
    if (auto* picker = wxDynamicCast(dialog, wxFileDialog)) wildcards.push_back(ui::FromWx(picker->GetWildcard()));
    return ModalHook::Enter(dialog);
  }
};

// Host ROM of 100 bytes with the marker at 40 (block at 51..67); drives of 700 and 1300 bytes.
constexpr std::size_t kHostSize = 100;
constexpr std::size_t kMarkerAt = 40;
constexpr std::size_t kBlockAt = kMarkerAt + 11;

class AddKivoFSDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::path(KIVOFS_BINARY_DIR) / "gui-work" /
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
    host = Filler(kHostSize, 1);
    const std::string marker = "KivoFSDrive";
    std::copy(marker.begin(), marker.end(), host.begin() + kMarkerAt);
    drive0 = Filler(700, 2);
    drive1 = Filler(1300, 3);
    WriteFile(dir / "host.nds", host);
    WriteFile(dir / "zero.kid", drive0);
    WriteFile(dir / "one.kid", drive1);
    WriteFile(dir / "plain.nds", Filler(kHostSize, 4));
    fs::create_directories(dir / "folder");
    ASSERT_TRUE(dlg.Create());
  }
  void TearDown() override { dlg.DestroyWindow(); }

  std::string P(const char* name) const { return (dir / name).string(); }
  void Fill(int id, const std::string& text) { Type(Control(dlg, id), text); }
  std::string Field(int id) { return TextOf(Control(dlg, id)); }
  void SetSaveFlash(bool on) { wxDynamicCast(Control(dlg, kSaveFlash), wxCheckBox)->SetValue(on); }

  // The host with its block filled as hand-computed, then the drives.
  Bytes Expected(std::uint32_t s1, std::uint32_t e1, std::uint32_t s2, std::uint32_t e2, unsigned char flag,
                 std::initializer_list<const Bytes*> drives) const {
    Bytes out = host;
    PutLE32(out, kBlockAt + 0, s1);
    PutLE32(out, kBlockAt + 4, e1);
    PutLE32(out, kBlockAt + 8, s2);
    PutLE32(out, kBlockAt + 12, e2);
    out[kBlockAt + 16] = flag;
    for (const Bytes* drive : drives) out.insert(out.end(), drive->begin(), drive->end());
    return out;
  }

  fs::path dir;
  Bytes host, drive0, drive1;
  CAddKivoFSDlg dlg;
};

TEST_F(AddKivoFSDlgTest, OpensEmptyWithEveryButtonBound) {
  for (int id : {kHost, kDrive0, kDrive1, kOutput}) EXPECT_EQ("", Field(id)) << id;
  EXPECT_FALSE(wxDynamicCast(Control(dlg, kSaveFlash), wxCheckBox)->GetValue());
  EXPECT_EQ("AddKivoFS", ui::FromWx(dlg.GetDialogWindow()->GetTitle()));
  const std::pair<ui::CButton*, int> bound[] = {
      {&dlg.m_buttonBrowseOutput, 1011}, {&dlg.m_buttonBrowseDrive1, 1009}, {&dlg.m_buttonBrowseDrive0, 1005},
      {&dlg.m_buttonBrowseHost, 1004},   {&dlg.m_buttonSave, kSave},         {&dlg.m_buttonExit, kExit}};
  for (const auto& [button, id] : bound) EXPECT_EQ(Control(dlg, id), button->m_hWnd) << id;
}

// Each Save case: what is typed, which messages appear (in order), and what the output holds.
struct SaveCase {
  const char* name;
  const char* host;    // file name in the work folder, "" for an empty field
  const char* drive0;
  const char* drive1;
  const char* output;
  bool saveFlash;
  std::vector<std::string> messages;
  enum { Nothing, Drive0Only, Drive1Only, Both } written;
};

class AddKivoFSSaveTest : public AddKivoFSDlgTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(AddKivoFSSaveTest, ShowsTheOwedMessagesAndWritesOnlyAWholeRom) {
  const SaveCase& c = GetParam();
  auto path = [&](const char* name) { return *name ? P(name) : std::string(); };
  Fill(kHost, path(c.host));
  Fill(kDrive0, path(c.drive0));
  Fill(kDrive1, path(c.drive1));
  Fill(kOutput, path(c.output));
  SetSaveFlash(c.saveFlash);
  {
    ModalHook hook;
    for (const std::string& message : c.messages) hook.ExpectMessageBox(kCaption, message, wxICON_NONE);
    Click(dlg, kSave);
  }
  const fs::path out = dir / (*c.output ? c.output : "none");
  const unsigned char flag = c.saveFlash ? 1 : 0;
  const auto r = static_cast<std::uint32_t>(kHostSize);
  switch (c.written) {
    case SaveCase::Nothing:
      EXPECT_FALSE(fs::exists(out));
      break;
    case SaveCase::Drive0Only:
      EXPECT_EQ(Expected(r, r + 699, 0, 0, flag, {&drive0}), ReadFile(out));
      break;
    case SaveCase::Drive1Only:  // a lone drive 1 still goes into slot 1
      EXPECT_EQ(Expected(r, r + 1299, 0, 0, flag, {&drive1}), ReadFile(out));
      break;
    case SaveCase::Both:
      EXPECT_EQ(Expected(r, r + 699, r + 700, r + 1999, flag, {&drive0, &drive1}), ReadFile(out));
      break;
  }
  // Nothing but the output may appear in the work folder: no temporary file is left behind.
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "host.nds" || name == "zero.kid" || name == "one.kid" || name == "plain.nds" || name == "folder" ||
                name == c.output)
        << name;
  }
  // Save never changes the fields.
  EXPECT_EQ(path(c.host), Field(kHost));
  EXPECT_EQ(path(c.output), Field(kOutput));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddKivoFSSaveTest,
    ::testing::Values(
        SaveCase{"NothingFilled", "", "", "", "", false, {kNoOutput}, SaveCase::Nothing},
        SaveCase{"OutputButNoDrive", "host.nds", "", "", "out.nds", false, {kNoDrive}, SaveCase::Nothing},
        SaveCase{"Drive0Only", "host.nds", "zero.kid", "", "out.nds", false, {kSaved}, SaveCase::Drive0Only},
        SaveCase{"Drive1Only", "host.nds", "", "one.kid", "out.nds", true, {kSaved}, SaveCase::Drive1Only},
        SaveCase{"BothDrives", "host.nds", "zero.kid", "one.kid", "out.nds", true, {kSaved}, SaveCase::Both},
        SaveCase{"EmptyHostPath", "", "zero.kid", "", "out.nds", false, {kNoSize}, SaveCase::Nothing},
        // Both drives missing: Save stops at the first message instead of going on with
        // sizes it does not have.
        SaveCase{"MissingDrives", "host.nds", "gone0.kid", "gone1.kid", "out.nds", false, {kNoSize},
                 SaveCase::Nothing},
        SaveCase{"OutputFolderMissing", "host.nds", "zero.kid", "", "nowhere/out.nds", false, {kNoOpen},
                 SaveCase::Nothing},
        SaveCase{"HostIsAFolder", "folder", "zero.kid", "", "out.nds", false, {kNoSize}, SaveCase::Nothing}),
    [](const ::testing::TestParamInfo<SaveCase>& param) { return std::string(param.param.name); });

TEST_F(AddKivoFSDlgTest, NoMarkerMessageNamesTheFileAndTheMarker) {
  Fill(kHost, P("plain.nds"));
  Fill(kDrive0, P("zero.kid"));
  Fill(kOutput, P("out.nds"));
  ModalHook hook;
  hook.ExpectMessageBox(kCaption, "no usable KivoFSDrive marker in '" + P("plain.nds") + "': none found",
                        wxICON_NONE);
  Click(dlg, kSave);
  EXPECT_FALSE(fs::exists(dir / "out.nds"));
}

// An ordinary user (not root, whom permissions do not stop) meets files they may not read
// or write; a failed Save leaves an existing output as it was.
struct FailedSaveCase {
  const char* name;
  const char* drive0;
  fs::perms hostMode, outputMode;
  const char* message;
};

class AddKivoFSFailedSaveTest : public AddKivoFSDlgTest, public ::testing::WithParamInterface<FailedSaveCase> {};

TEST_P(AddKivoFSFailedSaveTest, LeavesAnExistingOutputAsItWas) {
  const FailedSaveCase& c = GetParam();
  const Bytes old = Filler(33, 9);
  WriteFile(dir / "out.nds", old);
  kivo::testfiles::GiveToOrdinaryUser(dir);
  fs::permissions(dir / "host.nds", c.hostMode);
  fs::permissions(dir / "out.nds", c.outputMode);
  Fill(kHost, P("host.nds"));
  Fill(kDrive0, P(c.drive0));
  Fill(kOutput, P("out.nds"));
  {
    ModalHook hook;
    hook.ExpectMessageBox(kCaption, c.message);
    kivo::testfiles::AsOrdinaryUser ordinaryUser;
    Click(dlg, kSave);
  }
  EXPECT_EQ(old, ReadFile(dir / "out.nds"));
  EXPECT_EQ(fs::status(dir / "out.nds").permissions(), c.outputMode);
}

constexpr fs::perms kReadWrite = fs::perms::owner_read | fs::perms::owner_write;
constexpr fs::perms kReadOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;

INSTANTIATE_TEST_SUITE_P(
    Cases, AddKivoFSFailedSaveTest,
    ::testing::Values(FailedSaveCase{"MissingDrive", "gone.kid", kReadWrite, kReadWrite, kNoSize},
                      FailedSaveCase{"UnreadableHost", "zero.kid", fs::perms::none, kReadWrite, kNoOpen},
                      FailedSaveCase{"ReadOnlyOutput", "zero.kid", kReadWrite, kReadOnly, kNoOpen}),
    [](const ::testing::TestParamInfo<FailedSaveCase>& param) { return std::string(param.param.name); });

TEST_F(AddKivoFSDlgTest, SavingTwiceReplacesTheOutputWithTheSameBytes) {
  WriteFile(dir / "out.nds", Filler(5000, 8));  // an existing file is replaced without a question
  Fill(kHost, P("host.nds"));
  Fill(kDrive1, P("one.kid"));
  Fill(kOutput, P("out.nds"));
  const auto r = static_cast<std::uint32_t>(kHostSize);
  for (int round = 0; round < 2; ++round) {
    {
      ModalHook hook;
      hook.ExpectMessageBox(kCaption, kSaved);
      Click(dlg, kSave);
    }
    EXPECT_EQ(Expected(r, r + 1299, 0, 0, 0, {&drive1}), ReadFile(dir / "out.nds")) << round;
    EXPECT_EQ(P("one.kid"), Field(kDrive1));
    EXPECT_EQ(P("host.nds"), Field(kHost));
  }
}

TEST_F(AddKivoFSDlgTest, SaveReadsTheInputsAsTheyAreAtThatMoment) {
  Fill(kHost, P("host.nds"));
  Fill(kDrive0, P("zero.kid"));
  Fill(kOutput, P("out.nds"));
  {
    ModalHook hook;
    hook.ExpectMessageBox(kCaption, kSaved);
    Click(dlg, kSave);
  }
  drive0 = Filler(10, 5);
  WriteFile(dir / "zero.kid", drive0);
  {
    ModalHook hook;
    hook.ExpectMessageBox(kCaption, kSaved);
    Click(dlg, kSave);
  }
  const auto r = static_cast<std::uint32_t>(kHostSize);
  EXPECT_EQ(Expected(r, r + 9, 0, 0, 0, {&drive0}), ReadFile(dir / "out.nds"));
}

// Each browse button: its picker's title, filters, and the field it fills.
struct BrowseCase {
  int button;
  const char* title;
  const char* wildcard;
  int field;
  const char* chosen;    // name answered in the picker
  const char* expected;  // name that lands in the field
};

class AddKivoFSBrowseTest : public AddKivoFSDlgTest, public ::testing::WithParamInterface<BrowseCase> {};

TEST_P(AddKivoFSBrowseTest, FillsItsFieldAndReloadsTheOthers) {
  const BrowseCase& c = GetParam();
  // Typed by hand and never stored: the browse replaces these with the stored (empty) values.
  for (int id : {kHost, kDrive0, kDrive1, kOutput}) Fill(id, "typed by hand");
  SetSaveFlash(true);
  {
    PickerHook hook;
    hook.ExpectFileDialog(c.title, P(c.chosen));
    Click(dlg, c.button);
    ASSERT_EQ(1u, hook.wildcards.size());
    EXPECT_EQ(c.wildcard, hook.wildcards[0]);
  }
  for (int id : {kHost, kDrive0, kDrive1, kOutput}) {
    EXPECT_EQ(id == c.field ? P(c.expected) : std::string(), Field(id)) << id;
  }
  EXPECT_FALSE(wxDynamicCast(Control(dlg, kSaveFlash), wxCheckBox)->GetValue());

  // Cancelled, the picker leaves the stored path and still reloads the fields.
  Fill(c.field, "typed again");
  {
    PickerHook hook;
    hook.ExpectFileDialog(c.title, "");
    Click(dlg, c.button);
  }
  EXPECT_EQ(P(c.expected), Field(c.field));
}

constexpr const char* kRomWildcard = "NDS and GBA files|*.nds;*.gba|All files|*.*";
constexpr const char* kDriveWildcard = "KivoFS Image Drive files|*.kid|All files|*.*";

INSTANTIATE_TEST_SUITE_P(
    Buttons, AddKivoFSBrowseTest,
    ::testing::Values(BrowseCase{1004, "Pick Kivo Rom...", kRomWildcard, kHost, "host", "host"},
                      BrowseCase{1005, "Pick Drive image file...", kDriveWildcard, kDrive0, "zero", "zero"},
                      BrowseCase{1009, "Pick Drive image file...", kDriveWildcard, kDrive1, "one.kid", "one.kid"},
                      // Only "Save As" adds its default extension to a name without one.
                      BrowseCase{1011, "Save As", kRomWildcard, kOutput, "new", "new.nds"},
                      BrowseCase{1011, "Save As", kRomWildcard, kOutput, "new.gba", "new.gba"}));

TEST_F(AddKivoFSDlgTest, TypedHostPathIsReplacedByTheStoredOneAfterABrowse) {
  Fill(kHost, P("host.nds"));
  Fill(kOutput, P("out.nds"));
  {
    ModalHook hook;  // stores the fields
    hook.ExpectMessageBox(kCaption, kNoDrive);
    Click(dlg, kSave);
  }
  Fill(kHost, P("other.nds"));
  {
    ModalHook hook;
    hook.ExpectFileDialog("Pick Drive image file...", "");
    Click(dlg, 1005);
  }
  EXPECT_EQ(P("host.nds"), Field(kHost));
  EXPECT_EQ(P("out.nds"), Field(kOutput));
}

// Keys and buttons that end the dialog, and where the focus is when they are pressed.
struct CloseCase {
  const char* name;
  int focus;  // control with the focus, 0 for a click on Exit
  int key;
};

class AddKivoFSCloseTest : public AddKivoFSDlgTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(AddKivoFSCloseTest, ClosesWithoutSaving) {
  const CloseCase& c = GetParam();
  Fill(kHost, P("host.nds"));
  Fill(kDrive0, P("zero.kid"));
  Fill(kOutput, P("out.nds"));
  {
    ModalHook hook;  // no message box may appear
    if (c.focus == 0) {
      Click(dlg, kExit);
    } else {
      Control(dlg, c.focus)->SetFocus();
      PressKey(dlg, Control(dlg, c.focus), c.key);
    }
  }
  EXPECT_EQ(ui::IDCANCEL, dlg.GetModalResult());
  EXPECT_FALSE(fs::exists(dir / "out.nds"));
}

INSTANTIATE_TEST_SUITE_P(Ways, AddKivoFSCloseTest,
                         ::testing::Values(CloseCase{"ExitButton", 0, 0},
                                           CloseCase{"EnterInHostField", kHost, WXK_RETURN},
                                           CloseCase{"EnterInOutputField", kOutput, WXK_RETURN},
                                           CloseCase{"EnterOnCheckBox", kSaveFlash, WXK_RETURN},
                                           CloseCase{"Escape", kDrive1, WXK_ESCAPE}),
                         [](const ::testing::TestParamInfo<CloseCase>& param) {
                           return std::string(param.param.name);
                         });

TEST_F(AddKivoFSDlgTest, EnterOnTheFocusedSaveButtonSaves) {
  Fill(kOutput, P("out.nds"));
  Control(dlg, kSave)->SetFocus();
  {
    ModalHook hook;
    hook.ExpectMessageBox(kCaption, kNoDrive);
    PressKey(dlg, Control(dlg, kSave), WXK_RETURN);
  }
  EXPECT_EQ(-1, dlg.GetModalResult());
}

}  // namespace
