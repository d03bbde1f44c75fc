#include "romattach/AttachedRom.h"

#include <gtest/gtest.h>

#include "fsimage/Codec.h"
#include "romattach/AttachDrives.h"
#include "tests/romattach/RomTestFiles.h"

namespace kivo::rom {
namespace {

using test::Bytes;
using test::Slice;

class AttachedRomTest : public testing::Test {
 protected:
  void SetUp() override {
    host_ = test::HostWithMarker(4096, 100);
    drive0_ = test::DriveImage(2, 7);
    drive1_ = test::DriveImage(0, 9);
    test::WriteFile(dir_ / "host.nds", host_);
    test::WriteFile(dir_ / "d0.kid", drive0_);
    test::WriteFile(dir_ / "d1.kid", drive1_);
  }

  // The host with its block set by hand and `tail` appended.
  std::filesystem::path RomWithBlock(const ParamBlock& values, const Bytes& tail) {
    Bytes rom = host_;
    BlockBytes block = EncodeParamBlock(values);
    std::copy(block.begin(), block.end(), rom.begin() + 111);
    rom.insert(rom.end(), tail.begin(), tail.end());
    test::WriteFile(dir_ / "rom.nds", rom);
    return dir_ / "rom.nds";
  }

  test::TempDir dir_;
  Bytes host_, drive0_, drive1_;
};

struct SlotCase {
  const char* name;
  ParamBlock block;
  SlotState slot1;
  SlotState slot2;
};

void PrintTo(const SlotCase& c, std::ostream* os) { *os << c.name; }

class InspectRomSlots : public AttachedRomTest, public testing::WithParamInterface<SlotCase> {};

// The ROM is the host followed by drive 0 (6144 bytes, 4096..10239) and 100 filler bytes.
TEST_P(InspectRomSlots, ClassifiesEachSlot) {
  Bytes tail = drive0_;
  Bytes filler = test::Filler(100, 3);
  tail.insert(tail.end(), filler.begin(), filler.end());
  auto rom = RomFile::Open(RomWithBlock(GetParam().block, tail));
  ASSERT_TRUE(rom);
  auto layout = InspectRom(*rom);
  ASSERT_TRUE(layout) << layout.error().message;
  EXPECT_EQ(layout->markerOffset, 100u);
  EXPECT_EQ(layout->blockOffset, 111u);
  EXPECT_EQ(layout->block, GetParam().block);
  EXPECT_EQ(layout->slots[0].state, GetParam().slot1);
  EXPECT_EQ(layout->slots[1].state, GetParam().slot2);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InspectRomSlots,
    testing::Values(
        SlotCase{"Fresh", {0, 0, 0, 0, 0}, SlotState::Empty, SlotState::Empty},
        SlotCase{"DriveThenFiller", {4096, 10239, 10240, 10339, 1}, SlotState::DriveImage,
                 SlotState::NotDriveImage},
        SlotCase{"EndPastTheFile", {4096, 10340, 0, 0, 0}, SlotState::OutsideFile,
                 SlotState::Empty},
        SlotCase{"StartPastTheFile", {20000, 20100, 0, 0, 0}, SlotState::OutsideFile,
                 SlotState::Empty},
        SlotCase{"EndBeforeStart", {4096, 4000, 0, 0, 0}, SlotState::OutsideFile,
                 SlotState::Empty},
        SlotCase{"LengthDisagreesWithHeader", {4096, 10240, 0, 0, 0}, SlotState::NotDriveImage,
                 SlotState::Empty},
        SlotCase{"EmptyImageAtTheEnd", {4096, 10239, 10340, 10339, 0}, SlotState::DriveImage,
                 SlotState::NotDriveImage},
        SlotCase{"GarbageAfterMarker", {0xFFFFFFFF, 0xFFFFFFFF, 0x30303030, 0, 0},
                 SlotState::OutsideFile, SlotState::OutsideFile}),
    [](const testing::TestParamInfo<SlotCase>& caseInfo) { return caseInfo.param.name; });

TEST_F(AttachedRomTest, RefusesARomWithoutMarker) {
  test::WriteFile(dir_ / "plain.nds", test::Filler(500, 1));
  auto rom = RomFile::Open(dir_ / "plain.nds");
  ASSERT_TRUE(rom);
  auto layout = InspectRom(*rom);
  ASSERT_FALSE(layout);
  EXPECT_EQ(layout.error().message, "no usable KivoFSDrive marker in '" +
                                        (dir_ / "plain.nds").string() + "': none found");
}

TEST_F(AttachedRomTest, LooksLikeDriveImageNeedsAConsistentHeader) {
  EXPECT_TRUE(fs::LooksLikeDriveImage(drive0_, drive0_.size()));
  EXPECT_FALSE(fs::LooksLikeDriveImage(drive0_, drive0_.size() + 512));
  EXPECT_FALSE(fs::LooksLikeDriveImage(Slice(drive0_, 0, 40), drive0_.size()));
  const std::size_t fields[] = {fs::header::Version,  fs::header::DriveSize, fs::header::BootSize,
                                fs::header::FatSize,  fs::header::RootSize,  fs::header::DataSize,
                                fs::header::FatStart, fs::header::RootStart, fs::header::DataStart};
  for (std::size_t field : fields) {
    Bytes broken = drive0_;
    StoreLE32(broken, field, LoadLE32(broken, field) + 1);
    EXPECT_FALSE(fs::LooksLikeDriveImage(broken, broken.size())) << "field at " << field;
  }
}

TEST_F(AttachedRomTest, DetachGivesBackTheDrivesAndTheHost) {
  AttachRequest attach{dir_ / "host.nds", dir_ / "d0.kid", dir_ / "d1.kid", dir_ / "out.nds",
                       true, false, false};
  ASSERT_TRUE(AttachDrives(attach));
  auto report = DetachDrives({dir_ / "out.nds", dir_ / "drives", dir_ / "again.nds"});
  ASSERT_TRUE(report) << report.error().message;
  EXPECT_EQ(report->written.size(), 3u);
  EXPECT_EQ(test::ReadFile(dir_ / "drives" / "drive0.kid"), drive0_);
  EXPECT_EQ(test::ReadFile(dir_ / "drives" / "drive1.kid"), drive1_);
  Bytes hostWithEmptyBlock = host_;
  std::fill_n(hostWithEmptyBlock.begin() + 111, 17, std::byte{0});
  EXPECT_EQ(test::ReadFile(dir_ / "again.nds"), hostWithEmptyBlock);
  EXPECT_EQ(report->layout.slots[0].state, SlotState::DriveImage);
  EXPECT_EQ(report->layout.slots[1].state, SlotState::DriveImage);
}

TEST_F(AttachedRomTest, DetachOfASingleDriveGivenAsDrive1) {
  AttachRequest attach{dir_ / "host.nds", {}, dir_ / "d1.kid", dir_ / "out.nds", false, false,
                       false};
  ASSERT_TRUE(AttachDrives(attach));
  auto report = DetachDrives({dir_ / "out.nds", dir_ / "drives", {}});
  ASSERT_TRUE(report) << report.error().message;
  EXPECT_EQ(test::ReadFile(dir_ / "drives" / "drive0.kid"), drive1_);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "drives" / "drive1.kid"));
}

TEST_F(AttachedRomTest, DetachRefusesWithoutWriting) {
  struct Case {
    const char* name;
    ParamBlock block;
    const char* messagePart;
  };
  const Case cases[] = {
      {"fresh", {0, 0, 0, 0, 0}, "no drive attached in"},
      {"outside", {4096, 90000, 0, 0, 0}, "points outside the file"},
      {"second outside", {4096, 4100, 5000, 90000, 0}, "slot 2 (5000 to 90000)"},
      {"inside the block", {120, 4000, 0, 0, 0}, "overlaps the host ROM's parameter block"},
  };
  for (const Case& c : cases) {
    auto path = RomWithBlock(c.block, drive0_);
    auto report = DetachDrives({path, dir_ / "drives", dir_ / "host-out.nds"});
    ASSERT_FALSE(report) << c.name;
    EXPECT_NE(report.error().message.find(c.messagePart), std::string::npos)
        << c.name << ": " << report.error().message;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "drives")) << c.name;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "host-out.nds")) << c.name;
  }
}

}  // namespace
}  // namespace kivo::rom
