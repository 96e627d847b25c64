// The load and Save sequences' steps, one template slot at a time. The table
// loads, and a Save's sequence runs, on one store opened on the driver file's
// text read once (RegFile::OpenText): what the Save transaction and `check`
// use. The per-slot steps on a file of a MemoryFileSystem open a store of
// their own, as each step of the sequence once did: the fuzz targets and the
// tests compare a whole Save with the same steps made one by one.
#ifndef ZUV_TEMPLATES_TEMPLATE_SLOTS_H
#define ZUV_TEMPLATES_TEMPLATE_SLOTS_H

#include <cstdint>
#include <string>

#include "fileio/memory_file.h"
#include "base/status.h"
#include "templates/device_template.h"

namespace zuv {

class RegFile;

// Fills `slot` with template n of the file (defaults first). True when the file
// opened and section n holds a double-word "SwitchID". Never changes Used.
bool LoadTemplate(DeviceTemplate& slot, uint32_t n, const std::string& path,
                  MemoryFileSystem& files);
// Writes template n: appends its header when absent, then its four values.
// True when the file could be opened.
bool SaveTemplate(const DeviceTemplate& slot, uint32_t n, const std::string& path,
                  MemoryFileSystem& files);
// Cuts every section of template n out of the file. Always true.
bool DeleteTemplateFromFile(uint32_t n, const std::string& path, MemoryFileSystem& files);

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
