#include "templates/template_changes.h"

#include <algorithm>

#include "templates/template_file.h"
#include "templates/template_rules.h"

namespace zuv {

namespace {

bool IsUsed(const DeviceTemplate& slot) { return slot.Used != 0; }

// One used slot changed on both sides, merged value by value: the values the
// user changed take the editor's, the others the file's (the mask bit by
// bit). The values both changed otherwise (a mask bit of the channel mask's
// value) are returned; 0 when the merge is clean.
uint32_t MergeValues(const DeviceTemplate& base, const DeviceTemplate& edited,
                     const DeviceTemplate& current, DeviceTemplate* result) {
  uint32_t conflicting = 0;
  *result = current;
  const uint32_t ours = ChangedValues(base, edited);
  const uint32_t theirs = ChangedValues(base, current);
  for (int i = 0; i < kTemplateValueCount; ++i) {
    const TemplateValueInfo& value = kTemplateValues[i];
    if (value.kind == ValueKind::kChannelMask) {
      // The mask bit by bit: the A/D pairs are independent settings.
      const uint32_t b = base.*value.dword;
      const uint32_t e = edited.*value.dword;
      const uint32_t c = current.*value.dword;
      const uint32_t ourBits = b ^ e;
      if ((ourBits & (b ^ c) & (e ^ c)) != 0) conflicting |= value.bit;
      result->*value.dword = (c & ~ourBits) | (e & ourBits);
      continue;
    }
    if ((ours & value.bit) == 0) continue;
    if ((theirs & value.bit) != 0 && ValueChanged(edited, current, i)) conflicting |= value.bit;
    CopyValue(*result, edited, i);
  }
  return conflicting;
}

bool IdUsed(const TemplateTable& table, uint32_t id, uint32_t except = kTemplateCount) {
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (n != except && IsUsed(table[n]) && table[n].SwitchID == id) return true;
  }
  return false;
}

// Places the user's added templates into `merged.table`: first those whose
// own slot is still free there, then the others in the first free slots. A
// board id that a template of the table has is replaced by the lowest one
// neither the table nor another added template has.
void PlaceAdded(const TemplateTable& edited, uint32_t added, MergedTemplates& merged) {
  TemplateTable& table = merged.table;
  const auto isFree = [&](uint32_t n) { return !IsUsed(table[n]) && !table.IsReserved(n); };
  const auto isAdded = [&](uint32_t n) { return (added >> n & 1u) != 0 && IsUsed(edited[n]); };
  std::vector<uint32_t> displaced;
  std::vector<std::pair<uint32_t, uint32_t>> placed;  // editor's slot, file's slot
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (!isAdded(n)) continue;
    if (isFree(n)) {
      table[n] = edited[n];
      placed.emplace_back(n, n);
    } else {
      displaced.push_back(n);
    }
  }
  for (uint32_t n : displaced) {
    uint32_t to = 0;
    while (to < kTemplateCount && !isFree(to)) ++to;
    if (to == kTemplateCount) {
      merged.noRoom.push_back(n);
      continue;
    }
    table[to] = edited[n];
    placed.emplace_back(n, to);
  }
  // Board ids: each added template's own unless the file's templates or one
  // settled before it has it.
  uint32_t unsettled = 0;
  for (const auto& [from, to] : placed) unsettled |= 1u << to;
  const auto taken = [&](uint32_t id, uint32_t self) {
    for (uint32_t n = 0; n < kTemplateCount; ++n) {
      if (n != self && IsUsed(table[n]) && (unsettled >> n & 1u) == 0 && table[n].SwitchID == id) {
        return true;
      }
    }
    return false;
  };
  const auto addedHas = [&](uint32_t id) {
    for (uint32_t n = 0; n < kTemplateCount; ++n) {
      if (isAdded(n) && edited[n].SwitchID == id) return true;
    }
    return false;
  };
  std::sort(placed.begin(), placed.end());
  for (const auto& [from, to] : placed) {
    DeviceTemplate& slot = table[to];
    if (taken(slot.SwitchID, to)) {
      uint32_t id = 0;
      while (id < kBoardIdCount && (taken(id, to) || IdUsed(table, id, to) || addedHas(id))) ++id;
      if (id == kBoardIdCount) {
        id = 0;
        while (taken(id, to) || IdUsed(table, id, to)) ++id;
      }
      slot.SwitchID = id;
    }
    unsettled &= ~(1u << to);
    if (to != from || slot.SwitchID != edited[from].SwitchID) {
      merged.moved.push_back({from, to, edited[from].SwitchID, slot.SwitchID});
    }
  }
}

}  // namespace

uint32_t ChangedValues(const DeviceTemplate& before, const DeviceTemplate& after) {
  if (IsUsed(before) != IsUsed(after)) return kValueUsed;
  if (!IsUsed(before)) return 0;
  uint32_t changed = 0;
  for (int i = 0; i < kTemplateValueCount; ++i) {
    if (ValueChanged(before, after, i)) changed |= kTemplateValues[i].bit;
  }
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

std::vector<uint32_t> MergedTemplates::ConflictSlots() const {
  std::vector<uint32_t> slots;
  for (const TemplateConflict& conflict : conflicts) slots.push_back(conflict.slot);
  return slots;
}

std::vector<TemplateConflict> MergedTemplates::Unsettled(const Choices& choices) const {
  std::vector<TemplateConflict> unsettled;
  for (const TemplateConflict& conflict : conflicts) {
    if (choices[conflict.slot] == Choice::kAsk) unsettled.push_back(conflict);
  }
  return unsettled;
}

uint32_t MergedTemplates::SlotInFile(uint32_t n) const {
  for (const MovedTemplate& move : moved) {
    if (move.from == n) return move.to;
  }
  return n;
}

MergedTemplates MergeTemplateChanges(const TemplateTable& base, const TemplateTable& edited,
                                     uint32_t added, const TemplateTable& current,
                                     const Choices& choices) {
  MergedTemplates merged;
  merged.file = current;
  merged.table = current;
  // Slots whose board id is the user's: they may clash with the file's.
  uint32_t oursIds = 0;
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    const DeviceTemplate& b = base[n];
    const DeviceTemplate& e = edited[n];
    const DeviceTemplate& c = current[n];
    const bool isAdded = (added >> n & 1u) != 0 && IsUsed(e);
    const bool removed = IsUsed(b) && (!IsUsed(e) || isAdded);
    const uint32_t ours = IsUsed(b) && !removed ? ChangedValues(b, e) : 0;
    const uint32_t theirs = ChangedValues(b, c);
    const bool editorWins = choices[n] == Choice::kEditor;
    if (removed) {
      if (theirs != 0 && IsUsed(c)) {
        merged.conflicts.push_back({n, ConflictKind::kUserRemoved, theirs, isAdded});
        if (!editorWins) continue;
      }
      merged.table[n].Used = 0;
    } else if (ours != 0) {
      if (!IsUsed(c)) {
        merged.conflicts.push_back({n, ConflictKind::kTheyRemoved, ours});
        if (editorWins) merged.table[n] = e;
      } else if (theirs == 0) {
        merged.table[n] = e;
      } else {
        DeviceTemplate result;
        const uint32_t conflicting = MergeValues(b, e, c, &result);
        if (conflicting != 0) {
          merged.conflicts.push_back({n, ConflictKind::kBothChanged, conflicting});
          if (!editorWins) continue;
        }
        merged.table[n] = result;
      }
      if ((ours & kValueSwitchId) != 0 || !IsUsed(c)) oursIds |= 1u << n;
    } else if (theirs != 0) {
      merged.keptFromFile.push_back(n);
    }
  }
  PlaceAdded(edited, added, merged);

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
      const bool firstIsOurs = (oursIds >> i & 1u) != 0;
      merged.clashes.push_back(firstIsOurs ? BoardIdClash{i, j, a.SwitchID}
                                           : BoardIdClash{j, i, a.SwitchID});
    }
  }
  return merged;
}

ChangesSaveResult SaveTemplateChanges(const std::string& path, const TemplateTable& base,
                                      const TemplateTable& edited, uint32_t added,
                                      const Choices& choices, FileSystem& fileSystem,
                                      const std::string& driverName,
                                      const BuildConfiguration* configuration) {
  ChangesSaveResult result;
  UpdateResult update = UpdateTemplateTable(
      path,
      [&](TemplateTable& table) {
        result.merged = MergeTemplateChanges(base, edited, added, table, choices);
        const MergedTemplates& merged = result.merged;
        // Left unresolved: the editor asks or refuses, and nothing is written.
        if (!merged.Unsettled(choices).empty() || !merged.clashes.empty() ||
            !merged.noRoom.empty()) {
          return Status::Of(Condition::kChangedOnDisk);
        }
        table = merged.table;
        return Status();
      },
      false, fileSystem, driverName, configuration);
  result.status = std::move(update.status);
  result.notes = std::move(update.notes);
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
