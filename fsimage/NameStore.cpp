#include "fsimage/NameStore.h"

#include <array>
#include <string>

#include "fsimage/Codec.h"

namespace kivo::fs {

Status StoreDriveName(const std::filesystem::path& path, std::string_view name, Access access) {
  auto file = File::Open(path, access, "write");
  if (!file) return file.error();
  constexpr auto fieldEnd = header::DriveName + DriveNameSize;
  if (file->size() < fieldEnd) {
    return MakeError(ErrorKind::Format,
                     Quoted(path) + " is too short to hold a drive name (" +
                         std::to_string(file->size()) + " bytes, the name ends at byte " +
                         std::to_string(fieldEnd) + ")",
                     path);
  }
  std::array<std::byte, DriveNameSize> field{};
  StoreFixedString(field, 0, DriveNameSize, StoredDriveName(name));
  KIVO_TRY(file->WriteAt(header::DriveName, field));
  // Errors of delayed writes show up only when the bytes are forced out.
  return file->Close(/*sync=*/true);
}

}  // namespace kivo::fs
