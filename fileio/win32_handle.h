// Win32 handles that close themselves.
#ifndef ZUV_FILEIO_WIN32_HANDLE_H
#define ZUV_FILEIO_WIN32_HANDLE_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace zuv::win32 {

struct CloseHandleCall {
  static BOOL Close(HANDLE handle) { return ::CloseHandle(handle); }
};
struct FindCloseCall {
  static BOOL Close(HANDLE handle) { return ::FindClose(handle); }
};

// A handle this object owns, closed once by `Closer` when the object goes or
// is given another. INVALID_HANDLE_VALUE (what CreateFileW and FindFirstFileW
// return on failure) and null hold nothing. Moves, never copies.
template <typename Closer>
class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.Release()) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { Reset(); }

  HANDLE Get() const { return handle_; }
  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }

  // Gives the handle up without closing it.
  HANDLE Release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  // Closes the handle held (its failure ignored) and holds `handle` instead.
  void Reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    const HANDLE old = handle_;
    handle_ = handle;
    if (old != INVALID_HANDLE_VALUE && old != nullptr) Closer::Close(old);
  }
  // Closes the handle now, for a caller that reports a failed close: false
  // with GetLastError telling why. Holds nothing afterwards; true when it
  // held nothing.
  bool Close() {
    const HANDLE handle = Release();
    return handle == INVALID_HANDLE_VALUE || handle == nullptr || Closer::Close(handle) != 0;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A file's handle (CreateFileW), closed with CloseHandle.
using Handle = OwnedHandle<CloseHandleCall>;
// A search's handle (FindFirstFileW), closed with FindClose.
using SearchHandle = OwnedHandle<FindCloseCall>;

}  // namespace zuv::win32

#endif  // ZUV_FILEIO_WIN32_HANDLE_H
