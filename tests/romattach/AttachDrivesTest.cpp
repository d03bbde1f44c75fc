#include "romattach/AttachDrives.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include <gtest/gtest.h>

#include "tests/romattach/Assembly.h"
#include "romattach/Marker.h"
#include "tests/romattach/RomTestFiles.h"
#include "tests/support/OrdinaryUser.h"

namespace kivo::rom {
namespace {

using test::Bytes;
using test::Hex;
using test::Slice;

class AttachDrivesTest : public testing::Test {
 protected:
  void SetUp() override {
    host_ = test::HostWithMarker(4096, 100);
    drive0_ = test::DriveImage(1, 7);
    drive1_ = test::Filler(768, 9);
    test::WriteFile(dir_ / "host.nds", host_);
    test::WriteFile(dir_ / "d0.kid", drive0_);
    test::WriteFile(dir_ / "d1.kid", drive1_);
  }

  AttachRequest Request() const {
    return AttachRequest{dir_ / "host.nds", dir_ / "d0.kid", dir_ / "d1.kid", dir_ / "out.nds",
                         true, false, false};
  }

  Bytes Reference(const Bytes& host, bool withDrive0, bool withDrive1, bool saveFlash) const {
    auto block = FindParamBlock(host);
    auto out = AssembleRom(host, withDrive0 ? std::optional<ByteSpan>(drive0_) : std::nullopt,
                           withDrive1 ? std::optional<ByteSpan>(drive1_) : std::nullopt,
                           saveFlash, block.value());
    return out.value();
  }

  test::TempDir dir_;
  Bytes host_, drive0_, drive1_;
};

struct DriveChoice {
  const char* name;
  bool drive0;
  bool drive1;
  bool saveFlash;
};

void PrintTo(const DriveChoice& c, std::ostream* os) { *os << c.name; }

class AttachDrivesChoice : public AttachDrivesTest,
                           public testing::WithParamInterface<DriveChoice> {};

TEST_P(AttachDrivesChoice, OutputEqualsTheOneBufferAssembly) {
  const DriveChoice& c = GetParam();
  AttachRequest request = Request();
  if (!c.drive0) request.drive0.clear();
  if (!c.drive1) request.drive1.clear();
  request.saveFlash = c.saveFlash;

  auto result = AttachDrives(request);
  ASSERT_TRUE(result) << result.error().message;
  Bytes expected = Reference(host_, c.drive0, c.drive1, c.saveFlash);
  EXPECT_EQ(test::ReadFile(request.output), expected);
  EXPECT_EQ(result->outputSize, expected.size());
  EXPECT_EQ(result->markerOffset, 100u);
  EXPECT_EQ(result->blockOffset, 111u);
  EXPECT_EQ(result->hostBytes, 4096u);
  EXPECT_FALSE(result->previousBlock);
  EXPECT_EQ(test::ReadFile(dir_ / "host.nds"), host_);
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"d0.kid", "d1.kid", "host.nds", "out.nds"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, AttachDrivesChoice,
                         testing::Values(DriveChoice{"Both", true, true, true},
                                         DriveChoice{"Drive0Only", true, false, false},
                                         DriveChoice{"Drive1Only", false, true, true}),
                         [](const testing::TestParamInfo<DriveChoice>& caseInfo) {
                           return caseInfo.param.name;
                         });

TEST_F(AttachDrivesTest, WorkedCaseByteForByte) {
  drive0_ = test::Filler(512, 7);
  test::WriteFile(dir_ / "d0.kid", drive0_);
  auto result = AttachDrives(Request());
  ASSERT_TRUE(result) << result.error().message;
  Bytes out = test::ReadFile(dir_ / "out.nds");
  ASSERT_EQ(out.size(), 5376u);
  EXPECT_EQ(Slice(out, 111, 17), Hex({0x00, 0x10, 0x00, 0x00, 0xFF, 0x11, 0x00, 0x00, 0x00, 0x12,
                                      0x00, 0x00, 0xFF, 0x14, 0x00, 0x00, 0x01}));
  EXPECT_EQ(Slice(out, 4096, 512), drive0_);
  EXPECT_EQ(Slice(out, 4608, 768), drive1_);
}

// The output may be any of the inputs: everything is read before the rename.
struct SamePathCase {
  const char* name;
  const char* output;
};

void PrintTo(const SamePathCase& c, std::ostream* os) { *os << c.name; }

class AttachDrivesSamePath : public AttachDrivesTest,
                             public testing::WithParamInterface<SamePathCase> {};

TEST_P(AttachDrivesSamePath, OutputReplacesAnInput) {
  Bytes expected = Reference(host_, true, true, true);
  AttachRequest request = Request();
  request.output = dir_ / GetParam().output;
  auto result = AttachDrives(request);
  ASSERT_TRUE(result) << result.error().message;
  EXPECT_EQ(test::ReadFile(request.output), expected);
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"d0.kid", "d1.kid", "host.nds"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, AttachDrivesSamePath,
                         testing::Values(SamePathCase{"Host", "host.nds"},
                                         SamePathCase{"Drive0", "d0.kid"},
                                         SamePathCase{"Drive1", "d1.kid"}),
                         [](const testing::TestParamInfo<SamePathCase>& caseInfo) {
                           return caseInfo.param.name;
                         });

TEST_F(AttachDrivesTest, SameDriveTwice) {
  AttachRequest request = Request();
  request.drive1 = request.drive0;
  auto result = AttachDrives(request);
  ASSERT_TRUE(result) << result.error().message;
  Bytes out = test::ReadFile(request.output);
  ASSERT_EQ(out.size(), 4096 + 2 * drive0_.size());
  EXPECT_EQ(Slice(out, 4096 + drive0_.size(), drive0_.size()), drive0_);
}

// Failures: the kind, a message naming the file, and an old output left as it was.
struct FailureCase {
  const char* name;
  std::function<void(AttachRequest&, const test::TempDir&)> prepare;
  ErrorKind kind;
  const char* messagePart;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class AttachDrivesFailure : public AttachDrivesTest,
                            public testing::WithParamInterface<FailureCase> {};

TEST_P(AttachDrivesFailure, StopsAndLeavesTheOldOutput) {
  const FailureCase& c = GetParam();
  const Bytes oldOutput = test::Filler(333, 4);
  test::WriteFile(dir_ / "out.nds", oldOutput);
  AttachRequest request = Request();
  c.prepare(request, dir_);
  std::vector<std::string> namesBefore = dir_.Names();

  auto result = AttachDrives(request);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().kind, c.kind) << result.error().message;
  EXPECT_NE(result.error().message.find(c.messagePart), std::string::npos)
      << result.error().message;
  EXPECT_EQ(test::ReadFile(dir_ / "out.nds"), oldOutput);
  EXPECT_EQ(test::ReadFile(dir_ / "host.nds"), host_);
  EXPECT_EQ(dir_.Names(), namesBefore);
}

void MakeSocket(const std::filesystem::path& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.string().size(), sizeof(address.sun_path));
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ::close(fd);
}

void MakeSparse(const std::filesystem::path& path, std::uint64_t size) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
  ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AttachDrivesFailure,
    testing::Values(
        FailureCase{"NoOutputPath", [](AttachRequest& r, auto&) { r.output.clear(); },
                    ErrorKind::Invalid, "no output ROM"},
        FailureCase{"NoDrive",
                    [](AttachRequest& r, auto&) {
                      r.drive0.clear();
                      r.drive1.clear();
                    },
                    ErrorKind::Invalid, "no drive image"},
        FailureCase{"NoHost", [](AttachRequest& r, auto&) { r.host.clear(); }, ErrorKind::NotFound,
                    "no host ROM"},
        FailureCase{"MissingHost", [](AttachRequest& r, auto& d) { r.host = d / "nope.nds"; },
                    ErrorKind::NotFound, "nope.nds"},
        FailureCase{"MissingDrive1", [](AttachRequest& r, auto& d) { r.drive1 = d / "nope.kid"; },
                    ErrorKind::NotFound, "nope.kid"},
        FailureCase{"DirectoryAsDrive0",
                    [](AttachRequest& r, auto& d) {
                      std::filesystem::create_directory(d / "sub");
                      r.drive0 = d / "sub";
                    },
                    ErrorKind::NotFound, "sub"},
        FailureCase{"SocketAsDrive0",
                    [](AttachRequest& r, auto& d) {
                      MakeSocket(d / "sock");
                      r.drive0 = d / "sock";
                    },
                    ErrorKind::CannotOpen, "sock"},
        FailureCase{"FifoAsHost",
                    [](AttachRequest& r, auto& d) {
                      ASSERT_EQ(::mkfifo((d / "fifo").c_str(), 0644), 0);
                      r.host = d / "fifo";
                    },
                    ErrorKind::NotRegular, "fifo"},
        FailureCase{"HostWithoutMarker",
                    [](AttachRequest& r, auto& d) {
                      test::WriteFile(d / "plain.nds", test::Filler(4096, 2));
                      r.host = d / "plain.nds";
                    },
                    ErrorKind::Format, "no usable KivoFSDrive marker in '"},
        FailureCase{"MarkerTooCloseToTheEnd",
                    [](AttachRequest& r, auto& d) {
                      test::WriteFile(d / "late.nds", test::HostWithMarker(4096, 4096 - 27));
                      r.host = d / "late.nds";
                    },
                    ErrorKind::Format, "late.nds"},
        FailureCase{"OutputOf2GiB",
                    [](AttachRequest& r, auto& d) {
                      MakeSparse(d / "big0.kid", std::uint64_t{1} << 30);
                      MakeSparse(d / "big1.kid", (std::uint64_t{1} << 30) - 4096);
                      r.drive0 = d / "big0.kid";
                      r.drive1 = d / "big1.kid";
                    },
                    ErrorKind::Capacity, "2 GiB"},
        FailureCase{"PaddingTo2GiB",
                    [](AttachRequest& r, auto& d) {
                      MakeSparse(d / "big0.kid", std::uint64_t{1} << 30);
                      r.drive0 = d / "big0.kid";
                      r.padPow2 = true;
                    },
                    ErrorKind::Capacity, "2 GiB"},
        FailureCase{"OutputIsADirectory",
                    [](AttachRequest& r, auto& d) {
                      std::filesystem::create_directory(d / "outdir");
                      r.output = d / "outdir";
                    },
                    ErrorKind::NotRegular, "outdir"},
        FailureCase{"OutputInAMissingDirectory",
                    [](AttachRequest& r, auto& d) { r.output = d / "missing" / "out.nds"; },
                    ErrorKind::CannotOpen, "out.nds"}),
    [](const testing::TestParamInfo<FailureCase>& caseInfo) { return caseInfo.param.name; });

TEST_F(AttachDrivesTest, UnreadableInputForAnOrdinaryUser) {
  testfiles::GiveToOrdinaryUser(dir_.path());
  std::filesystem::permissions(dir_ / "d1.kid", std::filesystem::perms::none);
  testfiles::AsOrdinaryUser ordinaryUser;
  auto result = AttachDrives(Request());
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().kind, ErrorKind::CannotOpen);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out.nds"));
}

TEST_F(AttachDrivesTest, FilledHostIsReportedAndCarriedAlong) {
  ASSERT_TRUE(AttachDrives(Request()));
  Bytes first = test::ReadFile(dir_ / "out.nds");

  AttachRequest again = Request();
  again.host = dir_ / "out.nds";
  again.output = dir_ / "twice.nds";
  again.drive0.clear();
  auto result = AttachDrives(again);
  ASSERT_TRUE(result) << result.error().message;
  ASSERT_TRUE(result->previousBlock);
  EXPECT_EQ(result->previousBlock->slot1Start, 4096u);
  EXPECT_FALSE(result->replaced);
  Bytes twice = test::ReadFile(dir_ / "twice.nds");
  ASSERT_EQ(twice.size(), first.size() + drive1_.size());
  EXPECT_EQ(LoadLE32(twice, 111), first.size());
  EXPECT_EQ(LoadLE32(twice, 115), first.size() + drive1_.size() - 1);
  EXPECT_EQ(Slice(twice, first.size(), drive1_.size()), drive1_);
}

TEST_F(AttachDrivesTest, ReplaceCutsTheOldDrives) {
  ASSERT_TRUE(AttachDrives(Request()));
  AttachRequest again = Request();
  again.host = dir_ / "out.nds";
  again.output = dir_ / "out.nds";
  again.drive0.clear();
  again.saveFlash = false;
  again.replace = true;
  auto result = AttachDrives(again);
  ASSERT_TRUE(result) << result.error().message;
  EXPECT_TRUE(result->replaced);
  EXPECT_EQ(result->hostBytes, 4096u);
  EXPECT_EQ(test::ReadFile(dir_ / "out.nds"), Reference(host_, false, true, false));
}

TEST_F(AttachDrivesTest, ReplaceOnAFreshHostChangesNothing) {
  AttachRequest request = Request();
  request.replace = true;
  auto result = AttachDrives(request);
  ASSERT_TRUE(result) << result.error().message;
  EXPECT_FALSE(result->replaced);
  EXPECT_EQ(test::ReadFile(request.output), Reference(host_, true, true, true));
}

TEST_F(AttachDrivesTest, ReplaceRefusesASlotInsideTheBlock) {
  Bytes host = host_;
  StoreLE32(host, 111, 120);  // slot 1 "starts" inside the block itself
  test::WriteFile(dir_ / "host.nds", host);
  AttachRequest request = Request();
  request.replace = true;
  auto result = AttachDrives(request);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().kind, ErrorKind::Format);
  EXPECT_FALSE(std::filesystem::exists(request.output));
}

TEST_F(AttachDrivesTest, PadPow2FillsWithFFAfterTheDrives) {
  AttachRequest request = Request();
  request.padPow2 = true;
  auto result = AttachDrives(request);
  ASSERT_TRUE(result) << result.error().message;
  Bytes expected = Reference(host_, true, true, true);
  Bytes out = test::ReadFile(request.output);
  ASSERT_EQ(out.size(), 16384u);
  EXPECT_EQ(result->paddingBytes, 16384u - expected.size());
  EXPECT_EQ(Slice(out, 0, expected.size()), expected);
  EXPECT_EQ(Slice(out, expected.size(), out.size() - expected.size()),
            Bytes(out.size() - expected.size(), std::byte{0xFF}));
}

TEST(NextPowerOfTwo, Values) {
  const std::pair<std::uint64_t, std::uint64_t> cases[] = {
      {1, 1}, {2, 2}, {3, 4}, {4096, 4096}, {4097, 8192}, {5376, 8192}, {(1u << 30) + 1, 1u << 31}};
  for (auto [in, out] : cases) EXPECT_EQ(NextPowerOfTwo(in), out) << in;
}

}  // namespace
}  // namespace kivo::rom
