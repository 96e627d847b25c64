// The text form of an analog-output setting in the driver file: three
// decimal numbers, " %5u %5ld %5ld" of Code, RefHigh and RefLow.
#ifndef ZUV_TEMPLATES_AO_SETTING_TEXT_H
#define ZUV_TEMPLATES_AO_SETTING_TEXT_H

#include <cstdint>
#include <string>

#include "templates/device_template.h"

namespace zuv {

// The longest analog-output text the loader takes; a longer one is cut to it.
constexpr uint32_t kAoTextMaxLength = 49;

// An end of a range as a Save writes it: truncated toward zero into 32 bits.
// Values outside that range (and NaN) cannot come from a text the loader
// read, but a record filled by other means must not make the conversion
// undefined: they saturate (NaN gives 0). The document's export writes the
// same numbers, so applying an export changes no byte.
int32_t SavedAoEnd(float value);

// " %5u %5ld %5ld" of Code, RefHigh and RefLow (the ends as SavedAoEnd gives them).
std::string FormatAoSetting(const AoSetting& setting);
// Up to three numbers: Code (low 16 bits), RefHigh, RefLow. Stops at the first
// missing or malformed number; fields not read keep their value.
void ParseAoSetting(const char* text, AoSetting* setting);
// ParseAoSetting that also tells how many of the three numbers it read (0 to 3).
int ParseAoSettingFields(const char* text, AoSetting* setting);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_AO_SETTING_TEXT_H
