#include "ui/Resources.h"

#include <map>

#include "res/Bitmaps.h"

namespace ui {
namespace {

std::map<int, std::function<wxBitmap()>>& Registry() {
  static std::map<int, std::function<wxBitmap()>> registry;
  return registry;
}

}  // namespace

void RegisterBitmapResource(int id, std::function<wxBitmap()> factory) {
  Registry()[id] = std::move(factory);
}

wxBitmap LoadBitmapResource(int id) {
  auto found = Registry().find(id);
  if (found != Registry().end()) return found->second();
  if (const char* const* xpm = res::FindXpmBitmap(id)) return wxBitmap(xpm);
  return wxBitmap();
}

}  // namespace ui
