// Writes icon 128 as PNG files for the desktop's icon theme, so the installed icon is the one
// the program shows. Usage: kivofs-icon-png <size> <output.png>
#include <wx/image.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "res/LauncherPictures.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kivofs-icon-png <16|32> <output.png>\n");
    return 2;
  }
  const int size = std::atoi(argv[1]);
  const char* const* xpm = res::AppIconXpm(size);
  if (xpm == nullptr) {
    std::fprintf(stderr, "kivofs-icon-png: no icon of size '%s'\n", argv[1]);
    return 2;
  }
  wxInitializer initializer;
  if (!initializer.IsOk()) {
    std::fprintf(stderr, "kivofs-icon-png: cannot start wxWidgets\n");
    return 1;
  }
  wxImage::AddHandler(new wxPNGHandler);
  wxImage image(xpm);
  if (!image.IsOk() || image.GetWidth() != size || image.GetHeight() != size) {
    std::fprintf(stderr, "kivofs-icon-png: the %dx%d icon does not decode\n", size, size);
    return 1;
  }
  // The clear background becomes an alpha channel, which icon themes expect of PNG icons.
  if (image.HasMask()) image.InitAlpha();
  if (!image.SaveFile(wxString::FromUTF8(argv[2]), wxBITMAP_TYPE_PNG)) {
    std::fprintf(stderr, "kivofs-icon-png: cannot write '%s'\n", argv[2]);
    return 1;
  }
  return 0;
}
