#include "cli/ImageOrRom.h"

#include "fsimage/Codec.h"
#include "romattach/AttachedRom.h"

namespace kivo::cli {
namespace {

Result<std::vector<InputDrive>> RomDrives(const std::string& path, ByteSpan bytes, int drive) {
  auto file = rom::RomFile::Open(PathFromUtf8(path));
  KIVO_TRY(file);
  auto layout = rom::InspectRom(*file);
  if (!layout) {
    return MakeError(ErrorKind::Format, Quoted(path) +
                                            " is neither a drive image nor a ROM with drives "
                                            "attached: " + layout.error().message,
                     PathFromUtf8(path));
  }
  std::vector<InputDrive> drives;
  for (int slot = 1; slot <= 2; ++slot) {
    const rom::SlotInfo& info = layout->slots[static_cast<std::size_t>(slot - 1)];
    if ((drive != 0 && drive != slot) || info.state == rom::SlotState::Empty) continue;
    std::string where = "slot " + std::to_string(slot) + " of " + Quoted(path) + " (bytes " +
                        std::to_string(info.start) + " to " + std::to_string(info.end) + ")";
    if (info.state == rom::SlotState::OutsideFile) {
      return MakeError(ErrorKind::Format, where + " points outside the file", PathFromUtf8(path));
    }
    // The slot was classified from the file; the mapping may be shorter if it shrank since.
    if (info.state != rom::SlotState::DriveImage ||
        !InBounds(bytes.size(), info.start, info.length())) {
      return MakeError(ErrorKind::Format, where + " holds no drive image", PathFromUtf8(path));
    }
    std::string folder = "drive" + std::to_string(slot);
    drives.push_back(InputDrive{folder, path + " " + folder, folder + " of " + Quoted(path),
                                info.start, bytes.subspan(info.start, info.length())});
  }
  if (drives.empty()) {
    std::string what = drive == 0 ? "no drive attached (both slots are empty)"
                                  : "no drive " + std::to_string(drive) + " attached (slot " +
                                        std::to_string(drive) + " is empty)";
    return MakeError(ErrorKind::NotFound, Quoted(path) + " has " + what, PathFromUtf8(path));
  }
  return drives;
}

bool HasMarker(const std::string& path) {
  auto file = rom::RomFile::Open(PathFromUtf8(path));
  if (!file) return false;
  auto found = file->FindParamBlock();
  return found && found->has_value();
}

}  // namespace

Result<OpenedInput> OpenImageOrRom(const std::string& path, int drive) {
  auto mapped = MappedFile::Open(PathFromUtf8(path));
  KIVO_TRY(mapped);
  ByteSpan bytes = mapped->bytes();
  // A damaged image stays an image (its problems are what the user asked about) unless
  // its name or a marker says it is a ROM.
  bool image = fs::LooksLikeDriveImage(bytes, bytes.size()) ||
               (rom::RomKindOf(PathFromUtf8(path)) == rom::RomKind::Other && !HasMarker(path));
  if (image) {
    if (drive != 0) {
      return MakeError(ErrorKind::Invalid,
                       "--drive " + std::to_string(drive) + ": " + Quoted(path) +
                           " is a drive image, not a ROM with drives attached",
                       PathFromUtf8(path));
    }
    InputDrive whole{"", path, Quoted(path), 0, bytes};
    return OpenedInput{std::move(*mapped), false, {whole}};
  }
  auto drives = RomDrives(path, bytes, drive);
  KIVO_TRY(drives);
  return OpenedInput{std::move(*mapped), true, std::move(*drives)};
}

std::string DriveFolders(const OpenedInput& input) {
  std::string text;
  for (const InputDrive& drive : input.drives) {
    text += (text.empty() ? "" : " and ") + drive.folder + "/";
  }
  return text;
}

void AddImageArgument(CLI::App& app, std::string& image, std::string_view more) {
  app.add_option("IMAGE", image,
                 "Drive image (.kid), or ROM with drives attached" + std::string(more))
      ->required();
}

void AddDriveOption(CLI::App& app, int& drive) {
  app.add_option("--drive", drive,
                 "For a ROM: only the drive in this slot, read as if it were the image")
      ->check(CLI::IsMember({1, 2}));
}

}  // namespace kivo::cli
