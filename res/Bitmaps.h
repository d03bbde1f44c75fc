// Pictures of the program kept as XPM text.
#pragma once

namespace res {

inline constexpr int IDB_FOLDER_CLOSED = 137;
inline constexpr int IDB_FOLDER_CLOSED_DARK = 138;
inline constexpr int IDB_FOLDER_OPEN = 139;
inline constexpr int IDB_FOLDER_OPEN_DARK = 140;

// The XPM lines of the picture with that resource ID, or nullptr.
const char* const* FindXpmBitmap(int id);

}  // namespace res
