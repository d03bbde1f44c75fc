#include "res/LauncherPictures.h"

#include <array>
#include <string_view>

namespace res {
namespace {

// Caption letters, eight rows tall: capitals and ascenders fill all eight, the other small
// letters the lower five. '#' is ink.
struct Glyph {
  char letter;
  std::array<std::string_view, 8> rows;
};

constexpr std::array kGlyphs{
    Glyph{' ', {"...", "...", "...", "...", "...", "...", "...", "..."}},
    Glyph{'A', {"..#..", ".#.#.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    Glyph{'C', {".###.", "#...#", "#....", "#....", "#....", "#....", "#...#", ".###."}},
    Glyph{'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    Glyph{'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#", "#...#"}},
    Glyph{'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."}},
    Glyph{'a', {".....", ".....", ".....", ".###.", "....#", ".####", "#...#", ".####"}},
    Glyph{'d', {"....#", "....#", "....#", ".####", "#...#", "#...#", "#...#", ".####"}},
    Glyph{'e', {".....", ".....", ".....", ".###.", "#...#", "#####", "#....", ".####"}},
    Glyph{'i', {".#.", "...", "...", "##.", ".#.", ".#.", ".#.", "###"}},
    Glyph{'l', {"##.", ".#.", ".#.", ".#.", ".#.", ".#.", ".#.", "###"}},
    Glyph{'m', {".....", ".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"}},
    Glyph{'o', {".....", ".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."}},
    Glyph{'r', {".....", ".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."}},
    Glyph{'s', {".....", ".....", ".....", ".####", "#....", ".###.", "....#", "####."}},
    Glyph{'t', {".....", ".#...", ".#...", "####.", ".#...", ".#...", ".#..#", "..##."}},
    Glyph{'u', {".....", ".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"}},
    Glyph{'v', {".....", ".....", ".....", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."}},
};

constexpr int kGlyphRows = 8;
constexpr int kLetterGap = 1;

const Glyph* FindGlyph(char letter) {
  for (const Glyph& glyph : kGlyphs) {
    if (glyph.letter == letter) return &glyph;
  }
  return nullptr;
}

struct ButtonDescription {
  int id;
  bool pressed;
  std::string_view caption;  // empty: a blank button
  int captionTop;            // first pixel row of the caption
};

constexpr std::array kButtons{
    ButtonDescription{IDB_CREATE_DRIVE, false, "Create Virtual Drive", 75},
    ButtonDescription{IDB_ADD_DRIVES, false, "Add drives to Rom", 76},
    ButtonDescription{IDB_BLANK_LEFT, false, "", 0},
    ButtonDescription{IDB_BLANK_RIGHT, false, "", 0},
    ButtonDescription{IDB_CREATE_DRIVE_PRESSED, true, "Create Virtual Drive", 75},
    ButtonDescription{IDB_ADD_DRIVES_PRESSED, true, "Add drives to Rom", 76},
};

int CaptionWidth(std::string_view caption) {
  int width = 0;
  for (char letter : caption) {
    if (const Glyph* glyph = FindGlyph(letter)) {
      width += static_cast<int>(glyph->rows[0].size()) + kLetterGap;
    }
  }
  return width > 0 ? width - kLetterGap : 0;
}

void SetPixel(RgbPicture& picture, int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  std::uint8_t* p = picture.pixel(x, y);
  p[0] = r;
  p[1] = g;
  p[2] = b;
}

// A raised button is lit from the top left; pressed, the light and shadow swap sides.
void DrawFrame(RgbPicture& picture, bool pressed) {
  const std::uint8_t lightEdge = pressed ? 0 : 255;
  const std::uint8_t darkEdge = pressed ? 255 : 0;
  const int last = kButtonFrameWidth;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      if (x >= picture.width - last || y >= picture.height - last) {
        SetPixel(picture, x, y, darkEdge, darkEdge, darkEdge);
      } else if (x < last || y < last) {
        SetPixel(picture, x, y, lightEdge, lightEdge, lightEdge);
      } else {
        SetPixel(picture, x, y, kButtonFace[0], kButtonFace[1], kButtonFace[2]);
      }
    }
  }
}

// The caption in black, centred, its first row at pixel row `top`.
void DrawCaption(RgbPicture& picture, std::string_view caption, int top) {
  int x = (picture.width - CaptionWidth(caption)) / 2;
  for (char letter : caption) {
    const Glyph* glyph = FindGlyph(letter);
    if (glyph == nullptr) continue;
    const int width = static_cast<int>(glyph->rows[0].size());
    for (int row = 0; row < kGlyphRows; ++row) {
      for (int column = 0; column < width; ++column) {
        if (glyph->rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] == '#') {
          SetPixel(picture, x + column, top + row, 0, 0, 0);
        }
      }
    }
    x += width + kLetterGap;
  }
}

}  // namespace

RgbPicture DrawButtonPicture(int id) {
  const ButtonDescription* description = nullptr;
  for (const ButtonDescription& button : kButtons) {
    if (button.id == id) description = &button;
  }
  RgbPicture picture;
  if (description == nullptr) return picture;
  picture.width = kButtonPictureWidth;
  picture.height = kButtonPictureHeight;
  picture.rgb.resize(static_cast<std::size_t>(picture.width * picture.height) * 3);
  DrawFrame(picture, description->pressed);
  DrawCaption(picture, description->caption, description->captionTop);
  return picture;
}

namespace {

// A cartridge with a blue label showing a stack of drive platters, on a clear background.
const char* const kIcon32[] = {
    "32 32 9 1",
    ". c None",
    "b c #000080",
    "d c #808080",
    "g c #C0C0C0",
    "k c #000000",
    "o c #808000",
    "r c #FF0000",
    "w c #FFFFFF",
    "y c #FFFF00",
    "................................",
    "....kkkkkkkkkkkkkkkkkkkkkkkk....",
    "....kwwwwwwwwwwwwwwwwwwwwwwk....",
    "....kwggggggggggggggggggggdk....",
    "....kwggggggggggggggggggggdk....",
    "....kwggkkkkkkkkkkkkkkkkggdk....",
    "....kwggkbbbbbbbbbbbbbbkggdk....",
    "....kwggkbbyyyyyyyyrybbkggdk....",
    "....kwggkbboooooooooobbkggdk....",
    "....kwggkbbbbbbbbbbbbbbkggdk....",
    "....kwggkbbbbbbbbbbbbbbkggdk....",
    "....kwggkbbyyyyyyyyyybbkggdk....",
    "....kwggkbboooooooooobbkggdk....",
    "....kwggkbbbbbbbbbbbbbbkggdk....",
    "....kwggkbbbbbbbbbbbbbbkggdk....",
    "....kwggkbbyyyyyyyyyybbkggdk....",
    "....kwggkbboooooooooobbkggdk....",
    "....kwggkbbbbbbbbbbbbbbkggdk....",
    "....kwggkkkkkkkkkkkkkkkkggdk....",
    "....kwggggggggggggggggggggdk....",
    "....kwggggggggggggggggggggdk....",
    "....kwggggggggggggggggggggdk....",
    "....kwggggggggggggggggggggdk....",
    "....kwggyygyygyygyygyygyygdk....",
    "....kwggyygyygyygyygyygyygdk....",
    "....kwggyygyygyygyygyygyygdk....",
    "....kwggyygyygyygyygyygyygdk....",
    "....kwggyygyygyygyygyygyygdk....",
    "....kwggyygyygyygyygyygyygdk....",
    "....kwdddddddddddddddddddddk....",
    "....kkkkkkkkkkkkkkkkkkkkkkkk....",
    "................................"
};

const char* const kIcon16[] = {
    "16 16 8 1",
    ". c None",
    "b c #000080",
    "d c #808080",
    "g c #C0C0C0",
    "k c #000000",
    "r c #FF0000",
    "w c #FFFFFF",
    "y c #FFFF00",
    "................",
    "..kkkkkkkkkkkk..",
    "..kwwwwwwwwwwk..",
    "..kwggggggggdk..",
    "..kwgkkkkkkgdk..",
    "..kwgkyyrykgdk..",
    "..kwgkbbbbkgdk..",
    "..kwgkyyyykgdk..",
    "..kwgkbbbbkgdk..",
    "..kwgkkkkkkgdk..",
    "..kwggggggggdk..",
    "..kwgyygyygydk..",
    "..kwgyygyygydk..",
    "..kwgyygyygydk..",
    "..kddddddddddk..",
    "..kkkkkkkkkkkk.."
};

}  // namespace

const char* const* AppIconXpm(int size) {
  if (size == 32) return kIcon32;
  if (size == 16) return kIcon16;
  return nullptr;
}

}  // namespace res
