// The library's few process-wide lists are shared by the editors of every
// host thread that called DriverConfig; each is guarded by a slim lock held
// only while the list is read or changed, never across a call that may
// dispatch messages.
#ifndef ZUV_WINUI_LOCK_H
#define ZUV_WINUI_LOCK_H

#include <windows.h>

namespace winui {

class ExclusiveLock {
 public:
  explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
  ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

 private:
  SRWLOCK& lock_;
};

}  // namespace winui

#endif  // ZUV_WINUI_LOCK_H
