#include "templates/ao_setting_text.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zuv {

int32_t SavedAoEnd(float value) {
  if (value != value) return 0;
  if (value >= 2147483648.0f) return INT32_MAX;
  if (value < -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(value);
}

namespace {

// A blank, then `value` in decimal right-aligned in five characters at least
// (" %5lld"), written at `out`; returns the end. Written here: each Save and
// its proof format every slot's two settings.
char* PutField(char* out, int64_t value) {
  char digits[24];
  size_t at = sizeof digits;
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    digits[--at] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[--at] = '-';
  *out++ = ' ';
  for (size_t width = sizeof digits - at; width < 5; ++width) *out++ = ' ';
  std::memcpy(out, digits + at, sizeof digits - at);
  return out + (sizeof digits - at);
}

}  // namespace

std::string FormatAoSetting(const AoSetting& setting) {
  // " %5u %5ld %5ld" of the code and both ends.
  char text[64];
  char* end = PutField(text, setting.Code);
  end = PutField(end, SavedAoEnd(setting.RefHigh));
  end = PutField(end, SavedAoEnd(setting.RefLow));
  return std::string(text, end);
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
