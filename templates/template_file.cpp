#include "templates/template_file.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include "regfile/memory_file.h"
#include "regfile/reg_file.h"
#include "templates/driver_path.h"
#include "templates/device_check.h"
#include "templates/template_slots.h"

namespace zuv {

namespace {

// Truncation toward zero into 32 bits. Values outside that range (and NaN)
// cannot come from a text the loader read, but a record filled by other means
// must not make the conversion undefined: they saturate (NaN gives 0).
long TruncateToInt32(float value) {
  if (value != value) return 0;
  if (value >= 2147483648.0f) return INT32_MAX;
  if (value < -2147483648.0f) return INT32_MIN;
  return static_cast<long>(static_cast<int32_t>(value));
}

// The first failure of a Save, kept for the report; later ones add nothing.
struct Failure {
  bool failed = false;
  uint32_t systemError = 0;
  std::string reason;

  void Note(uint32_t code, std::string text) {
    if (failed) return;
    failed = true;
    systemError = code;
    reason = std::move(text);
  }
  void NoteSystem(uint32_t code) { Note(code, SystemErrorText(code)); }
};

bool SaveTemplateReporting(const DeviceTemplate& slot, uint32_t n, const std::string& path,
                           FileSystem& fileSystem, Failure& failure) {
  RegFile reg(fileSystem);
  const uint32_t openError = reg.Open(path.c_str());
  if (openError != 0) {
    failure.NoteSystem(openError);
    return false;
  }
  try {
    if (reg.TemplateSectionExists(n) == 0) reg.AppendTemplateSection(n);
    std::string text0 = FormatAoSetting(slot.AOSettings[0]);
    std::string text1 = FormatAoSetting(slot.AOSettings[1]);
    uint32_t switchId = slot.SwitchID;
    uint32_t chanConfig = slot.ChanConfig;
    RegValueEntry table[] = {
        {"SwitchID", kRegDword, sizeof switchId, &switchId},
        {"ChanConfig", kRegDword, sizeof chanConfig, &chanConfig},
        {"AOSettings 0", kRegSz, static_cast<uint32_t>(text0.size()), text0.data()},
        {"AOSettings 1", kRegSz, static_cast<uint32_t>(text1.size()), text1.data()},
        {nullptr, 0, 0, nullptr},
    };
    if (reg.TransferValues(n, table, kTransferWrite) == 0) {
      const uint32_t writeError = reg.LastError();
      if (writeError != 0) {
        failure.NoteSystem(writeError);
      } else {
        failure.Note(0, "a value of template " + std::to_string(n) + " could not be written");
      }
    }
  } catch (const FileError& error) {
    failure.NoteSystem(error.SystemError());
  }
  reg.Close();
  return true;
}

void DeleteTemplateReporting(uint32_t n, const std::string& path, FileSystem& fileSystem,
                             Failure& failure) {
  RegFile reg(fileSystem);
  const uint32_t openError = reg.Open(path.c_str());
  if (openError != 0) {
    failure.NoteSystem(openError);
    return;
  }
  try {
    // A file may hold the same template's section twice; the next load would
    // bring the template back from a copy left behind, so every copy goes.
    while (reg.TemplateSectionExists(n) != 0) {
      if (reg.RemoveTemplateSection(n) != 0) {
        failure.Note(0, "not enough memory to remove template " + std::to_string(n));
        break;
      }
    }
  } catch (const FileError& error) {
    failure.NoteSystem(error.SystemError());
  }
  reg.Close();
}

// The whole content of an existing file, opened for reading only (a save
// writes through ReplaceContent). 0, or the system's error code.
uint32_t ReadWholeFile(const std::string& path, FileSystem& fileSystem, std::string* content) {
  uint32_t error = 0;
  std::unique_ptr<File> file = fileSystem.OpenForReading(path, &error);
  if (!file) return error != 0 ? error : 2;
#ifdef _WIN32
  constexpr uint32_t kTooLarge = 223;   // ERROR_FILE_TOO_LARGE
  constexpr uint32_t kNoMemory = 8;     // ERROR_NOT_ENOUGH_MEMORY
#else
  constexpr uint32_t kTooLarge = EFBIG;
  constexpr uint32_t kNoMemory = ENOMEM;
#endif
  try {
    const uint64_t length = file->GetLength();
    // The store addresses its text with 32-bit offsets.
    if (length >= 0x7FFFFFFFu) return kTooLarge;
    content->resize(static_cast<size_t>(length));
    file->Seek(0, SeekOrigin::Begin);
    content->resize(file->Read(content->data(), content->size()));
    file->Close();
  } catch (const FileError& e) {
    return e.SystemError() != 0 ? e.SystemError() : 5;
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  return 0;
}

// The Save sequence on the copy in memory.
void RunSaveSequence(const TemplateTable& table, const std::string& path, FileSystem& copy,
                     Failure& failure) {
  for (uint32_t n = kTemplateCount; n-- > 0;) {
    if (table[n].Used == 0) DeleteTemplateReporting(n, path, copy, failure);
  }
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (table[n].Used != 0) SaveTemplateReporting(table[n], n, path, copy, failure);
  }
}

void LoadFromCopy(TemplateTable& table, const std::string& path, MemoryFileSystem& copy);

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

std::string DriverKeyPath(const std::string& path, FileSystem& fileSystem,
                          const std::string& driverName) {
  if (!driverName.empty()) return ComposeDriverFilePath("", driverName, '/');
#ifndef _WIN32
  // Only a path through a symbolic link changes: any other keeps the name it
  // was given, so its keys and bus come from the same text as always.
  if (&fileSystem == &NativeFileSystem()) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(path, error);
    if (!error) {
      const std::filesystem::path plain = std::filesystem::absolute(path, error).lexically_normal();
      if (!error && plain != real) return real.string();
    }
  }
#else
  (void)fileSystem;
#endif
  return path;
}

std::string FormatAoSetting(const AoSetting& setting) {
  char text[64];
  std::snprintf(text, sizeof text, " %5" PRIu32 " %5ld %5ld", setting.Code,
                TruncateToInt32(setting.RefHigh), TruncateToInt32(setting.RefLow));
  return text;
}

int ParseAoSettingFields(const char* text, AoSetting* setting) {
  if (text == nullptr) return 0;
  // Decimal numbers, blanks before each. Code takes the low 16 bits of what is
  // read (a negative number wraps as an unsigned one would); the ends are read
  // as 32-bit signed numbers, saturating beyond that range.
  const char* cursor = text;
  char* end = nullptr;
  errno = 0;
  const unsigned long long code = std::strtoull(cursor, &end, 10);
  if (end == cursor) return 0;
  setting->Code = static_cast<uint32_t>(code & 0xFFFFu);
  float* ends[2] = {&setting->RefHigh, &setting->RefLow};
  for (int i = 0; i < 2; ++i) {
    cursor = end;
    long long value = std::strtoll(cursor, &end, 10);
    if (end == cursor) return 1 + i;
    if (value > INT32_MAX) value = INT32_MAX;
    if (value < INT32_MIN) value = INT32_MIN;
    *ends[i] = static_cast<float>(value);
  }
  return 3;
}

void ParseAoSetting(const char* text, AoSetting* setting) { ParseAoSettingFields(text, setting); }

bool LoadTemplate(DeviceTemplate& slot, uint32_t n, const std::string& path,
                  MemoryFileSystem& fileSystem) {
  slot.ChanConfig = 0;
  slot.AOSettings[0] = kDefaultAoSetting;
  slot.AOSettings[1] = kDefaultAoSetting;

  RegFile reg(fileSystem);
  if (reg.Open(path.c_str()) != 0) return false;
  bool found = false;
  try {
    // Every value goes into a temporary sized for the type the record expects
    // and is taken only when the file holds it with that type; a value of
    // another type counts as missing.
    uint32_t type = 0;
    uint32_t size = 0;
    uint32_t switchId = 0;
    if (reg.QueryValue(n, "SwitchID", &type, &switchId, &size, sizeof switchId) == 0 &&
        type == kRegDword) {
      found = true;
      slot.SwitchID = switchId;

      uint32_t chanConfig = 0;
      // One byte more than the capacity handed over stays zero: the terminator
      // of a text cut to kAoTextMaxLength.
      char text[2][kAoTextMaxLength + 1] = {};
      RegValueEntry table[] = {
          {"ChanConfig", 0, sizeof chanConfig, &chanConfig},
          {"AOSettings 0", 0, kAoTextMaxLength, text[0]},
          {"AOSettings 1", 0, kAoTextMaxLength, text[1]},
          {nullptr, 0, 0, nullptr},
      };
      reg.TransferValues(n, table, kTransferRead);
      if (table[0].dwType == kRegDword) slot.ChanConfig = chanConfig;
      for (int i = 0; i < 2; ++i) {
        if (table[1 + i].dwType == kRegSz) ParseAoSetting(text[i], &slot.AOSettings[i]);
      }
    }
  } catch (const FileError&) {
    // A file that fails while it is read gives what was read so far.
  }
  reg.Close();
  return found;
}

namespace {

void LoadFromCopy(TemplateTable& table, const std::string& path, MemoryFileSystem& copy) {
  table.Clear();
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    table[n].SwitchID = n;
    if (LoadTemplate(table[n], n, path, copy)) table[n].Used = 1;
  }
}

}  // namespace

bool SaveTemplate(const DeviceTemplate& slot, uint32_t n, const std::string& path,
                  MemoryFileSystem& fileSystem) {
  Failure ignored;
  return SaveTemplateReporting(slot, n, path, fileSystem, ignored);
}

bool DeleteTemplateFromFile(uint32_t n, const std::string& path, MemoryFileSystem& fileSystem) {
  Failure ignored;
  DeleteTemplateReporting(n, path, fileSystem, ignored);
  return true;
}

uint32_t ReadDriverText(const std::string& path, FileSystem& fileSystem, DecodedText* text) {
  uint32_t error = 0;
  const std::unique_ptr<FileLock> lock = fileSystem.Lock(path, LockMode::kShared, &error);
  if (!lock) return error != 0 ? error : kLockTimedOut;
  std::string bytes;
  error = ReadWholeFile(path, fileSystem, &bytes);
  if (error == 0) *text = DecodeText(std::move(bytes));
  return error;
}

std::string DriverFileErrorText(uint32_t systemError) {
  if (systemError == kLockTimedOut) {
    const uint32_t wait = LockWaitMilliseconds();
    return "another program holds the file locked (waited " + std::to_string(wait / 1000) +
           (wait % 1000 != 0 ? "." + std::to_string(wait % 1000 / 100) : std::string()) + " s)";
  }
  return FileErrorText(systemError);
}

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
  LoadFromCopy(table, keyPath, copy);
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
  Failure failure;
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
      if (load) LoadFromCopy(table, keyPath, copy);
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
