#include "inherited_handles.h"

InheritedHandles::InheritedHandles(std::initializer_list<HANDLE> handles) {
  for (HANDLE handle : handles) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) handles_.push_back(handle);
  }
  if (handles_.empty()) return;  // an empty list is refused
  for (HANDLE handle : handles_) SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  if (size == 0) return;
  storage_ = std::make_unique<char[]>(size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.get());
  if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
  if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                 handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
    DeleteProcThreadAttributeList(list);
    return;
  }
  list_ = list;
}

InheritedHandles::~InheritedHandles() {
  if (list_ != nullptr) DeleteProcThreadAttributeList(list_);
  for (HANDLE handle : handles_) SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
}
