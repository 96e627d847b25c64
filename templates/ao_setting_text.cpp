#include "templates/ao_setting_text.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace zuv {

int32_t SavedAoEnd(float value) {
  if (value != value) return 0;
  if (value >= 2147483648.0f) return INT32_MAX;
  if (value < -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(value);
}

std::string FormatAoSetting(const AoSetting& setting) {
  char text[64];
  std::snprintf(text, sizeof text, " %5" PRIu32 " %5ld %5ld", setting.Code,
                static_cast<long>(SavedAoEnd(setting.RefHigh)),
                static_cast<long>(SavedAoEnd(setting.RefLow)));
  return text;
}

int ParseAoSettingFields(const char* text, AoSetting* setting) {
  if (text == nullptr) return 0;
  // Decimal numbers, blanks before each. Code takes the low 16 bits of what is
  // read (a negative number wraps as an unsigned one would); the ends are read
  // as 32-bit signed numbers, saturating beyond that range.
  const char* cursor = text;
  char* end = nullptr;
  errno = 0;
  const unsigned long long code = std::strtoull(cursor, &end, 10);
  if (end == cursor) return 0;
  setting->Code = static_cast<uint32_t>(code & 0xFFFFu);
  float* ends[2] = {&setting->RefHigh, &setting->RefLow};
  for (int i = 0; i < 2; ++i) {
    cursor = end;
    long long value = std::strtoll(cursor, &end, 10);
    if (end == cursor) return 1 + i;
    if (value > INT32_MAX) value = INT32_MAX;
    if (value < INT32_MIN) value = INT32_MIN;
    *ends[i] = static_cast<float>(value);
  }
  return 3;
}

void ParseAoSetting(const char* text, AoSetting* setting) { ParseAoSettingFields(text, setting); }

}  // namespace zuv
