#include "res/Bitmaps.h"

namespace res {
namespace {

// 16 x 16 folder pictures on a white background, in black, dark grey, light grey, white,
// yellow and olive. "w" is white inside the folder, "." the white background.
const char* const kClosedFolder[] = {
    "16 16 5 1",
    ". c #FFFFFF",
    "w c #FFFFFF",
    "k c #000000",
    "g c #808080",
    "y c #FFFF00",
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
    "................"
};

const char* const kClosedFolderDark[] = {
    "16 16 5 1",
    ". c #FFFFFF",
    "k c #000000",
    "g c #808080",
    "y c #FFFF00",
    "o c #808000",
    "................",
    "................",
    "..kkkk..........",
    ".kooook.........",
    ".kkkkkkkkkkkkk..",
    ".kyyyyyyyyyyyk..",
    ".kyooooooooookg.",
    ".kyooooooooookg.",
    ".kyooooooooookg.",
    ".kyooooooooookg.",
    ".kyooooooooookg.",
    ".kyooooooooookg.",
    ".kkkkkkkkkkkkkg.",
    "..ggggggggggggg.",
    "................",
    "................"
};

const char* const kOpenFolder[] = {
    "16 16 6 1",
    ". c #FFFFFF",
    "w c #FFFFFF",
    "k c #000000",
    "g c #808080",
    "y c #FFFF00",
    "o c #808000",
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
    "................"
};

const char* const kOpenFolderDark[] = {
    "16 16 5 1",
    ". c #FFFFFF",
    "k c #000000",
    "g c #808080",
    "y c #FFFF00",
    "o c #808000",
    "................",
    "................",
    "..kkkk..........",
    ".kyggk..........",
    ".kygggkkkkkkk...",
    ".kygggggggggk...",
    ".kyggkkkkkkkkkkk",
    ".kygkyooooooookg",
    ".kgkyooooooookg.",
    ".kkyooooooookg..",
    ".kyooooooookg...",
    ".kkkkkkkkkkg....",
    "..gggggggggg....",
    "................",
    "................",
    "................"
};

}  // namespace

const char* const* FindXpmBitmap(int id) {
  switch (id) {
    case 137: return kClosedFolder;
    case 138: return kClosedFolderDark;
    case 139: return kOpenFolder;
    case 140: return kOpenFolderDark;
    default: return nullptr;
  }
}

}  // namespace res
