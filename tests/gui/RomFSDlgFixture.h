// One drive tool dialog on real widgets, its builder writing into a string, and a scratch
// folder for source trees and images.
#pragma once

#include <gtest/gtest.h>
#include <wx/defs.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "drivetool/RomFSDlg.h"
#include "fsimage/Builder.h"
#include "res/Templates.h"
#include "tests/gui/GuiActions.h"
#include "tests/gui/ModalHook.h"

namespace kivofs_test {

namespace fs = std::filesystem;

// Control IDs of the drive tool's template.
inline constexpr int kFsVersion = res::romfs::IDC_FS_VERSION;
inline constexpr int kDriveName = res::romfs::IDC_DRIVE_NAME;
inline constexpr int kDriveSize = res::romfs::IDC_DRIVE_SIZE;
inline constexpr int kCreate = res::romfs::IDC_CREATE_DRIVE;
inline constexpr int kExit = res::romfs::IDC_EXIT;
inline constexpr int kRootEntries = res::romfs::IDC_ROOT_ENTRIES;
inline constexpr int kSaveNewName = res::romfs::IDC_SAVE_NEW_NAME;
inline constexpr int kBrowseSource = res::romfs::IDC_BROWSE_SOURCE;
inline constexpr int kSourceDir = res::romfs::IDC_SOURCE_DIR;
inline constexpr int kBrowseImage = res::romfs::IDC_BROWSE_IMAGE;
inline constexpr int kImagePath = res::romfs::IDC_IMAGE_PATH;
inline constexpr int kOpenImage = res::romfs::IDC_OPEN_IMAGE;
inline constexpr int kRenamePath = res::romfs::IDC_RENAME_PATH;

inline constexpr const char* kCaption = "Kivo FS Utils";
inline constexpr const char* kCouldNotOpen = "Error could't open file";
inline constexpr const char* kNothingFound = "directory empty or not found";

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& path, const Bytes& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A file of `size` bytes whose contents differ from byte to byte.
inline void WriteSourceFile(const fs::path& path, std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  WriteBytes(path, bytes);
}

inline void PutLE32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The summary's view of an image file: the version at 0, the 16 name bytes at 4, the root
// region given by rootStart (44) and rootSize (32), and a non-zero first byte for every
// used slot.
struct HandMadeImage {
  std::size_t size;
  std::int32_t version;
  std::string nameBytes;  // up to 16 bytes, zero-filled after
  std::uint32_t rootStart;
  std::uint32_t rootSize;
  std::vector<std::uint32_t> usedOffsets;  // offsets within the root region
};

inline Bytes MakeImage(const HandMadeImage& image) {
  Bytes bytes(image.size, 0);
  PutLE32(bytes, 0, static_cast<std::uint32_t>(image.version));
  for (std::size_t i = 0; i < image.nameBytes.size() && i < 16; ++i) {
    bytes[4 + i] = static_cast<std::uint8_t>(image.nameBytes[i]);
  }
  PutLE32(bytes, 32, image.rootSize);
  PutLE32(bytes, 44, image.rootStart);
  for (std::uint32_t offset : image.usedOffsets) bytes[image.rootStart + offset] = 'x';
  return bytes;
}

class RomFSDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kivofs-drivetool-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
    Open();
  }

  void TearDown() override {
    m_dlg.reset();
    m_builder.reset();
    PumpEvents(2);
    std::error_code ignored;
    fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(m_dir, ignored);
  }

  // A fresh dialog on a fresh builder (with `options`), shown without a modal loop so that
  // the test can act on it between event-loop turns.
  void Open(kivo::fs::BuilderOptions options = {}) {
    m_dlg.reset();
    m_builder.reset();
    m_out.str({});
    m_builder = std::make_unique<kivo::fs::DriveBuilder>(m_out, std::move(options));
    m_dlg = std::make_unique<CRomFSDlg>(*m_builder);
    ASSERT_TRUE(m_dlg->Create());
    PumpEvents(2);
  }

  wxWindow* Ctl(int id) { return Control(*m_dlg, id); }
  std::string Field(int id) { return TextOf(Ctl(id)); }
  void TypeInto(int id, const std::string& text) { Type(Ctl(id), text); }
  void Press(int id) { Click(*m_dlg, id); }

  // The worked example: docs/a.bin (1000 bytes) and readme.txt (100 bytes); 11776 bytes.
  fs::path MakeWorkedExample(const std::string& name = "src") {
    fs::path root = m_dir / name;
    WriteSourceFile(root / "docs" / "a.bin", 1000);
    WriteSourceFile(root / "readme.txt", 100);
    return root;
  }

  // One empty directory: the smallest image, 9216 bytes.
  fs::path MakeOneEmptyDirectory(const std::string& name = "single") {
    fs::path root = m_dir / name;
    fs::create_directories(root / "only");
    return root;
  }

  // Builds an image outside the dialog, as an earlier run of the program would have.
  void BuildElsewhere(const fs::path& source, const fs::path& output) {
    std::ostringstream ignored;
    kivo::fs::DriveBuilder other(ignored);
    other.ScanTree(source.string());
    ASSERT_EQ(other.BuildImage(output.string()), kivo::fs::BuildOk);
  }

  // The four summary fields: version, root entries, size, name.
  std::vector<std::string> SummaryFields() {
    return {Field(kFsVersion), Field(kRootEntries), Field(kDriveSize), Field(kDriveName)};
  }

  static void ExpectBox(ModalHook& hook, const std::string& text) {
    hook.ExpectMessageBox(kCaption, text, wxICON_NONE);
  }
  static void ExpectAnyBox(ModalHook& hook) { hook.ExpectMessageBox(kCaption, std::nullopt, wxICON_NONE); }

  fs::path m_dir;
  std::ostringstream m_out;
  std::unique_ptr<kivo::fs::DriveBuilder> m_builder;
  std::unique_ptr<CRomFSDlg> m_dlg;
};

}  // namespace kivofs_test
