// Any file and any name: storing the name changes bytes 4 to 19 and nothing else, keeps the
// file's length, and a refused store (a file shorter than 20 bytes) leaves the file exactly as
// it was and names it. The first byte of the input gives the name's length, the name follows,
// the rest is the file.
#include "fsimage/Codec.h"
#include "fsimage/NameStore.h"
#include "fuzz/FuzzSupport.h"

using namespace kivo::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TempDir scratch;
  if (size < 1) return 0;
  const std::string input = Input(data + 1, size - 1);
  const std::string name = input.substr(0, data[0] % 32), before = input.substr(name.size());
  const stdfs::path file = scratch / "copy.kid";
  WriteFile(file, before);
  kivo::Status stored = kivo::fs::StoreDriveName(file, name);
  const std::string after = ReadFile(file);
  FUZZ_CHECK(after.size() == before.size());
  FUZZ_CHECK(stored.ok() == (before.size() >= 20));
  FUZZ_CHECK(Explained(stored, file.string()));
  if (!stored) {
    FUZZ_CHECK(after == before);
    return 0;
  }
  FUZZ_CHECK(after.substr(0, 4) == before.substr(0, 4) && after.substr(20) == before.substr(20));
  // The whole name when it fits in 15 bytes; else its start, short of 15 bytes by no more than
  // the leading bytes of a character that would be split; zero-padded.
  const std::string kept = kivo::fs::StoredDriveName(name);
  FUZZ_CHECK(name.starts_with(kept));
  FUZZ_CHECK(name.size() <= 15 ? kept == name : kept.size() <= 15 && kept.size() >= 12);
  FUZZ_CHECK(after.substr(4, 16) == kept + std::string(16 - kept.size(), '\0'));
  FUZZ_CHECK(kivo::fs::DriveNameTooLong(name) == (name.size() > 15));
  return 0;
}
