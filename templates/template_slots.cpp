#include "templates/template_slots.h"

#include <string>
#include <utility>

#include "regfile/reg_file.h"
#include "templates/ao_setting_text.h"

namespace zuv {

namespace {

// The first failure of a Save is kept for the report; later ones add nothing.
void Note(Status& first, Status next) {
  if (first.ok()) first = std::move(next);
}

// Writes template n's values into the open store, all of them, or with `before`
// (what the load gave for the slot) only those that differ from it.
void SaveOpenTemplate(const DeviceTemplate& slot, uint32_t n, RegFile& reg, Status& failure,
                      const DeviceTemplate* before = nullptr) {
  try {
    if (reg.TemplateSectionExists(n) == 0) {
      reg.AppendTemplateSection(n);
      Note(failure, reg.LastStatus());
    }
    uint32_t dwords[kTemplateValueCount] = {};
    std::string texts[kTemplateValueCount];
    RegValueEntry table[kTemplateValueCount + 1] = {};
    size_t count = 0;
    for (int i = 0; i < kTemplateValueCount; ++i) {
      if (before != nullptr && !ValueChanged(*before, slot, i)) continue;
      const TemplateValueInfo& value = kTemplateValues[i];
      if (value.type == ValueType::kDword) {
        dwords[i] = slot.*value.dword;
        table[count++] = {value.name, kRegDword, sizeof dwords[i], &dwords[i]};
      } else {
        texts[i] = FormatAoSetting(slot.AOSettings[value.output]);
        table[count++] = {value.name, kRegSz, static_cast<uint32_t>(texts[i].size()),
                          texts[i].data()};
      }
    }
    if (count > 0 && reg.TransferValues(n, table, kTransferWrite) == 0) {
      if (!reg.LastStatus().ok()) {
        Note(failure, reg.LastStatus());
      } else {
        Note(failure,
             Status::Of(Condition::kNotWritten,
                        "a value of template " + std::to_string(n) + " could not be written"));
      }
    }
  } catch (const FileError& error) {
    Note(failure, error.GetStatus());
  }
}

// Cuts every section of template n out of the open store.
void DeleteOpenTemplate(uint32_t n, RegFile& reg, Status& failure) {
  try {
    // A file may hold the same template's section twice; the next load would
    // bring the template back from a copy left behind, so every copy goes.
    if (reg.RemoveTemplateSections(n) != 0) {
      Note(failure, Status::Of(Condition::kNotWritten,
                               "not enough memory to remove template " + std::to_string(n)));
    }
  } catch (const FileError& error) {
    Note(failure, error.GetStatus());
  }
}

// Fills `slot` with template n of the open store (defaults first). True when
// section n holds a double-word "SwitchID". Never changes Used.
bool LoadOpenTemplate(DeviceTemplate& slot, uint32_t n, RegFile& reg) {
  // The board id, which tells whether the section holds a template, comes
  // first; the other values start at their defaults.
  const TemplateValueInfo& id = kTemplateValues[0];
  for (int i = 1; i < kTemplateValueCount; ++i) SetDefaultValue(slot, i);
  if (!reg.IsOpen()) return false;
  bool found = false;
  try {
    // Every value goes into a temporary sized for the type the record expects
    // and is taken only when the file holds it with that type; a value of
    // another type counts as missing.
    uint32_t type = 0;
    uint32_t size = 0;
    uint32_t switchId = 0;
    if (reg.QueryValue(n, id.name, &type, &switchId, &size, sizeof switchId) == 0 &&
        type == kRegDword) {
      found = true;
      slot.*id.dword = switchId;

      uint32_t dwords[kTemplateValueCount] = {};
      // One byte more than the capacity handed over stays zero: the terminator
      // of a text cut to kAoTextMaxLength.
      char texts[kTemplateValueCount][kAoTextMaxLength + 1] = {};
      RegValueEntry table[kTemplateValueCount] = {};  // the values after the id, then an end
      for (int i = 1; i < kTemplateValueCount; ++i) {
        const TemplateValueInfo& value = kTemplateValues[i];
        table[i - 1] = value.type == ValueType::kDword
                           ? RegValueEntry{value.name, 0, sizeof dwords[i], &dwords[i]}
                           : RegValueEntry{value.name, 0, kAoTextMaxLength, texts[i]};
      }
      reg.TransferValues(n, table, kTransferRead);
      for (int i = 1; i < kTemplateValueCount; ++i) {
        const TemplateValueInfo& value = kTemplateValues[i];
        if (value.type == ValueType::kDword) {
          if (table[i - 1].dwType == kRegDword) slot.*value.dword = dwords[i];
        } else if (table[i - 1].dwType == kRegSz) {
          ParseAoSetting(texts[i], &slot.AOSettings[value.output]);
        }
      }
    }
  } catch (const FileError&) {
    // A file that fails while it is read gives what was read so far.
  }
  return found;
}

}  // namespace

void LoadTable(TemplateTable& table, RegFile& store) {
  table.Clear();
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    table[n].SwitchID = n;
    if (LoadOpenTemplate(table[n], n, store)) table[n].Used = 1;
  }
}

Status RunSaveSequence(const TemplateTable& loaded, const TemplateTable& table, RegFile& store) {
  Status failure;
  for (uint32_t n = kTemplateCount; n-- > 0;) {
    if (loaded[n].Used != 0 && table[n].Used == 0) DeleteOpenTemplate(n, store, failure);
  }
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (table[n].Used != 0 && !SameSlot(loaded[n], table[n])) {
      SaveOpenTemplate(table[n], n, store, failure, loaded[n].Used != 0 ? &loaded[n] : nullptr);
    }
  }
  return failure;
}

}  // namespace zuv
