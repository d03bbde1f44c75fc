// Any file and any name: storing the name changes bytes 4 to 19 and nothing else, keeps the
// file's length, and a refused store leaves the file exactly as it was. The first byte of
// the input gives the name's length, the name follows, the rest is the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fsimage/Codec.h"
#include "fsimage/NameStore.h"
#include "fuzz/FuzzSupport.h"

using kivo::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static kivo::fuzz::Scratch scratch("namestore-fuzz");
  if (size < 1) return 0;
  std::size_t nameLength = std::min<std::size_t>(data[0] % 32, size - 1);
  std::string name(reinterpret_cast<const char*>(data + 1), nameLength);
  kivo::ByteSpan file = kivo::fuzz::AsBytes(data + 1 + nameLength, size - 1 - nameLength);
  std::string before(reinterpret_cast<const char*>(file.data()), file.size());

  // Always on a copy: the input itself stays untouched.
  std::filesystem::path path = scratch.root() / "copy.kid";
  kivo::fuzz::WriteFile(path, file);
  kivo::Status stored = kivo::fs::StoreDriveName(path, name);
  std::string after = kivo::fuzz::ReadFile(path);

  Check(after.size() == before.size(), "the store changed the file's length");
  if (!stored) {
    Check(after == before, "a refused store changed the file");
    Check(before.size() < 20, "a file long enough for the name field was refused");
    Check(stored.error().message.find(path.string()) != std::string::npos,
          "the error does not name the file");
    return 0;
  }
  Check(before.size() >= 20, "a file too short for the name field was accepted");
  Check(after.compare(0, 4, before, 0, 4) == 0, "bytes before the name field changed");
  Check(after.compare(20, std::string::npos, before, 20, std::string::npos) == 0,
        "bytes after the name field changed");
  // The whole name when it fits in 15 bytes; else its start, short of 15 bytes by no more than
  // the leading bytes of a character that would be split.
  std::string kept = kivo::fs::StoredDriveName(name);
  Check(name.compare(0, kept.size(), kept) == 0, "the stored name is not the name's start");
  Check(name.size() <= 15 ? kept.size() == name.size() : kept.size() <= 15 && kept.size() >= 12,
        "the stored name has the wrong length");
  Check(after.compare(4, kept.size(), kept) == 0, "the name was not stored");
  for (std::size_t i = 4 + kept.size(); i < 20; ++i) Check(after[i] == '\0', "the name is not zero-padded");
  Check(kivo::fs::DriveNameTooLong(name) == (name.size() > 15), "wrong too-long verdict");
  return 0;
}
