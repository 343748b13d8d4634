#pragma once
#include <string>

// A folder of its own under the user's temporary folder, removed with all it
// holds when this goes.
class TemporaryFolder {
 public:
  TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  ~TemporaryFolder();

  // Without a trailing backslash; empty when no folder could be made.
  const std::wstring& Path() const { return path_; }
  // The same folder by its short name where the system keeps short names (ASCII,
  // and often shorter), else Path().
  std::wstring ShortPath() const;

 private:
  std::wstring path_;
};
