// Runs a GBA program headless in mGBA until it has written its listing to external work RAM
// (at 0x02000000: a done word, the length, the text; see reader/examples/listing.h), then
// prints the listing and the number of frames it took. Exits 1 when the program is not done
// within FRAMES frames.
//   gba_runner ROM FRAMES
#include <fcntl.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

constexpr std::uint32_t ListingAddress = 0x02000000;
constexpr std::uint32_t ListingDone = 0x54534C4B;
constexpr std::uint32_t ListingMax = 60 * 1024;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: gba_runner ROM FRAMES\n");
    return 2;
  }
  mLogger logger{[](mLogger*, int, mLogLevel, const char*, va_list) {}, nullptr};
  mLogSetDefaultLogger(&logger);
  mCore* core = GBACoreCreate();
  if (core == nullptr || !core->init(core)) return 1;
  mCoreInitConfig(core, nullptr);
  core->opts.skipBios = true;
  std::vector<color_t> video(240 * 160);  // the screen
  core->setVideoBuffer(core, video.data(), 240);
  VFile* rom = VFileOpen(argv[1], O_RDONLY);
  if (rom == nullptr || !core->loadROM(core, rom)) {
    std::fprintf(stderr, "gba_runner: cannot load %s\n", argv[1]);
    return 1;
  }
  core->reset(core);
  const unsigned long limit = std::strtoul(argv[2], nullptr, 10);
  unsigned long frames = 0;
  while (frames < limit && core->busRead32(core, ListingAddress) != ListingDone) {
    core->runFrame(core);
    ++frames;
  }
  const bool done = core->busRead32(core, ListingAddress) == ListingDone;
  std::string text(std::min(core->busRead32(core, ListingAddress + 4), ListingMax), '\0');
  for (std::uint32_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char>(core->busRead8(core, ListingAddress + 8 + i));
  }
  core->deinit(core);
  std::printf("%sframes %lu\n", text.c_str(), frames);
  if (!done) std::fprintf(stderr, "gba_runner: no listing after %lu frames\n", frames);
  return done ? 0 : 1;
}
