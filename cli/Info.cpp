// kivofs info: the image summary as the drive tool shows it, and the layout.
#include <cstdio>
#include <memory>

#include "cli/Commands.h"
#include "base/File.h"
#include "fsimage/Codec.h"
#include "fsimage/Reader.h"
#include "fsimage/Summary.h"

namespace kivo::cli {
namespace {

struct InfoOptions {
  std::string image;
  bool json = false;
};

bool ValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3
                                         : (byte >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
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

int RunInfo(const InfoOptions& options) {
  auto summary = fs::ReadImageSummary(PathFromUtf8(options.image), fs::SizeUnit::Bytes, false);
  if (!summary) return Fail(summary.error());
  auto mapped = MappedFile::Open(PathFromUtf8(options.image));
  if (!mapped) return Fail(mapped.error());
  auto header = fs::DecodeHeader(mapped->bytes(), Quoted(options.image));
  if (!header) return Fail(header.error());
  const fs::ImageHeader& h = *header;
  std::string kilobytes = fs::FormatDriveSize(summary->fileSize, fs::SizeUnit::Kilobytes);

  if (options.json) {
    std::cout << "{\n"
              << "  \"fsVersion\": " << JsonString(summary->fsVersion) << ",\n"
              << "  \"rootEntries\": " << summary->rootEntries << ",\n"
              << "  \"sizeBytes\": " << summary->fileSize << ",\n"
              << "  \"sizeKilobytes\": " << JsonString(kilobytes) << ",\n"
              << "  \"driveName\": " << JsonString(summary->driveName) << ",\n"
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
              << "}\n";
    return 0;
  }
  std::cout << "File system version    : " << summary->fsVersion << '\n'
            << "Number of root entries : " << summary->rootEntries << '\n'
            << "Drive size             : " << summary->driveSize << " bytes (" << kilobytes
            << " Kbytes)\n"
            << "Drive name             : " << fs::PrintableName(summary->driveName) << '\n'
            << "Layout\n"
            << "  header block         : offset " << 0 << ", " << h.bootSize << " bytes\n"
            << "  allocation table     : offset " << h.fatStart << ", " << h.fatSize
            << " bytes (" << h.tableEntries() << " entries)\n"
            << "  root directory       : offset " << h.rootStart << ", " << h.rootSize
            << " bytes\n"
            << "  data area            : offset " << h.dataStart << ", " << h.dataSize
            << " bytes\n"
            << "  drive size (header)  : " << h.driveSize << " bytes\n";
  return 0;
}

}  // namespace

Command AddInfoCommand(CLI::App& parent) {
  auto options = std::make_shared<InfoOptions>();
  CLI::App* app = parent.add_subcommand("info", "Show a drive image's summary and layout");
  app->add_option("IMAGE", options->image, "Drive image (.kid)")->required();
  app->add_flag("--json", options->json, "Print the summary and layout as JSON");
  return {app, [options] { return RunInfo(*options); }};
}

}  // namespace kivo::cli
