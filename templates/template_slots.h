// The Save and load sequences' steps, one template slot at a time, on a copy
// of the driver file in memory: what LoadTemplateTable and SaveTemplateTable
// run under the file's lock, and what `check` loads its one decoded copy
// with. They neither lock, decode nor replace a file, so outside templates/
// only the fuzz targets and the tests call them, to compare a whole Save with
// the same steps made one by one.
#ifndef ZUV_TEMPLATES_TEMPLATE_SLOTS_H
#define ZUV_TEMPLATES_TEMPLATE_SLOTS_H

#include <cstdint>
#include <string>

#include "regfile/memory_file.h"
#include "regfile/status.h"
#include "templates/device_template.h"

namespace zuv {

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

// Clears all 16 slots, then for N = 0..15: SwitchID = N, LoadTemplate, Used.
void LoadTableFromCopy(TemplateTable& table, const std::string& path, MemoryFileSystem& copy);

// The Save sequence on the copy, for the slots where `table` is not what the
// load gave (`loaded`, see SameSlot): the sections of each slot freed cut out,
// 15 down to 0, then each slot added or changed written, 0 up to 15: an added
// one whole, a changed one only in the values that changed. The whole
// sequence runs even when a step fails; the result is the first failure.
Status RunSaveSequence(const TemplateTable& loaded, const TemplateTable& table,
                       const std::string& path, MemoryFileSystem& copy);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_TEMPLATE_SLOTS_H
