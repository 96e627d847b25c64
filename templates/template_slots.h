// The load and Save sequences' steps, one template slot at a time, on one
// store opened on the driver file's text read once (RegFile::OpenText): what
// the Save transaction and `check` use.
#ifndef ZUV_TEMPLATES_TEMPLATE_SLOTS_H
#define ZUV_TEMPLATES_TEMPLATE_SLOTS_H

#include <cstdint>

#include "base/status.h"
#include "templates/device_template.h"

namespace zuv {

class RegFile;

// Clears all 16 slots, then for N = 0..15: SwitchID = N, template N loaded from
// the open store, Used when it was found.
void LoadTable(TemplateTable& table, RegFile& store);

// The Save sequence on the open store, for the slots where `table` is not
// what the load gave (`loaded`, see SameSlot): the sections of each slot
// freed cut out, 15 down to 0, then each slot added or changed written, 0 up
// to 15: an added one whole, a changed one only in the values that changed.
// The whole sequence runs even when a step fails; the result is the first
// failure.
Status RunSaveSequence(const TemplateTable& loaded, const TemplateTable& table, RegFile& store);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_TEMPLATE_SLOTS_H
