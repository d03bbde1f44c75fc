// The string table of the desktop program.
#pragma once

namespace res {

inline constexpr int IDS_ABOUTBOX = 101;

// The string with that ID, or an empty string when there is none.
const char* LoadResourceString(int id);

}  // namespace res
