// What the device will read from a driver file, set against what the editor
// and the tool show or save. A Save writes nothing unless the new text means
// to the device exactly what the user saved; `check` lists the places where a
// load and the device see a file differently.
#ifndef ZUV_TEMPLATES_DEVICE_CHECK_H
#define ZUV_TEMPLATES_DEVICE_CHECK_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "regfile/status.h"
#include "templates/device_template.h"

namespace zuv {

// How the store names the driver file's templates, derived from `path`: the
// key path of template n is prefix + n (the header the store writes, without
// its brackets).
struct TemplateKeys {
  std::string prefix;
  std::string Key(uint32_t n) const { return prefix + std::to_string(n); }
};
TemplateKeys TemplateKeysOf(const std::string& path);

// Success when `after`, read as the device reads it, holds what a Save of
// `table` over `before` means: no key appears or vanishes but the template
// keys; every value of every other key is what it was; each used template's
// key holds its four values as saved and its other values as they were; no
// free template's key is left. Otherwise Condition::kDeviceRefused with the
// first difference, naming the key and the value.
Status CheckSavedText(std::string_view before, std::string_view after, const TemplateTable& table,
                      const TemplateKeys& keys);

// Success when every template section the store finds in `text` stands under
// this driver's own key; else Condition::kDeviceRefused naming the key found
// and the driver's key (a renamed copy of another driver's file).
Status CheckTemplateKeys(std::string_view text, const std::string& path, const TemplateKeys& keys);

// The places, "line L: ...", where the device reads `text` otherwise than
// `loaded` (the table a load gives) shows it.
std::vector<std::string> DeviceDifferences(std::string_view text, const TemplateTable& loaded,
                                           const TemplateKeys& keys);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_DEVICE_CHECK_H
