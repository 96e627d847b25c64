// What an editor's user did to the templates, and how a Save applies just
// that to the file's templates as they are at the time of the Save: the user
// added templates, removed some, and changed values of others. Templates
// another program changed meanwhile and the user did not touch are kept; an
// added template goes where the file has room; only a template both changed
// (the same value otherwise), or one removed on one side and changed on the
// other, is a conflict.
//
// Three tables take part: `base`, the templates the editor read (or last
// saved); `edited`, the editor's table; `current`, the templates loaded from
// the file under its exclusive lock at the Save. `added` marks the slots of
// `edited` that hold a template the user added (the bit of slot n: 1u << n),
// so that a template removed and another added in its slot are told apart
// from a change of it.
#ifndef ZUV_TEMPLATES_TEMPLATE_CHANGES_H
#define ZUV_TEMPLATES_TEMPLATE_CHANGES_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"
#include "device/build_condition.h"
#include "fileio/file.h"
#include "templates/device_template.h"

namespace zuv {

// The values in which `after` differs from `before`, as the bits of their
// rows of kTemplateValues: kValueUsed alone when one holds a template and the
// other not, 0 when both are free (a free slot equals any other, whatever it
// holds).
uint32_t ChangedValues(const DeviceTemplate& before, const DeviceTemplate& after);

// Per slot, the values changed between two tables (ChangedValues).
struct TemplateChanges {
  std::array<uint32_t, kTemplateCount> values{};
  bool Empty() const;
};
TemplateChanges ChangesBetween(const TemplateTable& before, const TemplateTable& after);

// Two used slots that would have the same board id after a merge, though
// neither the file nor the editor gives them the same: `slot` is the one the
// user changed.
struct BoardIdClash {
  uint32_t slot;
  uint32_t other;
  uint32_t boardId;
};

// What each side did to a template that both touched.
enum class ConflictKind {
  kBothChanged,  // the same value changed otherwise on each side
  kTheyRemoved,  // another program removed it; the user changed it
  kUserRemoved,  // the user removed it; another program changed it
};

struct TemplateConflict {
  uint32_t slot;
  ConflictKind kind;
  // The values in conflict: for kBothChanged those both changed otherwise;
  // for a removal, the values the side that kept the template changed.
  uint32_t values;
  // kUserRemoved only: the user then added a new template, which Add put in
  // the same slot.
  bool replaced = false;
};

// How the user settled the conflict of a slot.
enum class Choice : uint8_t {
  kAsk,     // not yet: the Save asks
  kEditor,  // the editor's version: its values, kept or removed as there
  kFile,    // the file's version: as the file has it now
};
using Choices = std::array<Choice, kTemplateCount>;

// A template the user added that the Save put elsewhere than the editor
// showed it, or gave another board id: another program took its slot or its
// board id meanwhile.
struct MovedTemplate {
  uint32_t from, to;             // slots: in the editor, in the file
  uint32_t boardId, newBoardId;  // equal unless the board id was taken
};

struct MergedTemplates {
  // The file's templates as the Save found them.
  TemplateTable file;
  // The file's templates with the user's changes applied: what a Save writes.
  TemplateTable table;
  // Templates both sides touched, by slot (ascending), settled or not.
  std::vector<TemplateConflict> conflicts;
  // Slots the user did not touch whose templates the file changed (kept as
  // the file has them).
  std::vector<uint32_t> keptFromFile;
  std::vector<BoardIdClash> clashes;
  // Added templates that moved, by the editor's slot (ascending).
  std::vector<MovedTemplate> moved;
  // Added templates for which the file has no free slot left.
  std::vector<uint32_t> noRoom;

  std::vector<uint32_t> ConflictSlots() const;
  // The conflicts `choices` leaves to ask about.
  std::vector<TemplateConflict> Unsettled(const Choices& choices) const;
  // The slot the template in the editor's slot n has in `table`.
  uint32_t SlotInFile(uint32_t n) const;
};

// Applies what the user did (`base` to `edited`, `added`) to `current`: a
// removed template is removed; a changed one takes the values the user
// changed and keeps the file's others (a channel mask bit by bit); an added
// one takes its own slot when the file's is still free, else the first free
// one, and its own board id unless a template of the file has it, else the
// lowest free one. A conflict keeps the file's template unless `choices` says
// kEditor for its slot.
MergedTemplates MergeTemplateChanges(const TemplateTable& base, const TemplateTable& edited,
                                     uint32_t added, const TemplateTable& current,
                                     const Choices& choices = {});

struct ChangesSaveResult {
  // Success (the file holds `merged.table`; nothing written when that is
  // what it held), the failure of the Save (naming the path), or
  // Condition::kChangedOnDisk without text when `merged` has a conflict left
  // at kAsk, a clash, or an added template without room: then nothing is
  // written.
  Status status;
  MergedTemplates merged;
  // What a Save made for one build did to the others (UpdateResult::notes).
  std::vector<std::string> notes;
};

// Under the driver file's exclusive lock (UpdateTemplateTable): loads the
// file's templates, merges the user's changes into them and saves the
// result, or writes nothing when the merge leaves something to ask or
// refuse. `fileSystem` decides how long the lock is waited for.
ChangesSaveResult SaveTemplateChanges(const std::string& path, const TemplateTable& base,
                                      const TemplateTable& edited, uint32_t added,
                                      const Choices& choices,
                                      FileSystem& fileSystem = NativeFileSystem(),
                                      const std::string& driverName = {},
                                      const BuildConfiguration* configuration = nullptr);

// "Template3, Template5 and Template7".
std::string TemplateNameList(const std::vector<uint32_t>& slots);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_TEMPLATE_CHANGES_H
