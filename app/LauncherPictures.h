// Makes the launcher's button pictures and icon 128 loadable by resource ID.
#pragma once

#include <wx/iconbndl.h>

namespace app {

// Registers the pictures 128-133 and 142 with the dialog layer; later calls do nothing.
void RegisterLauncherPictures();

// Icon 128 in its 32 x 32 and 16 x 16 forms.
wxIconBundle LoadAppIcon();

}  // namespace app
