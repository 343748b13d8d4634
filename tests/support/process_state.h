#pragma once
#include <windows.h>

#include <string>

// Process-wide state a test sets for itself and gives back: the current
// directory (the host's, which the plugin must leave alone) and environment
// variables (which the player inherits).

inline std::wstring CurrentDirectory() {
  wchar_t buffer[4096];
  const DWORD length = GetCurrentDirectoryW(4096, buffer);
  return std::wstring(buffer, length);
}

class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::wstring& directory) : saved_(CurrentDirectory()) {
    SetCurrentDirectoryW(directory.c_str());
  }
  ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
  ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;
  ~ScopedCurrentDirectory() { SetCurrentDirectoryW(saved_.c_str()); }

 private:
  std::wstring saved_;
};

class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
    SetEnvironmentVariableW(name, value.c_str());
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;
  ~ScopedVariable() { SetEnvironmentVariableW(name_, nullptr); }

 private:
  const wchar_t* name_;
};
