// Loading and saving device templates in the driver's registry text file. The
// editor window and the command-line tool both go through the table-wide
// LoadTemplateTable and SaveTemplateTable, so they write the same bytes.
#ifndef ZUV_TEMPLATES_TEMPLATE_FILE_H
#define ZUV_TEMPLATES_TEMPLATE_FILE_H

#include <cstdint>
#include <string>

#include "regfile/file.h"
#include "templates/device_template.h"

namespace zuv {

// " %5u %5ld %5ld" of Code, RefHigh and RefLow (the floats truncated toward zero).
std::string FormatAoSetting(const AoSetting& setting);
// Up to three numbers: Code (low 16 bits), RefHigh, RefLow. Stops at the first
// missing or malformed number; fields not read keep their value.
void ParseAoSetting(const char* text, AoSetting* setting);
// ParseAoSetting that also tells how many of the three numbers it read (0 to 3).
int ParseAoSettingFields(const char* text, AoSetting* setting);

// The longest analog-output text the loader takes; a longer one is cut to it.
constexpr uint32_t kAoTextMaxLength = 49;

// Fills `slot` with template n of the file (defaults first). True when the file
// opened and section n holds a double-word "SwitchID". Never changes Used.
bool LoadTemplate(DeviceTemplate& slot, uint32_t n, const std::string& path,
                  FileSystem& fileSystem = NativeFileSystem());
// Writes template n: appends its header when absent, then its four values.
// True when the file could be opened.
bool SaveTemplate(const DeviceTemplate& slot, uint32_t n, const std::string& path,
                  FileSystem& fileSystem = NativeFileSystem());
// Cuts section n out of the file. Always true.
bool DeleteTemplateFromFile(uint32_t n, const std::string& path,
                            FileSystem& fileSystem = NativeFileSystem());

// Clears all 16 slots, then for N = 0..15: SwitchID = N, LoadTemplate, Used.
void LoadTemplateTable(TemplateTable& table, const std::string& path,
                       FileSystem& fileSystem = NativeFileSystem());
// LoadTemplateTable that also tells whether the file could be read: 0 when it
// was, else the system's error code. The table is loaded as above either way.
uint32_t LoadTemplateTableReporting(TemplateTable& table, const std::string& path,
                                    FileSystem& fileSystem = NativeFileSystem());

// What a Save did. systemError is the system's code when the file could not be
// opened or written (0 when none was reported); message is ready to show:
// the path and the system's reason.
struct SaveResult {
  bool ok = true;
  uint32_t systemError = 0;
  std::string message;
  // The file's templates were not those `expected` held: nothing was written.
  bool changedOnDisk = false;
};

// DeleteTemplateFromFile for free slots 15 down to 0, then SaveTemplate for
// used slots 0 up to 15. When `expected` is given and the templates now in the
// file differ from it, nothing is written and the result has ok == false,
// changedOnDisk == true (message empty).
SaveResult SaveTemplateTable(const TemplateTable& table, const std::string& path,
                             FileSystem& fileSystem = NativeFileSystem(),
                             const TemplateTable* expected = nullptr);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_TEMPLATE_FILE_H
