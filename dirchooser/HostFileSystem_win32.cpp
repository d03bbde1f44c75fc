// The directory chooser's view of a Windows host: drive designators and backslashes, the
// logical drives with their volume labels, and the system's own texts for its errors. Names
// are UTF-8 inside the program and UTF-16 at the system's edge, so every name survives.
#include "dirchooser/HostFileSystem.h"

#include <windows.h>

#include <cctype>
#include <cwctype>

namespace dirchooser {
namespace {

constexpr DWORD kPathBuffer = 1024;  // characters, as the drive list and the tree read paths

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

std::string Narrow(const wchar_t* wide) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), size, nullptr, nullptr);
  utf8.resize(static_cast<std::size_t>(size - 1));
  return utf8;
}

// The system's message for the calling thread's last error, in the user's language; empty
// when the system has none.
std::string LastErrorText() {
  const DWORD error = ::GetLastError();
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, error,
                                        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text),
                                        0, nullptr);
  std::string message = length != 0 && text != nullptr ? Narrow(text) : std::string();
  if (text != nullptr) ::LocalFree(text);
  return message;
}

}  // namespace

bool CurrentDirectory(std::string& directory, std::string& errorText) {
  std::wstring buffer(kPathBuffer, L'\0');
  DWORD length = ::GetCurrentDirectoryW(kPathBuffer, buffer.data());
  // A directory deeper than the buffer is read again with room for it rather than cut.
  if (length >= kPathBuffer) {
    buffer.assign(length, L'\0');
    length = ::GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
  }
  if (length == 0 || length >= buffer.size()) {
    errorText = LastErrorText();
    return false;
  }
  buffer.resize(length);
  directory = Narrow(buffer.c_str());
  return true;
}

bool ListSubdirectories(const std::string& path, std::vector<std::string>& names) {
  // At a drive root the path ends in a backslash already; the system reads "D:\\*.*" as "D:\*.*".
  WIN32_FIND_DATAW entry;
  HANDLE search = ::FindFirstFileW(Widen(path + "\\*.*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    const std::wstring name = entry.cFileName;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && name != L"." && name != L"..") {
      names.push_back(Narrow(entry.cFileName));
    }
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
  return true;
}

std::vector<std::string> SplitPath(const std::string& path) {
  // UTF-8 never has a backslash byte inside a character, so splitting bytes is safe.
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c != '\\') {
      part += c;
    } else if (!part.empty()) {
      parts.push_back(part);
      part.clear();
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

std::string JoinPath(const std::string& parent, const std::string& child) { return parent + "\\" + child; }

bool ListDrives(std::vector<DriveEntry>& drives, std::string& errorText) {
  const DWORD mask = ::GetLogicalDrives();
  if (mask == 0) {
    errorText = LastErrorText();
    return false;
  }
  for (int bit = 0; bit < 26 && (mask >> bit) != 0; ++bit) {
    if ((mask & (DWORD{1} << bit)) == 0) continue;
    const char letter = static_cast<char>('A' + bit);
    // A drive without a medium makes the query fail instead of asking the user to insert one.
    // The mode stays set for the rest of the run.
    ::SetErrorMode(SEM_FAILCRITICALERRORS);
    const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
    wchar_t label[kPathBuffer] = {};
    DriveEntry drive{std::string{letter, ':'}, {}};
    if (::GetVolumeInformationW(root, label, kPathBuffer, nullptr, nullptr, nullptr, nullptr, 0)) {
      drive.label = Narrow(label);
    }
    drives.push_back(drive);
  }
  return true;
}

int FindDriveOf(const std::vector<DriveEntry>& drives, const std::string& directory) {
  if (directory.empty()) return -1;
  const int wanted = std::toupper(static_cast<unsigned char>(directory.front()));
  for (std::size_t i = 0; i < drives.size(); ++i) {
    const std::string& path = drives[i].path;
    if (!path.empty() && std::toupper(static_cast<unsigned char>(path.front())) == wanted) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool EnterDrive(char letter, std::string& errorText) {
  const wchar_t designator[] = {static_cast<wchar_t>(letter), L':', L'\0'};
  if (::SetCurrentDirectoryW(designator)) return true;
  errorText = LastErrorText();
  return false;
}

}  // namespace dirchooser
