// Rules of the registry text syntax, one function each, over string_view.
// Offsets are byte offsets into the view they were given; npos means "none".
#ifndef ZUV_REGFILE_REG_TEXT_H
#define ZUV_REGFILE_REG_TEXT_H

#include <cstddef>
#include <cstdint>
#include <functional>
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

// Whether two key or value names are the same to the registry: letters A to Z
// compare without regard to case, every other byte as it is. The device model
// has its twin (SameRegistryName), kept apart on purpose: the proof of a Save
// shares no code with the store it checks.
bool SameName(std::string_view a, std::string_view b);

// The key path of a header line: the text between its "[" and the first "]"
// (or the line's end), blanks and tabs around it dropped. nullopt when the line
// is no header line (its first character other than blank or tab is not "[").
std::optional<std::string_view> HeaderKeyPath(std::string_view line);

// Whether a line (without its line end) is one of the image build's
// preprocessor lines: IF, ELSE, ENDIF, or any line starting with "#"
// (#if, #ifdef, #else, #endif, #include, ...), blanks before it allowed.
bool IsPreprocessorLine(std::string_view line);

// Whether a comment line is one the image build reads as a directive: "; @"
// and a word (@CESYSGEN, @XIPREGION ...), "; HIVE BOOT SECTION" or "; END
// HIVE BOOT SECTION" (blanks around the words, any number between them, any
// case).
bool IsBuildDirectiveLine(std::string_view line);
// Whether a line is part of the image build's structure: a preprocessor line
// or a build directive. Such lines belong to the keys around them.
inline bool IsStructureLine(std::string_view line) {
  return IsPreprocessorLine(line) || IsBuildDirectiveLine(line);
}

// What a structure line does to the blocks of conditions it stands in: opens
// one (IF, #if, #ifdef, #ifndef, @CESYSGEN IF, @XIPREGION IF, HIVE BOOT
// SECTION), turns it (ELSE, #else, #elif, @... ELSE), closes it (ENDIF,
// #endif, @... ENDIF, END HIVE BOOT SECTION), or none of these.
enum class BlockStep { kNone, kOpen, kTurn, kClose };
BlockStep BlockStepOf(std::string_view line);

// The line end a file uses: that of its first line, or CR LF when it has none.
std::string_view FileLineEnd(std::string_view text);

// Where the line that starts at `pos` ends, with the lines it goes on to: a
// line that starts (after blanks or tabs) with a double quote or "@" and whose
// text ends (before trailing blanks or tabs) with "\" goes on on the next line,
// unless that line is a header (its first character other than blank or tab is
// "["), which starts a key. Returns the offset of the last such line's CR or
// LF, or the end of the text.
size_t LogicalLineEnd(std::string_view text, size_t pos);

// The value line of `name` in a section's text, as the device reads it: the
// last line that begins, after optional blanks or tabs, with the name in double
// quotes (compared as SameName does) followed by "=" (blanks or tabs allowed
// before it). A later line of a name overrides an earlier one.
struct ValueLine {
  size_t quote;    // the opening quote of the name (the line's indentation stays)
  size_t nameEnd;  // just after the name, before its closing quote
  size_t data;     // just after the "="
  size_t end;      // the end of its last line (its CR or LF, or the end of the text)
};
std::optional<ValueLine> FindValueLine(std::string_view section,
                                       std::string_view name);
// Every value line of a section's text in order, as FindValueLine reads them:
// `found(name, line)` with the name between its quotes.
void ForEachValueLine(std::string_view section,
                      const std::function<void(std::string_view, const ValueLine&)>& found);

// The type code a value form has for the store's callers when it is none of
// the forms read (no closing quote, "-", an unknown tag, a malformed number).
constexpr uint32_t kUnreadType = 0xFFFFFFFFu;

// A value's data (the text after its "=") as the device reads it: a string in
// double quotes (type 1, up to the first quote not escaped by "\"); "dword:"
// and one to eight hex digits (type 4; the tag in any case); "hex(4):" with
// exactly four bytes, a double word written byte by byte, low byte first (type
// 4); "hex:" (3); "hex(7):" or "multi_sz:" (7); anything else kUnreadType.
// A ";" after a number or a byte list starts a comment.
struct ValueData {
  uint32_t type;
  std::string_view text;  // the string's characters, the digits, or the bytes' text
  uint32_t dword;         // the number, for type 4
  size_t end;             // in `data`: where the value's own text ends (a comment,
                          // trailing blanks and whatever follows a string stay)
  size_t start;           // in `data`: where the value's own text starts
};
ValueData ReadValueData(std::string_view data);

// An unsigned hexadecimal number as the C library reads one: leading blanks
// skipped, optional sign and "0x", stops at the first non-hex character;
// beyond 32 bits gives FFFFFFFF; a minus sign negates modulo 2^32.
uint32_t ParseHexNumber(std::string_view text, size_t* consumed = nullptr);

// The byte count of a binary value's text: its characters other than ",",
// blanks and a continued line's "\" and line end, halved and rounded down.
uint32_t CountHexBytes(std::string_view text);
// Reads up to `count` bytes from a binary value's text into out (at most
// `capacity` of them): at a "," a blank, a "\" or a line end move on by one; elsewhere read the
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
