#include "templates/device_expectation.h"

#include "templates/ao_setting_text.h"

namespace zuv {

static_assert(kTemplateCount == kDeviceTemplateCount, "the table and the device count alike");

ExpectedTable ExpectedTableOf(const TemplateTable& table) {
  ExpectedTable expected;
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    const DeviceTemplate& slot = table[n];
    ExpectedTemplate& want = expected[n];
    want.used = slot.Used != 0;
    for (int i = 0; i < kTemplateValueCount; ++i) {
      const TemplateValueInfo& row = kTemplateValues[i];
      ExpectedValue& value = want.values[i];
      if (row.type == ValueType::kDword) {
        value.dword = slot.*row.dword;
        continue;
      }
      const AoSetting& ao = slot.AOSettings[row.output];
      value.isAo = true;
      value.ao = {ao.Code, ao.RefHigh, ao.RefLow, {}};
      // The text is quoted only by messages about a used template's values.
      if (want.used) value.ao.text = DeviceString(FormatAoSetting(ao));
    }
  }
  return expected;
}

std::vector<UnshownTemplate> ReserveUnshownTemplates(const DeviceView& view, TemplateTable& loaded,
                                                     const TemplateKeys& keys, UnshownWords words,
                                                     const DeviceView* everyBuild) {
  std::vector<UnshownTemplate> unshown =
      UnshownTemplates(view, ExpectedTableOf(loaded), keys, 0xFFFFu, words);
  uint32_t reserved = 0;
  for (const UnshownTemplate& slot : unshown) {
    loaded.Reserve(slot.n);
    reserved |= 1u << slot.n;
    if (slot.hidden) loaded[slot.n].Used = 0;
  }
  // A reserved template's board ids, in each build that reads it, are given
  // to no other template.
  // Read for one build, every template's board ids in the other builds are
  // held too (`everyBuild` reads them).
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if ((reserved >> n & 1u) != 0) {
      for (uint32_t id : BoardIdsOfReadings(view, keys, 1u << n)) loaded.HoldSwitchId(id, n);
    }
    if (everyBuild != nullptr) {
      for (uint32_t id : BoardIdsOfReadings(*everyBuild, keys, 1u << n)) loaded.HoldSwitchId(id, n);
    }
  }
  return unshown;
}

}  // namespace zuv
