// The device setting template record, the table of 16 slots, and the four
// analog-output ranges.
#ifndef ZUV_TEMPLATES_DEVICE_TEMPLATE_H
#define ZUV_TEMPLATES_DEVICE_TEMPLATE_H

#include <cstdint>

namespace zuv {

constexpr uint32_t kTemplateCount = 16;

// The reference setting of one analog output. Code is kept and written back,
// never interpreted.
struct AoSetting {
  uint32_t Code;
  float RefHigh;
  float RefLow;
};

// Field by field; ends compare exactly (a range that moved by a rounding is a
// change).
inline bool SameAoSetting(const AoSetting& a, const AoSetting& b) {
  return a.Code == b.Code && a.RefHigh == b.RefHigh && a.RefLow == b.RefLow;
}

// One slot of the table. Slot N is template N everywhere.
struct DeviceTemplate {
  uint32_t Used;        // 1: holds a template; readers test for non-zero
  uint32_t SwitchID;    // board identifier ("BoardID"), any 32-bit value from a file
  uint32_t ChanConfig;  // bit i set: A/D channel i is differential
  AoSetting AOSettings[2];
};

// Field by field; floats compare exactly (a range that moved by a rounding is
// a change).
bool operator==(const DeviceTemplate& a, const DeviceTemplate& b);
inline bool operator!=(const DeviceTemplate& a, const DeviceTemplate& b) { return !(a == b); }

// Whether value i of a template differs between two records, its four values
// in the file's order: 0 "SwitchID", 1 "ChanConfig", 2 "AOSettings 0", 3
// "AOSettings 1" (the code and both ends, as SameAoSetting).
bool ValueChanged(const DeviceTemplate& a, const DeviceTemplate& b, int i);

struct AoRange {
  const char* Label;
  float RefHigh;
  float RefLow;
};

// "0 ~ 5V", "0 ~ 10V", "-5 ~ 5V", "-10 ~ 10V", in the AO page's list order.
constexpr int kAoRangeCount = 4;
extern const AoRange AoRangeTable[kAoRangeCount];

// The first row of AoRangeTable whose ends both differ from the setting's by
// less than 0.000001, or -1 when none matches.
int FindAoRange(const AoSetting& setting);

// The setting of an output that the file does not give: "0 ~ 10V", Code 0.
constexpr AoSetting kDefaultAoSetting = {0, 10.0f, 0.0f};

// A/D channel pairs: pair k (0 to 7) is channels 2k and 2k+1, bits 2k and 2k+1
// of ChanConfig.
constexpr int kChannelPairCount = 8;
constexpr uint32_t PairBits(int pair) { return 3u << (2 * pair); }
// The mask of the AI page's Set All Differential.
constexpr uint32_t kAllDifferential = 0xFFFFu;

class TemplateTable {
 public:
  // Slot access by index 0 to 15.
  DeviceTemplate& operator[](uint32_t n) { return slots_[n]; }
  const DeviceTemplate& operator[](uint32_t n) const { return slots_[n]; }

  // Claims the first free slot that is not reserved; gives it a free SwitchID
  // when its own is taken. Returns false and index 16 when there is none.
  bool AllocateTemplate(uint32_t* index);
  // A reserved slot is free in the table but not in the file: the device reads
  // a key of that template which a load cannot show as the device reads it.
  // It is never allocated, and a Save never writes it.
  void Reserve(uint32_t n) { reserved_ |= 1u << n; }
  bool IsReserved(uint32_t n) const { return (reserved_ >> n & 1u) != 0; }
  // A board id template `holder` holds in some build that the table cannot
  // show (another build's reading of it): never given to another template.
  void HoldSwitchId(uint32_t switchId, uint32_t holder) {
    if (switchId < kHeldIds && holder < kTemplateCount) heldBy_[switchId] |= 1u << holder;
  }
  // Whether a used slot other than `besides` has this SwitchID, or a template
  // other than `besides` holds it in another build.
  bool IsSwitchIdUsed(uint32_t switchId, uint32_t besides = kTemplateCount) const;
  // Every byte of every slot set to zero, and no slot reserved.
  void Clear();

 private:
  DeviceTemplate slots_[kTemplateCount] = {};
  uint32_t reserved_ = 0;
  static constexpr uint32_t kHeldIds = 32;
  uint32_t heldBy_[kHeldIds] = {};  // board id N: bit M, held by template M (HoldSwitchId)
};

// Whether slot n of a Save's table is what the load gave: both free, or both
// used with the same values. A Save writes only the slots where it is not.
bool SameSlot(const DeviceTemplate& a, const DeviceTemplate& b);

// Slot by slot: a free slot equals any other free slot, whatever it holds.
bool operator==(const TemplateTable& a, const TemplateTable& b);
inline bool operator!=(const TemplateTable& a, const TemplateTable& b) { return !(a == b); }

}  // namespace zuv

#endif  // ZUV_TEMPLATES_DEVICE_TEMPLATE_H
