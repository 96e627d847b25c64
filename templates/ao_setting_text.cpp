#include "templates/ao_setting_text.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>

namespace zuv {

int32_t SavedAoEnd(float value) {
  if (value != value) return 0;
  if (value >= 2147483648.0f) return INT32_MAX;
  if (value < -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(value);
}

namespace {

// A blank, then `value` right-aligned in at least five places (printf's " %5d").
void AppendField(std::string& text, int64_t value) {
  char digits[24];
  const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
  const size_t length = static_cast<size_t>(end.ptr - digits);
  text.append(1 + (length < 5 ? 5 - length : 0), ' ');
  text.append(digits, length);
}

}  // namespace

std::string FormatAoSetting(const AoSetting& setting) {
  std::string text;
  text.reserve(18);
  AppendField(text, setting.Code);
  AppendField(text, SavedAoEnd(setting.RefHigh));
  AppendField(text, SavedAoEnd(setting.RefLow));
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
