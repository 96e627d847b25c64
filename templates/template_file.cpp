#include "templates/template_file.h"

#include <memory>

#include "regfile/memory_file.h"
#include "templates/device_check.h"
#include "templates/driver_path.h"
#include "templates/driver_text.h"
#include "templates/template_slots.h"

namespace zuv {

namespace {

// Why the Save of `table` over `loaded` (the table the load of `before`
// gave) that turned `before` into `after` must not be written, or success:
// the file's templates stand under another driver's key, or the device would
// read the new text otherwise than the old one with the user's changes.
Status ProveSave(const DeviceView& before, std::string_view beforeText, std::string_view after,
                 const TemplateTable& loaded, const TemplateTable& table,
                 const TemplateKeys& keys) {
  Status refusal = CheckTemplateKeys(before, keys);
  if (!refusal.ok()) {
    return Status::Of(Condition::kDeviceRefused, refusal.Detail() + "; it is not changed");
  }
  refusal = CheckSavedChange(beforeText, after, loaded, table, keys, &before);
  if (!refusal.ok()) {
    return Status::Of(Condition::kDeviceRefused, "the device would not read what is saved: " +
                                                     refusal.Detail() + "; nothing was written");
  }
  return {};
}

// Why `table` cannot be saved over `loaded` without writing a template the
// device reads but the load could not show, or success.
Status TouchesUnshownTemplate(const DeviceView& before, const TemplateTable& loaded,
                              const TemplateTable& table, const TemplateKeys& keys) {
  for (const UnshownTemplate& unshown : UnshownTemplates(before, loaded, keys)) {
    if (!SameSlot(loaded[unshown.n], table[unshown.n])) {
      return Status::Of(Condition::kDeviceRefused, unshown.text + "; nothing was written");
    }
  }
  return {};
}

// Loads the table from the decoded text of the file, as the device reads it,
// and reserves the templates it cannot show.
void LoadFromText(TemplateTable& table, const std::string& text, const std::string& keyPath,
                  const DeviceView& view) {
  MemoryFileSystem copy;
  copy.SetFile(keyPath, text);
  LoadTableFromCopy(table, keyPath, copy);
  ReserveUnshownTemplates(view, table, TemplateKeysOf(keyPath));
}

// Why a Save will never write a file read as `text`, or success: an encoding
// never written, or text that does not decode (the byte offset named).
Status NotWritable(const DecodedText& text) {
  if (!IsWritableEncoding(text.encoding)) return Status::Of(Condition::kNotDecoded, text.fault);
  if (!text.valid) {
    return Status::Of(Condition::kNotDecoded, "byte offset " + std::to_string(text.faultOffset) +
                                                  ": " + text.fault + " in this " +
                                                  TextEncodingName(text.encoding) + " file");
  }
  return {};
}

}  // namespace

Status LoadTemplateTableReporting(TemplateTable& table, const std::string& path,
                                  FileSystem& fileSystem, const std::string& driverName,
                                  Status* notWritten) {
  DecodedText text;
  const Status read = ReadDriverText(path, fileSystem, &text);
  if (notWritten != nullptr) {
    *notWritten = read.ok() ? NotWritable(text).WithPath(path) : Status();
  }
  const std::string keyPath = DriverKeyPath(path, fileSystem, driverName);
  // Without a file every slot loads as from a file that does not open.
  if (!read.ok()) text.text.clear();
  LoadFromText(table, text.text, keyPath, TemplateView(text.text, TemplateKeysOf(keyPath)));
  return read.WithPath(path);
}

void LoadTemplateTable(TemplateTable& table, const std::string& path, FileSystem& fileSystem) {
  // A file that cannot be read loads as every slot free.
  static_cast<void>(LoadTemplateTableReporting(table, path, fileSystem));
}

namespace {

// The load-edit-save of a driver file, under its lock. `edit` gets the table
// loaded from the file and returns false when the Save is not to go on
// because the file changed on disk. Only the templates the edit changed are
// written, and a Save that changes nothing writes nothing.
UpdateResult LockedUpdate(const std::string& path, FileSystem& fileSystem, bool dryRun,
                          const std::function<bool(TemplateTable&)>& edit,
                          const std::string& driverName = {}) {
  UpdateResult result;
  Status& failure = result.status;
  const std::unique_ptr<FileLock> lock =
      fileSystem.Lock(path, dryRun ? LockMode::kShared : LockMode::kExclusive, &failure);
  if (!lock) {
    if (failure.ok()) failure = Status::Of(Condition::kLockTimedOut);
  } else {
    failure = ReadLockedFile(*lock, path, fileSystem, &result.before);
  }
  DecodedText decoded;
  // An 8-bit or UTF-8 file's text is its bytes: the decoded text takes them
  // over, and gives them back as `before` at the end.
  bool bytesTaken = false;
  if (failure.ok()) {
    const TextEncoding encoding = DetectEncoding(result.before);
    bytesTaken = encoding == TextEncoding::kAnsi || encoding == TextEncoding::kUtf8Bom;
    decoded = bytesTaken ? DecodeText(std::move(result.before)) : DecodeText(result.before);
    // Writing a file that does not decode back would turn what does not
    // decode into something else; it is left exactly as it is.
    const Status unwritable = NotWritable(decoded);
    if (!unwritable.ok()) {
      failure =
          Status::Of(Condition::kNotDecoded, unwritable.Detail() + "; the file is not changed");
    }
  }
  if (failure.ok()) {
    // The store derives the driver's keys from the path it opens: the
    // copy lies at the file's real path.
    const std::string keyPath = DriverKeyPath(path, fileSystem, driverName);
    const TemplateKeys keys = TemplateKeysOf(keyPath);
    const DeviceView before = TemplateView(decoded.text, keys);
    // One copy serves the load and then the Save sequence.
    MemoryFileSystem copy;
    copy.SetFile(keyPath, decoded.text);
    TemplateTable loaded;
    LoadTableFromCopy(loaded, keyPath, copy);
    ReserveUnshownTemplates(before, loaded, keys);
    TemplateTable table = loaded;
    if (!edit(table)) {
      // Told without a text: the caller asks the user what to do.
      failure = Status::Of(Condition::kChangedOnDisk);
    } else {
      failure = TouchesUnshownTemplate(before, loaded, table, keys);
      if (failure.ok()) failure = RunSaveSequence(loaded, table, keyPath, copy);
      if (failure.ok()) {
        failure = ProveSave(before, decoded.text, *copy.GetFile(keyPath), loaded, table, keys);
      }
      const std::string& saved = *copy.GetFile(keyPath);
      const std::string& beforeBytes = bytesTaken ? decoded.text : result.before;
      if (failure.ok() && saved == decoded.text) {
        result.after = beforeBytes;
      } else if (failure.ok() && !EncodeText(decoded.encoding, saved, &result.after)) {
        failure =
            Status::Of(Condition::kNotWritten, "the new text does not encode as " +
                                                   std::string(TextEncodingName(decoded.encoding)));
      }
      // Without a mark the encoding is told by the text itself: a Save that
      // moves NUL bytes to the file's start could make an 8-bit file read as
      // UTF-16 next time, and then never be written again.
      if (failure.ok() && result.after != beforeBytes &&
          DetectEncoding(result.after) != decoded.encoding) {
        failure = Status::Of(Condition::kNotWritten,
                             "the saved text would read as " +
                                 std::string(TextEncodingName(DetectEncoding(result.after))) +
                                 ", not as " + TextEncodingName(decoded.encoding));
      }
      if (failure.ok() && !dryRun && result.after != beforeBytes) {
        failure = fileSystem.ReplaceContent(path, result.after);
      }
    }
  }
  if (bytesTaken) result.before = std::move(decoded.text);
  if (!failure.ok()) {
    if (failure.condition() != Condition::kChangedOnDisk) failure = failure.WithPath(path);
    result.after = result.before;
  }
  return result;
}

}  // namespace

Status SaveTemplateTable(const TemplateTable& table, const std::string& path,
                         FileSystem& fileSystem, const TemplateTable* expected) {
  // The whole sequence runs even when a step fails, as the editor's Save
  // does; the first failure is what gets reported, and then nothing is
  // written: a Save that fails, or a process killed during one, leaves the
  // file as it was.
  return LockedUpdate(path, fileSystem, false,
                      [&](TemplateTable& onDisk) {
                        if (expected != nullptr && onDisk != *expected) return false;
                        onDisk = table;
                        return true;
                      })
      .status;
}

UpdateResult UpdateTemplateTable(const std::string& path,
                                 const std::function<void(TemplateTable&)>& edit, bool dryRun,
                                 FileSystem& fileSystem, const std::string& driverName) {
  return LockedUpdate(
      path, fileSystem, dryRun,
      [&](TemplateTable& table) {
        edit(table);
        return true;
      },
      driverName);
}

}  // namespace zuv
