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
};

// "8-bit (ANSI)", "UTF-8 with byte-order mark", "UTF-16 LE", "UTF-16 BE".
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

// The encoding is chosen by the byte-order mark alone.
DecodedText DecodeText(std::string_view bytes);
// The same, taking over the bytes of an 8-bit file instead of copying them.
DecodedText DecodeText(std::string&& bytes);

// The bytes of `text` in `encoding`: the inverse of DecodeText for a file that
// decoded. False (and *bytes untouched) when `text` is not valid UTF-8 for a
// UTF-16 encoding.
bool EncodeText(TextEncoding encoding, std::string_view text, std::string* bytes);

// The offset of the first NUL byte of an 8-bit text, or npos.
size_t FindNul(std::string_view text);

}  // namespace zuv

#endif  // ZUV_REGFILE_TEXT_ENCODING_H
