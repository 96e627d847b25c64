// The one result of the file layer and of the operations on a driver file's
// templates: success, a system error (its code and the path),
// or one of this program's own conditions. ErrorText words any of them for
// the user.
#ifndef ZUV_BASE_STATUS_H
#define ZUV_BASE_STATUS_H

#include <cstdint>
#include <string>
#include <utility>

#include "base/bug.h"

namespace zuv {

enum class Condition {
  kOk,
  // The system refused a call: SystemCode() says why.
  kSystem,
  // Another program held the file's lock for the whole wait.
  kLockTimedOut,
  // ZUV8620_LOCK_WAIT_MS holds something other than a number of milliseconds.
  kLockWaitMalformed,
  // A write refused because the file is read-only: its mode or access list, a
  // read-only file system or medium, an immutable file.
  kReadOnly,
  // A write refused because the file has Windows' read-only attribute.
  kReadOnlyAttribute,
  // An in-place write refused because the copy of the old content could not
  // be written to the temporary folder; SystemCode() is the system's reason.
  kNoSafeCopy,
  // Text that does not decode, or an encoding never written: Detail() says
  // where and why.
  kNotDecoded,
  // The device would read the saved file otherwise than saved, or the file's
  // templates stand under another driver's key: Detail() says where.
  kDeviceRefused,
  // An edit or a document a rule refuses: Detail() is the rule's text, Rule()
  // the code its owner gives the rule (0 for none in particular).
  kRuleRefused,
  // A step of a save that failed without a system error (no memory, a value
  // not written, text that does not encode): Detail() says which.
  kNotWritten,
  // Another program changed the templates since they were loaded.
  kChangedOnDisk,
  // The path names something other than a regular file (a folder, a FIFO, a
  // device): refused before anything is read. Detail() names what it is.
  kNotRegularFile,
};

// What a system that failed without a code is taken to mean: an input/output
// error (EIO on Linux, ERROR_GEN_FAILURE on Windows). Every failure without a
// code of its own gets this one.
#ifdef _WIN32
constexpr uint32_t kNoSystemCode = 31;
#else
constexpr uint32_t kNoSystemCode = 5;
#endif

// Each failure carries the words for it, taken when it happened (the wait
// that ran out, the variable's text, the folder tried), so that wording it
// later never asks the environment again; and a failure never words as empty.
class [[nodiscard]] Status {
 public:
  // Success.
  Status() = default;

  // The system's error code (errno on Linux, GetLastError() on Windows); a
  // code of 0 (a system that failed without saying why) becomes
  // kNoSystemCode, the platform's input/output error.
  static Status System(uint32_t code, std::string path = {});
  // A condition of this program's own, with the text that says more.
  static Status Of(Condition condition, std::string detail = {});
  // kRuleRefused by the rule its owner numbers `rule` (not 0), in `detail`'s
  // words.
  static Status Refusal(int rule, std::string detail);
  // kNoSafeCopy with the system's reason and the temporary folder tried.
  static Status NoSafeCopy(uint32_t code, std::string folder);
  // kLockTimedOut after waiting `waited` milliseconds.
  static Status LockTimedOut(uint32_t waited);
  // kLockWaitMalformed for the text ZUV8620_LOCK_WAIT_MS held, which is not a
  // number of milliseconds from 0 to `longest`.
  static Status LockWaitMalformed(std::string value, uint32_t longest);

  bool ok() const { return condition_ == Condition::kOk; }
  Condition condition() const { return condition_; }
  // The system's code of kSystem and kNoSafeCopy; 0 for any other.
  uint32_t SystemCode() const { return code_; }
  const std::string& Path() const { return path_; }
  const std::string& Detail() const { return detail_; }
  // The rule of a Refusal; 0 for any other status.
  int Rule() const { return rule_; }

  // The same status naming the file the user gave.
  Status WithPath(std::string path) const {
    Status named = *this;
    named.path_ = std::move(path);
    return named;
  }

 private:
  Condition condition_ = Condition::kOk;
  uint32_t code_ = 0;
  int rule_ = 0;
  std::string path_;
  std::string detail_;
};

// Stops the program: the value of a StatusOr that holds `failure` was used.
[[noreturn]] void FailedValueUsed(const Status& failure);

// A value, or the failure that says why there is none: what an open or a
// lock returns. A failure given as success becomes a failure without a
// system code, so a missing value is never taken for one that is there; and
// the value of a failure is never handed out (a BUG, in every build).
template <class T>
class [[nodiscard]] StatusOr {
 public:
  StatusOr(T value) : value_(std::move(value)) {}  // NOLINT: a value converts
  StatusOr(Status status)                          // NOLINT: so does a failure
      : status_(status.ok() ? Status::System(0) : std::move(status)) {}

  bool ok() const { return status_.ok(); }
  const Status& status() const { return status_; }
  T& operator*() { return Value(); }
  T* operator->() { return &Value(); }
  // The value, moved out.
  T Take() { return std::move(Value()); }

 private:
  T& Value() {
    if (!ok()) FailedValueUsed(status_);
    return value_;
  }

  T value_{};
  Status status_;
};

// The reason alone: the system's text for its code ("No space left on
// device"), or this program's own words for a condition.
std::string ReasonText(const Status& status);
// What users read: "PATH: reason", or the reason alone for a status without
// a path. Empty for success only.
std::string ErrorText(const Status& status);

// The system's own text for an error code of this platform ("No space left on
// device"), without a trailing line end.
std::string SystemErrorText(uint32_t systemError);

}  // namespace zuv

#endif  // ZUV_BASE_STATUS_H
