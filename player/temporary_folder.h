#pragma once
#include <string>

// A folder of its own under the user's temporary folder, removed with all it
// holds when this goes. Its path has no trailing backslash and, where the system
// keeps short names, no letter beyond ASCII (a player may read its command line
// in another code page than ours).
class TemporaryFolder {
 public:
  TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  ~TemporaryFolder();

  // Empty when no folder could be made.
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};
