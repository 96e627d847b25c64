#include "base/status.h"

namespace zuv {

namespace {

// The words of a condition whose status carries no detail of its own.
const char* DefaultText(Condition condition) {
  switch (condition) {
    case Condition::kNotDecoded:
      return "the file's text does not decode";
    case Condition::kDeviceRefused:
      return "the device would read the file otherwise than saved";
    case Condition::kRuleRefused:
      return "the change is refused";
    case Condition::kNotWritten:
      return "the file was not written";
    case Condition::kChangedOnDisk:
      return "another program changed the file's templates since they were read";
    default:
      return "the operation failed";
  }
}

}  // namespace

Status Status::System(uint32_t code, std::string path) {
  Status status;
  status.condition_ = Condition::kSystem;
  status.code_ = code != 0 ? code : kNoSystemCode;
  status.path_ = std::move(path);
  return status;
}

Status Status::Of(Condition condition, std::string detail) {
  Status status;
  status.condition_ = condition;
  status.detail_ = std::move(detail);
  return status;
}

Status Status::Refusal(int rule, std::string detail) {
  Status status = Of(Condition::kRuleRefused, std::move(detail));
  status.rule_ = rule;
  return status;
}

Status Status::NoSafeCopy(uint32_t code, std::string folder) {
  Status status;
  status.condition_ = Condition::kNoSafeCopy;
  status.code_ = code != 0 ? code : kNoSystemCode;
  status.detail_ = std::move(folder);
  return status;
}

Status Status::LockTimedOut(uint32_t waited) {
  return Of(Condition::kLockTimedOut,
            "another program holds the file locked (waited " + std::to_string(waited / 1000) +
                (waited % 1000 != 0 ? "." + std::to_string(waited % 1000 / 100) : std::string()) +
                " s)");
}

Status Status::LockWaitMalformed(std::string value, uint32_t longest) {
  return Of(Condition::kLockWaitMalformed, "ZUV8620_LOCK_WAIT_MS is \"" + value +
                                               "\", not a number of milliseconds from 0 to " +
                                               std::to_string(longest));
}

std::string ReasonText(const Status& status) {
  switch (status.condition()) {
    case Condition::kOk:
      return {};
    case Condition::kSystem:
      return SystemErrorText(status.SystemCode());
    case Condition::kLockTimedOut:
      return status.Detail().empty() ? "another program holds the file locked" : status.Detail();
    case Condition::kLockWaitMalformed:
      return status.Detail().empty() ? "ZUV8620_LOCK_WAIT_MS is not a number of milliseconds"
                                     : status.Detail();
    case Condition::kReadOnly:
      return "the file is read-only";
    case Condition::kReadOnlyAttribute:
      return "the file is read-only (its Read-only attribute is set: clear it in the file's "
             "Properties, or with attrib -r, to save)";
    case Condition::kNoSafeCopy:
      return "no copy of the old content could be written to the temporary folder " +
             status.Detail() + ": " + SystemErrorText(status.SystemCode()) +
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
  return status.Detail().empty() ? DefaultText(status.condition()) : status.Detail();
}

void FailedValueUsed(const Status& failure) {
  ZUV_BUG("the value of a failed StatusOr was used (" + ErrorText(failure) + ")");
}

std::string ErrorText(const Status& status) {
  if (status.ok()) return {};
  const std::string reason = ReasonText(status);
  return status.Path().empty() ? reason : status.Path() + ": " + reason;
}

}  // namespace zuv
