// The IMAGE argument of the reading commands (ls, extract, verify, info, mount): a drive
// image, or a ROM whose attached drives are read in its place, so that nobody has to detach
// them first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "base/File.h"

namespace kivo::cli {

struct InputDrive {
  std::string folder;  // "drive1" or "drive2" (the slot) for a ROM's drive; "" for an image
  std::string label;   // names it at the start of output lines: "img.kid", "game.nds drive1"
  std::string source;  // names it in messages: "'img.kid'", "drive1 of 'game.nds'"
  std::uint64_t offset = 0;  // of its first byte in the file
  ByteSpan bytes;
};

struct OpenedInput {
  MappedFile mapped;
  bool rom = false;
  std::vector<InputDrive> drives;  // one for an image; a ROM's attached drives in slot order
};

// Opens `path`: a drive image, or a ROM (one with a KivoFSDrive marker, or named .nds or
// .gba) whose filled slots all hold drive images. `drive` 1 or 2 chooses one slot of a ROM;
// 0 takes every filled one. A ROM with no drive attached, a slot that holds no drive image,
// and a drive chosen of an image are errors that say so.
Result<OpenedInput> OpenImageOrRom(const std::string& path, int drive);

// "drive1/", "drive2/" or "drive1/ and drive2/": the folders of a ROM's drives.
std::string DriveFolders(const OpenedInput& input);

// The IMAGE argument of the reading commands; `more` ends its description.
void AddImageArgument(CLI::App& app, std::string& image, std::string_view more = "");
// The --drive option of the reading commands.
void AddDriveOption(CLI::App& app, int& drive);

}  // namespace kivo::cli
