#include "templates/template_file.h"

#include <memory>

#include "regfile/memory_file.h"
#include "templates/device_check.h"
#include "templates/driver_path.h"
#include "templates/driver_text.h"
#include "templates/template_slots.h"

namespace zuv {

namespace {

// Why the Save of `table` that turned `before` into `after` must not be
// written, or an empty string: the file's templates stand under another
// driver's key, or the device would read the new text otherwise than saved.
std::string ProveSave(std::string_view before, std::string_view after,
                      const TemplateTable& table, const std::string& keyPath) {
  const TemplateKeys keys = TemplateKeysOf(keyPath);
  std::string refusal = CheckTemplateKeys(before, keyPath, keys);
  if (!refusal.empty()) return refusal + "; it is not changed";
  refusal = CheckSavedText(before, after, table, keys);
  if (!refusal.empty()) {
    return "the device would not read what is saved: " + refusal + "; nothing was written";
  }
  return {};
}

}  // namespace

uint32_t LoadTemplateTableReporting(TemplateTable& table, const std::string& path,
                                    FileSystem& fileSystem, const std::string& driverName,
                                    std::string* notWritten) {
  DecodedText text;
  const uint32_t error = ReadDriverText(path, fileSystem, &text);
  if (notWritten != nullptr) {
    notWritten->clear();
    if (error == 0 && !IsWritableEncoding(text.encoding)) {
      *notWritten = text.fault;
    } else if (error == 0 && !text.valid) {
      *notWritten = "byte offset " + std::to_string(text.faultOffset) + ": " + text.fault +
                    " in this " + TextEncodingName(text.encoding) + " file";
    }
  }
  MemoryFileSystem copy;
  const std::string keyPath = DriverKeyPath(path, fileSystem, driverName);
  // Without a file every slot loads as from a file that does not open.
  if (error == 0) copy.SetFile(keyPath, std::move(text.text));
  LoadTableFromCopy(table, keyPath, copy);
  return error;
}

void LoadTemplateTable(TemplateTable& table, const std::string& path, FileSystem& fileSystem) {
  LoadTemplateTableReporting(table, path, fileSystem);
}

namespace {

// The load-edit-save of a driver file, under its lock. `edit` gets the table
// loaded from the file (only with `load`) and returns false when the Save is
// not to go on because the file changed on disk.
UpdateResult LockedUpdate(const std::string& path, FileSystem& fileSystem, bool dryRun,
                          bool load, const std::function<bool(TemplateTable&)>& edit,
                          const std::string& driverName = {}) {
  UpdateResult result;
  SaveFailure failure;
  bool changedOnDisk = false;
  uint32_t error = 0;
  const std::unique_ptr<FileLock> lock =
      fileSystem.Lock(path, dryRun ? LockMode::kShared : LockMode::kExclusive, &error);
  if (!lock) {
    failure.Note(error, DriverFileErrorText(error != 0 ? error : kLockTimedOut));
  } else if ((error = ReadWholeFile(path, fileSystem, &result.before)) != 0) {
    failure.NoteSystem(error);
  } else {
    const DecodedText decoded = DecodeText(result.before);
    if (!IsWritableEncoding(decoded.encoding)) {
      failure.Note(0, decoded.fault + "; the file is not changed");
    } else if (!decoded.valid) {
      // Writing such a file back would turn what does not decode into
      // something else; it is left exactly as it is.
      failure.Note(0, "byte offset " + std::to_string(decoded.faultOffset) + ": " +
                          decoded.fault + " in this " + TextEncodingName(decoded.encoding) +
                          " file; it is not changed");
    } else {
      // The store derives the driver's keys from the path it opens: the
      // copy lies at the file's real path.
      const std::string keyPath = DriverKeyPath(path, fileSystem, driverName);
      MemoryFileSystem copy;
      copy.SetFile(keyPath, decoded.text);
      TemplateTable table;
      if (load) LoadTableFromCopy(table, keyPath, copy);
      if (!edit(table)) {
        changedOnDisk = true;
      } else {
        RunSaveSequence(table, keyPath, copy, failure);
        if (!failure.failed) {
          const std::string refusal =
              ProveSave(decoded.text, *copy.GetFile(keyPath), table, keyPath);
          if (!refusal.empty()) failure.Note(0, refusal);
        }
        if (!failure.failed &&
            !EncodeText(decoded.encoding, *copy.GetFile(keyPath), &result.after)) {
          failure.Note(0, "the new text does not encode as " +
                              std::string(TextEncodingName(decoded.encoding)));
        }
        if (!failure.failed && !dryRun && result.after != result.before) {
          const uint32_t replaceError = fileSystem.ReplaceContent(path, result.after);
          if (replaceError != 0) failure.Note(replaceError, FileErrorText(replaceError));
        }
      }
    }
  }
  if (changedOnDisk) {
    result.save.ok = false;
    result.save.changedOnDisk = true;
  } else if (failure.failed) {
    result.save.ok = false;
    result.save.systemError = failure.systemError;
    result.save.message = path + ": " + failure.reason;
  }
  if (!result.save.ok) result.after = result.before;
  return result;
}

}  // namespace

SaveResult SaveTemplateTable(const TemplateTable& table, const std::string& path,
                             FileSystem& fileSystem, const TemplateTable* expected) {
  // The whole sequence runs even when a step fails, as the editor's Save
  // does; the first failure is what gets reported, and then nothing is
  // written: a Save that fails, or a process killed during one, leaves the
  // file as it was.
  return LockedUpdate(path, fileSystem, false, expected != nullptr,
                      [&](TemplateTable& onDisk) {
                        if (expected != nullptr && onDisk != *expected) return false;
                        onDisk = table;
                        return true;
                      })
      .save;
}

UpdateResult UpdateTemplateTable(const std::string& path,
                                 const std::function<void(TemplateTable&)>& edit, bool dryRun,
                                 FileSystem& fileSystem, const std::string& driverName) {
  return LockedUpdate(
      path, fileSystem, dryRun, true,
      [&](TemplateTable& table) {
        edit(table);
        return true;
      },
      driverName);
}

}  // namespace zuv
