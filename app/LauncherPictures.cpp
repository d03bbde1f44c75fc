#include "app/LauncherPictures.h"

#include <wx/bitmap.h>
#include <wx/icon.h>
#include <wx/image.h>

#include <algorithm>

#include "res/LauncherPictures.h"
#include "ui/Resources.h"

namespace app {
namespace {

wxBitmap ToBitmap(const res::RgbPicture& picture) {
  if (picture.empty()) return wxBitmap();
  wxImage image(picture.width, picture.height, /*clear=*/false);
  std::copy(picture.rgb.begin(), picture.rgb.end(), image.GetData());
  return wxBitmap(image, 24);
}

}  // namespace

void RegisterLauncherPictures() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  for (int id :
       {res::IDB_CREATE_DRIVE, res::IDB_ADD_DRIVES, res::IDB_BLANK_LEFT, res::IDB_BLANK_RIGHT,
        res::IDB_CREATE_DRIVE_PRESSED, res::IDB_ADD_DRIVES_PRESSED}) {
    ui::RegisterBitmapResource(id, [id] { return ToBitmap(res::DrawButtonPicture(id)); });
  }
  ui::RegisterBitmapResource(res::IDR_MAINFRAME, [] { return wxBitmap(res::AppIconXpm(32)); });
}

wxIconBundle LoadAppIcon() {
  wxIconBundle icons;
  icons.AddIcon(wxIcon(res::AppIconXpm(32)));
  icons.AddIcon(wxIcon(res::AppIconXpm(16)));
  return icons;
}

}  // namespace app
