#include "templates/save_transaction.h"

#include <algorithm>
#include <exception>

#include "base/bug.h"
#include "device/unchanged_bytes.h"
#include "templates/configured_text.h"
#include "templates/device_expectation.h"
#include "templates/device_reading.h"
#include "templates/driver_path.h"
#include "templates/driver_text.h"
#include "templates/template_slots.h"

namespace zuv {

namespace {

// Why `table` cannot be saved over `loaded` without writing a template the
// device reads but the load could not show, or success.
Status TouchesUnshownTemplate(const DeviceView& before, const ExpectedTable& loaded,
                              const ExpectedTable& table, const TemplateKeys& keys) {
  // Only the templates the Save changes are looked at: the others it does
  // not write.
  uint32_t changed = 0;
  for (uint32_t n = 0; n < kDeviceTemplateCount; ++n) {
    if (!SameSlot(loaded[n], table[n])) changed |= 1u << n;
  }
  if (changed == 0) return {};
  const std::vector<UnshownTemplate> unshown = UnshownTemplates(before, loaded, keys, changed);
  if (unshown.empty()) return {};
  return Status::Of(Condition::kDeviceRefused, unshown.front().text + "; nothing was written");
}

// Why the Save of `table` over `loaded` (the table the load of `before`
// gave) that turned `beforeText` into `after` must not be written, or
// success: the file's templates stand under another driver's key, or the
// device would read the new text otherwise than the old one with the user's
// changes.
Status ProveSave(const DeviceView& before, const DeviceView* everyBuild,
                 std::string_view beforeText, std::string_view after, const ExpectedTable& loaded,
                 const ExpectedTable& table, const TemplateKeys& keys, const std::string& path,
                 FileSystem& fileSystem, const BuildConfiguration* configuration,
                 std::vector<std::string>* notes) {
  Status refusal = CheckTemplateKeys(before, keys);
  if (!refusal.ok()) {
    return Status::Of(Condition::kDeviceRefused, refusal.Detail() + "; it is not changed");
  }
  // The same text with the same table reads the same: the reading of both
  // texts has nothing to find.
  bool same = after == beforeText;
  for (uint32_t n = 0; same && n < kDeviceTemplateCount; ++n) same = SameSlot(loaded[n], table[n]);
  if (same) return {};
  // Both texts are read in every configuration: a Save made for one build
  // must leave every other build reading as before but through the lines it
  // changed.
  const DeviceView now = ReadDevice(after, path, fileSystem, nullptr);
  refusal =
      CheckSavedText(everyBuild ? *everyBuild : before, now, loaded, table, keys, configuration);
  if (!refusal.ok()) {
    return Status::Of(Condition::kDeviceRefused, "the device would not read what is saved: " +
                                                     refusal.Detail() + "; nothing was written");
  }
  // Two templates the Save gives one board id in a build that reads both
  // but not in every build (the table shows, and its rules judge, a clash
  // in every build).
  // Only pairs with a template the Save changed are read.
  uint32_t changed = 0;
  for (uint32_t n = 0; n < kDeviceTemplateCount; ++n) {
    if (!SameSlot(loaded[n], table[n])) changed |= 1u << n;
  }
  const DeviceView& old = everyBuild ? *everyBuild : before;
  const bool conditions = now.Atoms().size() != 0 && changed != 0;
  const std::vector<ReadBoardIdClash> had =
      conditions ? FindBoardIdClashes(old, keys, changed) : std::vector<ReadBoardIdClash>();
  const std::vector<ReadBoardIdClash> has =
      conditions ? FindBoardIdClashes(now, keys, changed) : std::vector<ReadBoardIdClash>();
  for (const ReadBoardIdClash& clash : has) {
    if (!clash.conditional) continue;
    const bool known = std::any_of(had.begin(), had.end(), [&](const ReadBoardIdClash& before) {
      return before.n == clash.n && before.m == clash.m;
    });
    if (!known) {
      return Status::Of(Condition::kDeviceRefused,
                        clash.text + "; choose another board id; " + "nothing was written");
    }
  }
  if (configuration != nullptr) {
    *notes = ChangesElsewhere(*everyBuild, now, loaded, table, keys, *configuration);
  }
  // A Save that leaves none of this driver's templates the device reads
  // beside another driver's of the same shape would turn the file into a
  // copy of that driver's, which every later Save refuses; so would one
  // whose table still holds a template the device does not read (in a
  // block the build leaves out).
  refusal = CheckTemplateKeys(now, keys, OtherDriverHint::kNone);
  if (!refusal.ok()) {
    return Status::Of(Condition::kDeviceRefused,
                      "the file would keep only another driver's templates: " + refusal.Detail() +
                          "; nothing was written");
  }
  return {};
}

}  // namespace

Status LoadTemplates(const std::string& text, const std::string& keyPath, const DeviceView& view,
                     const TemplateKeys& keys, RegFile& store, TemplateTable& table,
                     std::vector<UnshownTemplate>* unshown, const DeviceView* everyBuild) {
  const Status opened = store.OpenText(text, keyPath) != 0 ? store.LastStatus() : Status();
  LoadTable(table, store);
  std::vector<UnshownTemplate> reserved = ReserveUnshownTemplates(
      view, table, keys, unshown != nullptr ? UnshownWords::kWorded : UnshownWords::kUnworded,
      everyBuild);
  if (unshown != nullptr) *unshown = std::move(reserved);
  return opened;
}

void SaveTransaction::Misused(const char* what) const {
  static const char* const kSteps[] = {"not begun", "begun", "prepared", "failed", "ended"};
  ZUV_BUG(std::string("SaveTransaction: ") + what + " (the transaction is " +
          kSteps[static_cast<int>(step_)] + ")");
}

Status SaveTransaction::Failed(Status failure) {
  step_ = Step::kFailed;
  failure_ = failure;
  return failure;
}

SaveTransaction::SaveTransaction(std::string path, FileSystem& fileSystem, bool dryRun,
                                 std::string driverName, const BuildConfiguration* configuration)
    : path_(std::move(path)),
      fileSystem_(fileSystem),
      dryRun_(dryRun),
      driverName_(std::move(driverName)),
      configuration_(configuration),
      exceptions_(std::uncaught_exceptions()) {}

SaveTransaction::~SaveTransaction() {
  // Every transaction that was begun ends in Commit or Discard, unless an
  // exception unwinds it.
  if (step_ != Step::kNew && step_ != Step::kDone && std::uncaught_exceptions() == exceptions_) {
    Misused("destroyed neither committed nor discarded");
  }
}

Status SaveTransaction::Begin() {
  if (step_ != Step::kNew) Misused("Begin out of order");
  step_ = Step::kBegun;
  StatusOr<std::unique_ptr<FileLock>> lock =
      fileSystem_.Lock(path_, dryRun_ ? LockMode::kShared : LockMode::kExclusive);
  if (!lock.ok()) return Failed(lock.status().WithPath(path_));
  lock_ = lock.Take();
  Status status = ReadLockedFile(*lock_, path_, fileSystem_, &bytes_);
  if (!status.ok()) return Failed(status.WithPath(path_));
  // An 8-bit or UTF-8 file's text is its bytes: the decoded text takes them
  // over instead of holding a second copy.
  const TextEncoding encoding = DetectEncoding(bytes_);
  bytesTaken_ = encoding == TextEncoding::kAnsi || encoding == TextEncoding::kUtf8Bom;
  decoded_ = bytesTaken_ ? DecodeText(std::move(bytes_)) : DecodeText(bytes_);
  // Writing a file that does not decode back would turn what does not decode
  // into something else; it is left exactly as it is.
  const Status unwritable = NotWritable(decoded_);
  if (!unwritable.ok()) {
    return Failed(
        Status::Of(Condition::kNotDecoded, unwritable.Detail() + "; the file is not changed")
            .WithPath(path_));
  }
  keyPath_ = DriverKeyPath(path_, fileSystem_, driverName_);
  keys_ = TemplateKeysOf(keyPath_);
  before_.emplace(ReadDevice(decoded_.text, path_, fileSystem_, configuration_));
  // Made for one build, the Save loads and edits only the lines that build
  // reads.
  if (configuration_ != nullptr) {
    configured_.emplace(HideUnreadLines(decoded_.text, *before_, &keys_));
    everyBuild_.emplace(ReadDevice(decoded_.text, path_, fileSystem_, nullptr));
  }
  const Status opened =
      LoadTemplates(configured_ ? configured_->text : decoded_.text, keyPath_, *before_, keys_,
                    store_, loaded_, nullptr, everyBuild_ ? &*everyBuild_ : nullptr);
  if (!opened.ok()) return Failed(opened.WithPath(path_));
  table_ = loaded_;
  return {};
}

Status SaveTransaction::Prepare() {
  if (step_ != Step::kBegun) Misused("Prepare without a successful Begin, or twice");
  const ExpectedTable loaded = ExpectedTableOf(loaded_);
  const ExpectedTable table = ExpectedTableOf(table_);
  Status failure = TouchesUnshownTemplate(*before_, loaded, table, keys_);
  if (failure.ok()) {
    failure = CheckAppendAtEnd(*before_, loaded, table,
                               [this](uint32_t n) { return store_.TemplateSectionExists(n) != 0; });
    if (!failure.ok())
      failure = Status::Of(failure.condition(), failure.Detail() + "; nothing was written");
  }
  if (failure.ok()) failure = RunSaveSequence(loaded_, table_, store_);
  if (failure.ok()) {
    // The store's account of its edits, held against the text it was given:
    // every byte outside them is as it was.
    const std::string outside = BytesChangedOutside(
        configured_ ? std::string_view(configured_->text) : std::string_view(decoded_.text),
        store_.Text(), store_.Changes());
    if (!outside.empty()) {
      failure = Status::Of(Condition::kDeviceRefused,
                           "the store's edits went astray: " + outside + "; nothing was written");
    }
  }
  if (failure.ok() && configured_) {
    std::optional<std::string> restored = RestoreUnreadLines(store_.Text(), *configured_);
    if (!restored) {
      failure = Status::Of(Condition::kDeviceRefused,
                           "the edit would change lines the build named does not read; nothing "
                           "was written");
    } else {
      restoredText_ = std::move(*restored);
    }
  }
  const std::string_view saved = SavedText();
  if (failure.ok()) {
    failure = ProveSave(*before_, everyBuild_ ? &*everyBuild_ : nullptr, decoded_.text, saved,
                        loaded, table, keys_, path_, fileSystem_, configuration_, &notes_);
  }
  if (!failure.ok()) return Failed(failure.WithPath(path_));
  step_ = Step::kPrepared;
  changed_ = saved != decoded_.text;
  if (!changed_) return {};
  // The new text of an 8-bit or UTF-8 file is its bytes: written from the
  // store, not copied.
  if (!bytesTaken_ && !EncodeText(decoded_.encoding, saved, &after_)) {
    changed_ = false;
    return Failed(
        Status::Of(Condition::kNotWritten, "the new text does not encode as " +
                                               std::string(TextEncodingName(decoded_.encoding)))
            .WithPath(path_));
  }
  // Without a mark the encoding is told by the text itself: a Save that moves
  // NUL bytes to the file's start could make an 8-bit file read as UTF-16 next
  // time, and then never be written again.
  const TextEncoding next = DetectEncoding(bytesTaken_ ? saved : std::string_view(after_));
  if (next != decoded_.encoding) {
    changed_ = false;
    return Failed(Status::Of(Condition::kNotWritten,
                             "the saved text would read as " + std::string(TextEncodingName(next)) +
                                 ", not as " + TextEncodingName(decoded_.encoding))
                      .WithPath(path_));
  }
  return {};
}

Status SaveTransaction::Commit() {
  if (step_ == Step::kNew || step_ == Step::kDone) Misused("Commit out of order");
  Status status;
  if (step_ == Step::kFailed) {
    status = failure_;
  } else if (step_ == Step::kBegun) {
    status = Status::Of(Condition::kNotWritten, "the Save was not prepared; nothing was written");
  } else if (changed_ && !dryRun_) {
    status = fileSystem_.ReplaceContent(path_, AfterBytes());
  }
  step_ = Step::kDone;
  lock_.reset();
  return status.WithPath(status.ok() ? std::string() : path_);
}

void SaveTransaction::Discard() {
  step_ = Step::kDone;
  changed_ = false;
  lock_.reset();
}

std::string_view SaveTransaction::BeforeBytes() const {
  return bytesTaken_ ? decoded_.text : bytes_;
}

std::string_view SaveTransaction::SavedText() const {
  return configured_ ? std::string_view(restoredText_) : store_.Text();
}

std::string_view SaveTransaction::AfterBytes() const {
  if (!changed_) return BeforeBytes();
  return bytesTaken_ ? SavedText() : std::string_view(after_);
}

std::string SaveTransaction::TakeAfterBytes() {
  if (step_ != Step::kDone) Misused("TakeAfterBytes before the end");
  if (!changed_) return std::string(BeforeBytes());
  if (!bytesTaken_) return std::move(after_);
  return configured_ ? std::move(restoredText_) : store_.TakeText();
}

std::string SaveTransaction::TakeBeforeBytes() {
  if (step_ != Step::kDone) Misused("TakeBeforeBytes before the end");
  return bytesTaken_ ? std::move(decoded_.text) : std::move(bytes_);
}

std::string_view SaveTransaction::AfterText() const {
  // The store's text is what was encoded.
  return changed_ ? SavedText() : std::string_view(decoded_.text);
}

}  // namespace zuv
