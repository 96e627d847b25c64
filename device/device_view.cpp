#include "device/device_view.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zuv {

namespace {

bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

void LowerInPlace(std::string& text);

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  LowerInPlace(lower);
  return lower;
}

inline std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsSpaceOrTab(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpaceOrTab(text.back())) text.remove_suffix(1);
  return text;
}

// The data up to a ";" comment, blanks around it dropped.
std::string_view BeforeComment(std::string_view data) {
  return TrimBlanks(data.substr(0, data.find(';')));
}

bool StartsWithWord(std::string_view line, std::string_view word) {
  if (line.size() < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (line[i] != word[i]) return false;
  }
  return line.size() == word.size() || IsSpaceOrTab(line[word.size()]);
}

// IF, ELSE and ENDIF of the image build, and "#" lines of its C preprocessor.
bool IsPreprocessorLine(std::string_view line) {
  return line.front() == '#' || StartsWithWord(line, "IF") || StartsWithWord(line, "ELSE") ||
         StartsWithWord(line, "ENDIF");
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "dword:" and up to eight hex digits, nothing but a comment after them.
std::string DwordData(std::string_view digits, std::string_view whole) {
  digits = BeforeComment(digits);
  if (digits.empty() || digits.size() > 8) return std::string(whole);
  unsigned long value = 0;
  for (char c : digits) {
    if (HexValue(c) < 0) return std::string(whole);
    value = value * 16 + static_cast<unsigned long>(HexValue(c));
  }
  return DeviceDword(value);
}

// A byte list: the tag, then each byte's two digits in lower case.
std::string BytesData(std::string_view tag, std::string_view bytes, std::string_view whole) {
  std::string data(tag);
  data += ':';
  std::string digits;
  for (char c : BeforeComment(bytes)) {
    if (c == ',' || IsSpaceOrTab(c) || c == '\\') {
      if (digits.size() > 2) return std::string(whole);
      if (!digits.empty()) {
        if (data.back() != ':') data += ',';
        if (digits.size() == 1) data += '0';
        data += digits;
      }
      digits.clear();
    } else if (HexValue(c) >= 0) {
      digits += Lower(c);
    } else {
      return std::string(whole);
    }
  }
  if (digits.size() > 2) return std::string(whole);
  if (!digits.empty()) {
    if (data.back() != ':') data += ',';
    if (digits.size() == 1) data += '0';
    data += digits;
  }
  return data;
}

// What follows a value's "=".
std::string ValueData(std::string_view data) {
  data = TrimBlanks(data);
  if (!data.empty() && data.front() == '"') {
    for (size_t i = 1; i < data.size(); ++i) {
      if (data[i] == '\\' && i + 1 < data.size()) {
        ++i;
      } else if (data[i] == '"') {
        return DeviceString(data.substr(1, i - 1));
      }
    }
    return std::string(data);  // no closing quote
  }
  if (data == "-") return "-";
  const size_t colon = data.find(':');
  if (colon == std::string_view::npos) return std::string(BeforeComment(data));
  const std::string tag = LowerCase(TrimBlanks(data.substr(0, colon)));
  const std::string_view rest = data.substr(colon + 1);
  if (tag == "dword") return DwordData(rest, data);
  if (tag == "hex" || tag == "multi_sz" || (tag.compare(0, 4, "hex(") == 0 && tag.back() == ')')) {
    std::string bytes = BytesData(tag, rest, data);
    // hex(4): is a double word written byte by byte, the low byte first.
    if (tag == "hex(4)" && bytes.size() == 18 && bytes.compare(0, 7, "hex(4):") == 0) {
      unsigned long value = 0;
      for (int i = 3; i >= 0; --i) {
        const size_t at = 7 + 3 * static_cast<size_t>(i);
        value = value << 8 |
                static_cast<unsigned long>(HexValue(bytes[at]) * 16 + HexValue(bytes[at + 1]));
      }
      return DeviceDword(value);
    }
    return bytes;
  }
  return std::string(BeforeComment(data));
}

}  // namespace

namespace {

// Eight characters with their ASCII capitals in lower case. A byte below 0x80
// is a capital when it is at least 'A' and at most 'Z': adding 0x80 - 'A'
// sets its top bit, adding 0x80 - 'Z' - 1 does not (with the top bits
// cleared first, no sum carries into the next byte).
uint64_t LowerEight(uint64_t eight) {
  constexpr uint64_t kEach = 0x0101010101010101u;
  constexpr uint64_t kTop = kEach * 0x80;
  const uint64_t seven = eight & ~kTop;
  const uint64_t atLeastA = seven + kEach * (0x80 - 'A');
  const uint64_t beyondZ = seven + kEach * (0x80 - 'Z' - 1);
  return eight | (atLeastA & ~beyondZ & ~eight & kTop) >> 2;
}

// The ASCII capitals of `text` in lower case, eight bytes a step.
void LowerInPlace(std::string& text) {
  char* const data = text.data();
  const size_t size = text.size();
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t eight;
    std::memcpy(&eight, data + i, 8);
    eight = LowerEight(eight);
    std::memcpy(data + i, &eight, 8);
  }
  for (; i < size; ++i) data[i] = Lower(data[i]);
}

}  // namespace

uint64_t RegistryNameHash(std::string_view name) {
  // Eight lowered bytes a step, each mixed in by a multiply and a shift;
  // the last step's bytes beyond the name are zero.
  constexpr uint64_t kMix = 0x9E3779B97F4A7C15u;
  uint64_t hash = name.size() * kMix;
  auto mix = [&hash](uint64_t eight) {
    hash = (hash ^ LowerEight(eight)) * kMix;
    hash ^= hash >> 29;
  };
  size_t i = 0;
  for (; i + 8 <= name.size(); i += 8) {
    uint64_t eight;
    std::memcpy(&eight, name.data() + i, 8);
    mix(eight);
  }
  if (i < name.size()) {
    uint64_t last = 0;
    for (size_t shift = 0; i < name.size(); ++i, shift += 8) {
      last |= uint64_t{static_cast<unsigned char>(name[i])} << shift;
    }
    mix(last);
  }
  return hash ^ (hash >> 32);
}

bool SameRegistryName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  size_t i = 0;
  for (; i + 8 <= a.size(); i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (LowerEight(x) != LowerEight(y)) return false;
  }
  for (; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One decimal number of `text` from `at`, blanks and a sign before it.
struct DeviceNumber {
  bool negative = false;
  bool beyond = false;  // more than 64 bits: the magnitude is the largest
  uint64_t magnitude = 0;
};

// Reads the number at `at` and moves past it; false when there is none.
bool ReadNumber(std::string_view text, size_t& at, DeviceNumber& number) {
  size_t i = at;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t digits = i;
  uint64_t magnitude = 0;
  bool beyond = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    beyond = beyond || magnitude > (UINT64_MAX - digit) / 10;
    magnitude = beyond ? UINT64_MAX : magnitude * 10 + digit;
  }
  if (i == digits) return false;
  number = {negative, beyond, magnitude};
  at = i;
  return true;
}

// An end of a range: the number saturating into 32 bits.
float DeviceAoEnd(const DeviceNumber& number) {
  const uint64_t magnitude = number.magnitude;
  if (number.negative) {
    return magnitude > 0x80000000u ? -2147483648.0f : -static_cast<float>(magnitude);
  }
  return static_cast<float>(magnitude > 0x7FFFFFFFu ? 0x7FFFFFFFu : magnitude);
}

}  // namespace

std::optional<DeviceAoSetting> ReadDeviceAoSetting(std::string_view data) {
  if (data.size() < 2 || data.front() != '"') return std::nullopt;
  std::string_view text = data.substr(1, data.size() - 2);
  text = text.substr(0, 49);
  DeviceAoSetting setting;
  size_t at = 0;
  DeviceNumber number;
  if (!ReadNumber(text, at, number)) return setting;
  // A number beyond 64 bits reads as the largest, whatever its sign.
  const uint64_t code =
      number.negative && !number.beyond ? uint64_t{0} - number.magnitude : number.magnitude;
  setting.code = static_cast<uint32_t>(code & 0xFFFFu);
  if (!ReadNumber(text, at, number)) return setting;
  setting.high = DeviceAoEnd(number);
  if (!ReadNumber(text, at, number)) return setting;
  setting.low = DeviceAoEnd(number);
  return setting;
}

std::string DeviceDword(unsigned long value) {
  // "dword:%08lx" of the low 32 bits, written here: a view reads many.
  static const char kHex[] = "0123456789abcdef";
  std::string text = "dword:00000000";
  for (size_t i = 0; i < 8; ++i) text[13 - i] = kHex[(value >> (4 * i)) & 15];
  return text;
}

std::string DeviceString(std::string_view text) {
  std::string data;
  data.reserve(text.size() + 2);
  data += '"';
  data += text;
  data += '"';
  return data;
}

namespace {

// The first CR or LF at or after `at`, or the text's end. Sixteen or eight
// bytes are looked at a time: a line of a registry file is a few dozen bytes,
// too short for a search call to pay, and one pass finds either line end.
size_t PhysicalLineEnd(std::string_view text, size_t at) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  constexpr uint64_t kHighs = 0x8080808080808080u;
  const char* const data = text.data();
  const size_t size = text.size();
#if defined(__SSE2__)
  // Sixteen bytes a step where the processor compares them at once.
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  while (at + 16 <= size) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    const int ends =
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(bytes, cr)));
    if (ends != 0) return at + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(ends)));
    at += 16;
  }
#endif
  while (at < size) {
    if (at + 8 <= size) {
      uint64_t word;
      std::memcpy(&word, data + at, 8);
      // Whether a byte is below 14 (CR is 13, LF 10; a tab or another
      // control character is told apart below), whatever the byte order.
      const uint64_t low = (word - kOnes * 14) & ~word & kHighs;
      if (low == 0) {
        at += 8;
        continue;
      }
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      // The lowest high bit marks the first such byte.
      at += static_cast<size_t>(__builtin_ctzll(low)) / 8;
      if (data[at] == '\r' || data[at] == '\n') return at;
      ++at;
      continue;
#endif
    }
    const size_t stop = at + 8 < size ? at + 8 : size;
    for (; at < stop; ++at) {
      if (data[at] == '\r' || data[at] == '\n') return at;
    }
  }
  return size;
}

// Whether the line whose first character other than blanks is at `lead` of
// `text` is one that a view passes over when no key it reads is current: not
// a header, a preprocessor or a directive line (their first characters tell),
// so a value or a comment of a key not read, or a blank line.
bool PassedOver(std::string_view text, size_t lead) {
  if (lead == text.size()) return true;
  switch (text[lead]) {
    case '[':
    case '#':
    case 'I':
    case 'E':
      return false;
    case ';': {
      // "; @...", "; HIVE BOOT SECTION", "; END HIVE BOOT SECTION"
      size_t word = lead + 1;
      while (word < text.size() && IsSpaceOrTab(text[word])) ++word;
      if (word == text.size()) return true;
      const char c = Lower(text[word]);
      return c != '@' && c != 'h' && c != 'e';
    }
    default:
      return true;
  }
}

// The first `c` at or after `at` of `text`, or its size: sixteen bytes a step
// where the processor compares them at once (a header line is a few dozen).
size_t FirstOf(std::string_view text, size_t at, char c) {
  const char* const data = text.data();
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi8(c);
  for (; at + 16 <= text.size(); at += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    const int found = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted));
    if (found != 0) return at + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(found)));
  }
  // The last bytes: the sixteen that end the text, those before `at` left out.
  if (at < text.size() && text.size() >= 16) {
    const size_t last = text.size() - 16;
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + last));
    const unsigned found =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted))) >> (at - last);
    return found != 0 ? at + static_cast<size_t>(__builtin_ctz(found)) : text.size();
  }
#endif
  while (at < text.size() && data[at] != c) ++at;
  return at;
}

// The line ends (CR or LF) of a text, found going forward: the positions of
// both in a window of 64 bytes are kept as bits, so that each of the short
// lines of a registry file costs a look at one bit mask.
class LineEnds {
 public:
  explicit LineEnds(std::string_view text) : text_(text) {}
  // The first CR or LF at or after `at`, or the text's end.
  size_t Next(size_t at) {
#if defined(__SSE2__)
    for (;;) {
      if (at < base_ || at >= base_ + 64) Load(at);
      const uint64_t ends = ends_ >> (at - base_);
      if (ends != 0) return at + static_cast<size_t>(__builtin_ctzll(ends));
      if (base_ + 64 >= text_.size()) return text_.size();
      at = base_ + 64;
    }
#else
    return PhysicalLineEnd(text_, at);
#endif
  }

 private:
#if defined(__SSE2__)
  // The window of 64 bytes from `at` (fewer at the text's end).
  void Load(size_t at) {
    base_ = at;
    ends_ = 0;
    const char* const data = text_.data() + at;
    if (at + 64 <= text_.size()) {
      const __m128i lf = _mm_set1_epi8('\n');
      const __m128i cr = _mm_set1_epi8('\r');
      for (int i = 0; i < 4; ++i) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i));
        const int found =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(bytes, cr)));
        ends_ |= static_cast<uint64_t>(static_cast<uint16_t>(found)) << (16 * i);
      }
      return;
    }
    for (size_t i = 0; at + i < text_.size(); ++i) {
      if (data[i] == '\r' || data[i] == '\n') ends_ |= uint64_t{1} << i;
    }
  }
  size_t base_ = static_cast<size_t>(-1) / 2;
  uint64_t ends_ = 0;
#endif
  std::string_view text_;
};

#if defined(__SSE2__)
// What the first character of a line tells PassOverLines, and the first
// character other than blanks after a ";" that starts one: 1 when the line needs a look (a blank
// before its first character, a header, one of the build's lines, a comment that may be a
// directive), 0 when it is passed over (unless a value goes on from it).
struct FirstCharacters {
  uint8_t start[256] = {};
  uint8_t afterSemicolon[256] = {};
  constexpr FirstCharacters() {
    for (const char c : {' ', '\t', '[', '#', 'I', 'E'}) start[static_cast<uint8_t>(c)] = 1;
    start[static_cast<uint8_t>(';')] = 2;
    for (const char c : {'@', 'h', 'H', 'e', 'E'}) afterSemicolon[static_cast<uint8_t>(c)] = 1;
  }
};
constexpr FirstCharacters kFirstCharacters;

// Passes over whole lines of a text that PassOverLines passes over without a
// look at more than their first characters: the line ends of 64 bytes are
// found at once and kept for the lines that follow, so that each line costs a
// look at its first character and a few bit operations.
class PlainLines {
 public:
  explicit PlainLines(std::string_view text) : data_(text.data()), size_(text.size()) {}
  // From `at`, a line start, past the lines up to the first that needs a
  // look (or that does not end among the bytes looked at), counting them in
  // `number`; returns where it stopped, a line start (`at` when no line was
  // passed).
  size_t Pass(size_t at, size_t& number) {
    if (at < base_ || at + 16 > base_ + 64) {
      if (at + 64 > size_) return at;
      Load(at);
    }
    size_t passed = PassFrom(at, number);
    if (passed == at && at != base_ && at + 64 <= size_) {
      // The first line may end past the bytes looked at: a look from it.
      Load(at);
      passed = PassFrom(at, number);
    }
    return passed;
  }

 private:
  void Load(size_t at) {
    base_ = at;
    uint64_t cr = 0, lf = 0, goesOn = 0;
    const __m128i crs = _mm_set1_epi8('\r');
    const __m128i lfs = _mm_set1_epi8('\n');
    const __m128i backslashes = _mm_set1_epi8('\\');
    const __m128i spaces = _mm_set1_epi8(' ');
    const __m128i tabs = _mm_set1_epi8('\t');
    for (int i = 0; i < 4; ++i) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + at + 16 * i));
      const auto bits = [](__m128i found) {
        return static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(found)));
      };
      cr |= bits(_mm_cmpeq_epi8(bytes, crs)) << (16 * i);
      lf |= bits(_mm_cmpeq_epi8(bytes, lfs)) << (16 * i);
      goesOn |= bits(_mm_or_si128(
                    _mm_cmpeq_epi8(bytes, backslashes),
                    _mm_or_si128(_mm_cmpeq_epi8(bytes, spaces), _mm_cmpeq_epi8(bytes, tabs))))
                << (16 * i);
    }
    // Line starts: after an LF, and after a CR that no LF follows.
    starts_ = (lf << 1) | ((cr << 1) & ~lf);
    // The first character of each line end (an LF after a CR is part of its
    // end), where it follows "\" or a blank: the line may go on.
    mayGoOn_ = (cr | lf) & ~(lf & (cr << 1)) & (goesOn << 1);
  }

  size_t PassFrom(size_t at, size_t& number) const {
    const unsigned shift = static_cast<unsigned>(at - base_);
    const char* const data = data_ + at;
    // Bit i: the byte at + i. `at` itself starts a line.
    const uint64_t starts = (starts_ >> shift) | 1;
    const uint64_t mayGoOn = mayGoOn_ >> shift;
    // The lines before the last start are whole; a line that may go on is
    // left, and the lines after it.
    size_t limit = static_cast<size_t>(63 - __builtin_clzll(starts));
    if (mayGoOn != 0) {
      const unsigned end = static_cast<unsigned>(__builtin_ctzll(mayGoOn));
      const uint64_t before = end == 63 ? ~uint64_t{0} : (uint64_t{1} << (end + 1)) - 1;
      const size_t start = static_cast<size_t>(63 - __builtin_clzll(starts & before));
      if (start < limit) limit = start;
    }
    uint64_t lines = starts & ((uint64_t{1} << limit) - 1);
    while (lines != 0) {
      const size_t i = static_cast<size_t>(__builtin_ctzll(lines));
      const uint8_t kind = kFirstCharacters.start[static_cast<uint8_t>(data[i])];
      if (kind == 1) return at + i;
      if (kind == 2) {
        // A line before `limit` ends before it: its first character after the
        // ";" and blanks is among the bytes looked at (its line end, if nothing else).
        size_t word = i + 1;
        while (IsSpaceOrTab(data[word])) ++word;
        if (kFirstCharacters.afterSemicolon[static_cast<uint8_t>(data[word])] != 0) return at + i;
      }
      lines &= lines - 1;
      ++number;
    }
    return at + limit;
  }

  const char* data_;
  size_t size_;
  size_t base_ = static_cast<size_t>(-1) / 2;  // the bytes looked at: [base_, base_ + 64)
  uint64_t starts_ = 0;
  uint64_t mayGoOn_ = 0;
};
#endif

// What PassOverLines does with a header line: nothing (the line stops it).
struct StopAtHeaders {
  bool operator()(size_t, size_t, size_t, size_t) const { return false; }
};

// Moves `at`, a line start, past the physical lines from there that
// PassedOver accepts and that no value goes on from (a value line whose last
// character other than blanks is "\" stops it), counting them in `number`.
// A header line is given to onHeader(start, lead, end, number) (its start,
// its "[", its line end and its number): true passes over it too.
template <typename OnHeader>
void PassOverLines(std::string_view text, size_t& at, size_t& number, OnHeader onHeader) {
  LineEnds ends(text);
  const char* const data = text.data();
  const size_t size = text.size();
#if defined(__SSE2__)
  PlainLines plain(text);
#endif
  while (at < size) {
#if defined(__SSE2__)
    if (kFirstCharacters.start[static_cast<uint8_t>(data[at])] != 1) {
      const size_t passed = plain.Pass(at, number);
      if (passed != at) {
        at = passed;
        continue;
      }
    }
#endif
    size_t lead = at;
    while (lead < size && IsSpaceOrTab(data[lead])) ++lead;
    size_t end;
    switch (lead < size ? data[lead] : '\n') {
      case '[':
        end = ends.Next(lead);
        if (!onHeader(at, lead, end, number + 1)) return;
        break;
      case '#':
      case 'I':
      case 'E':
        return;
      case ';':
        if (!PassedOver(text, lead)) return;
        end = ends.Next(lead);
        break;
      case '"':
      case '@': {
        end = ends.Next(lead);
        // Only a line whose last character is "\" or a blank may go on.
        if (data[end - 1] == '\\' || IsSpaceOrTab(data[end - 1])) {
          size_t last = end;
          while (last > lead && IsSpaceOrTab(data[last - 1])) --last;
          if (data[last - 1] == '\\') return;
        }
        break;
      }
      default:
        end = ends.Next(lead);
        break;
    }
    // Past the line end: CR LF, or a lone CR or LF.
    at = end;
    if (at < size) at += data[at] == '\r' && at + 1 < size && data[at + 1] == '\n' ? 2 : 1;
    ++number;
  }
}

// Calls fn(line, number, start) for each line as the device reads it, a
// value's continued lines joined (`number` is the 1-based number of its first
// physical line, `start` its offset), until fn returns false. While
// passingOver() is true, the lines PassedOver accepts are not given to fn:
// the reader has nothing to do with them, and a header line among them is
// given to onHeader (see PassOverLines) before fn.
template <typename Fn, typename PassingOver, typename OnHeader = StopAtHeaders>
void ForEachLineFrom(std::string_view text, size_t at, size_t& number, Fn fn,
                     PassingOver passingOver, OnHeader onHeader = {});

template <typename Fn, typename PassingOver, typename OnHeader = StopAtHeaders>
void ForEachLine(std::string_view text, Fn fn, PassingOver passingOver, OnHeader onHeader = {}) {
  size_t number = 0;
  ForEachLineFrom(text, 0, number, fn, passingOver, onHeader);
}

// ForEachLine from `at`, a line start, the line there the (number + 1)th;
// `number` ends as the number of the last line read.
template <typename Fn, typename PassingOver, typename OnHeader>
void ForEachLineFrom(std::string_view text, size_t at, size_t& number, Fn fn,
                     PassingOver passingOver, OnHeader onHeader) {
  // The next physical line, moving `at` past its line end (CR LF, LF or CR).
  auto nextLine = [&text, &at, &number]() {
    const size_t end = PhysicalLineEnd(text, at);
    const std::string_view line = text.substr(at, end - at);
    at = end;
    if (at < text.size() && text[at] == '\r') ++at;
    if (at < text.size() && text[at] == '\n' && (at == end || text[end] == '\r')) ++at;
    ++number;
    return line;
  };
  std::string joined;
  while (at < text.size()) {
    if (passingOver()) {
      PassOverLines(text, at, number, onHeader);
      if (at == text.size()) return;
    }
    const size_t first = number + 1;
    const size_t start = at;
    std::string_view line = nextLine();
    // Only a value line can go on: its first and last characters other than
    // blanks are looked at, the rest of the line is not.
    size_t lead = 0;
    while (lead < line.size() && IsSpaceOrTab(line[lead])) ++lead;
    size_t last = line.size();
    if (lead < line.size() && (line[lead] == '"' || line[lead] == '@')) {
      while (last > lead && IsSpaceOrTab(line[last - 1])) --last;
    }
    if (lead < line.size() && (line[lead] == '"' || line[lead] == '@') && line[last - 1] == '\\' &&
        at < text.size()) {
      // A value whose data ends with "\" goes on on the next line.
      joined.clear();
      while (!TrimBlanks(line).empty() && TrimBlanks(line).back() == '\\' && at < text.size()) {
        const std::string_view part = TrimBlanks(line);
        joined.append(part.substr(0, part.size() - 1));
        joined += ',';
        line = nextLine();
      }
      joined.append(line);
      line = joined;
    }
    if (!fn(line, first, start)) return;
  }
}

// The key path of a header line (blanks around the line dropped, starting
// with "["): between "[" and "]", blanks around it dropped.
std::string_view HeaderPath(std::string_view line) {
  const size_t close = line.find(']');
  return TrimBlanks(line.substr(1, close == std::string_view::npos ? close : close - 1));
}

void LowerInto(std::string_view text, std::string* lower) {
  lower->assign(text);
  LowerInPlace(*lower);
}

// The names NameIndex finds the keys of a view and the values of a key by.
struct KeyPaths {
  const std::vector<DeviceKey>& keys;
  std::string_view operator()(size_t i) const { return keys[i].path; }
};
struct ValueNames {
  const std::vector<DeviceValue>& values;
  std::string_view operator()(size_t i) const { return values[i].name; }
};

// Most keys hold a few values: a look through them costs less than a table
// of their names, which a key gets once it holds more than this many.
constexpr size_t kValuesLookedThrough = 8;

// The index in key.values of the value named `name`, or NameIndex::kNone.
size_t FindValueIndex(const DeviceKey& key, std::string_view name) {
  if (!key.index.empty()) return key.index.Find(name, ValueNames{key.values});
  for (size_t i = 0; i < key.values.size(); ++i) {
    if (SameRegistryName(key.values[i].name, name)) return i;
  }
  return NameIndex::kNone;
}

}  // namespace

DeviceKeySet::DeviceKeySet(std::initializer_list<std::string_view> paths) {
  for (std::string_view path : paths) insert(path);
}

void DeviceKeySet::reserve(size_t paths, size_t bytes) {
  spans_.reserve(paths);
  text_.reserve(bytes);
}

bool DeviceKeySet::insert(std::string_view path) {
  if (contains(path)) return false;
  spans_.push_back({text_.size(), path.size()});
  text_ += path;
  index_.Add(spans_.size() - 1, [this](size_t i) { return (*this)[i]; });
  return true;
}

bool DeviceKeySet::contains(std::string_view path) const {
  return index_.Find(path, [this](size_t i) { return (*this)[i]; }) != NameIndex::kNone;
}

DeviceView::DeviceView(std::string_view text, HeaderLines headerLines)
    : keepHeaders_(headerLines == HeaderLines::kKeep) {
  Read(text);
}

void DeviceView::SetOnly(const DeviceKeySet& only) {
  only_ = &only;
  // A header whose path has none of the lengths of the keys read is passed
  // over without hashing its name.
  for (size_t i = 0; i < only.size(); ++i) {
    const size_t size = only[i].size();
    if (size >= onlyLengths_.size()) onlyLengths_.resize(size + 1);
    onlyLengths_[size] = true;
  }
}

DeviceView::DeviceView(std::string_view text, const DeviceKeySet& only, HeaderLines headerLines)
    : keepHeaders_(headerLines == HeaderLines::kKeep) {
  SetOnly(only);
  Read(text);
  only_ = nullptr;
}

namespace {

// The physical lines of `text` from `at`, a line start, to `end`.
size_t CountLines(std::string_view text, size_t at, size_t end) {
  text = text.substr(0, end);
  size_t lines = 0;
  while (at < text.size()) {
    const size_t lineEnd = PhysicalLineEnd(text, at);
    at = lineEnd;
    if (at < text.size() && text[at] == '\r') ++at;
    if (at < text.size() && text[at] == '\n' && (at == lineEnd || text[lineEnd] == '\r')) ++at;
    ++lines;
  }
  return lines;
}

}  // namespace

DeviceView::DeviceView(std::string_view now, const DeviceKeySet& only, const DeviceView& head,
                       std::string_view old, const ChangedLines& changed)
    : keepHeaders_(false) {
  SetOnly(only);
  if (!head.landmarksMade_) {
    Read(now);
    only_ = nullptr;
    return;
  }
  size_t current = kNoKey;
  size_t at = 0;
  size_t number = 0;
  auto passingOver = [this, &current] {
    return current == kOtherKey || current == kNoKey || dead_ > 0;
  };
  // Reads the lines from `at` to `until`, a line start.
  auto readTo = [&](size_t until) {
    if (until <= at) return;
    ForEachLineFrom(
        now.substr(0, until), at, number,
        [this, &current](std::string_view line, size_t n, size_t) {
          ReadLine(line, n, current);
          return true;
        },
        passingOver);
    at = until;
  };
  // Reads the landmark at `start` of `now`, the line numbered `line`: the
  // lines before it are read when a key read is current, else passed over
  // unseen (none of them changes the state).
  auto readLandmark = [&](size_t start, size_t line, uint32_t pathLength) {
    // The header of a key not read, met while none is current, changes
    // nothing but the key: its path's length tells it without a look at the
    // line. The next line read starts at it (and reads it alike).
    if (passingOver() && dead_ == 0 && pathLength != kNoPath &&
        (pathLength >= onlyLengths_.size() || !onlyLengths_[pathLength])) {
      current = kOtherKey;
      at = start;
      number = line - 1;
      return;
    }
    if (passingOver()) {
      at = start;
      number = line - 1;
    } else {
      readTo(start);
    }
    const size_t end = PhysicalLineEnd(now, at);
    size_t lead = at;
    while (lead < end && IsSpaceOrTab(now[lead])) ++lead;
    // Most landmarks are headers of keys not read, met while none is current.
    if (!passingOver() || lead == end || now[lead] != '[' ||
        !PassHeader(now.substr(lead, end - lead), line, current)) {
      ReadLine(now.substr(at, end - at), line, current);
    }
    at = end;
    if (at < now.size() && now[at] == '\r') ++at;
    if (at < now.size() && now[at] == '\n' && (at == end || now[end] == '\r')) ++at;
    number = line;
  };
  const std::vector<Landmark>& marks = head.landmarks_;
  size_t i = 0;
  for (; i < marks.size() && marks[i].start < changed.start; ++i) {
    readLandmark(marks[i].start, marks[i].number, marks[i].pathLength);
  }
  readTo(changed.start);
  const size_t oldNumber = number + CountLines(old, changed.start, changed.oldEnd);
  readTo(changed.newEnd);
  const size_t newNumber = number;
  while (i < marks.size() && marks[i].start < changed.oldEnd) ++i;
  for (; i < marks.size(); ++i) {
    readLandmark(marks[i].start - changed.oldEnd + changed.newEnd,
                 marks[i].number - oldNumber + newNumber, marks[i].pathLength);
  }
  readTo(now.size());
  DropDeletedKeys();
  sorted_.clear();
  deleted_.clear();
  only_ = nullptr;
}

void DeviceView::Read(std::string_view text) {
  size_t current = kNoKey;
  // Lines are counted below 4 GiB as offsets are.
  landmarksMade_ = keepHeaders_ && text.size() <= UINT32_MAX;
  if (keepHeaders_) {
    // Room for a header every 64 bytes, more than most files hold: a large
    // file's lists are then made once, not copied as they grow, and the room
    // no header takes is never touched.
    const size_t room = text.size() / 64;
    headers_.reserve(room);
    headerStarts_.reserve(room);
    if (landmarksMade_) landmarks_.reserve(room);
  }
  // Most lines of a large file belong to keys not read: those are passed
  // over at a look at their first characters.
  ForEachLine(
      text,
      [this, &current](std::string_view line, size_t number, size_t start) {
        if (landmarksMade_) {
          size_t lead = 0;
          while (lead < line.size() && IsSpaceOrTab(line[lead])) ++lead;
          if (!PassedOver(line, lead)) {
            landmarks_.push_back(
                {static_cast<uint32_t>(start), static_cast<uint32_t>(number), kNoPath});
          }
        }
        const size_t headers = headers_.size();
        ReadLine(line, number, current);
        if (headers_.size() != headers) headerStarts_.push_back(start);
        return true;
      },
      [this, &current] { return current == kOtherKey || current == kNoKey || dead_ > 0; },
      [this, &current, text](size_t start, size_t lead, size_t end, size_t number) {
        const size_t headers = headers_.size();
        if (!PassHeader(text.substr(lead, end - lead), number, current)) return false;
        const bool recorded = headers_.size() != headers;
        if (landmarksMade_) {
          landmarks_.push_back(
              {static_cast<uint32_t>(start), static_cast<uint32_t>(number),
               recorded ? static_cast<uint32_t>(headers_.back().path.size()) : kNoPath});
        }
        if (recorded) headerStarts_.push_back(start);
        return true;
      });
  DropDeletedKeys();
  sorted_.clear();
  deleted_.clear();
}

std::optional<std::string_view> DeviceView::KeyBefore(size_t offset) const {
  const auto after = std::lower_bound(headerStarts_.begin(), headerStarts_.end(), offset);
  if (after == headerStarts_.begin()) return std::nullopt;
  return headers_[static_cast<size_t>(after - headerStarts_.begin()) - 1].path;
}

ChangedLines FindChangedLines(std::string_view old, std::string_view now) {
  const size_t shorter = old.size() < now.size() ? old.size() : now.size();
  // The shared head and tail, a block at a time where the blocks agree.
  constexpr size_t kBlock = 4096;
  size_t same = 0;
  while (same + kBlock <= shorter && std::memcmp(&old[same], &now[same], kBlock) == 0) {
    same += kBlock;
  }
  while (same < shorter && old[same] == now[same]) ++same;
  const size_t most = shorter - same;
  size_t tail = 0;
  while (tail + kBlock <= most && std::memcmp(&old[old.size() - tail - kBlock],
                                              &now[now.size() - tail - kBlock], kBlock) == 0) {
    tail += kBlock;
  }
  while (tail < most && old[old.size() - 1 - tail] == now[now.size() - 1 - tail]) ++tail;

  // Whether the line whose line end starts at `at` ends with "\".
  auto goesOn = [](std::string_view text, size_t at) {
    while (at > 0 && (text[at - 1] == ' ' || text[at - 1] == '\t')) --at;
    return at > 0 && text[at - 1] == '\\';
  };
  // Back to a line start, looking only at bytes both texts share: from the
  // last shared byte to the start of its line, never between a CR and its LF,
  // and on back over lines that the line before goes on into.
  size_t start = same;
  if (start > 0) {
    --start;
    for (;;) {
      while (start > 0 && old[start - 1] != '\r' && old[start - 1] != '\n') --start;
      if (start > 0 && old[start - 1] == '\r' && old[start] == '\n') {
        --start;
        continue;
      }
      if (start == 0) break;
      size_t end = start - 1;
      if (old[end] == '\n' && end > 0 && old[end - 1] == '\r') --end;
      if (!goesOn(old, end)) break;
      start = end;
    }
  }
  // On past a whole line end in the shared tail, and on while the line before
  // it goes on (in either text): the bytes looked at past the changed ones
  // are the same in both.
  size_t oldEnd = old.size() - tail;
  size_t newEnd = now.size() - tail;
  auto lineEndStart = [](std::string_view text, size_t after) {
    return text[after - 1] == '\n' && after >= 2 && text[after - 2] == '\r' ? after - 2 : after - 1;
  };
  while (oldEnd < old.size()) {
    size_t end = oldEnd;
    while (end < old.size() && old[end] != '\r' && old[end] != '\n') ++end;
    if (end == old.size()) {
      newEnd += old.size() - oldEnd;
      oldEnd = old.size();
      break;
    }
    end += (old[end] == '\r' && end + 1 < old.size() && old[end + 1] == '\n') ? 2 : 1;
    newEnd += end - oldEnd;
    oldEnd = end;
    if (!goesOn(old, lineEndStart(old, oldEnd)) && !goesOn(now, lineEndStart(now, newEnd))) break;
  }
  return {start, oldEnd, newEnd};
}

namespace {

enum class BlockLine { kOpen, kTurn, kClose, kOther };

// The text of a ";" line after the ";", blanks around it dropped.
std::string_view CommentWords(std::string_view line) { return TrimBlanks(line.substr(1)); }

// Whether `text` starts with `words`, in any case, ending there or at a blank.
bool StartsWithWords(std::string_view text, std::string_view words) {
  return text.size() >= words.size() && SameRegistryName(text.substr(0, words.size()), words) &&
         (text.size() == words.size() || IsSpaceOrTab(text[words.size()]));
}

// A ";" line the image build reads: "; @" and a directive's name (@CESYSGEN,
// @XIPREGION ...), or a boot-hive section's start or end.
bool IsDirectiveLine(std::string_view line) {
  if (line.empty() || line.front() != ';') return false;
  const std::string_view words = CommentWords(line);
  return (!words.empty() && words.front() == '@') || StartsWithWords(words, "HIVE BOOT SECTION") ||
         StartsWithWords(words, "END HIVE BOOT SECTION");
}

// What a directive line does to the blocks: "@CESYSGEN IF X" opens one, its
// ELSE turns it, its ENDIF closes it; a boot-hive section is a block too.
BlockLine DirectiveBlockLine(std::string_view line) {
  std::string_view words = CommentWords(line);
  if (StartsWithWords(words, "HIVE BOOT SECTION")) return BlockLine::kOpen;
  if (StartsWithWords(words, "END HIVE BOOT SECTION")) return BlockLine::kClose;
  size_t name = 0;
  while (name < words.size() && !IsSpaceOrTab(words[name])) ++name;
  words = TrimBlanks(words.substr(name));
  if (StartsWithWords(words, "IF")) return BlockLine::kOpen;
  if (StartsWithWords(words, "ELSE")) return BlockLine::kTurn;
  if (StartsWithWords(words, "ENDIF")) return BlockLine::kClose;
  return BlockLine::kOther;
}

// What a preprocessor or directive line does to the blocks it stands in.
BlockLine BlockLineOf(std::string_view line) {
  if (line.front() == ';') return DirectiveBlockLine(line);
  // "#if", or "# if": blanks may follow the "#".
  auto word = [&line](std::string_view w) {
    if (w.front() != '#') return StartsWithWord(line, w);
    return line.front() == '#' && StartsWithWord(TrimBlanks(line.substr(1)), w.substr(1));
  };
  if (word("IF") || word("#if") || word("#ifdef") || word("#ifndef")) return BlockLine::kOpen;
  if (word("ELSE") || word("#else") || word("#elif")) return BlockLine::kTurn;
  if (word("ENDIF") || word("#endif")) return BlockLine::kClose;
  return BlockLine::kOther;
}

// The number an "#if" line tests when it is a constant ("#if 0", "# if 1",
// a comment after it): 0, 1 for any other decimal number, -1 for any other
// condition, which the build may take either way.
int IfConstant(std::string_view line) {
  if (line.front() != '#') return -1;
  std::string_view rest = TrimBlanks(line.substr(1));
  if (!StartsWithWord(rest, "if")) return -1;
  rest = TrimBlanks(rest.substr(2));
  const size_t comment = rest.find('/');
  if (comment != std::string_view::npos && comment + 1 < rest.size() &&
      (rest[comment + 1] == '/' || rest[comment + 1] == '*')) {
    rest = TrimBlanks(rest.substr(0, comment));
  }
  if (rest.empty() || rest.find_first_not_of("0123456789") != std::string_view::npos) return -1;
  return rest.find_first_not_of('0') == std::string_view::npos ? 0 : 1;
}

// How the build reads an open block's branches: "#if 0" only from its
// "#else" (or "#elif") on, "#if 1" only up to it; any other condition either.
enum BranchRead : uint8_t { kEitherBranch, kNotYet, kUntilTurn, kNoMore };

// Follows the preprocessor or directive line `line`, of kind `kind`, through
// the open blocks `open`; `leftOut` counts those whose branch now is one the
// build never reads. True when the line begins such a branch.
bool FollowBranches(BlockLine kind, std::string_view line, std::vector<uint8_t>* open,
                    size_t* leftOut) {
  switch (kind) {
    case BlockLine::kOpen: {
      const int constant = IfConstant(line);
      open->push_back(constant == 0 ? kNotYet : constant == 1 ? kUntilTurn : kEitherBranch);
      if (open->back() == kNotYet) ++*leftOut;
      return open->back() == kNotYet;
    }
    case BlockLine::kTurn:
      if (open->empty()) return false;
      if (open->back() == kNotYet) {
        --*leftOut;
        open->back() = kEitherBranch;
      } else if (open->back() == kUntilTurn) {
        ++*leftOut;
        open->back() = kNoMore;
        return true;
      }
      return false;
    case BlockLine::kClose:
      if (open->empty()) return false;
      if (open->back() == kNotYet || open->back() == kNoMore) --*leftOut;
      open->pop_back();
      return false;
    case BlockLine::kOther:
      break;
  }
  return false;
}

}  // namespace

void DeviceView::ReadPreprocessorLine(std::string_view line, size_t number) {
  const size_t at = preprocessor_.size();
  preprocessor_.emplace_back(line);
  preprocessorNumbers_.push_back(number);
  const BlockLine kind = BlockLineOf(line);
  if (FollowBranches(kind, line, &deadBlocks_, &dead_)) leftOut_ = true;
  // What ConditionText follows back from this line: the conditions it opened
  // its block under, or the line of its block it turned.
  size_t link = kTopLevel;
  bool turned = false;
  switch (kind) {
    case BlockLine::kOpen:
      link = Condition();
      blocks_.push_back(at);
      break;
    case BlockLine::kTurn:
      if (!blocks_.empty()) {
        link = blocks_.back();
        turned = true;
        blocks_.back() = at;
      }
      break;
    case BlockLine::kClose:
      if (!blocks_.empty()) blocks_.pop_back();
      break;
    case BlockLine::kOther:
      break;
  }
  conditionLinks_.push_back({link, Condition(), turned});
}

std::string DeviceView::ConditionText(size_t condition) const {
  if (condition == kTopLevel || condition >= preprocessor_.size()) return {};
  // The lines that opened or turned the blocks open after line `condition`,
  // innermost last: followed back from the conditions after it.
  std::vector<size_t> chain;
  for (size_t at = conditionLinks_[condition].after; at != kTopLevel;
       at = conditionLinks_[at].link) {
    chain.push_back(at);
  }
  std::string text;
  for (auto at = chain.rbegin(); at != chain.rend(); ++at) {
    if (conditionLinks_[*at].turned) {
      text += ", ";
    } else if (!text.empty()) {
      text += " > ";
    }
    text += preprocessor_[*at];
  }
  return text;
}

void DeviceView::ReadLine(std::string_view line, size_t number, size_t& current) {
  line = TrimBlanks(line);
  if (line.empty()) return;
  // A header is neither (most lines read are headers of keys not read).
  if (line.front() != '[' && (IsPreprocessorLine(line) || IsDirectiveLine(line))) {
    ReadPreprocessorLine(line, number);
    return;
  }
  // A comment, or a line of a block the build leaves out: the key read before
  // the block goes on after it.
  if (line.front() == ';' || dead_ > 0) return;
  if (line.front() == '[') {
    const std::string_view path = HeaderPath(line);
    if (!path.empty() && path.front() == '-') {
      leftOut_ = true;
      DeleteKeys(TrimBlanks(path.substr(1)), number);
      current = kNoKey;
      return;
    }
    if (keepHeaders_) headers_.push_back({path, number});
    if (only_ != nullptr && (path.size() >= onlyLengths_.size() || !onlyLengths_[path.size()])) {
      current = kOtherKey;
      return;
    }
    if (only_ != nullptr && !only_->contains(path)) {
      current = kOtherKey;
      return;
    }
    current = index_.Find(path, KeyPaths{keys_});
    if (current == NameIndex::kNone) {
      current = keys_.size();
      keys_.push_back(DeviceKey{std::string(path), number, {}, Condition(), {}, {}});
      index_.Add(current, KeyPaths{keys_});
      if (sortedMade_) sorted_.emplace(LowerCase(path), current);
      deleted_.push_back(false);
    }
    return;
  }
  if (current == kNoKey || current == kOtherKey) return;
  DeviceKey& key = keys_[current];

  std::string_view name;
  std::string_view rest;
  if (line.front() == '@') {
    name = "@";
    rest = line.substr(1);
  } else if (line.front() == '"') {
    size_t i = 1;
    while (i < line.size() && line[i] != '"') i += (line[i] == '\\' && i + 1 < line.size()) ? 2 : 1;
    if (i >= line.size()) return;  // no closing quote: not a value line
    name = line.substr(1, i - 1);
    rest = line.substr(i + 1);
  } else {
    return;  // a line the import does not read
  }
  rest = TrimBlanks(rest);
  if (rest.empty() || rest.front() != '=') return;
  DeviceValue value{std::string(name), ValueData(rest.substr(1)), number, Condition()};
  const size_t same = FindValueIndex(key, name);
  if (same != NameIndex::kNone) {
    key.overridden.push_back(std::move(key.values[same]));
    key.values[same] = std::move(value);
    return;
  }
  // Most keys hold a few values: room for four is made at once, not grown
  // one, two, four.
  if (key.values.capacity() == 0) key.values.reserve(4);
  key.values.push_back(std::move(value));
  if (!key.index.empty()) {
    key.index.Add(key.values.size() - 1, ValueNames{key.values});
  } else if (key.values.size() > kValuesLookedThrough) {
    for (size_t i = 0; i < key.values.size(); ++i) key.index.Add(i, ValueNames{key.values});
  }
}

bool DeviceView::PassHeader(std::string_view line, size_t number, size_t& current) {
  // A block the build leaves out: ReadLine passes over its headers unrecorded.
  if (dead_ > 0) return true;
  if (only_ == nullptr) return false;
  const std::string_view path = TrimBlanks(line.substr(1, FirstOf(line, 1, ']') - 1));
  if (!path.empty() && path.front() == '-') return false;
  if (path.size() < onlyLengths_.size() && onlyLengths_[path.size()] && only_->contains(path)) {
    return false;
  }
  if (keepHeaders_) headers_.push_back({path, number});
  current = kOtherKey;
  return true;
}

void DeviceView::DeleteKeys(std::string_view path, size_t number) {
  if (!sortedMade_) {
    for (size_t i = 0; i < keys_.size(); ++i) {
      if (!deleted_[i]) sorted_.emplace(LowerCase(keys_[i].path), i);
    }
    sortedMade_ = true;
  }
  LowerInto(path, &lower_);
  bool any = false;
  for (auto at = sorted_.lower_bound(lower_);
       at != sorted_.end() && at->first.compare(0, lower_.size(), lower_) == 0;) {
    // The key itself and its subkeys, not a key whose name merely starts alike.
    if (at->first.size() != lower_.size() && at->first[lower_.size()] != '\\') {
      ++at;
      continue;
    }
    deleted_[at->second] = true;
    index_.Remove(at->second, keys_[at->second].path);
    at = sorted_.erase(at);
    any = true;
  }
  if (!any) return;
  anyDeleted_ = true;
  deletions_.push_back({std::string(path), number, Condition()});
}

void DeviceView::DropDeletedKeys() {
  if (!anyDeleted_) return;
  std::vector<DeviceKey> kept;
  kept.reserve(keys_.size());
  for (size_t i = 0; i < keys_.size(); ++i) {
    if (!deleted_[i]) kept.push_back(std::move(keys_[i]));
  }
  keys_ = std::move(kept);
  index_.Clear();
  for (size_t i = 0; i < keys_.size(); ++i) index_.Add(i, KeyPaths{keys_});
}

const DeviceKey* DeviceView::FindKey(std::string_view path) const {
  const size_t found = index_.Find(path, KeyPaths{keys_});
  return found == NameIndex::kNone ? nullptr : &keys_[found];
}

const DeviceValue* DeviceView::FindValue(const DeviceKey& key, std::string_view name) {
  const size_t found = FindValueIndex(key, name);
  return found == NameIndex::kNone ? nullptr : &key.values[found];
}

void AddKeysOfLines(std::string_view text, size_t start, size_t end, DeviceKeySet* keys,
                    const DeviceView* head) {
  std::string_view current;
  bool haveKey = false;  // false before the file's first header
  bool reached = false;
  // With a view of the text before `start` that left no line out and deleted
  // no key, its last header there names the key of the stretch's first line,
  // and only the stretch is read (it starts a line no line before it goes on
  // into). Otherwise the text is read from its start, for the blocks left
  // out and the deletions before the stretch.
  size_t from = 0;
  if (head != nullptr && head->ReadsEveryLine()) {
    if (const std::optional<std::string_view> key = head->KeyBefore(start)) {
      current = *key;
      haveKey = true;
    }
    from = start;
  }
  auto add = [keys](std::string_view path) { keys->insert(path); };
  // The open blocks' branches, and how many are never read, as the view has them.
  std::vector<uint8_t> deadBlocks;
  size_t dead = 0;
  ForEachLine(
      text.substr(from),
      [&](std::string_view line, size_t, size_t at) {
        at += from;
        if (at >= start && !reached) {
          reached = true;
          if (haveKey) add(current);  // the key the stretch's first line is read under
        }
        if (at >= end) return false;
        line = TrimBlanks(line);
        if (line.empty()) return true;
        if (IsPreprocessorLine(line) || IsDirectiveLine(line)) {
          FollowBranches(BlockLineOf(line), line, &deadBlocks, &dead);
          return true;
        }
        if (dead == 0 && line.front() == '[') {
          // A "[-KEY]" line adds "-KEY": the reader of the keys below sees it.
          current = HeaderPath(line);
          haveKey = true;
          if (at >= start) add(current);
        }
        return true;
      },
      [] { return false; });
  if (!reached && haveKey) add(current);
}

}  // namespace zuv
