#include "regfile/status.h"

#include <cstdlib>

#include "regfile/file.h"
#include "regfile/file_platform.h"

namespace zuv {

namespace {

// What a system that failed without a code is taken to mean: an input/output
// error (EIO on Linux, ERROR_GEN_FAILURE on Windows).
#ifdef _WIN32
constexpr uint32_t kUnknownSystemError = 31;
#else
constexpr uint32_t kUnknownSystemError = 5;
#endif

std::string LockTimedOutText() {
  const uint32_t wait = LockWaitMilliseconds();
  return "another program holds the file locked (waited " + std::to_string(wait / 1000) +
         (wait % 1000 != 0 ? "." + std::to_string(wait % 1000 / 100) : std::string()) + " s)";
}

std::string LockWaitMalformedText() {
  const char* text = std::getenv("ZUV8620_LOCK_WAIT_MS");
  return "ZUV8620_LOCK_WAIT_MS is \"" + std::string(text != nullptr ? text : "") +
         "\", not a number of milliseconds from 0 to " + std::to_string(kLockWaitLongest);
}

}  // namespace

Status Status::System(uint32_t code, std::string path, const char* operation) {
  Status status;
  status.condition_ = Condition::kSystem;
  status.code_ = code != 0 ? code : kUnknownSystemError;
  status.path_ = std::move(path);
  status.operation_ = operation;
  return status;
}

Status Status::Of(Condition condition, std::string detail) {
  Status status;
  status.condition_ = condition;
  status.detail_ = std::move(detail);
  return status;
}

Status Status::NoSafeCopy(uint32_t code) {
  Status status;
  status.condition_ = Condition::kNoSafeCopy;
  status.code_ = code != 0 ? code : kUnknownSystemError;
  return status;
}

std::string ReasonText(const Status& status) {
  switch (status.condition()) {
    case Condition::kOk:
      return {};
    case Condition::kSystem:
      return SystemErrorText(status.SystemCode());
    case Condition::kLockTimedOut:
      return LockTimedOutText();
    case Condition::kLockWaitMalformed:
      return LockWaitMalformedText();
    case Condition::kReadOnly:
      return "the file is read-only";
    case Condition::kReadOnlyAttribute:
      return "the file is read-only (its Read-only attribute is set: clear it in the file's "
             "Properties, or with attrib -r, to save)";
    case Condition::kNoSafeCopy:
      return "no copy of the old content could be written to the temporary folder " +
             platform::TemporaryFolderName() + ": " + SystemErrorText(status.SystemCode()) +
             "; nothing was written";
    case Condition::kNotRegularFile:
      return "not a regular file" +
             (status.Detail().empty() ? std::string() : " (" + status.Detail() + ")");
    case Condition::kNotDecoded:
    case Condition::kDeviceRefused:
    case Condition::kRuleRefused:
    case Condition::kNotWritten:
    case Condition::kChangedOnDisk:
      break;
  }
  return status.Detail();
}

std::string ErrorText(const Status& status) {
  if (status.ok()) return {};
  const std::string reason = ReasonText(status);
  return status.Path().empty() ? reason : status.Path() + ": " + reason;
}

}  // namespace zuv
