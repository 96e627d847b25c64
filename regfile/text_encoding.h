// The encodings a driver file comes in. The store edits 8-bit text; a UTF-16
// file is decoded to UTF-8 when it is read and encoded back, with its
// byte-order mark, when it is written, so every rule works on one kind of
// text and the bytes outside an edited line come back as they were.
#ifndef ZUV_REGFILE_TEXT_ENCODING_H
#define ZUV_REGFILE_TEXT_ENCODING_H

#include <cstdint>
#include <string>
#include <string_view>

namespace zuv {

enum class TextEncoding {
  kAnsi,     // 8-bit text, no mark: the bytes are the text
  kUtf8Bom,  // a UTF-8 mark: the bytes, mark included, are the text
  kUtf16Le,  // FF FE, then 16-bit units low byte first
  kUtf16Be,  // FE FF, then 16-bit units high byte first
  // Read for showing, never written: nothing here writes them back.
  kUtf32Le,        // FF FE 00 00, then 32-bit units low byte first
  kUtf32Be,        // 00 00 FE FF, then 32-bit units high byte first
  kUtf16LeNoMark,  // no mark; NULs in the second byte of the first units
  kUtf16BeNoMark,  // no mark; NULs in the first byte of the first units
};

// "8-bit (ANSI)", "UTF-8 with byte-order mark", "UTF-16 LE", "UTF-16 BE",
// "UTF-32 LE", "UTF-32 BE", "UTF-16 LE without byte-order mark", "UTF-16 BE
// without byte-order mark".
const char* TextEncodingName(TextEncoding encoding);

// A file's bytes as the store's text.
struct DecodedText {
  TextEncoding encoding = TextEncoding::kAnsi;
  std::string text;
  // False when part of the file does not decode (the text then holds U+FFFD
  // for it, enough to show but never to write back).
  bool valid = true;
  uint64_t faultOffset = 0;  // byte offset in the file of the first fault
  std::string fault;         // what is wrong there
};

// The encoding the byte-order mark or the NUL bytes name, as DecodeText
// chooses it: kAnsi for 8-bit text and UTF-8 without a mark.
TextEncoding DetectEncoding(std::string_view bytes);

// The encoding is chosen by the byte-order mark, or without one by NUL bytes
// in every other position of the first 256 bytes (three in four 16-bit units). A text in
// UTF-32 or in UTF-16 without a mark is decoded for showing but is never
// valid: no change is written to such a file.
DecodedText DecodeText(std::string_view bytes);
// The same, taking over the bytes of an 8-bit file instead of copying them.
DecodedText DecodeText(std::string&& bytes);

// Whether text in `encoding` is ever written: 8-bit, UTF-8 with its mark,
// UTF-16 with its mark.
bool IsWritableEncoding(TextEncoding encoding);

// The bytes of `text` in `encoding`: the inverse of DecodeText for a file that
// decoded. False (and *bytes untouched) when `text` is not valid UTF-8 for a
// UTF-16 encoding.
bool EncodeText(TextEncoding encoding, std::string_view text, std::string* bytes);

// The offset of the first NUL byte of an 8-bit text, or npos.
size_t FindNul(std::string_view text);

// Appends code point `code` (at most U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, uint32_t code);
// Whether `text` is well-formed UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF.
bool IsUtf8(std::string_view text);
// Text from a file as valid UTF-8: text that is UTF-8 already is kept as it
// is; otherwise each byte is taken as its Windows-1252 character.
std::string TextToUtf8(std::string_view text);

}  // namespace zuv

#endif  // ZUV_REGFILE_TEXT_ENCODING_H
