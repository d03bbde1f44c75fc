// Temporaries on Windows: one still open for writing cannot be opened for deleting, which
// tells a running program's temporary from one left behind; the console's Ctrl-C, Ctrl-Break
// and close events remove the temporaries before the program ends.
#include <filesystem>

#include <windows.h>

#include "base/File.h"
#include "base/Temporary.h"

namespace kivo {
namespace temporary {

void RemoveNamed(int, const char* name) {
  // Longer paths than this are not listed.
  constexpr int Capacity = 4096;
  static wchar_t wide[Capacity];
  if (::MultiByteToWideChar(CP_UTF8, 0, name, -1, wide, Capacity) > 0) ::DeleteFileW(wide);
}

void RemoveStale(int, const std::string& destination) {
  const std::filesystem::path place = PathFromUtf8(destination);
  const std::string target = Utf8(place.filename());
  const std::filesystem::path pattern = place.parent_path() / (L"." + place.filename().wstring() + L".*.tmp");
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    if (!IsNameFor(Utf8(std::filesystem::path(found.cFileName)), target)) continue;
    // Fails while the program writing it holds it open; closing deletes it.
    HANDLE stale = ::CreateFileW((place.parent_path() / found.cFileName).c_str(), DELETE, 0, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr);
    if (stale != INVALID_HANDLE_VALUE) ::CloseHandle(stale);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

}  // namespace temporary

namespace {

BOOL WINAPI RemoveTemporariesOnClose(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT ||
      event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    temporary::RemoveRemembered();
  }
  // Not handled: the default handler ends the program as it would have.
  return FALSE;
}

}  // namespace

void CleanUpOnInterrupt() { ::SetConsoleCtrlHandler(RemoveTemporariesOnClose, TRUE); }

}  // namespace kivo
