// What the device will read from a driver file, set against what the editor
// and the tool show or save. A Save writes nothing unless the new text means
// to the device exactly the old text with the user's changes; `check` lists
// the places where a load and the device see a file differently.
#ifndef ZUV_DEVICE_DEVICE_CHECK_H
#define ZUV_DEVICE_DEVICE_CHECK_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "base/template_values.h"
#include "device/device_view.h"

namespace zuv {

// The templates a driver file holds: keys Template0 to Template15.
constexpr uint32_t kDeviceTemplateCount = 16;

// What the device must read from an analog output's "AOSettings" value: the
// code and both ends, compared as numbers (exactly), and the data the Save
// writes for them (a string, DeviceValue::data's form), which the messages
// quote.
struct ExpectedAo {
  uint32_t code = 0;
  float high = 10.0f;
  float low = 0.0f;
  std::string text;
};

// What the device must read for one value of a template: a double word as
// the Save writes it, or (`isAo`) an analog output's setting.
struct ExpectedValue {
  bool isAo = false;
  uint32_t dword = 0;
  ExpectedAo ao;
};

// One template as a load shows it or a Save writes it: its values in the
// order of the names the proof reads them by (the board id first).
struct ExpectedTemplate {
  bool used = false;
  ExpectedValue values[kTemplateValueCount];
};

// Whether value i of a template differs between two expectations (an analog
// output's code and both ends).
bool ValueChanged(const ExpectedTemplate& a, const ExpectedTemplate& b, int i);
// Whether a Save leaves slot n as the load gave it: both free, or both used
// with the same values.
bool SameSlot(const ExpectedTemplate& a, const ExpectedTemplate& b);

// The 16 templates, slot N template N.
struct ExpectedTable {
  ExpectedTemplate& operator[](uint32_t n) { return slots[n]; }
  const ExpectedTemplate& operator[](uint32_t n) const { return slots[n]; }
  ExpectedTemplate slots[kDeviceTemplateCount];
};

// How the store names the driver file's templates, derived from `path`: the
// key path of template n is prefix + n (the header the store writes, without
// its brackets).
struct TemplateKeys {
  std::string prefix;
  std::string driverKey;  // the driver's own short name, for messages
  std::string Key(uint32_t n) const { return prefix + std::to_string(n); }
};
TemplateKeys TemplateKeysOf(const std::string& path);

// One reading of a template where the build reads it, and the
// configurations that read it.
struct TemplateVariant {
  KeyReading reading;  // one of the readings (they differ only in other values)
  std::vector<Cube> when;
  std::string words;    // the configurations: "with BSP_FAST"
  std::string options;  // how to name one of them: "--define BSP_FAST"
  std::string summary;  // the reading: "board 1, channels 0x0003, AO0 0 ~ 10V, AO1 0 ~ 10V"
};
// The readings of template n where its key exists, one per reading that
// differs; `beyond` is set (and nothing returned) when the build's
// conditions are more than the reader tells apart.
std::vector<TemplateVariant> TemplateVariants(const DeviceView& view, const TemplateKeys& keys,
                                              uint32_t n, bool* beyond);
// "with BSP_FAST: board 1, ...; without BSP_FAST: board 4, ...", the first
// four readings and a count of the rest.
std::string VariantsWords(const std::vector<TemplateVariant>& variants);
// "name the build with --define BSP_FAST or --undefine BSP_FAST".
std::string VariantsWayForward(const std::vector<TemplateVariant>& variants);

// A template the device reads that a load cannot show as the device reads it
// (a key without a double-word "SwitchID", a value of another form, readings
// that differ by build): its number and "line L: template N: ..." saying
// where and what.
struct UnshownTemplate {
  uint32_t n;
  std::string text;
  // The device reads no such template (the build deletes its key, or leaves
  // its lines out): the slot is shown as free, and stays reserved.
  bool hidden = false;
  // The template's readings when they differ by build.
  std::vector<TemplateVariant> variants;
};
// Only the templates whose bit (1 << N) is set in `slots` are looked at;
// with kUnworded, their texts are left empty.
enum class UnshownWords { kWorded, kUnworded };
std::vector<UnshownTemplate> UnshownTemplates(const DeviceView& view, const ExpectedTable& loaded,
                                              const TemplateKeys& keys, uint32_t slots = 0xFFFFu,
                                              UnshownWords words = UnshownWords::kWorded);

// The board ids the templates of `slots` hold in any reading.
std::vector<uint32_t> BoardIdsOfReadings(const DeviceView& view, const TemplateKeys& keys,
                                         uint32_t slots);
// Each pair of templates that hold one board id in a build that reads both:
// "line L: templates 3 and 15 both have board id 3 with BSP_X; ...";
// `conditional` when not every build reads that.
struct ReadBoardIdClash {
  uint32_t n, m;
  bool conditional;
  std::string text;
};
// Only the pairs with a template of `slots` (bit N: template N) are looked at.
std::vector<ReadBoardIdClash> FindBoardIdClashes(const DeviceView& view, const TemplateKeys& keys,
                                                 uint32_t slots = 0xFFFFu);
// The texts of the clashes that only some builds read.
std::vector<std::string> BoardIdClashes(const DeviceView& view, const TemplateKeys& keys);

// Success when `after`, read as the device reads it in every configuration,
// is `before` with exactly the change from `loaded` (the table the load of
// `before` gave) to `saved`: the same build lines in the same order; every
// key and value outside the templates that changed reads the same in every
// configuration; in a changed template, in each configuration of
// `configuration` (every one when null) each changed value reads as saved
// and every other value as before, and in the other configurations each
// value reads as saved or as before; a removed template's key is gone; an
// added one holds its four values and nothing else. Otherwise
// Condition::kDeviceRefused with the first difference, naming the key, the
// value, the line and the configurations.
Status CheckSavedText(const DeviceView& before, const DeviceView& after,
                      const ExpectedTable& loaded, const ExpectedTable& saved,
                      const TemplateKeys& keys, const BuildConfiguration* configuration = nullptr);

// For a Save made for `configuration`, each changed template that other
// builds read otherwise after it too, as "template 1 changes also in the
// builds without BSP_FAST": the edit changed lines those builds share.
std::vector<std::string> ChangesElsewhere(const DeviceView& before, const DeviceView& after,
                                          const ExpectedTable& loaded, const ExpectedTable& saved,
                                          const TemplateKeys& keys,
                                          const BuildConfiguration& configuration);

// Success unless the Save of `saved` over `loaded` appends a template's
// section to a file that ends inside an open block of conditions (the new
// section would stand under it); then Condition::kDeviceRefused naming the
// block's line. `hasSection(n)` tells whether template n has a section.
Status CheckAppendAtEnd(const DeviceView& view, const ExpectedTable& loaded,
                        const ExpectedTable& saved,
                        const std::function<bool(uint32_t)>& hasSection);
// The words for a file that ends inside an open block, or an empty string.
std::string OpenBlockAtEndText(const DeviceView& view);

// Success unless the file is a renamed copy of another driver's: it holds none
// of this driver's template keys, but keys of the same shape under another
// driver's name; then Condition::kDeviceRefused naming the key found and the
// driver's key, and with kNameTheDriver how to name the driver the file
// belongs to. That hint fits a file that is another driver's as it stands,
// not a Save's result that would make it one.
enum class OtherDriverHint { kNameTheDriver, kNone };
Status CheckTemplateKeys(const DeviceView& view, const TemplateKeys& keys,
                         OtherDriverHint hint = OtherDriverHint::kNameTheDriver);

}  // namespace zuv

#endif  // ZUV_DEVICE_DEVICE_CHECK_H
