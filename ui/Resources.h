// Pictures of the program by resource ID (the folder images 137-140, the launcher's pictures,
// icon 128).
#pragma once

#include <functional>

#include <wx/bitmap.h>

namespace ui {

// Makes `id` load through `factory`; later registrations replace earlier ones.
void RegisterBitmapResource(int id, std::function<wxBitmap()> factory);
// The picture with that ID: a registered one, else one of the XPM pictures in res/; an invalid
// bitmap when there is none.
wxBitmap LoadBitmapResource(int id);

}  // namespace ui
