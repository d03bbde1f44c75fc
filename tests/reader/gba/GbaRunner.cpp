// Runs the GBA example headless in mGBA until it has written its listing to external work
// RAM, prints the listing, and compares it with source trees on the host:
//   gba_runner ROM [--frames N] [SLOT=DIR]...
// Prints the emulated reading speed of the largest file. Exits 1 when the program reports an
// error, does not finish within N frames, or lists other files than the trees hold.
#include <fcntl.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

// clang-format off
#include <mgba/flags.h>
#include <mgba/core/core.h>
#include <mgba/core/log.h>
#include <mgba/gba/core.h>
#include <mgba-util/vfs.h>
// clang-format on

namespace {

namespace stdfs = std::filesystem;

constexpr std::uint32_t ListingAddress = 0x02000000;  // done, length, text: see main.c
constexpr std::uint32_t ListingDone = 0x54534C4B;
constexpr double CyclesPerFrame = 280896;
constexpr double CpuHz = 16777216;

void Quiet(mLogger*, int, mLogLevel, const char*, va_list) {}

std::uint32_t Crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

// "SLOT PATH" -> "SIZE CRC" for a file, "dir" for a directory, with names cut to the 16
// bytes the image stores.
void AddTree(std::map<std::string, std::string>& out, const std::string& slot, const stdfs::path& root) {
  for (const auto& item : stdfs::recursive_directory_iterator(root)) {
    std::string path;
    for (const auto& part : stdfs::relative(item.path(), root)) {
      path += (path.empty() ? "" : "/") + part.string().substr(0, 16);
    }
    if (item.is_directory()) {
      out[slot + " " + path] = "dir";
      continue;
    }
    std::ifstream in(item.path(), std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    char value[32];
    std::snprintf(value, sizeof value, "%zu %x", bytes.size(), Crc32(bytes));
    out[slot + " " + path] = value;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: gba_runner ROM [--frames N] [SLOT=DIR]...\n");
    return 2;
  }
  std::uint32_t frameLimit = 3600;
  std::map<std::string, std::string> expected;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--frames" && i + 1 < argc) {
      frameLimit = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg.find('=') != std::string::npos) {
      AddTree(expected, arg.substr(0, arg.find('=')), arg.substr(arg.find('=') + 1));
    }
  }

  mLogger logger{Quiet, nullptr};
  mLogSetDefaultLogger(&logger);
  mCore* core = GBACoreCreate();
  if (core == nullptr || !core->init(core)) return 1;
  mCoreInitConfig(core, nullptr);
  core->opts.skipBios = true;
  unsigned width = 0, height = 0;
  core->desiredVideoDimensions(core, &width, &height);
  std::vector<color_t> video(std::size_t{width} * height);
  core->setVideoBuffer(core, video.data(), width);
  VFile* rom = VFileOpen(argv[1], O_RDONLY);
  if (rom == nullptr || !core->loadROM(core, rom)) {
    std::fprintf(stderr, "gba_runner: cannot load %s\n", argv[1]);
    return 1;
  }
  core->reset(core);
  std::uint32_t frames = 0;
  while (frames < frameLimit && core->busRead32(core, ListingAddress) != ListingDone) {
    core->runFrame(core);
    ++frames;
  }
  bool finished = core->busRead32(core, ListingAddress) == ListingDone;
  std::string text(core->busRead32(core, ListingAddress + 4), '\0');
  for (std::size_t i = 0; i < text.size() && i < 60 * 1024; ++i) {
    text[i] = static_cast<char>(core->busRead8(core, ListingAddress + 8 + static_cast<std::uint32_t>(i)));
  }
  core->deinit(core);
  std::fputs(text.c_str(), stdout);
  if (!finished) {
    std::fprintf(stderr, "gba_runner: no listing after %u frames\n", frames);
    return 1;
  }

  bool ok = true;
  std::map<std::string, std::string> listed;
  std::uint32_t bigSize = 0, bigCycles = 0, bigOpen = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string kind, slot, path, crc;
    std::uint32_t size = 0, cycles = 0, openCycles = 0;
    words >> kind >> slot >> path;
    if (kind == "error") ok = false;
    if (kind == "d") listed[slot + " " + path] = "dir";
    if (kind == "f" && words >> size >> crc >> cycles >> openCycles) {
      listed[slot + " " + path] = std::to_string(size) + " " + crc;
      if (size >= bigSize) bigSize = size, bigCycles = cycles, bigOpen = openCycles;
    }
  }
  for (const auto& [path, value] : expected) {
    auto found = listed.find(path);
    if (found == listed.end() || found->second != value) {
      std::printf("MISMATCH %s: tree %s, GBA %s\n", path.c_str(), value.c_str(),
                  found == listed.end() ? "nothing" : found->second.c_str());
      ok = false;
    }
  }
  for (const auto& [path, value] : listed) {
    if (expected.count(path) == 0) {
      std::printf("MISMATCH %s: only on the GBA\n", path.c_str());
      ok = false;
    }
  }
  if (bigSize > 0 && bigCycles > 0) {
    double perByte = double(bigCycles) / bigSize;
    std::printf(
        "speed: %u bytes read in %u cycles: %.3f cycles/byte, %.0f bytes/frame, %.2f MiB/s; "
        "open (chain check) %u cycles; %u frames in all\n",
        bigSize, bigCycles, perByte, CyclesPerFrame / perByte, CpuHz / perByte / 1048576.0,
        bigOpen, frames);
  }
  std::printf("%s: %zu items listed\n", ok ? "ok" : "FAILED", listed.size());
  return ok ? 0 : 1;
}
