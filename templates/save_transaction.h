// One Save of a driver file, made the way a lock file makes one: Begin takes
// the file's lock (exclusive; shared for a dry run), reads and decodes the
// file once, derives the driver's keys once and loads the table from that one
// text as the device reads it. The caller edits Table(). Prepare runs the
// Save's steps on the same text and proves the new text against the old one;
// Commit then replaces the file with it (a dry run, or a text that did not
// change, writes nothing); Discard lets everything go. Each step returns its
// status; a step that failed leaves the transaction failed, and Commit then
// returns that failure (as it does when Prepare never ran) without writing.
// A step out of order (Begin twice, Prepare without a successful Begin,
// Commit twice) and a transaction begun but neither committed nor discarded
// (unless an exception left it) are programming errors: each stops the
// program in every build (ZUV_BUG). The lock goes with the object either way.
#ifndef ZUV_TEMPLATES_SAVE_TRANSACTION_H
#define ZUV_TEMPLATES_SAVE_TRANSACTION_H

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "device/build_condition.h"
#include "device/device_check.h"
#include "device/device_view.h"
#include "fileio/file.h"
#include "regfile/reg_file.h"
#include "regfile/text_encoding.h"
#include "templates/configured_text.h"
#include "templates/device_template.h"

namespace zuv {

// The one load of a driver file's decoded text `text`, for the editor, the
// tool and the Save alike: `store` opened on it under `keyPath`'s keys, the
// table as the store reads it, then each slot the device (`view`, of the same
// text) reads otherwise than the load can show it reserved (*unshown, when
// given, gets why, as UnshownTemplates words it). The store's failure to
// open the text, or success; the table is loaded either way.
// `everyBuild`, when `view` is read for one build, is the same text read in
// every build: the board ids other builds give are held (see
// ReserveUnshownTemplates).
Status LoadTemplates(const std::string& text, const std::string& keyPath, const DeviceView& view,
                     const TemplateKeys& keys, RegFile& store, TemplateTable& table,
                     std::vector<UnshownTemplate>* unshown = nullptr,
                     const DeviceView* everyBuild = nullptr);

class SaveTransaction {
 public:
  // `driverName`, when given, names the driver whose keys the file holds (see
  // DriverKeyPath).
  // `configuration`, when given, is the build the Save is made for (it must
  // outlive the transaction): the templates are loaded as it reads them, and
  // the Save proves that it reads them as saved.
  SaveTransaction(std::string path, FileSystem& fileSystem, bool dryRun,
                  std::string driverName = {}, const BuildConfiguration* configuration = nullptr);
  ~SaveTransaction();
  SaveTransaction(const SaveTransaction&) = delete;
  SaveTransaction& operator=(const SaveTransaction&) = delete;

  // Lock, read, decode, derive the keys, load. A file that does not decode (or
  // an encoding never written) is refused here: nothing will be written to it.
  Status Begin();
  // The table the load gave (templates the load cannot show are reserved),
  // and the one to save, which starts as a copy of it.
  const TemplateTable& Loaded() const { return loaded_; }
  TemplateTable& Table() { return table_; }
  // The Save's steps for the templates that changed, on the one text, then the
  // proof and the encoding of the new text.
  Status Prepare();
  // Replaces the file with the new text, unless this is a dry run or the text
  // is unchanged; after a failed step, or without Prepare, writes nothing and
  // returns a failure. The transaction is done afterwards, whatever the result.
  Status Commit();
  // Ends the transaction without writing; allowed at any time.
  void Discard();

  // The file's bytes as read, and as the Save writes them (the same until
  // Prepare succeeded); the texts they decode to, for a diff.
  std::string_view BeforeBytes() const;
  std::string_view AfterBytes() const;
  std::string_view BeforeText() const { return decoded_.text; }
  std::string_view AfterText() const;
  // Once the transaction is done: the bytes, moved out instead of copied
  // (the texts above are then gone). The after bytes first.
  std::string TakeAfterBytes();
  // Made for one build, once prepared: each changed template that other
  // builds read otherwise now too, in words ("template 1 changes also in the
  // builds without BSP_FAST").
  const std::vector<std::string>& Notes() const { return notes_; }
  std::string TakeBeforeBytes();

 private:
  enum class Step { kNew, kBegun, kPrepared, kFailed, kDone };

  // Leaves the transaction failed by `failure`, which it returns.
  Status Failed(Status failure);
  // The new text: the store's, or under a build named, restoredText_.
  std::string_view SavedText() const;
  // Stops the program: `what` was done to the transaction out of order.
  [[noreturn]] void Misused(const char* what) const;

  std::string path_;
  FileSystem& fileSystem_;
  bool dryRun_;
  std::string driverName_;
  const BuildConfiguration* configuration_;
  Step step_ = Step::kNew;
  Status failure_;  // what made the transaction fail
  int exceptions_;  // exceptions in flight when it was made
  std::unique_ptr<FileLock> lock_;
  std::string bytes_;        // the file's bytes, unless the decoded text took them over
  bool bytesTaken_ = false;  // an 8-bit or UTF-8 file: its text is its bytes
  DecodedText decoded_;
  std::string keyPath_;
  TemplateKeys keys_;
  std::optional<DeviceView> before_;
  std::optional<DeviceView> everyBuild_;  // made for one build: the text read in every build
  RegFile store_;                         // opened on the decoded text
  TemplateTable loaded_;
  TemplateTable table_;
  // Made for one build: the text the store was given, and the store's text
  // after the Save's steps with the lines that build does not read put back.
  std::optional<ConfiguredText> configured_;
  std::string restoredText_;
  std::vector<std::string> notes_;
  std::string after_;  // the bytes the Save writes, once prepared, unless the store's text is
  bool changed_ = false;
};

}  // namespace zuv

#endif  // ZUV_TEMPLATES_SAVE_TRANSACTION_H
