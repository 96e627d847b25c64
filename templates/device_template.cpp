#include "templates/device_template.h"

#include <cmath>
#include <cstring>

namespace zuv {

const AoRange AoRangeTable[kAoRangeCount] = {
    {"0 ~ 5V", 5.0f, 0.0f},
    {"0 ~ 10V", 10.0f, 0.0f},
    {"-5 ~ 5V", 5.0f, -5.0f},
    {"-10 ~ 10V", 10.0f, -10.0f},
};

int FindAoRange(const AoSetting& setting) {
  for (int i = 0; i < kAoRangeCount; ++i) {
    // A NaN end compares false here, so it matches no range.
    if (std::fabs(double{setting.RefHigh} - double{AoRangeTable[i].RefHigh}) < 0.000001 &&
        std::fabs(double{setting.RefLow} - double{AoRangeTable[i].RefLow}) < 0.000001) {
      return i;
    }
  }
  return -1;
}

bool TemplateTable::AllocateTemplate(uint32_t* index) {
  uint32_t n = 0;
  while (n < kTemplateCount && (slots_[n].Used != 0 || IsReserved(n))) ++n;
  if (n == kTemplateCount) {
    *index = kTemplateCount;
    return false;
  }
  DeviceTemplate& slot = slots_[n];
  if (IsSwitchIdUsed(slot.SwitchID)) {
    // The lowest identifier no template uses or holds in another build. The
    // claimed slot is still free here and does not count.
    for (uint32_t id = 0; id < kTemplateCount; ++id) {
      if (!IsSwitchIdUsed(id)) {
        slot.SwitchID = id;
        break;
      }
    }
  }
  slot.Used = 1;
  *index = n;
  return true;
}

bool TemplateTable::IsSwitchIdUsed(uint32_t switchId, uint32_t besides) const {
  const uint32_t others = besides < kTemplateCount ? ~(1u << besides) : ~0u;
  if (switchId < kHeldIds && (heldBy_[switchId] & others) != 0) return true;
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (n != besides && slots_[n].Used != 0 && slots_[n].SwitchID == switchId) return true;
  }
  return false;
}

void TemplateTable::Clear() {
  std::memset(slots_, 0, sizeof slots_);
  reserved_ = 0;
  std::memset(heldBy_, 0, sizeof heldBy_);
}

bool SameSlot(const DeviceTemplate& a, const DeviceTemplate& b) {
  return (a.Used == 0 && b.Used == 0) || (a.Used != 0 && b.Used != 0 && a == b);
}

bool operator==(const DeviceTemplate& a, const DeviceTemplate& b) {
  if (a.Used != b.Used) return false;
  for (int i = 0; i < kTemplateValueCount; ++i) {
    if (ValueChanged(a, b, i)) return false;
  }
  return true;
}

bool ValueChanged(const DeviceTemplate& a, const DeviceTemplate& b, int i) {
  const TemplateValueInfo& value = kTemplateValues[i];
  if (value.type == ValueType::kDword) return a.*value.dword != b.*value.dword;
  return !SameAoSetting(a.AOSettings[value.output], b.AOSettings[value.output]);
}

void CopyValue(DeviceTemplate& to, const DeviceTemplate& from, int i) {
  const TemplateValueInfo& value = kTemplateValues[i];
  if (value.type == ValueType::kDword) {
    to.*value.dword = from.*value.dword;
  } else {
    to.AOSettings[value.output] = from.AOSettings[value.output];
  }
}

void SetDefaultValue(DeviceTemplate& slot, int i) {
  const TemplateValueInfo& value = kTemplateValues[i];
  if (value.type == ValueType::kDword) {
    slot.*value.dword = 0;
  } else {
    slot.AOSettings[value.output] = kDefaultAoSetting;
  }
}

bool operator==(const TemplateTable& a, const TemplateTable& b) {
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (!SameSlot(a[n], b[n])) return false;
  }
  return true;
}

}  // namespace zuv
