// Loading and saving device templates in the driver's registry text file. The
// editor window and the command-line tool both go through the table-wide
// LoadTemplateTable and SaveTemplateTable, so they write the same bytes.
#ifndef ZUV_TEMPLATES_TEMPLATE_FILE_H
#define ZUV_TEMPLATES_TEMPLATE_FILE_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/status.h"
#include "device/device_check.h"
#include "fileio/file.h"
#include "templates/device_template.h"

namespace zuv {

// Clears all 16 slots, then for N = 0..15: SwitchID = N, the template's
// values when section N holds a double-word "SwitchID", and then Used.
// The file is read once (ReadDriverText), and every slot loads from that
// one copy, so the table never mixes two versions of a file another program
// saves.
void LoadTemplateTable(TemplateTable& table, const std::string& path,
                       FileSystem& fileSystem = NativeFileSystem());
// LoadTemplateTable that tells why the file could not be read (the failure
// names `path`, see ErrorText); the table is loaded as above either way.
// `driverName`, when given, names the driver whose keys the file holds
// (see DriverKeyPath); so for UpdateTemplateTable. When the file was read
// but a Save will never write it (an encoding not written, text that does not
// decode), *notWritten, when given, gets Condition::kNotDecoded naming `path`;
// else success. *unshown, when given, gets why each reserved slot is reserved
// (the device reads it otherwise than the load shows it), with its lines, as
// `check` words it: a slot that stays in use in the table holds the load's
// values, not the device's. *otherDriver, when given, gets what `check`
// says of a file holding another driver's template keys and none of this
// driver's (see CheckTemplateKeys), else success: such a file loads as one
// without templates.
Status LoadTemplateTableReporting(TemplateTable& table, const std::string& path,
                                  FileSystem& fileSystem = NativeFileSystem(),
                                  const std::string& driverName = {}, Status* notWritten = nullptr,
                                  std::vector<UnshownTemplate>* unshown = nullptr,
                                  const BuildConfiguration* configuration = nullptr,
                                  Status* otherDriver = nullptr);
// Why template n is reserved, as above; empty when it is not, or when the
// file cannot be read.
std::string UnshownTemplateText(const std::string& path, FileSystem& fileSystem,
                                const std::string& driverName, uint32_t n,
                                const BuildConfiguration* configuration = nullptr);

// Every section of each free slot cut out, 15 down to 0, then for each used
// slot, 0 up to 15, its header appended when absent and its four values
// written, run on a copy in memory of the file read once under
// its exclusive lock; the file then gets the result in one step
// (FileSystem::ReplaceContent) before the lock is let go. A UTF-16 file is
// edited as its UTF-8 text and written back in UTF-16 with its mark; one that
// does not decode is never written (the failure names the byte offset).
// Success, or the first failure, naming `path` (see ErrorText). When
// `expected` is given and the templates now in the file differ from it,
// nothing is written and the result is Condition::kChangedOnDisk (with no
// text).
Status SaveTemplateTable(const TemplateTable& table, const std::string& path,
                         FileSystem& fileSystem = NativeFileSystem(),
                         const TemplateTable* expected = nullptr);

struct UpdateResult {
  Status status;
  std::string before, after;  // the file's bytes before, and as saved
  // For a dry run, the texts those bytes decode to (for a diff).
  std::string beforeText, afterText;
  // What a Save made for one build did to the others (see
  // SaveTransaction::Notes).
  std::vector<std::string> notes;
};

// Takes the driver file's exclusive lock (held to the end), reads the file
// once, loads the table from that copy, runs `edit` on it, runs the Save
// sequence on the same copy and replaces the file (not with dryRun, which
// takes a shared lock and writes nothing). A failure `edit` returns (a rule's
// refusal, a merge left unresolved) is the result as it is, with nothing
// written and the lock released. A file that cannot be read, a lock not had
// within the time limit, a failed write: a status naming the file.
UpdateResult UpdateTemplateTable(const std::string& path,
                                 const std::function<Status(TemplateTable&)>& edit, bool dryRun,
                                 FileSystem& fileSystem = NativeFileSystem(),
                                 const std::string& driverName = {},
                                 const BuildConfiguration* configuration = nullptr);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_TEMPLATE_FILE_H
