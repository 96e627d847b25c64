// Rules of the registry text syntax, one function each, over string_view.
// Offsets are byte offsets into the view they were given; npos means "none".
#ifndef ZUV_REGFILE_REG_TEXT_H
#define ZUV_REGFILE_REG_TEXT_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zuv::regtext {

constexpr size_t npos = std::string_view::npos;

inline bool IsLineEndChar(char c) { return c == '\r' || c == '\n'; }
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Offset of the first CR or LF at or after `pos`, or text.size().
size_t FindLineEnd(std::string_view text, size_t pos);
// Offset just past the line end at `pos`: CR LF, a lone LF or a lone CR.
// Returns `pos` when there is no line end there.
size_t SkipLineEnd(std::string_view text, size_t pos);
// Offset of the first character of the line holding `pos`.
size_t LineStart(std::string_view text, size_t pos);
// Whether the text ends with CR or LF (an empty text does not).
bool EndsWithLineEnd(std::string_view text);

// A comment line is one whose first character other than blank or tab is ";".
bool IsCommentLine(std::string_view line);

// Where a key path stands: the "[" that opens its header line, and the offset
// of the search key inside the brackets.
struct HeaderKey {
  size_t bracket;
  size_t key;
};
// The first occurrence of `key` inside the key path of a header line: a line
// whose first character other than blank or tab is "[", with no "]" between
// that "[" and the key. Comment lines, value lines and the text after a
// header's "]" never hold a section's key.
std::optional<HeaderKey> FindHeaderKey(std::string_view text, std::string_view key);

// The "[" of the first header line that starts after the line holding `pos`
// (its first character other than blank or tab is "["), or npos. A "[" inside
// a line (a comment, a string value, the rest of a header line) is text.
size_t FindNextHeaderLine(std::string_view text, size_t pos);

// The value line of `name` in a section's text: the first line that is not a
// comment line and begins, after optional blanks or tabs, with the name in
// double quotes followed by "=" (blanks or tabs allowed before the "=").
struct ValueLine {
  size_t quote;    // the opening quote of the name (the line's indentation stays)
  size_t nameEnd;  // just after the name, before its closing quote
  size_t data;     // just after the "="
  size_t end;      // the line's end (its CR or LF, or the end of the text)
};
std::optional<ValueLine> FindValueLine(std::string_view section,
                                       std::string_view name);

// The type code a value line holds, by the tags it contains, tested in this
// order: "dword:" 4, "hex:" 3, "hex(7):" or "multi_sz:" 7, otherwise 1.
uint32_t DetectValueType(std::string_view line);

// Where a typed value's data text starts: right after the tag (searched from
// the "=" on), or for a string right after the first quote after the "=".
// Returns the data text of the line, up to its end; for DWORD and binary data
// cut at the first ";" (a trailing comment); for a string up to the line's
// last double quote.
std::string_view ValueDataText(std::string_view line, size_t dataFrom,
                               uint32_t type);

// An unsigned hexadecimal number as the C library reads one: leading blanks
// skipped, optional sign and "0x", stops at the first non-hex character;
// beyond 32 bits gives FFFFFFFF; a minus sign negates modulo 2^32.
uint32_t ParseHexNumber(std::string_view text, size_t* consumed = nullptr);

// The byte count of a binary value's text: its characters other than "," and
// blank, halved and rounded down.
uint32_t CountHexBytes(std::string_view text);
// Reads up to `count` bytes from a binary value's text into out (at most
// `capacity` of them): at a "," or blank move on by one; elsewhere read the
// hexadecimal number that starts there, keep its low 8 bits, move on by three.
void ParseHexBytes(std::string_view text, uint32_t count, uint8_t* out,
                   uint32_t capacity);

// The line the store writes for a value, without its CR LF:
// "name"=dword:1a, "name"="text", "name"=hex:01,A0,FF,
// "name"=multi_sz:41,00,...,00,00, or "name" alone for another type.
std::string FormatValueLine(std::string_view name, uint32_t type,
                            const void* data, uint32_t size);

}  // namespace zuv::regtext

#endif  // ZUV_REGFILE_REG_TEXT_H
