#pragma once
#include <windows.h>

#include <initializer_list>
#include <memory>
#include <vector>

// The attribute list that names the only handles a new process may inherit.
// Without one, a process started with inheritance on receives every handle that
// is inheritable anywhere in the host at that moment, and keeps it while it runs.
// The handles are inheritable only while this object lives (the list requires
// it): another thread of the host that starts a program without such a list in
// that moment would take them too, so it should live just around the start.
class InheritedHandles {
 public:
  // Null handles are left out.
  explicit InheritedHandles(std::initializer_list<HANDLE> handles);
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;
  ~InheritedHandles();

  // Null when the list could not be built.
  LPPROC_THREAD_ATTRIBUTE_LIST List() const { return list_; }

 private:
  std::vector<HANDLE> handles_;  // the list points at these until it is deleted
  std::unique_ptr<char[]> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};
