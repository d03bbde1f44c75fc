// Runs a DS program headless in DeSmuME's libretro core, loaded in-process, until it has
// written its listing to main RAM (at 0x02300000: a done word, the length, the text; see
// reader/examples/listing.h), then prints the listing and the number of frames it took.
// This core's retro_get_memory_data gives nothing, so main RAM is read from a saved state
// (its "WRAM" chunk). Exits 1 when the program is not done within FRAMES frames.
//   ds_runner CORE_DIR ROM FRAMES
// CORE_DIR holds desmume_libretro.so and the libtinyxml it needs (unpacked from Debian's
// packages, not installed); the core's system and save folders are a temporary folder.
#include <dlfcn.h>
#include <libretro.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t MainRam = 0x02000000;
constexpr std::uint32_t ListingAddress = 0x02300000;
constexpr std::uint32_t ListingDone = 0x54534C4B;
constexpr std::uint32_t ListingMax = 60 * 1024;
constexpr std::uint32_t MainRamSize = 4u << 20;

std::string folder;  // the core's system and save folder

struct Core {
  void* handle = nullptr;
  template <typename F>
  F Get(const char* name) {
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr) {
      std::fprintf(stderr, "ds_runner: the core has no %s\n", name);
      std::exit(1);
    }
    return reinterpret_cast<F>(symbol);
  }
};

bool Environment(unsigned command, void* data) {
  switch (command) {
    case RETRO_ENVIRONMENT_GET_SYSTEM_DIRECTORY:
    case RETRO_ENVIRONMENT_GET_SAVE_DIRECTORY:
      *static_cast<const char**>(data) = folder.c_str();
      return true;
    case RETRO_ENVIRONMENT_SET_PIXEL_FORMAT:
    case RETRO_ENVIRONMENT_GET_CAN_DUPE:
      return true;
    case RETRO_ENVIRONMENT_GET_VARIABLE:
      static_cast<retro_variable*>(data)->value = nullptr;
      return false;
    default:
      return false;
  }
}
void Video(const void*, unsigned, unsigned, std::size_t) {}
void Audio(std::int16_t, std::int16_t) {}
std::size_t AudioBatch(const std::int16_t*, std::size_t frames) { return frames; }
void Poll() {}
std::int16_t Input(unsigned, unsigned, unsigned, unsigned) { return 0; }

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

// Main RAM in a saved state: its chunks hold fields of (4-byte name, element size, count,
// the bytes); main RAM is the field "WRAM" of 1-byte elements.
std::optional<std::vector<std::uint8_t>> MainRamOf(const std::vector<std::uint8_t>& state) {
  static const std::uint8_t tag[] = {'W', 'R', 'A', 'M'};
  for (std::size_t at = 0; at + 12 + MainRamSize <= state.size(); ++at) {
    if (std::memcmp(state.data() + at, tag, 4) != 0 || Le32(state.data() + at + 4) != 1 ||
        Le32(state.data() + at + 8) != MainRamSize) {
      continue;
    }
    return std::vector<std::uint8_t>(state.begin() + static_cast<long>(at + 12),
                                     state.begin() + static_cast<long>(at + 12 + MainRamSize));
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: ds_runner CORE_DIR ROM FRAMES\n");
    return 2;
  }
  const std::string dir = argv[1];
  // The core needs libtinyxml by its soname; loaded first, it is found already in memory.
  if (dlopen((dir + "/libtinyxml.so.2.6.2").c_str(), RTLD_NOW | RTLD_GLOBAL) == nullptr) {
    std::fprintf(stderr, "ds_runner: %s\n", dlerror());
    return 1;
  }
  Core core{dlopen((dir + "/desmume_libretro.so").c_str(), RTLD_NOW | RTLD_LOCAL)};
  if (core.handle == nullptr) {
    std::fprintf(stderr, "ds_runner: %s\n", dlerror());
    return 1;
  }
  char pattern[] = "/tmp/ds_runner.XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  folder = pattern;
  core.Get<void (*)(retro_environment_t)>("retro_set_environment")(Environment);
  core.Get<void (*)(retro_video_refresh_t)>("retro_set_video_refresh")(Video);
  core.Get<void (*)(retro_audio_sample_t)>("retro_set_audio_sample")(Audio);
  core.Get<void (*)(retro_audio_sample_batch_t)>("retro_set_audio_sample_batch")(AudioBatch);
  core.Get<void (*)(retro_input_poll_t)>("retro_set_input_poll")(Poll);
  core.Get<void (*)(retro_input_state_t)>("retro_set_input_state")(Input);
  core.Get<void (*)()>("retro_init")();

  std::ifstream in(argv[2], std::ios::binary);
  std::vector<char> rom((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  retro_game_info game{argv[2], rom.data(), rom.size(), nullptr};
  if (!in || !core.Get<bool (*)(const retro_game_info*)>("retro_load_game")(&game)) {
    std::fprintf(stderr, "ds_runner: cannot load %s\n", argv[2]);
    std::filesystem::remove_all(folder);
    return 1;
  }
  auto run = core.Get<void (*)()>("retro_run");
  auto stateSize = core.Get<std::size_t (*)()>("retro_serialize_size");
  auto save = core.Get<bool (*)(void*, std::size_t)>("retro_serialize");
  const unsigned long limit = std::strtoul(argv[3], nullptr, 10);
  unsigned long frames = 0;
  std::optional<std::vector<std::uint8_t>> ram;
  bool done = false;
  while (!done && frames < limit) {
    for (int i = 0; i < 10; ++i, ++frames) run();
    std::vector<std::uint8_t> state(stateSize());
    if (!save(state.data(), state.size())) break;
    ram = MainRamOf(state);
    if (!ram) break;
    done = Le32(ram->data() + (ListingAddress - MainRam)) == ListingDone;
  }
  core.Get<void (*)()>("retro_unload_game")();
  core.Get<void (*)()>("retro_deinit")();
  std::filesystem::remove_all(folder);
  if (!ram) {
    std::fprintf(stderr, "ds_runner: no main RAM in the saved state\n");
    return 1;
  }
  const std::uint8_t* listing = ram->data() + (ListingAddress - MainRam);
  std::string text(reinterpret_cast<const char*>(listing) + 8,
                   std::min(Le32(listing + 4), ListingMax));
  std::printf("%sframes %lu\n", text.c_str(), frames);
  if (!done) std::fprintf(stderr, "ds_runner: no listing after %lu frames\n", frames);
  return done ? 0 : 1;
}
