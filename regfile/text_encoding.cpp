#include "regfile/text_encoding.h"

namespace zuv {

namespace {

void AppendUnit(std::string& out, uint32_t unit, bool bigEndian) {
  const char high = static_cast<char>(unit >> 8);
  const char low = static_cast<char>(unit & 0xFF);
  out += bigEndian ? high : low;
  out += bigEndian ? low : high;
}

// The next code point of UTF-8 text at `at`, moving `at` past it; false for a
// malformed, overlong or surrogate sequence.
bool NextCodePoint(std::string_view text, size_t& at, uint32_t* code) {
  const auto lead = static_cast<unsigned char>(text[at]);
  size_t length;
  uint32_t value;
  if (lead < 0x80) {
    *code = lead;
    ++at;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    value = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    value = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    value = lead & 0x07;
  } else {
    return false;
  }
  if (text.size() - at < length) return false;
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return false;
    value = (value << 6) | (next & 0x3F);
  }
  static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000)) {
    return false;
  }
  *code = value;
  at += length;
  return true;
}

// A UTF-32 text, or a UTF-16 one without a mark: shown, never written.
DecodedText DecodeUnwritable(std::string_view bytes, TextEncoding encoding) {
  DecodedText decoded;
  decoded.encoding = encoding;
  decoded.valid = false;
  decoded.faultOffset = 0;
  decoded.fault = std::string(TextEncodingName(encoding)) +
                  " is read but never written (UTF-16 with its mark, UTF-8 and 8-bit text are)";
  const bool utf32 = encoding == TextEncoding::kUtf32Le || encoding == TextEncoding::kUtf32Be;
  const bool be = encoding == TextEncoding::kUtf32Be || encoding == TextEncoding::kUtf16BeNoMark;
  const size_t width = utf32 ? 4 : 2;
  decoded.text.reserve(bytes.size() / width);
  for (size_t at = utf32 ? 4 : 0; at + width <= bytes.size(); at += width) {
    uint32_t code = 0;
    for (size_t i = 0; i < width; ++i) {
      const auto byte = static_cast<unsigned char>(bytes[at + (be ? i : width - 1 - i)]);
      code = code << 8 | byte;
    }
    const bool bad = code > 0x10FFFF || (code >= 0xD800 && code < 0xE000);
    AppendUtf8(decoded.text, bad ? 0xFFFD : code);
  }
  return decoded;
}

}  // namespace

TextEncoding DetectEncoding(std::string_view bytes) {
  if (bytes.substr(0, 4) == std::string_view("\xFF\xFE\0\0", 4)) return TextEncoding::kUtf32Le;
  if (bytes.substr(0, 4) == std::string_view("\0\0\xFE\xFF", 4)) return TextEncoding::kUtf32Be;
  if (bytes.substr(0, 2) == "\xFF\xFE") return TextEncoding::kUtf16Le;
  if (bytes.substr(0, 2) == "\xFE\xFF") return TextEncoding::kUtf16Be;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return TextEncoding::kUtf8Bom;
  // Without a mark: three in four of the first 16-bit units (up to 128, at
  // least two) hold a NUL on the same side and a character on the other.
  size_t units = 0, le = 0, be = 0;
  for (size_t at = 0; at + 1 < bytes.size() && at < 256; at += 2) {
    ++units;
    if (bytes[at] != '\0' && bytes[at + 1] == '\0') ++le;
    if (bytes[at] == '\0' && bytes[at + 1] != '\0') ++be;
  }
  if (units >= 2 && le * 4 >= units * 3) return TextEncoding::kUtf16LeNoMark;
  if (units >= 2 && be * 4 >= units * 3) return TextEncoding::kUtf16BeNoMark;
  return TextEncoding::kAnsi;
}

const char* TextEncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kUtf8Bom:
      return "UTF-8 with byte-order mark";
    case TextEncoding::kUtf16Le:
      return "UTF-16 LE";
    case TextEncoding::kUtf16Be:
      return "UTF-16 BE";
    case TextEncoding::kUtf32Le:
      return "UTF-32 LE";
    case TextEncoding::kUtf32Be:
      return "UTF-32 BE";
    case TextEncoding::kUtf16LeNoMark:
      return "UTF-16 LE without byte-order mark";
    case TextEncoding::kUtf16BeNoMark:
      return "UTF-16 BE without byte-order mark";
    default:
      return "8-bit (ANSI)";
  }
}

DecodedText DecodeText(std::string_view bytes) {
  const TextEncoding detected = DetectEncoding(bytes);
  if (!IsWritableEncoding(detected)) return DecodeUnwritable(bytes, detected);
  DecodedText decoded;
  decoded.encoding = detected;
  if (detected == TextEncoding::kAnsi || detected == TextEncoding::kUtf8Bom) {
    decoded.text.assign(bytes.data(), bytes.size());
    return decoded;
  }
  const bool be = detected == TextEncoding::kUtf16Be;
  auto fault = [&decoded](uint64_t offset, const char* what) {
    if (!decoded.valid) return;
    decoded.valid = false;
    decoded.faultOffset = offset;
    decoded.fault = what;
  };
  auto unitAt = [&bytes, be](size_t at) {
    const auto first = static_cast<unsigned char>(bytes[at]);
    const auto second = static_cast<unsigned char>(bytes[at + 1]);
    return be ? (uint32_t{first} << 8 | second) : (uint32_t{second} << 8 | first);
  };
  decoded.text.reserve(bytes.size() / 2);
  size_t at = 2;
  while (bytes.size() - at >= 2) {
    const uint32_t unit = unitAt(at);
    if (unit >= 0xD800 && unit < 0xDC00 && bytes.size() - at >= 4) {
      const uint32_t next = unitAt(at + 2);
      if (next >= 0xDC00 && next < 0xE000) {
        AppendUtf8(decoded.text, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        at += 4;
        continue;
      }
    }
    if (unit >= 0xD800 && unit < 0xE000) {
      fault(at, "an unpaired UTF-16 surrogate");
      AppendUtf8(decoded.text, 0xFFFD);
    } else {
      AppendUtf8(decoded.text, unit);
    }
    at += 2;
  }
  if (at < bytes.size()) {
    fault(at, "an odd number of bytes (half a UTF-16 unit at the end)");
    AppendUtf8(decoded.text, 0xFFFD);
  }
  return decoded;
}

DecodedText DecodeText(std::string&& bytes) {
  const TextEncoding detected = DetectEncoding(bytes);
  if (detected != TextEncoding::kAnsi && detected != TextEncoding::kUtf8Bom) {
    return DecodeText(std::string_view(bytes));
  }
  DecodedText decoded;
  decoded.encoding = detected;
  decoded.text = std::move(bytes);
  return decoded;
}

bool IsWritableEncoding(TextEncoding encoding) {
  return encoding == TextEncoding::kAnsi || encoding == TextEncoding::kUtf8Bom ||
         encoding == TextEncoding::kUtf16Le || encoding == TextEncoding::kUtf16Be;
}

bool EncodeText(TextEncoding encoding, std::string_view text, std::string* bytes) {
  if (!IsWritableEncoding(encoding)) return false;
  if (encoding != TextEncoding::kUtf16Le && encoding != TextEncoding::kUtf16Be) {
    bytes->assign(text.data(), text.size());
    return true;
  }
  const bool be = encoding == TextEncoding::kUtf16Be;
  std::string out;
  out.reserve(2 + text.size() * 2);
  AppendUnit(out, 0xFEFF, be);
  size_t at = 0;
  while (at < text.size()) {
    uint32_t code = 0;
    if (!NextCodePoint(text, at, &code)) return false;
    if (code >= 0x10000) {
      AppendUnit(out, 0xD800 + ((code - 0x10000) >> 10), be);
      AppendUnit(out, 0xDC00 + ((code - 0x10000) & 0x3FF), be);
    } else {
      AppendUnit(out, code, be);
    }
  }
  *bytes = std::move(out);
  return true;
}

size_t FindNul(std::string_view text) { return text.find('\0'); }

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsUtf8(std::string_view text) {
  size_t at = 0;
  uint32_t code = 0;
  while (at < text.size()) {
    if (!NextCodePoint(text, at, &code)) return false;
  }
  return true;
}

std::string TextToUtf8(std::string_view text) {
  if (IsUtf8(text)) return std::string(text);
  // 0x80 to 0x9F of Windows-1252; the five it leaves undefined map to the C1
  // control of the same number, as the system's own conversion does.
  static const uint16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::string utf8;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    AppendUtf8(utf8, byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte);
  }
  return utf8;
}

}  // namespace zuv
