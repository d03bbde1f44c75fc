// What `kivofs rominfo` prints on standard output, also for a mounted ROM's rom.txt.
#pragma once

#include <ostream>
#include <string>

namespace kivo::cli {

// Writes the ROM's parameter block and slots to `out`; warnings and errors go to standard
// error. Returns the exit code: 0, or 1 after printing the error.
int WriteRomInfo(const std::string& romPath, std::ostream& out);

}  // namespace kivo::cli
