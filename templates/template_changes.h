// What an editor's user changed in the templates, and how a Save applies just
// those changes to the file's templates as they are at the time of the Save:
// templates another program changed meanwhile and the user did not touch are
// kept, and only a template both changed (in the same value) is a conflict.
//
// Three tables take part: `base`, the templates the editor read (or last
// saved); `edited`, the editor's table; `current`, the templates loaded from
// the file under its exclusive lock at the Save.
#ifndef ZUV_TEMPLATES_TEMPLATE_CHANGES_H
#define ZUV_TEMPLATES_TEMPLATE_CHANGES_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "regfile/file.h"
#include "regfile/status.h"
#include "templates/device_template.h"

namespace zuv {

// The values of a slot, one bit each.
enum TemplateValue : uint32_t {
  kValueUsed = 1u << 0,        // the template itself: added or removed
  kValueSwitchId = 1u << 1,    // the board id
  kValueChanConfig = 1u << 2,  // the channel mask
  kValueAo0 = 1u << 3,         // "AOSettings 0" (code and both ends)
  kValueAo1 = 1u << 4,         // "AOSettings 1"
};

// The values in which `after` differs from `before`: kValueUsed alone when one
// holds a template and the other not, 0 when both are free (a free slot
// equals any other, whatever it holds).
uint32_t ChangedValues(const DeviceTemplate& before, const DeviceTemplate& after);

// Per slot, the values changed between two tables (ChangedValues).
struct TemplateChanges {
  std::array<uint32_t, kTemplateCount> values{};
  bool Empty() const;
};
TemplateChanges ChangesBetween(const TemplateTable& before, const TemplateTable& after);

// Two used slots that would have the same board id after a merge, though
// neither the file nor the editor gives them the same: `slot` is the one the
// user changed (or added).
struct BoardIdClash {
  uint32_t slot;
  uint32_t other;
  uint32_t boardId;
};

struct MergedTemplates {
  // The file's templates with the user's changes applied: what a Save writes.
  TemplateTable table;
  // Slots the user changed that the file changed too, otherwise, since
  // `base` (ascending). A slot the user added where the file now has another
  // template, one the user removed or edited that the file changed or
  // removed, a value both changed to different values.
  std::vector<uint32_t> conflicts;
  // Slots the user did not touch whose templates the file changed (kept as
  // the file has them).
  std::vector<uint32_t> keptFromFile;
  std::vector<BoardIdClash> clashes;
};

// Applies the user's changes (ChangesBetween(base, edited)) to `current`,
// value by value: a value the user changed takes the editor's, any other
// keeps the file's (a channel mask bit by bit). Removing or adding a template
// is a change of the whole slot. A conflicting slot keeps the file's template
// unless it is in `editorWins` (the user chose the editor's version), where it
// takes the editor's whole slot.
MergedTemplates MergeTemplateChanges(const TemplateTable& base, const TemplateTable& edited,
                                     const TemplateTable& current,
                                     const std::vector<uint32_t>& editorWins = {});

struct ChangesSaveResult {
  // Success (the file holds `merged.table`; nothing written when that is
  // what it held), the failure of the Save (naming the path), or
  // Condition::kChangedOnDisk without text when `merged` has a conflict not
  // in `editorWins`, or a clash: then nothing is written.
  Status status;
  MergedTemplates merged;
};

// Under the driver file's exclusive lock (UpdateTemplateTable): loads the
// file's templates, merges the user's changes into them and saves the
// result, or writes nothing when the merge has an unresolved conflict or a
// clash. `fileSystem` decides how long the lock is waited for.
ChangesSaveResult SaveTemplateChanges(const std::string& path, const TemplateTable& base,
                                      const TemplateTable& edited,
                                      const std::vector<uint32_t>& editorWins,
                                      FileSystem& fileSystem = NativeFileSystem(),
                                      const std::string& driverName = {});

// "Template3, Template5 and Template7".
std::string TemplateNameList(const std::vector<uint32_t>& slots);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_TEMPLATE_CHANGES_H
