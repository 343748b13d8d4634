#pragma once
#include <string>

// A folder of its own under the user's temporary folder, removed with all it
// holds when this goes.
//
// Its name tells which process made it: "reelpane-PID-CREATED-N", the process's
// id, its creation time (16 hexadecimal digits: an id is soon given to another
// process) and a number. A removal that fails (a virus scanner holds the new
// image, a player is not quite gone) is tried again by the next folder made in
// this process; the next folder made in any process also removes every folder of
// that name whose process has ended, and nothing else.
class TemporaryFolder {
 public:
  TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  ~TemporaryFolder();

  // Without a trailing backslash; empty when no folder could be made.
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};
