#include "temporary_folder.h"

#include <windows.h>

#include <atomic>
#include <cwchar>

namespace {

// The user's temporary folder, with its trailing backslash.
std::wstring UserTemporaryFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, path);
  if (length == 0 || length > MAX_PATH) return {};
  return std::wstring(path, length);
}

// The path taken as it is: a player's file may have a name the usual paths can't
// reach, one that ends in a dot for instance.
std::wstring Verbatim(const std::wstring& path) {
  if (path.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
  return L"\\\\?\\" + path;
}

// What a player may have left: files, read-only ones too, and folders. A link to
// a folder is removed itself, never what it points to. |folder| is verbatim.
void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      const DWORD attributes = found.dwFileAttributes;
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) RemoveTree(path);
        else RemoveDirectoryW(path.c_str());
        continue;
      }
      if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(path.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

TemporaryFolder::TemporaryFolder() {
  const std::wstring parent = UserTemporaryFolder();
  if (parent.empty()) return;
  static std::atomic<unsigned> counter{0};
  // Unique within the process by the counter, across processes by the id; a
  // folder of that name left by a process that has ended is passed over.
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t name[48];
    std::swprintf(name, 48, L"reelpane-%lu-%u", GetCurrentProcessId(), ++counter);
    std::wstring path = parent + name;
    if (CreateDirectoryW(path.c_str(), nullptr)) {
      path_ = std::move(path);
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return;
  }
}

TemporaryFolder::~TemporaryFolder() {
  if (!path_.empty()) RemoveTree(Verbatim(path_));
}

std::wstring TemporaryFolder::ShortPath() const {
  wchar_t shortPath[MAX_PATH + 1] = {};
  const DWORD length = GetShortPathNameW(path_.c_str(), shortPath, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return path_;
  return std::wstring(shortPath, length);
}
