#include "detect_string.h"

#include <algorithm>
#include <cstring>

void CopyDetectString(char* buffer, int size) {
  if (buffer == nullptr || size < 1) return;
  const size_t length = std::min(static_cast<size_t>(size) - 1, kDetectString.size());
  std::memcpy(buffer, kDetectString.data(), length);
  buffer[length] = '\0';
}
