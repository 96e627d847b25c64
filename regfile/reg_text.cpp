#include "regfile/reg_text.h"

#include <algorithm>
#include <cstring>

namespace zuv::regtext {

size_t FindLineEnd(std::string_view text, size_t pos) {
  // memchr over a window that doubles: a short line costs a short search, a
  // long one no more than twice its length, and a file without LF (lines
  // ended by CR alone) is not searched to its end on every line.
  size_t window = 64;
  while (pos < text.size()) {
    const size_t size = std::min(window, text.size() - pos);
    const char* from = text.data() + pos;
    const void* lf = std::memchr(from, '\n', size);
    const size_t upToLf =
        lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - from) : size;
    const void* cr = upToLf > 0 ? std::memchr(from, '\r', upToLf) : nullptr;
    if (cr != nullptr) return pos + static_cast<size_t>(static_cast<const char*>(cr) - from);
    if (lf != nullptr) return pos + upToLf;
    pos += size;
    window *= 2;
  }
  return pos;
}

size_t SkipLineEnd(std::string_view text, size_t pos) {
  if (pos >= text.size()) return pos;
  if (text[pos] == '\r') {
    return (pos + 1 < text.size() && text[pos + 1] == '\n') ? pos + 2 : pos + 1;
  }
  return text[pos] == '\n' ? pos + 1 : pos;
}

size_t LineStart(std::string_view text, size_t pos) {
  if (pos > text.size()) pos = text.size();
  while (pos > 0 && !IsLineEndChar(text[pos - 1])) --pos;
  return pos;
}

bool EndsWithLineEnd(std::string_view text) {
  return !text.empty() && IsLineEndChar(text.back());
}

bool IsCommentLine(std::string_view line) {
  for (char c : line) {
    if (IsBlank(c)) continue;
    return c == ';';
  }
  return false;
}

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool StartsWithWord(std::string_view line, std::string_view word) {
  return line.size() >= word.size() && line.compare(0, word.size(), word) == 0 &&
         (line.size() == word.size() || IsBlank(line[word.size()]));
}

}  // namespace

namespace {

// Eight bytes with the ASCII capitals among them in lower case: a byte below
// 0x80 is one when adding 0x80 - 'A' sets its top bit and adding 0x80 - 'Z' - 1
// does not (no sum carries out of its byte).
uint64_t LowerAscii8(uint64_t bytes) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  constexpr uint64_t kTops = kOnes * 0x80;
  const uint64_t low = bytes & ~kTops;
  const uint64_t capitals =
      (low + kOnes * (0x80 - 'A')) & ~(low + kOnes * (0x80 - 'Z' - 1)) & ~bytes & kTops;
  return bytes | capitals >> 2;
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  // Eight characters a step: names are looked up on every line of a section.
  size_t i = 0;
  for (; i + 8 <= a.size(); i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (LowerAscii8(x) != LowerAscii8(y)) return false;
  }
  for (; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::optional<std::string_view> HeaderKeyPath(std::string_view line) {
  line = TrimBlanks(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  line.remove_prefix(1);
  return TrimBlanks(line.substr(0, line.find(']')));
}

bool IsPreprocessorLine(std::string_view line) {
  line = TrimBlanks(line);
  return !line.empty() && (line.front() == '#' || StartsWithWord(line, "IF") ||
                           StartsWithWord(line, "ELSE") || StartsWithWord(line, "ENDIF"));
}

namespace {

// Whether `text` starts with `words` (compared without regard to ASCII case;
// each blank between them stands for any run of blanks and tabs, as the build
// reads words) and ends there or goes on after a blank.
bool StartsWithWords(std::string_view text, std::string_view words) {
  size_t at = 0;
  for (char c : words) {
    if (c == ' ') {
      if (at >= text.size() || !IsBlank(text[at])) return false;
      while (at < text.size() && IsBlank(text[at])) ++at;
    } else if (at < text.size() && LowerAscii(text[at]) == LowerAscii(c)) {
      ++at;
    } else {
      return false;
    }
  }
  return at == text.size() || IsBlank(text[at]);
}

// The text of a comment line after its ";", blanks around it dropped.
std::string_view CommentText(std::string_view line) {
  line = TrimBlanks(line);
  return TrimBlanks(line.substr(1));
}

}  // namespace

bool IsBuildDirectiveLine(std::string_view line) {
  if (!IsCommentLine(line)) return false;
  const std::string_view text = CommentText(line);
  return (!text.empty() && text.front() == '@') || StartsWithWords(text, "HIVE BOOT SECTION") ||
         StartsWithWords(text, "END HIVE BOOT SECTION");
}

BlockStep BlockStepOf(std::string_view line) {
  line = TrimBlanks(line);
  if (line.empty()) return BlockStep::kNone;
  if (line.front() == '#') {
    const std::string_view word = TrimBlanks(line.substr(1));
    if (StartsWithWord(word, "if") || StartsWithWord(word, "ifdef") ||
        StartsWithWord(word, "ifndef")) {
      return BlockStep::kOpen;
    }
    if (StartsWithWord(word, "else") || StartsWithWord(word, "elif")) return BlockStep::kTurn;
    return StartsWithWord(word, "endif") ? BlockStep::kClose : BlockStep::kNone;
  }
  if (StartsWithWord(line, "IF")) return BlockStep::kOpen;
  if (StartsWithWord(line, "ELSE")) return BlockStep::kTurn;
  if (StartsWithWord(line, "ENDIF")) return BlockStep::kClose;
  if (!IsBuildDirectiveLine(line)) return BlockStep::kNone;
  std::string_view text = CommentText(line);
  if (StartsWithWords(text, "HIVE BOOT SECTION")) return BlockStep::kOpen;
  if (StartsWithWords(text, "END HIVE BOOT SECTION")) return BlockStep::kClose;
  // "@CESYSGEN IF X": the word after the directive's name.
  const size_t blank = text.find_first_of(" \t");
  text = blank == npos ? std::string_view() : TrimBlanks(text.substr(blank));
  if (StartsWithWords(text, "IF")) return BlockStep::kOpen;
  if (StartsWithWords(text, "ELSE")) return BlockStep::kTurn;
  return StartsWithWords(text, "ENDIF") ? BlockStep::kClose : BlockStep::kNone;
}

std::string_view FileLineEnd(std::string_view text) {
  const size_t end = FindLineEnd(text, 0);
  if (end == text.size()) return "\r\n";
  return text.substr(end, SkipLineEnd(text, end) - end);
}

size_t LogicalLineEnd(std::string_view text, size_t pos) {
  size_t end = FindLineEnd(text, pos);
  const std::string_view first = TrimBlanks(text.substr(pos, end - pos));
  if (first.empty() || (first.front() != '"' && first.front() != '@')) return end;
  for (;;) {
    const std::string_view line = TrimBlanks(text.substr(pos, end - pos));
    const size_t next = SkipLineEnd(text, end);
    if (line.empty() || line.back() != '\\' || next >= text.size()) return end;
    // A header starts a key wherever a value was going on.
    size_t lead = next;
    while (lead < text.size() && IsBlank(text[lead])) ++lead;
    if (lead < text.size() && text[lead] == '[') return end;
    pos = next;
    end = FindLineEnd(text, pos);
  }
}

void ForEachValueLine(std::string_view section,
                      const std::function<void(std::string_view, const ValueLine&)>& found) {
  size_t pos = 0;
  while (pos < section.size()) {
    size_t end = FindLineEnd(section, pos);
    const std::string_view line = section.substr(pos, end - pos);
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i < line.size() && line[i] == '"') {
      // Only a line ending with "\" goes on (LogicalLineEnd).
      size_t back = line.size();
      while (back > i && IsBlank(line[back - 1])) --back;
      if (line[back - 1] == '\\') end = LogicalLineEnd(section, pos);
      // The name runs to the first quote that no "\" escapes: the next quote
      // when no "\" stands before it.
      const std::string_view quoted = line.substr(i + 1);
      size_t close = std::min(quoted.find('"'), quoted.size());
      if (quoted.substr(0, close).find('\\') == std::string_view::npos) {
        close += i + 1;
      } else {
        close = i + 1;
        while (close < line.size() && line[close] != '"') {
          close += (line[close] == '\\' && close + 1 < line.size()) ? 2 : 1;
        }
      }
      size_t j = close + 1;
      while (j < line.size() && IsBlank(line[j])) ++j;
      if (close < line.size() && j < line.size() && line[j] == '=') {
        found(line.substr(i + 1, close - i - 1), ValueLine{pos + i, pos + close, pos + j + 1, end});
      }
    }
    pos = SkipLineEnd(section, end);
    if (pos == end) break;
  }
}

std::optional<ValueLine> FindValueLine(std::string_view section, std::string_view name) {
  std::optional<ValueLine> last;
  ForEachValueLine(section, [&](std::string_view lineName, const ValueLine& line) {
    if (SameName(lineName, name)) last = line;
  });
  return last;
}

namespace {

int HexDigitOf(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Bytes of a byte list, one or two hex digits each, separated by commas,
// blanks or line continuations. False when the list holds anything else.
bool ReadByteList(std::string_view list, std::string* bytes) {
  int digits = 0;
  unsigned value = 0;
  for (char c : list) {
    if (HexDigitOf(c) >= 0) {
      if (++digits > 2) return false;
      value = value * 16 + static_cast<unsigned>(HexDigitOf(c));
      continue;
    }
    if (c != ',' && !IsBlank(c) && c != '\\' && !IsLineEndChar(c)) return false;
    if (digits > 0) bytes->push_back(static_cast<char>(value));
    digits = 0;
    value = 0;
  }
  if (digits > 0) bytes->push_back(static_cast<char>(value));
  return true;
}

}  // namespace

ValueData ReadValueData(std::string_view data) {
  ValueData value{kUnreadType, {}, 0, data.size(), 0};
  size_t start = 0;
  while (start < data.size() && IsBlank(data[start])) ++start;
  value.start = start;
  if (start < data.size() && data[start] == '"') {
    size_t close = start + 1;
    while (close < data.size() && data[close] != '"') {
      close += (data[close] == '\\' && close + 1 < data.size()) ? 2 : 1;
    }
    if (close >= data.size()) return value;
    value.type = 1;
    value.text = data.substr(start + 1, close - start - 1);
    value.end = close + 1;
    return value;
  }
  const size_t colon = data.find(':', start);
  if (colon == npos) return value;
  std::string tag;
  for (char c : TrimBlanks(data.substr(start, colon - start))) tag += LowerAscii(c);
  size_t end = data.find(';', colon + 1);
  if (end == npos) end = data.size();
  while (end > colon + 1 && (IsBlank(data[end - 1]) || IsLineEndChar(data[end - 1]))) --end;
  const std::string_view rest = TrimBlanks(data.substr(colon + 1, end - colon - 1));
  value.end = end;
  value.text = rest;
  if (tag == "dword") {
    if (rest.empty() || rest.size() > 8) return value;
    for (char c : rest) {
      if (HexDigitOf(c) < 0) return value;
      value.dword = value.dword * 16 + static_cast<uint32_t>(HexDigitOf(c));
    }
    value.type = 4;
  } else if (tag == "hex(4)") {
    std::string bytes;
    if (!ReadByteList(rest, &bytes) || bytes.size() != 4) return value;
    for (int i = 3; i >= 0; --i) value.dword = value.dword << 8 | static_cast<uint8_t>(bytes[i]);
    value.type = 4;
  } else if (tag == "hex") {
    value.type = 3;
  } else if (tag == "hex(7)" || tag == "multi_sz") {
    value.type = 7;
  }
  return value;
}

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

uint32_t ParseHexNumber(std::string_view text, size_t* consumed) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
      i + 2 < text.size() && HexDigitOf(text[i + 2]) >= 0) {
    i += 2;
  }
  size_t digitsStart = i;
  uint64_t value = 0;
  bool overflow = false;
  while (i < text.size() && HexDigitOf(text[i]) >= 0) {
    value = value * 16 + static_cast<uint64_t>(HexDigitOf(text[i]));
    if (value > 0xFFFFFFFFull) {
      overflow = true;
      value = 0xFFFFFFFFull;
    }
    ++i;
  }
  if (i == digitsStart) {  // no number at all
    if (consumed) *consumed = 0;
    return 0;
  }
  if (consumed) *consumed = i;
  if (overflow) return 0xFFFFFFFFu;
  uint32_t result = static_cast<uint32_t>(value);
  return negative ? 0u - result : result;
}

namespace {

// Between a byte list's bytes: a comma, a blank, or a line continuation.
bool IsByteSeparator(char c) { return c == ',' || IsBlank(c) || c == '\\' || IsLineEndChar(c); }

}  // namespace

uint32_t CountHexBytes(std::string_view text) {
  uint32_t digits = 0;
  for (char c : text) {
    if (!IsByteSeparator(c)) ++digits;
  }
  return digits / 2;
}

void ParseHexBytes(std::string_view text, uint32_t count, uint8_t* out,
                   uint32_t capacity) {
  uint32_t limit = count < capacity ? count : capacity;
  uint32_t stored = 0;
  size_t pos = 0;
  while (stored < limit && pos < text.size()) {
    if (IsByteSeparator(text[pos])) {
      ++pos;
      continue;
    }
    out[stored++] = static_cast<uint8_t>(ParseHexNumber(text.substr(pos)) & 0xFF);
    pos += 3;
  }
  while (stored < limit) out[stored++] = 0;
}

std::string FormatValueLine(std::string_view name, uint32_t type,
                            const void* data, uint32_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  const auto* bytes = static_cast<const uint8_t*>(data);
  auto appendByte = [&](std::string& out, uint8_t b) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  };

  std::string line;
  line.reserve(name.size() + 16 + (type == 1 ? size : size * 3));
  line += '"';
  line += name;
  line += '"';
  switch (type) {
    case 4: {
      uint32_t value;
      std::memcpy(&value, data, sizeof value);
      char digits[9];
      int n = 0;
      do {
        digits[n++] = "0123456789abcdef"[value & 15];
        value >>= 4;
      } while (value != 0);
      line += "=dword:";
      while (n > 0) line += digits[--n];
      break;
    }
    case 1: {
      const char* text = static_cast<const char*>(data);
      size_t length = 0;
      while (length < size && text[length] != '\0') ++length;
      line += "=\"";
      line.append(text, length);
      line += '"';
      break;
    }
    case 3:
      line += "=hex:";
      for (uint32_t i = 0; i < size; ++i) {
        if (i > 0) line += ',';
        appendByte(line, bytes[i]);
      }
      break;
    case 7:
      line += "=multi_sz:";
      for (uint32_t i = 0; i < size; ++i) {
        appendByte(line, bytes[i]);
        line += ',';
      }
      line += "00,00";
      break;
    default:
      break;
  }
  return line;
}

}  // namespace zuv::regtext
