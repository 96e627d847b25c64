#include "regfile/reg_text.h"

#include <cstring>

namespace zuv::regtext {

size_t FindLineEnd(std::string_view text, size_t pos) {
  while (pos < text.size() && !IsLineEndChar(text[pos])) ++pos;
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

std::optional<HeaderKey> FindHeaderKey(std::string_view text, std::string_view key) {
  for (size_t hit = text.find(key); hit != npos; hit = text.find(key, hit + 1)) {
    size_t bracket = LineStart(text, hit);
    while (bracket < hit && IsBlank(text[bracket])) ++bracket;
    if (bracket < hit && text[bracket] == '[' &&
        text.substr(bracket, hit - bracket).find(']') == npos) {
      return HeaderKey{bracket, hit};
    }
  }
  return std::nullopt;
}

size_t FindNextHeaderLine(std::string_view text, size_t pos) {
  for (size_t line = SkipLineEnd(text, FindLineEnd(text, pos)); line < text.size();) {
    size_t first = line;
    while (first < text.size() && IsBlank(text[first])) ++first;
    if (first < text.size() && text[first] == '[') return first;
    const size_t end = FindLineEnd(text, first);
    if (end == text.size()) break;
    line = SkipLineEnd(text, end);
  }
  return npos;
}

std::optional<ValueLine> FindValueLine(std::string_view section,
                                       std::string_view name) {
  size_t pos = 0;
  while (pos < section.size()) {
    size_t end = FindLineEnd(section, pos);
    std::string_view line = section.substr(pos, end - pos);
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i < line.size() && line[i] == '"' &&
        line.compare(i + 1, name.size(), name) == 0 &&
        i + 1 + name.size() < line.size() && line[i + 1 + name.size()] == '"') {
      size_t nameEnd = i + 1 + name.size();
      size_t j = nameEnd + 1;
      while (j < line.size() && IsBlank(line[j])) ++j;
      if (j < line.size() && line[j] == '=') {
        return ValueLine{pos + i, pos + nameEnd, pos + j + 1, end};
      }
    }
    pos = end;
    while (pos < section.size() && IsLineEndChar(section[pos])) ++pos;
  }
  return std::nullopt;
}

uint32_t DetectValueType(std::string_view line) {
  if (line.find("dword:") != npos) return 4;
  if (line.find("hex:") != npos) return 3;
  if (line.find("hex(7):") != npos || line.find("multi_sz:") != npos) return 7;
  return 1;
}

namespace {

// The tag's data start: after the tag found from `from` on, or anywhere in the
// line when the tag only stands before `from` (inside the name).
size_t AfterTag(std::string_view line, std::string_view tag, size_t from) {
  size_t at = line.find(tag, from);
  if (at == npos) at = line.find(tag);
  return at == npos ? line.size() : at + tag.size();
}

std::string_view UpToComment(std::string_view line, size_t start) {
  size_t end = line.find(';', start);
  if (end == npos) end = line.size();
  return line.substr(start, end - start);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::string_view ValueDataText(std::string_view line, size_t dataFrom,
                               uint32_t type) {
  if (dataFrom > line.size()) dataFrom = line.size();
  switch (type) {
    case 4:
      return UpToComment(line, AfterTag(line, "dword:", dataFrom));
    case 3:
      return UpToComment(line, AfterTag(line, "hex:", dataFrom));
    case 1: {
      size_t open = line.find('"', dataFrom);
      if (open == npos) return line.substr(dataFrom);
      size_t start = open + 1;
      size_t close = line.rfind('"');
      return close > open ? line.substr(start, close - start) : line.substr(start, 0);
    }
    default:
      return line.substr(line.size());
  }
}

uint32_t ParseHexNumber(std::string_view text, size_t* consumed) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
      i + 2 < text.size() && HexDigit(text[i + 2]) >= 0) {
    i += 2;
  }
  size_t digitsStart = i;
  uint64_t value = 0;
  bool overflow = false;
  while (i < text.size() && HexDigit(text[i]) >= 0) {
    value = value * 16 + static_cast<uint64_t>(HexDigit(text[i]));
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

uint32_t CountHexBytes(std::string_view text) {
  uint32_t digits = 0;
  for (char c : text) {
    if (c != ',' && c != ' ') ++digits;
  }
  return digits / 2;
}

void ParseHexBytes(std::string_view text, uint32_t count, uint8_t* out,
                   uint32_t capacity) {
  uint32_t limit = count < capacity ? count : capacity;
  uint32_t stored = 0;
  size_t pos = 0;
  while (stored < limit && pos < text.size()) {
    if (text[pos] == ',' || text[pos] == ' ') {
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
