// Any file and any name: storing the name changes bytes 4 to 19 and nothing else, keeps the
// file's length, and a refused store leaves the file exactly as it was. The first byte of
// the input gives the name's length, the name follows, the rest is the file.
#include "fsimage/Codec.h"
#include "fsimage/NameStore.h"
#include "fuzz/FuzzSupport.h"

using namespace kivo::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TempDir scratch;
  if (size < 1) return 0;
  const std::string input = Input(data + 1, size - 1), name = input.substr(0, data[0] % 32), before = input.substr(name.size());
  WriteFile(scratch / "copy.kid", before);
  kivo::Status stored = kivo::fs::StoreDriveName(scratch / "copy.kid", name);
  const std::string after = ReadFile(scratch / "copy.kid");
  Check(after.size() == before.size(), "the store changed the file's length");
  Check(stored.ok() == (before.size() >= 20), "a file refused or accepted by the wrong length");
  if (!stored) {
    Check(after == before, "a refused store changed the file");
    Check(stored.error().message.find((scratch / "copy.kid").string()) != std::string::npos, "the error does not name the file");
    return 0;
  }
  Check(after.substr(0, 4) == before.substr(0, 4) && after.substr(20) == before.substr(20), "bytes outside the name field changed");
  // The whole name when it fits in 15 bytes; else its start, short of 15 bytes by no more than
  // the leading bytes of a character that would be split.
  const std::string kept = kivo::fs::StoredDriveName(name);
  Check(name.starts_with(kept), "the stored name is not the name's start");
  Check(name.size() <= 15 ? kept == name : kept.size() <= 15 && kept.size() >= 12, "the stored name has the wrong length");
  Check(after.substr(4, 16) == kept + std::string(16 - kept.size(), '\0'), "the name was not stored, zero-padded");
  Check(kivo::fs::DriveNameTooLong(name) == (name.size() > 15), "wrong too-long verdict");
  return 0;
}
