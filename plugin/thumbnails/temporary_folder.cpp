#include "temporary_folder.h"

#include <windows.h>

#include <atomic>
#include <optional>
#include <string_view>
#include <vector>

#include "auto_close_handle.h"

namespace {

constexpr std::wstring_view kPrefix = L"reelpane-";
constexpr size_t kCreatedDigits = 16;

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

// The process that makes a folder.
struct FolderOwner {
  DWORD ProcessId = 0;
  ULONGLONG Created = 0;  // its creation time, in the system's 100 ns units
};

ULONGLONG Ticks(const FILETIME& time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

const FolderOwner& ThisProcess() {
  static const FolderOwner self = [] {
    FolderOwner owner{GetCurrentProcessId(), 0};
    FILETIME created{}, exited{}, kernel{}, user{};
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) owner.Created = Ticks(created);
    return owner;
  }();
  return self;
}

// A decimal number of at most |digits| digits, or a hexadecimal one of exactly
// |digits| digits, at the start of |text|, which it leaves after the number.
std::optional<ULONGLONG> TakeNumber(std::wstring_view& text, int base, size_t digits) {
  size_t length = 0;
  ULONGLONG value = 0;
  for (; length < text.size() && length < digits; ++length) {
    const wchar_t c = text[length];
    const int digit = c >= L'0' && c <= L'9' ? c - L'0' : base == 16 && c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
    if (digit < 0) break;
    value = value * static_cast<ULONGLONG>(base) + static_cast<ULONGLONG>(digit);
  }
  if (length == 0 || (base == 16 && length != digits)) return std::nullopt;
  text.remove_prefix(length);
  return value;
}

std::wstring HexDigits(ULONGLONG value, size_t digits) {
  std::wstring text(digits, L'0');
  for (size_t at = digits; at-- > 0; value >>= 4) text[at] = L"0123456789abcdef"[value & 0xF];
  return text;
}

// The owner a folder's name tells, for names exactly as ours are made; nothing for any other.
std::optional<FolderOwner> OwnerOfFolderNamed(std::wstring_view name) {
  if (!name.starts_with(kPrefix)) return std::nullopt;
  name.remove_prefix(kPrefix.size());
  const std::optional<ULONGLONG> id = TakeNumber(name, 10, 10);
  if (!id || *id > MAXDWORD || !name.starts_with(L'-')) return std::nullopt;
  name.remove_prefix(1);
  const std::optional<ULONGLONG> created = TakeNumber(name, 16, kCreatedDigits);
  if (!created || !name.starts_with(L'-')) return std::nullopt;
  name.remove_prefix(1);
  if (!TakeNumber(name, 10, 10) || !name.empty()) return std::nullopt;
  return FolderOwner{static_cast<DWORD>(*id), *created};
}

// Whether the process that made a folder has ended (its id gone, or given to
// another process since). A process that can't be asked counts as running.
bool HasEnded(const FolderOwner& owner) {
  const AutoCloseHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, owner.ProcessId));
  if (!process.IsValid()) return GetLastError() == ERROR_INVALID_PARAMETER;  // no process of that id
  FILETIME created{}, exited{}, kernel{}, user{};
  DWORD code = 0;
  const bool known =
      GetProcessTimes(process.Get(), &created, &exited, &kernel, &user) && GetExitCodeProcess(process.Get(), &code);
  return known && (Ticks(created) != owner.Created || code != STILL_ACTIVE);
}

// Folders of this process whose removal failed, to be tried again.
SRWLOCK LeftLock = SRWLOCK_INIT;
std::vector<std::wstring> LeftFolders;

void RememberLeft(const std::wstring& path) {
  AcquireSRWLockExclusive(&LeftLock);
  try {
    LeftFolders.push_back(path);
  } catch (...) {
    // No memory to remember it: the next process's first folder removes it.
  }
  ReleaseSRWLockExclusive(&LeftLock);
}

void RemoveLeftOfThisProcess() {
  std::vector<std::wstring> left;
  AcquireSRWLockExclusive(&LeftLock);
  left.swap(LeftFolders);
  ReleaseSRWLockExclusive(&LeftLock);
  for (const std::wstring& path : left) {
    RemoveTree(Verbatim(path));
    if (GetFileAttributesW(Verbatim(path).c_str()) != INVALID_FILE_ATTRIBUTES) RememberLeft(path);
  }
}

// Every folder of ours in |parent| that a process which has ended left behind.
void RemoveLeftOfEndedProcesses(const std::wstring& parent) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((parent + std::wstring(kPrefix) + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
    const std::optional<FolderOwner> owner = OwnerOfFolderNamed(found.cFileName);
    if (!owner || !HasEnded(*owner)) continue;
    const std::wstring path = Verbatim(parent + found.cFileName);
    // A link of that name goes itself; what it points to is not ours.
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) RemoveDirectoryW(path.c_str());
    else RemoveTree(path);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace

TemporaryFolder::TemporaryFolder() {
  const std::wstring parent = UserTemporaryFolder();
  if (parent.empty()) return;
  RemoveLeftOfThisProcess();
  RemoveLeftOfEndedProcesses(parent);
  static std::atomic<unsigned> counter{0};
  const FolderOwner& self = ThisProcess();
  // Unique within the process by the counter, across processes by the id and the
  // creation time.
  const std::wstring stem = parent + std::wstring(kPrefix) + std::to_wstring(self.ProcessId) + L'-' +
                           HexDigits(self.Created, kCreatedDigits) + L'-';
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring path = stem + std::to_wstring(++counter);
    if (CreateDirectoryW(path.c_str(), nullptr)) {
      path_ = std::move(path);
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return;
  }
}

TemporaryFolder::~TemporaryFolder() {
  if (path_.empty()) return;
  try {
    RemoveTree(Verbatim(path_));
    if (GetFileAttributesW(Verbatim(path_).c_str()) != INVALID_FILE_ATTRIBUTES) RememberLeft(path_);
  } catch (...) {
    // No memory for the paths: left for the next process's first folder.
  }
}
