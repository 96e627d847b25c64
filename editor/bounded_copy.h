// The copy of a host's argument into a fixed-size field.
#ifndef ZUV_EDITOR_BOUNDED_COPY_H
#define ZUV_EDITOR_BOUNDED_COPY_H

#include <cstddef>
#include <cstring>

namespace zuv {

// Copies at most size - 1 characters and terminates; reads no further than
// that from `source`.
inline void CopyBounded(char* target, size_t size, const char* source) {
  size_t length = source != nullptr ? strnlen(source, size - 1) : 0;
  std::memset(target, 0, size);
  if (length != 0) std::memcpy(target, source, length);
}

}  // namespace zuv

#endif  // ZUV_EDITOR_BOUNDED_COPY_H
