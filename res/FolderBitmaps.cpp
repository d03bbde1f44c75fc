#include "res/Bitmaps.h"

#include <array>
#include <cstddef>

namespace res {
namespace {

// 16 x 16 folder pictures on a white background, in black, dark grey, light grey, white,
// yellow and olive: "w" is white inside the folder, "." the white background. The dark
// pictures draw the same pixels with darker colours: yellow for white, olive for yellow and
// grey for olive.
constexpr std::size_t Rows = 16;
using Pixels = std::array<const char*, Rows>;

constexpr Pixels kClosedFolder = {
    "................",
    "................",
    "..kkkk..........",
    ".kyyyyk.........",
    ".kkkkkkkkkkkkk..",
    ".kwwwwwwwwwwwk..",
    ".kwyyyyyyyyyykg.",
    ".kwyyyyyyyyyykg.",
    ".kwyyyyyyyyyykg.",
    ".kwyyyyyyyyyykg.",
    ".kwyyyyyyyyyykg.",
    ".kwyyyyyyyyyykg.",
    ".kkkkkkkkkkkkkg.",
    "..ggggggggggggg.",
    "................",
    "................"};

constexpr Pixels kOpenFolder = {
    "................",
    "................",
    "..kkkk..........",
    ".kwook..........",
    ".kwoookkkkkkk...",
    ".kwoooooooook...",
    ".kwookkkkkkkkkkk",
    ".kwokwyyyyyyyykg",
    ".kokwyyyyyyyykg.",
    ".kkwyyyyyyyykg..",
    ".kwyyyyyyyykg...",
    ".kkkkkkkkkkg....",
    "..gggggggggg....",
    "................",
    "................",
    "................"};

// An XPM picture as one array of lines: its size, its colours, its rows.
template <std::size_t Colors>
constexpr std::array<const char*, 1 + Colors + Rows> Xpm(const char* size,
                                                          std::array<const char*, Colors> colors,
                                                          const Pixels& pixels) {
  std::array<const char*, 1 + Colors + Rows> lines{size};
  for (std::size_t i = 0; i < Colors; ++i) lines[1 + i] = colors[i];
  for (std::size_t i = 0; i < Rows; ++i) lines[1 + Colors + i] = pixels[i];
  return lines;
}

constexpr auto kClosed = Xpm<5>(
    "16 16 5 1", {". c #FFFFFF", "w c #FFFFFF", "k c #000000", "g c #808080", "y c #FFFF00"},
    kClosedFolder);
constexpr auto kClosedDark = Xpm<5>(
    "16 16 5 1", {". c #FFFFFF", "w c #FFFF00", "k c #000000", "g c #808080", "y c #808000"},
    kClosedFolder);
constexpr auto kOpen = Xpm<6>("16 16 6 1",
                              {". c #FFFFFF", "w c #FFFFFF", "k c #000000", "g c #808080",
                               "y c #FFFF00", "o c #808000"},
                              kOpenFolder);
constexpr auto kOpenDark = Xpm<6>("16 16 6 1",
                                  {". c #FFFFFF", "w c #FFFF00", "k c #000000", "g c #808080",
                                   "y c #808000", "o c #808080"},
                                  kOpenFolder);

}  // namespace

const char* const* FindXpmBitmap(int id) {
  switch (id) {
    case IDB_FOLDER_CLOSED: return kClosed.data();
    case IDB_FOLDER_CLOSED_DARK: return kClosedDark.data();
    case IDB_FOLDER_OPEN: return kOpen.data();
    case IDB_FOLDER_OPEN_DARK: return kOpenDark.data();
    default: return nullptr;
  }
}

}  // namespace res
