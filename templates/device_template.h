// The device setting template record, the table of its values in the file,
// the table of 16 slots, and the four analog-output ranges.
#ifndef ZUV_TEMPLATES_DEVICE_TEMPLATE_H
#define ZUV_TEMPLATES_DEVICE_TEMPLATE_H

#include <cstdint>
#include <iterator>

#include "base/template_values.h"

namespace zuv {

constexpr uint32_t kTemplateCount = 16;
constexpr int kAoOutputCount = 2;

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
  AoSetting AOSettings[kAoOutputCount];
};

// Field by field; floats compare exactly (a range that moved by a rounding is
// a change).
bool operator==(const DeviceTemplate& a, const DeviceTemplate& b);
inline bool operator!=(const DeviceTemplate& a, const DeviceTemplate& b) { return !(a == b); }

// ---------------------------------------------------------------- values

// A template's values, one bit each, as the editor's Save tells what each side
// changed; kValueUsed is the template itself (added or removed).
enum TemplateValue : uint32_t {
  kValueUsed = 1u << 0,
  kValueSwitchId = 1u << 1,    // the board id
  kValueChanConfig = 1u << 2,  // the channel mask
  kValueAo0 = 1u << 3,         // "AOSettings 0" (code and both ends)
  kValueAo1 = 1u << 4,         // "AOSettings 1"
};

// How a value is written in the file and kept in the record.
enum class ValueType {
  kDword,   // a double word: a uint32_t field of the record
  kString,  // an analog output's setting, written as text: an AoSetting of AOSettings
};

// What a value means, where its words, its rules and its merge differ.
enum class ValueKind {
  kBoardId,      // the board the template is for; a section without it holds no template
  kChannelMask,  // bit i set: A/D channel i is differential; merged bit by bit
  kAoRange,      // an analog output's code and the ends of its range
};

struct TemplateValueInfo {
  const char* name;  // the value's name in the file
  ValueType type;
  ValueKind kind;
  uint32_t DeviceTemplate::*dword;  // ValueType::kDword: the record's field
  int output;                       // ValueType::kString: the index in AOSettings
  TemplateValue bit;
  const char* shownAs;  // its name on the editor's page that shows it, in the editor's boxes
  const char* field;    // its field in the JSON document
};

// The values of a template section, in the order a Save writes them: the one
// list the load, the Save, the proof's expectation, the editor's merge and
// the JSON document take them from.
inline constexpr TemplateValueInfo kTemplateValues[] = {
    // On the Device page.
    {"SwitchID", ValueType::kDword, ValueKind::kBoardId, &DeviceTemplate::SwitchID, 0,
     kValueSwitchId, "BoardID", "boardId"},
    // On the AI page.
    {"ChanConfig", ValueType::kDword, ValueKind::kChannelMask, &DeviceTemplate::ChanConfig, 0,
     kValueChanConfig, "differential pairs", "differentialPairs"},
    // On the AO page.
    {"AOSettings 0", ValueType::kString, ValueKind::kAoRange, nullptr, 0, kValueAo0, "AO0 range",
     "ao0"},
    {"AOSettings 1", ValueType::kString, ValueKind::kAoRange, nullptr, 1, kValueAo1, "AO1 range",
     "ao1"},
};

// The board id comes first (a load reads it to know whether the section holds
// a template), each double word names its field, each analog output has one
// string value in order, and the bits are distinct.
constexpr bool TemplateValuesAreWhole() {
  int outputs = 0;
  uint32_t bits = kValueUsed;
  for (const TemplateValueInfo& value : kTemplateValues) {
    if ((bits & value.bit) != 0) return false;
    bits |= value.bit;
    const bool string = value.type == ValueType::kString;
    if (string != (value.kind == ValueKind::kAoRange)) return false;
    if (string ? value.output != outputs++ : value.dword == nullptr) return false;
  }
  return kTemplateValues[0].kind == ValueKind::kBoardId && outputs == kAoOutputCount;
}
static_assert(std::size(kTemplateValues) == kTemplateValueCount,
              "a row for each of a template's values");
static_assert(TemplateValuesAreWhole(), "the value table is consistent");

// Whether value i (a row of kTemplateValues) differs between two records; an
// analog output's code and both ends, as SameAoSetting.
bool ValueChanged(const DeviceTemplate& a, const DeviceTemplate& b, int i);
// Value i of `from` copied into `to`.
void CopyValue(DeviceTemplate& to, const DeviceTemplate& from, int i);
// Value i as a section that lacks it gives it: 0, or kDefaultAoSetting.
void SetDefaultValue(DeviceTemplate& slot, int i);

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
