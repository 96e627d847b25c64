// Where the tool writes its output and messages and where "apply -" reads:
// two small interfaces instead of iostreams. A run of the tool builds no
// stream object, so the C++ library never sets up its locales, which every
// run, a short process, would otherwise pay for at its start. The tests and
// the fuzz targets hand in string streams through cli::Run.
#ifndef ZUV_CLI_TEXT_STREAM_H
#define ZUV_CLI_TEXT_STREAM_H

#include <charconv>
#include <cstddef>
#include <string_view>
#include <type_traits>

namespace zuv::cli {

class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual void Write(std::string_view text) = 0;
  // Passes on what is buffered; false when some of what was written did not
  // arrive.
  virtual bool Flush() { return true; }
};

inline TextSink& operator<<(TextSink& sink, std::string_view text) {
  sink.Write(text);
  return sink;
}

// Numbers in decimal, as iostreams write them by default.
template <class Integer,
          std::enable_if_t<std::is_integral_v<Integer> && !std::is_same_v<Integer, char> &&
                               !std::is_same_v<Integer, bool>,
                           int> = 0>
TextSink& operator<<(TextSink& sink, Integer number) {
  char digits[24];
  const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, number);
  sink.Write(std::string_view(digits, static_cast<size_t>(end.ptr - digits)));
  return sink;
}

class TextSource {
 public:
  virtual ~TextSource() = default;
  // Reads at most `size` bytes into `data`: how many, 0 at the end, -1 when
  // the source cannot be read.
  virtual std::ptrdiff_t Read(char* data, size_t size) = 0;
};

}  // namespace zuv::cli

#endif  // ZUV_CLI_TEXT_STREAM_H
