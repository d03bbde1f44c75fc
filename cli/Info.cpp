// kivofs info: the image summary as the drive tool shows it, and the layout.
#include <cstdio>
#include <sstream>

#include "cli/Commands.h"
#include "cli/ImageOrRom.h"
#include "base/File.h"
#include "fsimage/Codec.h"
#include "fsimage/Reader.h"
#include "fsimage/Summary.h"

namespace kivo::cli {
namespace {

struct InfoOptions {
  std::string image;
  bool json = false;
  int drive = 0;
};

// Well-formed UTF-8 only: no overlong forms, no surrogates, nothing past U+10FFFF, since
// a JSON reader takes nothing else for text.
bool ValidUtf8(std::string_view text) {
  constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  std::size_t i = 0;
  while (i < text.size()) {
    auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3
                                         : (byte >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    char32_t point = length == 1 ? byte : byte & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = (point << 6) | (next & 0x3F);
    }
    if (length > 1 && point < kSmallest[length]) return false;
    if ((point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) return false;
    i += length;
  }
  return true;
}

// Names are bytes in whatever code page made them: text that is not UTF-8 is written
// byte by byte as the code points U+0080 to U+00FF, so the output stays valid JSON.
std::string JsonString(std::string_view text) {
  bool utf8 = ValidUtf8(text);
  std::string out = "\"";
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    char escaped[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && !utf8)) {
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The summary of an image file is read as the drive tool reads it; that of a ROM's drive
// from its bytes.
Result<fs::ImageSummary> SummaryOf(const InputDrive& drive, bool inRom) {
  if (!inRom) return fs::ReadImageSummary(PathFromUtf8(drive.label), fs::SizeUnit::Bytes, false);
  return fs::SummariseImage(drive.bytes, fs::SizeUnit::Bytes, drive.source);
}

// The summary and layout as a JSON object whose lines after the first start with `indent`.
std::string InfoJson(const fs::ImageSummary& summary, const fs::ImageHeader& h,
                     const std::string& indent) {
  std::ostringstream text;
  text << "{\n"
       << "  \"fsVersion\": " << JsonString(summary.fsVersion) << ",\n"
       << "  \"rootEntries\": " << summary.rootEntries << ",\n"
       << "  \"sizeBytes\": " << summary.fileSize << ",\n"
       << "  \"sizeKilobytes\": "
       << JsonString(fs::FormatDriveSize(summary.fileSize, fs::SizeUnit::Kilobytes)) << ",\n"
       << "  \"driveName\": " << JsonString(summary.driveName) << ",\n"
       << "  \"layout\": {\n"
       << "    \"version\": " << h.version << ",\n"
       << "    \"driveSize\": " << h.driveSize << ",\n"
       << "    \"bootSize\": " << h.bootSize << ",\n"
       << "    \"fatStart\": " << h.fatStart << ",\n"
       << "    \"fatSize\": " << h.fatSize << ",\n"
       << "    \"fatEntries\": " << h.tableEntries() << ",\n"
       << "    \"rootStart\": " << h.rootStart << ",\n"
       << "    \"rootSize\": " << h.rootSize << ",\n"
       << "    \"dataStart\": " << h.dataStart << ",\n"
       << "    \"dataSize\": " << h.dataSize << "\n"
       << "  }\n"
       << "}";
  std::string lines = text.str();
  for (std::size_t at = lines.find('\n'); at != std::string::npos; at = lines.find('\n', at + 1)) {
    lines.insert(at + 1, indent);
  }
  return lines;
}

void PrintInfoText(const fs::ImageSummary& summary, const fs::ImageHeader& h) {
  std::cout << "File system version    : " << summary.fsVersion << '\n'
            << "Number of root entries : " << summary.rootEntries << '\n'
            << "Drive size             : " << summary.driveSize << " bytes ("
            << fs::FormatDriveSize(summary.fileSize, fs::SizeUnit::Kilobytes) << " Kbytes)\n"
            << "Drive name             : " << fs::PrintableName(summary.driveName) << '\n'
            << "Layout\n"
            << "  header block         : offset " << 0 << ", " << h.bootSize << " bytes\n"
            << "  allocation table     : offset " << h.fatStart << ", " << h.fatSize
            << " bytes (" << h.tableEntries() << " entries)\n"
            << "  root directory       : offset " << h.rootStart << ", " << h.rootSize
            << " bytes\n"
            << "  data area            : offset " << h.dataStart << ", " << h.dataSize
            << " bytes\n"
            << "  drive size (header)  : " << h.driveSize << " bytes\n";
}

// Prints one drive's summary and layout; JSON lines start with `indent`.
int PrintInfo(const InputDrive& drive, bool inRom, bool json, const std::string& indent) {
  auto summary = SummaryOf(drive, inRom);
  if (!summary) return Fail(summary.error());
  auto header = fs::DecodeHeader(drive.bytes, drive.source);
  if (!header) return Fail(header.error());
  if (json) {
    std::cout << InfoJson(*summary, *header, indent);
  } else {
    PrintInfoText(*summary, *header);
  }
  return 0;
}

int RunInfo(const InfoOptions& options) {
  auto input = OpenImageOrRom(options.image, options.drive);
  if (!input) return Fail(input.error());
  if (!input->rom || options.drive != 0) {
    int result = PrintInfo(input->drives.front(), input->rom, options.json, "");
    if (result == 0 && options.json) std::cout << '\n';
    return result;
  }
  // Every drive of a ROM under its folder's name.
  if (options.json) std::cout << "{";
  for (std::size_t i = 0; i < input->drives.size(); ++i) {
    const InputDrive& drive = input->drives[i];
    if (options.json) {
      std::cout << (i == 0 ? "\n" : ",\n") << "  \"" << drive.folder << "\": ";
    } else {
      std::cout << (i == 0 ? "" : "\n") << drive.folder << " (slot " << drive.folder.back()
                << ", offset " << drive.offset << ")\n";
    }
    if (int failed = PrintInfo(drive, true, options.json, "  "); failed != 0) return failed;
  }
  if (options.json) std::cout << "\n}\n";
  return 0;
}

CLI::App* DeclareInfo(CLI::App& parent, InfoOptions& options) {
  CLI::App* app = parent.add_subcommand("info", "Show a drive image's summary and layout");
  AddImageArgument(*app, options.image);
  AddDriveOption(*app, options.drive);
  app->add_flag("--json", options.json, "Print the summary and layout as JSON");
  return app;
}

}  // namespace

Command AddInfoCommand(CLI::App& parent) { return MakeCommand(parent, DeclareInfo, RunInfo); }

}  // namespace kivo::cli
