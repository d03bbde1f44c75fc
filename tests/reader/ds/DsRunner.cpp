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

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t ListingOffset = 0x00300000;  // in main RAM, at 0x02000000
constexpr std::uint32_t ListingDone = 0x54534C4B;
constexpr std::uint32_t ListingMax = 60 * 1024;
constexpr std::uint32_t MainRamSize = 4u << 20;

std::string folder;  // the core's system and save folder
void* core = nullptr;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "ds_runner: %s\n", what.c_str());
  if (!folder.empty()) std::filesystem::remove_all(folder);
  std::exit(1);
}

// The core's function `name`, of type F.
template <typename F>
F Get(const char* name) {
  void* symbol = dlsym(core, name);
  if (symbol == nullptr) Fail(std::string("the core has no ") + name);
  return reinterpret_cast<F>(symbol);
}

// Gives the core its callback `fn` through its function `setter`.
template <typename Callback>
void Set(const char* setter, Callback fn) {
  Get<void (*)(Callback)>(setter)(fn);
}

bool Environment(unsigned command, void* data) {
  switch (command) {
    case RETRO_ENVIRONMENT_GET_SYSTEM_DIRECTORY:
    case RETRO_ENVIRONMENT_GET_SAVE_DIRECTORY:
      *static_cast<const char**>(data) = folder.c_str();
      return true;
    default:
      return command == RETRO_ENVIRONMENT_SET_PIXEL_FORMAT ||
             command == RETRO_ENVIRONMENT_GET_CAN_DUPE;
  }
}

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

// Main RAM in a saved state: its chunks hold fields of (4-byte name, element size, count,
// the bytes); main RAM is the field "WRAM" of 1-byte elements.
const std::uint8_t* MainRamOf(const std::vector<std::uint8_t>& state) {
  for (std::size_t at = 0; at + 12 + MainRamSize <= state.size(); ++at) {
    const std::uint8_t* field = state.data() + at;
    if (std::memcmp(field, "WRAM", 4) == 0 && Le32(field + 4) == 1 &&
        Le32(field + 8) == MainRamSize) {
      return field + 12;
    }
  }
  Fail("no main RAM in the saved state");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: ds_runner CORE_DIR ROM FRAMES\n");
    return 2;
  }
  const std::string dir = argv[1];
  // The core needs libtinyxml by its soname; loaded first, it is found already in memory.
  if (dlopen((dir + "/libtinyxml.so.2.6.2").c_str(), RTLD_NOW | RTLD_GLOBAL) == nullptr ||
      (core = dlopen((dir + "/desmume_libretro.so").c_str(), RTLD_NOW | RTLD_LOCAL)) == nullptr) {
    Fail(dlerror());
  }
  char pattern[] = "/tmp/ds_runner.XXXXXX";
  if (mkdtemp(pattern) == nullptr) Fail("cannot make a temporary folder");
  folder = pattern;
  Set<retro_environment_t>("retro_set_environment", Environment);
  Set<retro_video_refresh_t>("retro_set_video_refresh",
                             [](const void*, unsigned, unsigned, std::size_t) {});
  Set<retro_audio_sample_t>("retro_set_audio_sample", [](std::int16_t, std::int16_t) {});
  Set<retro_audio_sample_batch_t>("retro_set_audio_sample_batch",
                                  [](const std::int16_t*, std::size_t frames) { return frames; });
  Set<retro_input_poll_t>("retro_set_input_poll", [] {});
  Set<retro_input_state_t>("retro_set_input_state",
                           [](unsigned, unsigned, unsigned, unsigned) { return std::int16_t{0}; });
  Get<void (*)()>("retro_init")();

  std::ifstream in(argv[2], std::ios::binary);
  std::vector<char> rom((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  retro_game_info game{argv[2], rom.data(), rom.size(), nullptr};
  if (!in || !Get<bool (*)(const retro_game_info*)>("retro_load_game")(&game)) {
    Fail(std::string("cannot load ") + argv[2]);
  }
  auto run = Get<void (*)()>("retro_run");
  auto stateSize = Get<std::size_t (*)()>("retro_serialize_size");
  auto save = Get<bool (*)(void*, std::size_t)>("retro_serialize");
  const unsigned long limit = std::strtoul(argv[3], nullptr, 10);
  unsigned long frames = 0;
  std::vector<std::uint8_t> state;
  const std::uint8_t* listing = nullptr;
  do {
    for (int i = 0; i < 10; ++i) run();
    frames += 10;
    state.resize(stateSize());
    if (!save(state.data(), state.size())) Fail("the core cannot save its state");
    listing = MainRamOf(state) + ListingOffset;
  } while (Le32(listing) != ListingDone && frames < limit);
  const bool done = Le32(listing) == ListingDone;
  const std::string text(reinterpret_cast<const char*>(listing) + 8,
                         std::min(Le32(listing + 4), ListingMax));
  Get<void (*)()>("retro_unload_game")();
  Get<void (*)()>("retro_deinit")();
  std::filesystem::remove_all(folder);
  std::printf("%sframes %lu\n", text.c_str(), frames);
  if (!done) std::fprintf(stderr, "ds_runner: no listing after %lu frames\n", frames);
  return done ? 0 : 1;
}
