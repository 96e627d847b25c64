#include "templates/template_file.h"

#include "device/device_check.h"
#include "device/device_view.h"
#include "regfile/reg_file.h"
#include "templates/configured_text.h"
#include "templates/device_reading.h"
#include "templates/driver_path.h"
#include "templates/driver_text.h"
#include "templates/save_transaction.h"
#include "templates/template_slots.h"

namespace zuv {

Status LoadTemplateTableReporting(TemplateTable& table, const std::string& path,
                                  FileSystem& fileSystem, const std::string& driverName,
                                  Status* notWritten, std::vector<UnshownTemplate>* unshown,
                                  const BuildConfiguration* configuration, Status* otherDriver) {
  DecodedText text;
  const Status read = ReadDriverText(path, fileSystem, &text);
  if (notWritten != nullptr) {
    const Status unwritable = read.ok() ? NotWritable(text) : Status();
    *notWritten = unwritable.ok() ? unwritable : unwritable.WithPath(path);
  }
  const std::string keyPath = DriverKeyPath(path, fileSystem, driverName);
  // Without a file every slot loads as from a file that holds no template.
  if (!read.ok()) text.text.clear();
  const TemplateKeys keys = TemplateKeysOf(keyPath);
  RegFile store;
  const DeviceView view = ReadDevice(text.text, path, fileSystem, configuration);
  if (otherDriver != nullptr) *otherDriver = CheckTemplateKeys(view, keys);
  // Under a named build the store sees only the lines that build reads.
  std::string configured;
  std::optional<DeviceView> everyBuild;
  if (configuration != nullptr) {
    configured = HideUnreadLines(text.text, view).text;
    everyBuild.emplace(ReadDevice(text.text, path, fileSystem, nullptr));
  }
  static_cast<void>(LoadTemplates(configuration != nullptr ? configured : text.text, keyPath, view,
                                  keys, store, table, unshown,
                                  everyBuild ? &*everyBuild : nullptr));
  return read.WithPath(path);
}

std::string UnshownTemplateText(const std::string& path, FileSystem& fileSystem,
                                const std::string& driverName, uint32_t n,
                                const BuildConfiguration* configuration) {
  TemplateTable table;
  std::vector<UnshownTemplate> unshown;
  if (!LoadTemplateTableReporting(table, path, fileSystem, driverName, nullptr, &unshown,
                                  configuration)
           .ok()) {
    return {};
  }
  for (UnshownTemplate& slot : unshown) {
    if (slot.n == n) return std::move(slot.text);
  }
  return {};
}

void LoadTemplateTable(TemplateTable& table, const std::string& path, FileSystem& fileSystem) {
  // A file that cannot be read loads as every slot free.
  static_cast<void>(LoadTemplateTableReporting(table, path, fileSystem));
}

namespace {

// The load-edit-save of a driver file as one transaction. `edit` gets the
// table loaded from the file and returns why the Save is not to go on (a
// rule's refusal, a merge left unresolved, the file changed on disk), which
// is then the result, with nothing written. Only the templates the edit
// changed are written, and a Save that changes nothing writes nothing.
UpdateResult LockedUpdate(const std::string& path, FileSystem& fileSystem, bool dryRun,
                          const std::function<Status(TemplateTable&)>& edit,
                          const std::string& driverName = {},
                          const BuildConfiguration* configuration = nullptr) {
  UpdateResult result;
  SaveTransaction save(path, fileSystem, dryRun, driverName, configuration);
  Status status = save.Begin();
  if (status.ok()) status = edit(save.Table());
  if (status.ok()) status = save.Prepare();
  if (status.ok()) {
    if (dryRun) {
      result.beforeText = save.BeforeText();
      result.afterText = save.AfterText();
    }
    status = save.Commit();
  } else {
    save.Discard();
  }
  if (status.ok()) {
    result.after = save.TakeAfterBytes();
    result.notes = save.Notes();
  }
  result.before = save.TakeBeforeBytes();
  if (!status.ok()) result.after = result.before;
  result.status = status;
  return result;
}

}  // namespace

Status SaveTemplateTable(const TemplateTable& table, const std::string& path,
                         FileSystem& fileSystem, const TemplateTable* expected) {
  // A Save that fails, or a process killed during one, leaves the file as it
  // was.
  return LockedUpdate(path, fileSystem, false,
                      [&](TemplateTable& onDisk) {
                        // Told without a text: the caller asks the user what to do.
                        if (expected != nullptr && onDisk != *expected) {
                          return Status::Of(Condition::kChangedOnDisk);
                        }
                        onDisk = table;
                        return Status();
                      })
      .status;
}

UpdateResult UpdateTemplateTable(const std::string& path,
                                 const std::function<Status(TemplateTable&)>& edit, bool dryRun,
                                 FileSystem& fileSystem, const std::string& driverName,
                                 const BuildConfiguration* configuration) {
  return LockedUpdate(path, fileSystem, dryRun, edit, driverName, configuration);
}

}  // namespace zuv
