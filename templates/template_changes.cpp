#include "templates/template_changes.h"

#include <algorithm>

#include "templates/template_file.h"
#include "templates/template_rules.h"

namespace zuv {

namespace {

bool SameAo(const AoSetting& a, const AoSetting& b) {
  return a.Code == b.Code && a.RefHigh == b.RefHigh && a.RefLow == b.RefLow;
}

bool IsUsed(const DeviceTemplate& slot) { return slot.Used != 0; }

// Thrown out of UpdateTemplateTable's edit to write nothing.
struct Unresolved {};

// One used slot merged value by value; false when both changed a value
// (a mask bit) to different values.
bool MergeValues(const DeviceTemplate& base, const DeviceTemplate& edited,
                 const DeviceTemplate& current, DeviceTemplate* result) {
  bool clean = true;
  *result = current;
  const uint32_t ours = ChangedValues(base, edited);
  const uint32_t theirs = ChangedValues(base, current);
  if (ours & kValueSwitchId) {
    if ((theirs & kValueSwitchId) && edited.SwitchID != current.SwitchID) clean = false;
    result->SwitchID = edited.SwitchID;
  }
  // The mask bit by bit: the A/D pairs are independent settings.
  const uint32_t ourBits = base.ChanConfig ^ edited.ChanConfig;
  const uint32_t theirBits = base.ChanConfig ^ current.ChanConfig;
  if ((ourBits & theirBits & (edited.ChanConfig ^ current.ChanConfig)) != 0) clean = false;
  result->ChanConfig = (current.ChanConfig & ~ourBits) | (edited.ChanConfig & ourBits);
  for (int output = 0; output < 2; ++output) {
    const uint32_t bit = output == 0 ? kValueAo0 : kValueAo1;
    if ((ours & bit) == 0) continue;
    if ((theirs & bit) && !SameAo(edited.AOSettings[output], current.AOSettings[output])) {
      clean = false;
    }
    result->AOSettings[output] = edited.AOSettings[output];
  }
  return clean;
}

}  // namespace

uint32_t ChangedValues(const DeviceTemplate& before, const DeviceTemplate& after) {
  if (IsUsed(before) != IsUsed(after)) return kValueUsed;
  if (!IsUsed(before)) return 0;
  uint32_t changed = 0;
  if (before.SwitchID != after.SwitchID) changed |= kValueSwitchId;
  if (before.ChanConfig != after.ChanConfig) changed |= kValueChanConfig;
  if (!SameAo(before.AOSettings[0], after.AOSettings[0])) changed |= kValueAo0;
  if (!SameAo(before.AOSettings[1], after.AOSettings[1])) changed |= kValueAo1;
  return changed;
}

bool TemplateChanges::Empty() const {
  return std::all_of(values.begin(), values.end(), [](uint32_t v) { return v == 0; });
}

TemplateChanges ChangesBetween(const TemplateTable& before, const TemplateTable& after) {
  TemplateChanges changes;
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    changes.values[n] = ChangedValues(before[n], after[n]);
  }
  return changes;
}

MergedTemplates MergeTemplateChanges(const TemplateTable& base, const TemplateTable& edited,
                                     const TemplateTable& current,
                                     const std::vector<uint32_t>& editorWins) {
  MergedTemplates merged;
  merged.table = current;
  const TemplateChanges ours = ChangesBetween(base, edited);
  const TemplateChanges theirs = ChangesBetween(base, current);
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    const DeviceTemplate& b = base[n];
    const DeviceTemplate& e = edited[n];
    const DeviceTemplate& c = current[n];
    if (ours.values[n] == 0) {
      if (theirs.values[n] != 0) merged.keptFromFile.push_back(n);
      continue;  // the file's template (or free slot) as it is
    }
    bool clean = true;
    DeviceTemplate result = e;
    if (theirs.values[n] == 0) {
      result = e;  // only the user changed it
    } else if (ChangedValues(e, c) == 0) {
      result = e;  // both made the same change (removed it, added the same)
    } else if ((ours.values[n] | theirs.values[n]) & kValueUsed) {
      clean = false;  // added or removed on one side, changed on the other
    } else {
      clean = MergeValues(b, e, c, &result);
    }
    if (!clean) {
      merged.conflicts.push_back(n);
      const bool editorWinsHere =
          std::find(editorWins.begin(), editorWins.end(), n) != editorWins.end();
      result = editorWinsHere ? e : c;
    }
    merged.table[n] = result;
  }

  // A board id the merge gives two templates that neither table gives both.
  for (uint32_t i = 0; i < kTemplateCount; ++i) {
    for (uint32_t j = i + 1; j < kTemplateCount; ++j) {
      const DeviceTemplate& a = merged.table[i];
      const DeviceTemplate& b = merged.table[j];
      if (!IsUsed(a) || !IsUsed(b) || a.SwitchID != b.SwitchID) continue;
      const auto together = [&](const TemplateTable& table) {
        return IsUsed(table[i]) && IsUsed(table[j]) && table[i].SwitchID == a.SwitchID &&
               table[j].SwitchID == a.SwitchID;
      };
      if (together(current) || together(edited)) continue;
      // The slot whose board id is the user's change (only one can be: the
      // editor never gives two templates one board id).
      const bool firstIsOurs = (ours.values[i] & (kValueUsed | kValueSwitchId)) != 0 &&
                               IsUsed(edited[i]) && edited[i].SwitchID == a.SwitchID;
      merged.clashes.push_back(firstIsOurs ? BoardIdClash{i, j, a.SwitchID}
                                           : BoardIdClash{j, i, a.SwitchID});
    }
  }
  return merged;
}

ChangesSaveResult SaveTemplateChanges(const std::string& path, const TemplateTable& base,
                                      const TemplateTable& edited,
                                      const std::vector<uint32_t>& editorWins,
                                      FileSystem& fileSystem, const std::string& driverName) {
  ChangesSaveResult result;
  try {
    result.status =
        UpdateTemplateTable(
            path,
            [&](TemplateTable& table) {
              result.merged = MergeTemplateChanges(base, edited, table, editorWins);
              const bool unresolved = std::any_of(
                  result.merged.conflicts.begin(), result.merged.conflicts.end(), [&](uint32_t n) {
                    return std::find(editorWins.begin(), editorWins.end(), n) == editorWins.end();
                  });
              if (unresolved || !result.merged.clashes.empty()) throw Unresolved{};
              table = result.merged.table;
            },
            false, fileSystem, driverName)
            .status;
  } catch (const Unresolved&) {
    result.status = Status::Of(Condition::kChangedOnDisk);
  }
  return result;
}

std::string TemplateNameList(const std::vector<uint32_t>& slots) {
  std::string text;
  for (size_t i = 0; i < slots.size(); ++i) {
    if (i != 0) text += i + 1 == slots.size() ? " and " : ", ";
    text += TemplateName(slots[i]);
  }
  return text;
}

}  // namespace zuv
