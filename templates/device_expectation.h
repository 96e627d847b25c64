// The table as the device's proof expects it (device/device_check), and the
// reservation of the slots the device reads otherwise than a load shows them.
#ifndef ZUV_TEMPLATES_DEVICE_EXPECTATION_H
#define ZUV_TEMPLATES_DEVICE_EXPECTATION_H

#include <vector>

#include "device/device_check.h"
#include "device/device_view.h"
#include "templates/device_template.h"

namespace zuv {

// What the device must read for each slot of `table`: its values, and the
// analog outputs' strings as a Save writes them.
ExpectedTable ExpectedTableOf(const TemplateTable& table);

// Reserves in `loaded` every slot UnshownTemplates names, so that no Add takes
// it and no Save writes it; a hidden one is shown as free. A reserved
// template's board ids in every build that reads it are held (given to no
// other template); so, when `view` is read for one build, are every
// template's board ids in the builds `everyBuild` (the same text read in
// every build) tells apart. Returns what UnshownTemplates gave (without
// their texts with kUnworded).
std::vector<UnshownTemplate> ReserveUnshownTemplates(const DeviceView& view, TemplateTable& loaded,
                                                     const TemplateKeys& keys,
                                                     UnshownWords words = UnshownWords::kWorded,
                                                     const DeviceView* everyBuild = nullptr);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_DEVICE_EXPECTATION_H
