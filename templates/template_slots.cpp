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

// Writes template n's values into the open store, all four, or with `before`
// (what the load gave for the slot) only those that differ from it.
void SaveOpenTemplate(const DeviceTemplate& slot, uint32_t n, RegFile& reg, Status& failure,
                      const DeviceTemplate* before = nullptr) {
  try {
    if (reg.TemplateSectionExists(n) == 0) {
      reg.AppendTemplateSection(n);
      Note(failure, reg.LastStatus());
    }
    std::string text0 = FormatAoSetting(slot.AOSettings[0]);
    std::string text1 = FormatAoSetting(slot.AOSettings[1]);
    uint32_t switchId = slot.SwitchID;
    uint32_t chanConfig = slot.ChanConfig;
    const RegValueEntry rows[] = {
        {"SwitchID", kRegDword, sizeof switchId, &switchId},
        {"ChanConfig", kRegDword, sizeof chanConfig, &chanConfig},
        {"AOSettings 0", kRegSz, static_cast<uint32_t>(text0.size()), text0.data()},
        {"AOSettings 1", kRegSz, static_cast<uint32_t>(text1.size()), text1.data()},
    };
    RegValueEntry table[5] = {};
    size_t count = 0;
    for (int i = 0; i < 4; ++i) {
      if (before == nullptr || ValueChanged(*before, slot, i)) table[count++] = rows[i];
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
  slot.ChanConfig = 0;
  slot.AOSettings[0] = kDefaultAoSetting;
  slot.AOSettings[1] = kDefaultAoSetting;
  if (!reg.IsOpen()) return false;
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
