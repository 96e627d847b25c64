#include "device/device_view.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "device/build_lines.h"

namespace zuv {

namespace {

bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = Lower(c);
  return lower;
}

inline std::string_view TrimBlanks(std::string_view text) {
  size_t first = 0;
  size_t end = text.size();
  while (first < end && IsSpaceOrTab(text[first])) ++first;
  while (end > first && IsSpaceOrTab(text[end - 1])) --end;
  return {text.data() + first, end - first};
}

// The data up to a ";" comment, blanks around it dropped.
std::string_view BeforeComment(std::string_view data) {
  return TrimBlanks(data.substr(0, data.find(';')));
}
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The data kept as it stands in the text when its one form is the text
// itself, else the one form kept in `kept`.
std::string_view KeptForm(std::string_view form, std::string_view written, StableTexts& kept) {
  return form == written ? written : kept.Keep(form);
}

// "dword:" and up to eight hex digits, nothing but a comment after them.
// `whole` is the data, `at` where the digits start.
std::string_view DwordData(std::string_view whole, size_t at, StableTexts& kept) {
  const std::string_view digits = BeforeComment(whole.substr(at));
  if (digits.empty() || digits.size() > 8) return whole;
  unsigned long value = 0;
  for (char c : digits) {
    if (HexValue(c) < 0) return whole;
    value = value * 16 + static_cast<unsigned long>(HexValue(c));
  }
  // DeviceDword's form, made here without a string of its own.
  static const char kHex[] = "0123456789abcdef";
  char form[] = "dword:00000000";
  for (size_t i = 0; i < 8; ++i) form[13 - i] = kHex[(value >> (4 * i)) & 15];
  return KeptForm(std::string_view(form, 14), whole, kept);
}

// Whether `bytes` is a byte list in its one form already: pairs of digits
// in lower case parted by single commas, nothing else.
bool BytesInForm(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size(); i += 3) {
    if (i + 2 > bytes.size() || (i + 2 < bytes.size() && bytes[i + 2] != ',') ||
        i + 3 == bytes.size()) {
      return false;
    }
    for (size_t k = i; k < i + 2; ++k) {
      const char c = bytes[k];
      if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
  }
  return true;
}

// A byte list: the tag, then each byte's two digits in lower case; false
// when it is no byte list.
bool BytesData(std::string_view tag, std::string_view bytes, std::string& data) {
  data.assign(tag);
  data += ':';
  char digits[2];
  size_t count = 0;
  for (char c : BeforeComment(bytes)) {
    if (c == ',' || IsSpaceOrTab(c) || c == '\\') {
      if (count > 2) return false;
      if (count != 0) {
        if (data.back() != ':') data += ',';
        if (count == 1) data += '0';
        data += digits[0];
        if (count == 2) data += digits[1];
      }
      count = 0;
    } else if (HexValue(c) >= 0) {
      if (count < 2) digits[count] = Lower(c);
      ++count;
    } else {
      return false;
    }
  }
  if (count > 2) return false;
  if (count != 0) {
    if (data.back() != ':') data += ',';
    if (count == 1) data += '0';
    data += digits[0];
    if (count == 2) data += digits[1];
  }
  return true;
}

// What follows a value's "=", in its one form. `data` stays as long as
// `kept`: a form that is part of it is a view of it.
std::string_view ValueData(std::string_view data, StableTexts& kept, std::string& scratch) {
  data = TrimBlanks(data);
  if (!data.empty() && data.front() == '"') {
    // The closing quote, found by a library scan when no backslash stands
    // before it.
    const size_t close = data.find('"', 1);
    if (close != std::string_view::npos &&
        data.substr(1, close - 1).find('\\') == std::string_view::npos) {
      return data.substr(0, close + 1);
    }
    for (size_t i = 1; i < data.size(); ++i) {
      if (data[i] == '\\' && i + 1 < data.size()) {
        ++i;
      } else if (data[i] == '"') {
        return data.substr(0, i + 1);  // the quotes and the characters between them
      }
    }
    return data;  // no closing quote
  }
  if (data == "-") return data;
  const size_t colon = data.find(':');
  if (colon == std::string_view::npos) return BeforeComment(data);
  // The tag in lower case: on the stack when short, as it mostly is.
  const std::string_view written = TrimBlanks(data.substr(0, colon));
  char shortTag[16];
  std::string longTag;
  std::string_view lower;
  if (written.size() <= sizeof shortTag) {
    for (size_t i = 0; i < written.size(); ++i) shortTag[i] = Lower(written[i]);
    lower = std::string_view(shortTag, written.size());
  } else {
    longTag = LowerCase(written);
    lower = longTag;
  }
  if (lower == "dword") return DwordData(data, colon + 1, kept);
  if (lower == "hex" || lower == "multi_sz" ||
      (lower.substr(0, 4) == "hex(" && !lower.empty() && lower.back() == ')')) {
    // Written in its one form, as a file's byte lists mostly are: the data
    // is its own form.
    if (written.size() == lower.size() && written == lower && colon == written.size() &&
        BytesInForm(data.substr(colon + 1)) && lower != "hex(4)") {
      return data;
    }
    if (!BytesData(lower, data.substr(colon + 1), scratch)) return data;
    const std::string& bytes = scratch;
    // hex(4): is a double word written byte by byte, the low byte first.
    if (lower == "hex(4)" && bytes.size() == 18 && bytes.compare(0, 7, "hex(4):") == 0) {
      unsigned long value = 0;
      for (int i = 3; i >= 0; --i) {
        const size_t at = 7 + 3 * static_cast<size_t>(i);
        value = value << 8 |
                static_cast<unsigned long>(HexValue(bytes[at]) * 16 + HexValue(bytes[at + 1]));
      }
      return kept.Keep(DeviceDword(value));
    }
    return KeptForm(bytes, data, kept);
  }
  return BeforeComment(data);
}

// SameRegistryName, the names' bytes compared from the last back: the keys
// a "[-KEY]" line is compared with mostly share a long start with it and
// differ near its end.
bool SameNameFromEnd(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = a.size(); i-- > 0;) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

}  // namespace

bool SameRegistryName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;  // mostly so: the same name written alike
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string FoldRegistryName(std::string_view name) { return LowerCase(name); }

size_t RegistryNameHash::operator()(std::string_view name) const {
  // FNV-1a of the name's bytes with capitals in lower case.
  uint64_t hash = 14695981039346656037ull;
  for (char c : name) {
    hash ^= static_cast<unsigned char>(Lower(c));
    hash *= 1099511628211ull;
  }
  return static_cast<size_t>(hash);
}

std::string_view StableTexts::Keep(std::string_view text) {
  if (text.empty()) return {};
  if (text == last_) return last_;
  if (size_ - used_ < text.size()) {
    // Blocks from 4 KiB, each twice the one before up to 64 KiB, or one of
    // the text's size when it is larger; left unfilled until kept in.
    const size_t next = blocks_.empty() ? size_t{1} << 12 : std::min(2 * size_, size_t{1} << 16);
    size_ = std::max(next, text.size());
    blocks_.push_back(std::unique_ptr<char[]>(new char[size_]));
    used_ = 0;
  }
  char* at = blocks_.back().get() + used_;
  std::memcpy(at, text.data(), text.size());
  used_ += text.size();
  last_ = {at, text.size()};
  return last_;
}

const DeviceValue* KeyReading::Find(std::string_view name) const {
  for (const DeviceValue& value : values) {
    if (SameRegistryName(value.name, name)) return &value;
  }
  return nullptr;
}

bool KeyReading::SameAs(const KeyReading& other) const {
  if (exists != other.exists || values.size() != other.values.size()) return false;
  for (const DeviceValue& value : values) {
    const DeviceValue* same = other.Find(value.name);
    if (same == nullptr || same->data != value.data) return false;
  }
  return true;
}

namespace {

constexpr size_t kNoKey = static_cast<size_t>(-1);

// An open block of one state: whether its branch now is read, whether one of
// its branches was, and whether the block around it (of its family) is.
struct Block {
  BuildFamily family;
  bool reading;
  bool taken;
  bool outerReading;
  size_t line;
  std::string_view text;
};

// The macros of the C preprocessor: a name #define'd (its text) or #undef'd
// (nullopt) in the file; a name never named is the build's variable.
using Macros = std::map<std::string, std::optional<std::string>>;

// One state of the build: the configurations it stands for (a union of
// cubes), the macros and the open blocks. The states at any line share out
// every configuration between them. The key a value line belongs to is not
// part of a state: it is found from the header lines read before it
// (DeviceReader::KeysOf), so that states that differ only in the key left
// open by a block join again at the block's end.
struct State {
  std::vector<Cube> cubes;
  std::shared_ptr<const Macros> macros;
  std::vector<Block> blocks;  // changed only through the three below
  size_t unread = 0;          // the blocks whose branch is not read
  int suspended = 0;          // > 0 while an #include it does not read is read

  bool Reads() const { return suspended == 0 && unread == 0; }
  void Push(const Block& block) {
    unread += block.reading ? 0 : 1;
    blocks.push_back(block);
  }
  void Erase(size_t i) {
    unread -= blocks[i].reading ? 0 : 1;
    blocks.erase(blocks.begin() + static_cast<std::ptrdiff_t>(i));
  }
  void SetReading(size_t i, bool reading) {
    if (blocks[i].reading == reading) return;
    unread = reading ? unread - 1 : unread + 1;
    blocks[i].reading = reading;
  }
};

bool SameBlock(const Block& a, const Block& b) {
  return a.line == b.line && a.family == b.family && a.reading == b.reading && a.taken == b.taken &&
         a.outerReading == b.outerReading;
}

// Whether two states read alike from here on: the same blocks, macros and
// suspension. The innermost blocks are compared first: where states differ,
// it is mostly there.
bool SameShape(const State& a, const State& b) {
  if (a.suspended != b.suspended || a.macros != b.macros || a.unread != b.unread ||
      a.blocks.size() != b.blocks.size()) {
    return false;
  }
  for (size_t i = a.blocks.size(); i-- > 0;) {
    if (!SameBlock(a.blocks[i], b.blocks[i])) return false;
  }
  return true;
}

// Whether cube `a` holds every literal of `b` (so stands for fewer
// configurations or as many).
bool Within(const Cube& a, const Cube& b) {
  return std::includes(a.begin(), a.end(), b.begin(), b.end());
}

// The literal by which `a` and `b` alone differ, one the other's opposite,
// or -1.
int64_t SoleDifference(const Cube& a, const Cube& b) {
  if (a.size() != b.size()) return -1;
  int64_t at = -1;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    if (at >= 0 || AtomOf(a[i]) != AtomOf(b[i])) return -1;
    at = static_cast<int64_t>(i);
  }
  return at;
}

// The truth of a condition in one state: known, or open on an atom.
struct Truth {
  int value;      // 0, 1, or -1 when open
  uint32_t atom;  // the atom to split on when open
};

// A number as the preprocessor reads it: decimal, 0x hex, 0 octal.
std::optional<long long> NumberOf(std::string_view text) {
  const std::string digits(TrimBlanks(text));
  if (digits.empty()) return std::nullopt;
  char* end = nullptr;
  const long long value = std::strtoll(digits.c_str(), &end, 0);
  while (*end == 'u' || *end == 'U' || *end == 'l' || *end == 'L') ++end;
  if (*end != '\0') return std::nullopt;
  return value;
}

}  // namespace

namespace {

// Where the line from `at` ends: its first CR or LF, or the text's end. Two
// library scans a line: for the LF, then for a CR before it.
size_t LineEndAt(std::string_view text, size_t at) {
  const char* start = text.data() + at;
  const size_t rest = text.size() - at;
  const void* lf = std::memchr(start, '\n', rest);
  const size_t length =
      lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - start) : rest;
  const void* cr = std::memchr(start, '\r', length);
  return at + (cr != nullptr ? static_cast<size_t>(static_cast<const char*>(cr) - start) : length);
}

}  // namespace

// Reads one text (and what it includes) into a DeviceView.
class DeviceReader {
 public:
  DeviceReader(DeviceView& view, const DeviceViewOptions& options)
      : view_(view), options_(options) {
    State first;
    first.cubes.emplace_back();
    CubeIndex(Cube());  // cube 0: every build
    first.macros = std::make_shared<const Macros>();
    states_.push_back(std::move(first));
  }

  void ReadText(std::string_view text, uint32_t file) {
    size_t at = 0;
    size_t number = 0;
    std::string joined;
    while (at < text.size()) {
      const size_t first = number + 1;
      std::string_view line = NextLine(text, at, number);
      std::string_view trimmed = TrimBlanks(line);
      const bool valueLine = !trimmed.empty() && (trimmed.front() == '"' || trimmed.front() == '@');
      if (valueLine && trimmed.back() == '\\' && GoesOnTo(text, at)) {
        // A value whose data ends with "\" goes on on the next line, unless
        // that line is a header or a comment.
        joined.clear();
        while (!TrimBlanks(line).empty() && TrimBlanks(line).back() == '\\' && GoesOnTo(text, at)) {
          const std::string_view part = TrimBlanks(line);
          joined.append(part.substr(0, part.size() - 1));
          joined += ',';
          line = NextLine(text, at, number);
        }
        joined.append(line);
        // Names and data of the line point into it: it is kept.
        line = view_.kept_.Keep(joined);
        trimmed = TrimBlanks(line);
      }
      if (file == 0 && AnyStateReads()) {
        if (view_.linesRead_.size() <= number) {
          view_.linesRead_.resize(std::max(number + 1, 2 * view_.linesRead_.size()), false);
        }
        for (size_t read = first; read <= number; ++read) view_.linesRead_[read] = true;
      }
      ReadLine(trimmed, file, first);
    }
    if (file == 0) NoteOpenAtEnd();
  }

 private:
  bool AnyStateReads() const {
    for (const State& state : states_) {
      if (state.Reads()) return true;
    }
    return false;
  }

  // Whether a value may go on on the line at `at`: there is one, and its
  // first character other than blanks starts no header and no comment.
  static bool GoesOnTo(std::string_view text, size_t at) {
    while (at < text.size() && IsSpaceOrTab(text[at])) ++at;
    return at < text.size() && text[at] != '[' && text[at] != ';';
  }

  // The next physical line from `at` (CR LF, LF or CR ends it).
  static std::string_view NextLine(std::string_view text, size_t& at, size_t& number) {
    size_t end = LineEndAt(text, at);
    const std::string_view line = text.substr(at, end - at);
    at = end;
    if (at < text.size() && text[at] == '\r') ++at;
    if (at < text.size() && text[at] == '\n' && (at == end || text[end] == '\r')) ++at;
    ++number;
    return line;
  }

  void ReadLine(std::string_view line, uint32_t file, size_t number) {
    if (line.empty()) return;
    // Headers and value lines, most of a file, start with no build line's
    // first character.
    const bool plain = line.front() == '[' || line.front() == '"';
    const BuildLine build = plain ? BuildLine{} : ClassifyBuildLine(line);
    if (build.role != BuildRole::kNotBuildLine) {
      if (file == 0) view_.structure_.push_back({line, number});
      ReadBuildLine(build, line, file, number);
      return;
    }
    if (line.front() == ';') return;
    if (line.front() == '[') {
      ReadHeader(line, file, number);
      return;
    }
    ReadValue(line, file, number);
  }

  // ---- Headers and values

  void ReadHeader(std::string_view line, uint32_t file, size_t number) {
    const size_t close = line.find(']');
    const std::string_view written =
        TrimBlanks(line.substr(1, close == std::string_view::npos ? close : close - 1));
    const bool deletion = !written.empty() && written.front() == '-';
    std::string_view path = deletion ? TrimBlanks(written.substr(1)) : written;
    bool headerNoted = false;
    for (State& state : states_) {
      if (!state.Reads()) continue;
      const std::string_view expanded = Expanded(path, state, file, number);
      if (file == 0 && !headerNoted && !deletion) {
        view_.headers_.push_back({expanded, number});
        headerNoted = true;
      }
      if (deletion) {
        for (const Cube& cube : state.cubes) {
          Delete(expanded, file, number, CubeIndex(cube));
          marks_.push_back({kNoKey, cube});
        }
        continue;
      }
      const size_t key = KeyIndex(expanded);
      for (const Cube& cube : state.cubes) {
        DeviceRecord record;
        record.kind = DeviceRecord::Kind::kHeader;
        record.file = file;
        record.line = static_cast<uint32_t>(number);
        record.cube = CubeIndex(cube);
        AddRecord(key, record);
        marks_.push_back({key, cube});
      }
    }
  }

  void ReadValue(std::string_view line, uint32_t file, size_t number) {
    std::string_view name;
    std::string_view rest;
    if (line.front() == '@') {
      name = "@";
      rest = line.substr(1);
    } else if (line.front() == '"') {
      // The closing quote, found by a library scan when no backslash stands
      // before it.
      size_t i = line.find('"', 1);
      if (i == std::string_view::npos ||
          line.substr(1, i - 1).find('\\') != std::string_view::npos) {
        i = 1;
      }
      while (i < line.size() && line[i] != '"') {
        i += (line[i] == '\\' && i + 1 < line.size()) ? 2 : 1;
      }
      if (i >= line.size()) return;  // no closing quote: not a value line
      name = line.substr(1, i - 1);
      rest = line.substr(i + 1);
    } else {
      return;  // a line the import does not read
    }
    rest = TrimBlanks(rest);
    if (rest.empty() || rest.front() != '=') return;
    const std::string_view data = rest.substr(1);
    const bool expands = data.find("$(") != std::string_view::npos;
    for (State& state : states_) {
      if (!state.Reads()) continue;
      DeviceRecord record;
      record.kind = DeviceRecord::Kind::kValue;
      record.file = file;
      record.line = static_cast<uint32_t>(number);
      record.name = name;
      // The data as written: its one form is made only for the readings
      // asked for (ReadingIn), a few keys of the many a file holds.
      record.data = expands ? Expanded(data, state, file, number) : data;
      for (const Cube& cube : state.cubes) {
        // Most value lines follow a header every build reads: its key is
        // theirs in every configuration.
        // So do the lines of a key under a condition that holds wherever
        // they are read: the header's cube is part of theirs.
        if (!marks_.empty() && (marks_.back().cube.empty() || Within(cube, marks_.back().cube))) {
          const Mark& mark = marks_.back();
          if (mark.key == kNoKey) continue;
          if (!mark.cube.empty() && !CubeConsistent(view_.atoms_, cube)) continue;
          record.cube = CubeIndex(cube);
          AddRecord(mark.key, record);
          continue;
        }
        for (const auto& [key, where] : KeysOfKept(cube)) {
          record.cube = where;
          AddRecord(key, record);
        }
      }
    }
  }

  // KeysOf with each cube's index, kept for the value lines that follow
  // until a header or an atom is read: the lines of a key under a condition
  // ask the same.
  const std::vector<std::pair<size_t, uint32_t>>& KeysOfKept(const Cube& cube) {
    if (keysKeptAt_ != std::make_pair(marks_.size(), view_.atoms_.size())) {
      keysKept_.clear();
      keysKeptAt_ = {marks_.size(), view_.atoms_.size()};
    }
    const auto [at, added] = keysKept_.try_emplace(cube);
    if (added) {
      for (const auto& [key, where] : KeysOf(cube)) at->second.emplace_back(key, CubeIndex(where));
    }
    return at->second;
  }

  // The keys a value line read in the configurations of `cube` belongs to,
  // each with the configurations in which it does: in each configuration,
  // the key of the last header line read before it (none after a "[-KEY]"
  // line or before the first header). The header lines are looked at from
  // the last back until every configuration has its key; most value lines
  // stand under the conditions of the header just before them, and need one.
  // Whether `part` holds the opposite of a literal of `cube` (both sorted).
  static bool Opposes(const Cube& part, const Cube& cube) {
    for (Literal literal : cube) {
      const auto at = std::lower_bound(part.begin(), part.end(), literal & ~1u);
      if (at != part.end() && AtomOf(*at) == AtomOf(literal) && *at != literal) return true;
    }
    return false;
  }

  std::vector<std::pair<size_t, Cube>> KeysOf(const Cube& cube) {
    std::vector<std::pair<size_t, Cube>> keys;
    std::vector<Cube> open{cube};
    std::vector<Cube> rest;
    // Made again for each part and literal in the same storage.
    Cube both;
    Cube held;
    Cube fails;
    for (size_t i = marks_.size(); i-- > 0 && !open.empty();) {
      const Mark& mark = marks_[i];
      rest.clear();
      for (const Cube& part : open) {
        // A part holding the opposite of one of the header's literals reads
        // none of it: it stays whole, not cut into pieces that each fail.
        if (Opposes(part, mark.cube)) {
          rest.push_back(part);
          continue;
        }
        both.assign(part.begin(), part.end());
        bool meets = true;
        for (Literal literal : mark.cube) meets = meets && AddLiteral(&both, literal);
        meets = meets && CubeConsistent(view_.atoms_, both);
        if (meets && mark.key != kNoKey) keys.emplace_back(mark.key, both);
        if (Within(part, mark.cube)) continue;
        // The configurations of `part` that do not read this header: one
        // cube for each of its literals that fails, the ones before it held.
        held.assign(part.begin(), part.end());
        for (Literal literal : mark.cube) {
          fails.assign(held.begin(), held.end());
          if (AddLiteral(&fails, literal ^ 1u) && CubeConsistent(view_.atoms_, fails)) {
            rest.push_back(fails);
          }
          if (!AddLiteral(&held, literal)) break;
        }
      }
      open.swap(rest);
    }
    return keys;
  }

  void AddRecord(size_t key, const DeviceRecord& record) {
    std::vector<DeviceRecord>& all = *view_.records_;
    all.push_back(record);
    view_.keys_[key].records.Add(&all, static_cast<uint32_t>(all.size() - 1));
  }

  // `path` stays as long as the view.
  size_t KeyIndex(std::string_view path) {
    const auto [at, added] = view_.index_.emplace(path, view_.keys_.size());
    if (added) view_.keys_.push_back({path, {}});
    return at->second;
  }

  // A "[-KEY]" line: the key and its subkeys read so far are deleted in the
  // configurations of `cube`.
  void Delete(std::string_view path, uint32_t file, size_t number, uint32_t cube) {
    for (const auto& [key, index] : view_.index_) {
      if (key.size() < path.size() || !SameNameFromEnd(key.substr(0, path.size()), path)) {
        continue;
      }
      if (key.size() != path.size() && key[path.size()] != '\\') continue;
      DeviceRecord record;
      record.kind = DeviceRecord::Kind::kDelete;
      record.name = path;  // the key the line deletes: this one or a parent
      record.file = file;
      record.line = static_cast<uint32_t>(number);
      record.cube = cube;
      AddRecord(index, record);
    }
  }

  // Expand's text, kept as long as the view: `text` itself (which is) when
  // it names no macro.
  std::string_view Expanded(std::string_view text, const State& state, uint32_t file,
                            size_t number) {
    if (text.find("$(") == std::string_view::npos) return text;
    return view_.kept_.Keep(Expand(text, state, file, number));
  }

  // `text` with each $(NAME) replaced by the macro NAME or the configuration's
  // variable; one neither names stays as written and is noted.
  std::string Expand(std::string_view text, const State& state, uint32_t file, size_t number,
                     int depth = 0) {
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
      const size_t open = text.find("$(", at);
      const size_t close = open == std::string_view::npos ? open : text.find(')', open);
      if (close == std::string_view::npos) {
        out.append(text.substr(at));
        break;
      }
      out.append(text.substr(at, open - at));
      const std::string name(text.substr(open + 2, close - open - 2));
      at = close + 1;
      const auto macro = state.macros->find(name);
      if (macro != state.macros->end() && macro->second && depth < 8) {
        out += Expand(*macro->second, state, file, number, depth + 1);
        continue;
      }
      std::optional<std::string> value;
      if (options_.configuration != nullptr) value = options_.configuration->ValueOf(name);
      if (value) {
        out += *value;
        continue;
      }
      out.append(text.substr(open, close + 1 - open));
      Note(file, number,
           "$(" + name + ") is no macro of the file, and no configuration named " +
               "sets it: it is read as written");
    }
    return out;
  }

  // ---- The build's lines

  void ReadBuildLine(const BuildLine& build, std::string_view line, uint32_t file, size_t number) {
    switch (build.role) {
      case BuildRole::kOpen:
        // States that differ before a block differ inside it too.
        Open(build, line, file, number);
        return;
      case BuildRole::kTurnIf:
      case BuildRole::kTurn:
        Turn(build, file, number);
        break;
      case BuildRole::kClose:
        for (State& state : states_) {
          for (size_t i = state.blocks.size(); i-- > 0;) {
            if (state.blocks[i].family != build.family) continue;
            state.Erase(i);
            break;
          }
        }
        break;
      case BuildRole::kDefine:
      case BuildRole::kUndefine:
        Define(build, file, number);
        break;
      case BuildRole::kInclude:
        Include(build, file, number);
        break;
      case BuildRole::kMark:
      case BuildRole::kNotBuildLine:
        return;
    }
    Join();
  }

  ConditionNode ConditionOf(const BuildLine& build) {
    switch (build.form) {
      case ConditionForm::kDefined:
      case ConditionForm::kNotDefined: {
        std::string_view name = build.argument;
        size_t end = 0;
        while (end < name.size() && !IsSpaceOrTab(name[end]) && name[end] != '/') ++end;
        ConditionNode node{ConditionNode::Kind::kDefined, std::string(name.substr(0, end)), {}, {}};
        if (node.text.empty()) return {ConditionNode::Kind::kOpaque, std::string(name), {}, {}};
        if (build.form == ConditionForm::kDefined) return node;
        return {ConditionNode::Kind::kNot, {}, {}, {std::move(node)}};
      }
      case ConditionForm::kPreprocessor:
        return ParsePreprocessorCondition(build.argument);
      case ConditionForm::kCe:
        return ParseCeCondition(build.argument);
      case ConditionForm::kModule:
        return ParseModuleCondition(build.argument);
      case ConditionForm::kNone:
        break;
    }
    return {};
  }

  void Open(const BuildLine& build, std::string_view line, uint32_t file, size_t number) {
    nodeAtoms_.clear();  // the nodes of the line before
    const ConditionNode condition = ConditionOf(build);
    NoteNotUnderstood(condition, file, number);
    // Each state opens the block; where its branch depends on an atom the
    // state leaves open, the state splits in two.
    std::vector<State> next;
    next.reserve(states_.size() + 1);  // most lines split a state in two at most
    for (State& state : states_) {
      // A block inside one a state does not read is not read either: its
      // condition is not asked, so that the state does not split for it.
      if (!state.Reads()) {
        state.Push({build.family, false, true, false, number, line});
        next.push_back(std::move(state));
        continue;
      }
      Decide(std::move(state), condition, file, number, [&](State decided, bool truth) {
        decided.Push({build.family, truth, truth, true, number, line});
        next.push_back(std::move(decided));
      });
    }
    states_ = std::move(next);
  }

  void Turn(const BuildLine& build, uint32_t file, size_t number) {
    nodeAtoms_.clear();  // the nodes of the line before
    const bool conditional = build.role == BuildRole::kTurnIf;
    ConditionNode condition;
    if (conditional) {
      condition = ConditionOf(build);
      NoteNotUnderstood(condition, file, number);
    }
    std::vector<State> next;
    next.reserve(states_.size() + 1);  // most lines split a state in two at most
    for (State& state : states_) {
      size_t at = state.blocks.size();
      while (at-- > 0 && state.blocks[at].family != build.family) {
      }
      if (at == static_cast<size_t>(-1)) {
        next.push_back(std::move(state));
        continue;
      }
      Block& block = state.blocks[at];
      if (!block.outerReading || block.taken) {
        state.SetReading(at, false);
        next.push_back(std::move(state));
        continue;
      }
      if (!conditional) {
        block.taken = true;
        state.SetReading(at, true);
        next.push_back(std::move(state));
        continue;
      }
      Decide(std::move(state), condition, file, number, [&](State decided, bool truth) {
        decided.blocks[at].taken = truth;
        decided.SetReading(at, truth);
        next.push_back(std::move(decided));
      });
    }
    states_ = std::move(next);
  }

  void Define(const BuildLine& build, uint32_t file, size_t number) {
    std::string_view rest = build.argument;
    size_t end = 0;
    while (end < rest.size() && !IsSpaceOrTab(rest[end]) && rest[end] != '(') ++end;
    const std::string name(rest.substr(0, end));
    if (name.empty()) {
      Note(file, number, "a #define or #undef without a name is passed over");
      return;
    }
    std::optional<std::string> text;
    if (build.role == BuildRole::kDefine) text = std::string(TrimBlanks(rest.substr(end)));
    for (State& state : states_) {
      if (!state.Reads()) continue;
      const auto found = state.macros->find(name);
      if (found != state.macros->end() && found->second == text) continue;
      auto macros = std::make_shared<Macros>(*state.macros);
      (*macros)[name] = text;
      state.macros = std::move(macros);
    }
  }

  void Include(const BuildLine& build, uint32_t file, size_t number) {
    std::string_view written = build.argument;
    if (written.size() >= 2 && (written.front() == '"' || written.front() == '<')) {
      const size_t close = written.find(written.front() == '"' ? '"' : '>', 1);
      written = written.substr(1, close == std::string_view::npos ? close : close - 1);
    }
    // The states that read the line, by the path each expands it to.
    std::map<std::string, std::vector<size_t>> paths;
    for (size_t i = 0; i < states_.size(); ++i) {
      if (states_[i].Reads()) paths[Expand(written, states_[i], file, number)].push_back(i);
    }
    for (const auto& [path, readers] : paths) {
      if (path.find("$(") != std::string::npos) {
        Note(file, number,
             "#include \"" + path +
                 "\" names a variable no configuration sets: " + "what it sets is not read");
        continue;
      }
      // A file that includes itself, through others or not, is read once on
      // the way in; and at most options_.maxIncludes files are read in all.
      bool cycle = false;
      for (uint32_t open = file; open != 0 && !cycle; open = parents_[open]) {
        cycle = view_.files_[open] == path;
      }
      if (cycle || view_.files_.size() > options_.maxIncludes) {
        Note(file, number,
             "#include \"" + path + "\" is not read: " +
                 (cycle ? "the file includes itself"
                        : "more than " + std::to_string(options_.maxIncludes) +
                              " files are included"));
        continue;
      }
      std::optional<std::string> text;
      if (options_.include && includeDepth_ < 16) text = options_.include(path, view_.files_[file]);
      if (!text) {
        Note(file, number, "#include \"" + path + "\" could not be read: what it sets is not read");
        continue;
      }
      const uint32_t included = static_cast<uint32_t>(view_.files_.size());
      view_.files_.push_back(path);
      parents_.push_back(file);
      view_.included_.push_back(std::make_unique<std::string>(std::move(*text)));
      // Only the states that read this path read its lines.
      std::vector<bool> reads(states_.size(), false);
      for (size_t i : readers) reads[i] = true;
      for (size_t i = 0; i < states_.size(); ++i) {
        if (!reads[i]) ++states_[i].suspended;
      }
      ++includeDepth_;
      ReadText(*view_.included_.back(), included);
      --includeDepth_;
      // States split while reading it came from readers, which were not
      // suspended: every state that is suspended now was suspended above,
      // and is released once.
      for (State& state : states_) {
        if (state.suspended > 0) --state.suspended;
      }
    }
  }

  // Calls take(state, truth) for each state `state` splits into where
  // `condition` is decided.
  template <typename Take>
  void Decide(State state, const ConditionNode& condition, uint32_t file, size_t number,
              Take take) {
    std::vector<Cube> cubes = std::move(state.cubes);
    // A state whose cubes all decide the condition alike goes on whole.
    int alike = -1;
    for (const Cube& cube : cubes) {
      state.cubes = {cube};
      const int value = Evaluate(condition, state, 0).value;
      if (value < 0 || (alike >= 0 && value != alike)) {
        alike = -2;
        break;
      }
      alike = value;
    }
    if (alike >= 0) {
      state.cubes = std::move(cubes);
      take(std::move(state), alike == 1);
      return;
    }
    // Else it is asked cube by cube.
    std::vector<State> open;
    for (size_t i = 0; i < cubes.size(); ++i) {
      State single = i + 1 < cubes.size() ? state : std::move(state);
      single.cubes = {std::move(cubes[i])};
      open.push_back(std::move(single));
    }
    while (!open.empty()) {
      State current = std::move(open.back());
      open.pop_back();
      const Truth truth = Evaluate(condition, current, 0);
      if (truth.value >= 0) {
        take(std::move(current), truth.value == 1);
        continue;
      }
      if (states_.size() + open.size() + 1 >= kMaxBuildStates) {
        if (!view_.beyondLimit_) {
          Note(file, number,
               "the file's conditions read in more than " + std::to_string(kMaxBuildStates) +
                   " ways here: name a configuration to read it");
        }
        view_.beyondLimit_ = true;
        take(std::move(current), false);
        continue;
      }
      State other = current;
      AddLiteral(&current.cubes.front(), MakeLiteral(truth.atom, true));
      AddLiteral(&other.cubes.front(), MakeLiteral(truth.atom, false));
      open.push_back(std::move(current));
      open.push_back(std::move(other));
    }
  }

  Truth Atom(const State& state, const BuildAtom& atom) {
    return AtomAt(state, view_.atoms_.Intern(atom));
  }

  // The truth of atom `index` in the state. The configuration decides the
  // interned atom as it does any atom of the same identity (it folds names
  // and values alike).
  Truth AtomAt(const State& state, uint32_t index) {
    if (std::optional<bool> known = CubeDecides(view_.atoms_, state.cubes.front(), index)) {
      return {*known ? 1 : 0, 0};
    }
    if (options_.configuration != nullptr) {
      if (std::optional<bool> known = options_.configuration->Decides(view_.atoms_[index])) {
        return {*known ? 1 : 0, 0};
      }
    }
    return {-1, index};
  }

  // Atom of the atom `make()` gives for `node`, a node of the condition
  // line being read (depth 0), interned once for the line: each state and
  // cube asks the same nodes again. Nodes made while evaluating (depth > 0)
  // are not kept: they do not outlive their evaluation.
  template <typename Make>
  Truth NodeAtom(const State& state, const ConditionNode& node, int depth, Make make) {
    if (depth != 0) return Atom(state, make());
    for (const auto& [seen, index] : nodeAtoms_) {
      if (seen == &node) return AtomAt(state, index);
    }
    const uint32_t index = view_.atoms_.Intern(make());
    nodeAtoms_.emplace_back(&node, index);
    return AtomAt(state, index);
  }

  // One side of "==": a text known in this state, or a variable's value.
  struct Operand {
    bool variable = false;
    std::string text;  // the text, or the variable's name
  };

  Operand OperandOf(const ConditionNode& node, const State& state, int depth) {
    switch (node.kind) {
      case ConditionNode::Kind::kNumber:
      case ConditionNode::Kind::kText:
        return {false, node.text};
      case ConditionNode::Kind::kName:
      case ConditionNode::Kind::kVariable: {
        const auto macro = state.macros->find(node.text);
        if (macro != state.macros->end() && macro->second && depth < 8) {
          std::string text = *macro->second;
          if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
            text = text.substr(1, text.size() - 2);
          }
          return {false, text};
        }
        if (macro != state.macros->end() && !macro->second) return {false, "0"};
        return {true, node.text};
      }
      default:
        return {true, ""};  // not understood: an opaque atom
    }
  }

  Truth Evaluate(const ConditionNode& node, const State& state, int depth) {
    using Kind = ConditionNode::Kind;
    switch (node.kind) {
      case Kind::kNumber: {
        const std::optional<long long> value = NumberOf(node.text);
        if (!value) return Atom(state, {BuildAtom::Kind::kOpaque, node.text, {}});
        return {*value != 0 ? 1 : 0, 0};
      }
      case Kind::kDefined: {
        const auto macro = state.macros->find(node.text);
        if (macro != state.macros->end()) return {macro->second ? 1 : 0, 0};
        return NodeAtom(state, node, depth, [&] {
          return BuildAtom{BuildAtom::Kind::kSet, node.text, {}};
        });
      }
      case Kind::kName:
      case Kind::kVariable: {
        const Operand operand = OperandOf(node, state, depth);
        if (!operand.variable) {
          const std::optional<long long> value = NumberOf(operand.text);
          if (value) return {*value != 0 ? 1 : 0, 0};
          if (depth < 8 && !operand.text.empty()) {
            return Evaluate(ParsePreprocessorCondition(operand.text), state, depth + 1);
          }
          return Atom(state, {BuildAtom::Kind::kOpaque, node.text, {}});
        }
        // A variable: set, and not to 0.
        const Truth set = Atom(state, {BuildAtom::Kind::kSet, operand.text, {}});
        if (set.value != 1) return set;
        const Truth zero = Atom(state, {BuildAtom::Kind::kEquals, operand.text, "0"});
        if (zero.value < 0) return zero;
        return {zero.value == 1 ? 0 : 1, 0};
      }
      case Kind::kEquals: {
        const Operand a = OperandOf(node.kids[0], state, depth);
        const Operand b = OperandOf(node.kids[1], state, depth);
        if (!a.variable && !b.variable) {
          const std::optional<long long> x = NumberOf(a.text);
          const std::optional<long long> y = NumberOf(b.text);
          if (x && y) return {*x == *y ? 1 : 0, 0};
          return {LowerCase(a.text) == LowerCase(b.text) ? 1 : 0, 0};
        }
        if (a.variable != b.variable && !(a.variable ? a.text : b.text).empty()) {
          const Operand& variable = a.variable ? a : b;
          const Operand& text = a.variable ? b : a;
          return Atom(state, {BuildAtom::Kind::kEquals, variable.text, text.text});
        }
        return Atom(state, {BuildAtom::Kind::kOpaque, ConditionText(node), {}});
      }
      case Kind::kNot: {
        const Truth inner = Evaluate(node.kids[0], state, depth);
        return inner.value < 0 ? inner : Truth{1 - inner.value, 0};
      }
      case Kind::kAnd:
      case Kind::kOr: {
        const int decisive = node.kind == Kind::kAnd ? 0 : 1;
        std::optional<Truth> open;
        for (const ConditionNode& kid : node.kids) {
          const Truth truth = Evaluate(kid, state, depth);
          if (truth.value == decisive) return truth;
          if (truth.value < 0 && !open) open = truth;
        }
        return open ? *open : Truth{1 - decisive, 0};
      }
      case Kind::kCeSet:
        return NodeAtom(state, node, depth, [&] {
          return BuildAtom{BuildAtom::Kind::kSet, node.text, {}};
        });
      case Kind::kCeEquals:
        return NodeAtom(state, node, depth, [&] {
          return BuildAtom{BuildAtom::Kind::kEquals, node.text, node.value};
        });
      case Kind::kModule:
        return NodeAtom(state, node, depth, [&] {
          return BuildAtom{BuildAtom::Kind::kModule, node.text, {}};
        });
      case Kind::kText:
      case Kind::kOpaque:
        break;
    }
    return Atom(state, {BuildAtom::Kind::kOpaque, node.text, {}});
  }

  static std::string ConditionText(const ConditionNode& node) {
    std::string text;
    for (const ConditionNode& kid : node.kids) {
      if (!text.empty()) text += " == ";
      text += kid.kind == ConditionNode::Kind::kVariable ? "$(" + kid.text + ")" : kid.text;
    }
    return text;
  }

  // ---- States joined, cubes kept, notes

  // Joins the states that read alike from here on (the same key, blocks
  // and macros) into one, its cubes theirs. When every state joins into one,
  // it stands for every configuration.
  void Join() {
    if (states_.size() < 2) return;
    std::vector<State> kept;
    kept.reserve(states_.size());
    for (State& state : states_) {
      auto same = std::find_if(kept.begin(), kept.end(),
                               [&](const State& other) { return SameShape(state, other); });
      if (same == kept.end()) {
        kept.push_back(std::move(state));
        continue;
      }
      for (Cube& cube : state.cubes) same->cubes.push_back(std::move(cube));
    }
    const bool joined = kept.size() < states_.size();
    for (State& state : kept) {
      if (!joined) break;
      if (kept.size() == 1) {
        state.cubes = {Cube()};
      } else if (state.cubes.size() > 1) {
        state.cubes = SimplifyUnion(std::move(state.cubes));
      }
    }
    states_ = std::move(kept);
  }

  uint32_t CubeIndex(const Cube& cube) {
    if (cube.empty() && !view_.cubes_.empty()) return 0;  // made first, by the constructor
    // The lines of a key under a condition ask for one cube in turn.
    if (lastCubeIndex_ != 0 && cube == lastCube_) return lastCubeIndex_;
    const auto [at, added] =
        view_.cubeIndex_.emplace(cube, static_cast<uint32_t>(view_.cubes_.size()));
    if (added) view_.cubes_.push_back(cube);
    lastCube_.assign(cube.begin(), cube.end());
    lastCubeIndex_ = at->second;
    return at->second;
  }

  void NoteNotUnderstood(const ConditionNode& condition, uint32_t file, size_t number) {
    const std::string text = NotUnderstood(condition);
    if (!text.empty()) {
      Note(file, number, "the condition \"" + text + "\" is not understood: it is read as either");
    }
  }

  void Note(uint32_t file, size_t number, std::string text) {
    std::string note = (file == 0 ? std::string() : view_.files_[file] + ": ") + "line " +
                       std::to_string(number) + ": " + text;
    if (std::find(view_.notes_.begin(), view_.notes_.end(), note) == view_.notes_.end() &&
        view_.notes_.size() < 100) {
      view_.notes_.push_back(std::move(note));
    }
  }

  void NoteOpenAtEnd() {
    for (const State& state : states_) {
      if (state.blocks.empty()) continue;
      const Block& block = state.blocks.back();
      if (view_.openAtEnd_ == 0 || block.line > view_.openAtEnd_) {
        view_.openAtEnd_ = block.line;
        view_.openAtEndText_ = std::string(block.text);
      }
    }
  }

  DeviceView& view_;
  const DeviceViewOptions& options_;
  std::vector<State> states_;
  std::vector<std::pair<const ConditionNode*, uint32_t>> nodeAtoms_;   // NodeAtom's, for one line
  std::map<Cube, std::vector<std::pair<size_t, uint32_t>>> keysKept_;  // KeysOfKept's
  std::pair<size_t, size_t> keysKeptAt_{0, 0};  // marks and atoms when keysKept_ was made
  Cube lastCube_;               // the cube CubeIndex was last asked for, not the empty one
  uint32_t lastCubeIndex_ = 0;  // its index (0: none yet)
  int includeDepth_ = 0;
  std::vector<uint32_t> parents_{0};  // the file that included each of view_.files_
  // Every header line read, in order, with the configurations that read it
  // and its key (kNoKey for a "[-KEY]" line).
  struct Mark {
    size_t key;
    Cube cube;
  };
  std::vector<Mark> marks_;
};

DeviceView::DeviceView(std::string_view text, const DeviceViewOptions& options) {
  // About a key every 128 bytes in a registry file: the index is made once.
  index_.reserve(text.size() / 128 + 16);
  keys_.reserve(text.size() / 128 + 16);
  headers_.reserve(text.size() / 128 + 16);
  // At most a record a line, mostly: a line is seldom under eight bytes. The
  // part of the store no record fills is never touched.
  records_->reserve(text.size() / 8 + 16);
  DeviceReader reader(*this, options);
  reader.ReadText(text, 0);
}

const DeviceKey* DeviceView::FindKey(std::string_view path) const {
  const auto found = index_.find(path);
  return found == index_.end() ? nullptr : &keys_[found->second];
}

KeyReading DeviceView::ReadingIn(const DeviceKey& key, const std::vector<bool>& assignment) const {
  KeyReading reading;
  // name (without regard to case) -> reading.values; the names are the records'
  std::unordered_map<std::string_view, size_t, RegistryNameHash, RegistryNameEqual> at;
  std::vector<std::string_view> names;  // the records' names of reading.values
  std::string scratch;                  // a value's form while it is made
  for (const DeviceRecord& record : key.records) {
    bool holds = true;
    for (Literal literal : cubes_[record.cube]) {
      if (assignment[AtomOf(literal)] != TruthOf(literal)) {
        holds = false;
        break;
      }
    }
    if (!holds) continue;
    switch (record.kind) {
      case DeviceRecord::Kind::kHeader:
        if (!reading.exists) {
          reading.exists = true;
          reading.file = record.file;
          reading.line = record.line;
        }
        break;
      case DeviceRecord::Kind::kDelete:
        reading = KeyReading();
        at.clear();
        names.clear();
        break;
      case DeviceRecord::Kind::kValue: {
        const auto found = at.find(record.name);
        // A form starts as its data does, or is a dword or byte list: only
        // data starting with "-" can delete the value.
        const std::string_view trimmed = TrimBlanks(record.data);
        StableTexts made;  // the forms that are no part of the data
        if (!trimmed.empty() && trimmed.front() == '-' &&
            ValueData(record.data, made, scratch) == "-") {
          if (found != at.end()) {
            reading.values.erase(reading.values.begin() +
                                 static_cast<std::ptrdiff_t>(found->second));
            names.erase(names.begin() + static_cast<std::ptrdiff_t>(found->second));
            at.clear();
            for (size_t i = 0; i < reading.values.size(); ++i) at[names[i]] = i;
          }
          break;
        }
        // The data as written until the reading is whole: only the values
        // it ends with are given their form.
        DeviceValue value{std::string(record.name), std::string(record.data), record.file,
                          record.line};
        if (found != at.end()) {
          reading.values[found->second] = std::move(value);
        } else {
          at.emplace(record.name, reading.values.size());
          names.push_back(record.name);
          reading.values.push_back(std::move(value));
        }
        break;
      }
    }
  }
  for (DeviceValue& value : reading.values) {
    StableTexts made;
    value.data = std::string(ValueData(value.data, made, scratch));
  }
  return reading;
}

namespace {

// Keeps the cubes not marked, in their order.
void KeepUnmarked(std::vector<Cube>* cubes, const std::vector<bool>& marked) {
  size_t kept = 0;
  for (size_t i = 0; i < cubes->size(); ++i) {
    if (marked[i]) continue;
    if (kept != i) (*cubes)[kept] = std::move((*cubes)[i]);  // never moved onto itself
    ++kept;
  }
  cubes->resize(kept);
}

// Drops every cube that lies within another (a duplicate keeps its first).
// A cube can lie only within one of fewer literals or of as many: those
// of equal length are compared through a set, the rest pair by pair.
void DropCubesWithinOthers(std::vector<Cube>* cubes) {
  std::vector<size_t> byLength(cubes->size());
  for (size_t i = 0; i < byLength.size(); ++i) byLength[i] = i;
  std::stable_sort(byLength.begin(), byLength.end(),
                   [&](size_t a, size_t b) { return (*cubes)[a].size() < (*cubes)[b].size(); });
  std::vector<bool> dropped(cubes->size(), false);
  std::set<Cube> seen;
  for (size_t i : byLength) {
    const Cube& cube = (*cubes)[i];
    if (!seen.insert(cube).second) {
      dropped[i] = true;
      continue;
    }
    for (size_t j : byLength) {
      if ((*cubes)[j].size() >= cube.size()) break;
      if (!dropped[j] && Within(cube, (*cubes)[j])) {
        dropped[i] = true;
        break;
      }
    }
  }
  KeepUnmarked(cubes, dropped);
}

// Joins pairs of cubes that differ in one literal, one the other's
// opposite, into the cube without it, in the place of the earlier of the
// two. The partner of a cube is found by its literals with the one that
// may differ masked: two cubes that mask alike are such a pair. The cubes
// stay as they are until the round ends (the set looks at them); a cube
// joined in this round waits for the next.
bool JoinSoleDifferences(std::vector<Cube>* cubes) {
  // A cube with literal `at` masked, looked at in place.
  struct Masked {
    uint32_t cube, at;
  };
  const std::vector<Cube>& all = *cubes;
  auto hash = [&all](const Masked& m) {
    const Cube& cube = all[m.cube];
    size_t h = cube.size() * 31 + m.at;
    for (size_t k = 0; k < cube.size(); ++k) {
      h = h * 1000003u + (k == m.at ? AtomOf(cube[k]) : cube[k] + 0x9e3779b9u);
    }
    return h;
  };
  auto same = [&all](const Masked& a, const Masked& b) {
    const Cube& x = all[a.cube];
    const Cube& y = all[b.cube];
    if (a.at != b.at || x.size() != y.size()) return false;
    for (size_t k = 0; k < x.size(); ++k) {
      if (k == a.at ? AtomOf(x[k]) != AtomOf(y[k]) : x[k] != y[k]) return false;
    }
    return true;
  };
  std::unordered_map<Masked, uint32_t, decltype(hash), decltype(same)> partners(2 * all.size(),
                                                                                hash, same);
  std::vector<bool> joinedAway(all.size(), false);
  std::vector<int64_t> dropAt(all.size(), -1);  // the literal a cube loses this round
  bool joined = false;
  for (uint32_t i = 0; i < all.size(); ++i) {
    for (uint32_t k = 0; k < all[i].size(); ++k) {
      const auto [at, added] = partners.try_emplace(Masked{i, k}, i);
      if (added) continue;
      const uint32_t j = at->second;
      if (joinedAway[j] || dropAt[j] >= 0) {
        at->second = i;  // masks alike, and is still free
        continue;
      }
      if (all[j][k] == all[i][k]) continue;  // the same cube twice
      dropAt[j] = k;
      joinedAway[i] = true;
      joined = true;
      break;
    }
  }
  for (size_t j = 0; j < cubes->size(); ++j) {
    if (dropAt[j] >= 0) (*cubes)[j].erase((*cubes)[j].begin() + dropAt[j]);
  }
  KeepUnmarked(cubes, joinedAway);
  return joined;
}

}  // namespace

// A few cubes are compared pair by pair, starting over after each change;
// more (a key read under many conditions has up to 1 << kMaxKeyAtoms) are
// joined a round at a time, each round's pairs found by masking.
std::vector<Cube> SimplifyUnion(std::vector<Cube> cubes) {
  constexpr size_t kFewCubes = 16;
  if (cubes.size() > kFewCubes) {
    DropCubesWithinOthers(&cubes);
    while (JoinSoleDifferences(&cubes)) DropCubesWithinOthers(&cubes);
    return cubes;
  }
  for (bool joined = true; joined;) {
    joined = false;
    for (size_t i = 0; i < cubes.size() && !joined; ++i) {
      for (size_t j = 0; j < cubes.size() && !joined; ++j) {
        if (i == j) continue;
        if (Within(cubes[j], cubes[i])) {
          cubes.erase(cubes.begin() + static_cast<std::ptrdiff_t>(j));
          joined = true;
          continue;
        }
        const int64_t at = SoleDifference(cubes[i], cubes[j]);
        if (at < 0) continue;
        cubes[i].erase(cubes[i].begin() + at);
        cubes.erase(cubes.begin() + static_cast<std::ptrdiff_t>(j));
        joined = true;
      }
    }
  }
  return cubes;
}

std::optional<std::vector<KeyVariant>> DeviceView::Readings(const DeviceKey& key) const {
  std::vector<uint32_t> atoms;  // the atoms the key's cubes test
  for (const DeviceRecord& record : key.records) {
    for (Literal literal : cubes_[record.cube]) atoms.push_back(AtomOf(literal));
  }
  std::sort(atoms.begin(), atoms.end());
  atoms.erase(std::unique(atoms.begin(), atoms.end()), atoms.end());
  if (atoms.size() > kMaxKeyAtoms) return std::nullopt;
  std::vector<KeyVariant> variants;
  std::vector<bool> assignment(atoms_.size(), false);
  for (uint64_t bits = 0; bits < (uint64_t{1} << atoms.size()); ++bits) {
    Cube cube;
    for (size_t i = 0; i < atoms.size(); ++i) {
      assignment[atoms[i]] = (bits >> i & 1u) != 0;
      cube.push_back(MakeLiteral(atoms[i], assignment[atoms[i]]));
    }
    if (!CubeConsistent(atoms_, cube)) continue;
    KeyReading reading = ReadingIn(key, assignment);
    auto same = std::find_if(variants.begin(), variants.end(), [&](const KeyVariant& variant) {
      return variant.reading.SameAs(reading);
    });
    if (same == variants.end()) {
      variants.push_back({std::move(reading), {std::move(cube)}});
    } else {
      same->when.push_back(std::move(cube));
    }
  }
  for (KeyVariant& variant : variants) variant.when = SimplifyUnion(std::move(variant.when));
  return variants;
}

std::string DeviceView::CubeWords(const Cube& cube) const {
  if (cube.empty()) return "every build";
  std::string words;
  for (Literal literal : cube) {
    if (!words.empty()) words += ", ";
    words += LiteralWords(atoms_[AtomOf(literal)], TruthOf(literal));
  }
  return words;
}

std::string DeviceView::WhenWords(std::vector<Cube> when) const {
  when = SimplifyUnion(std::move(when));
  std::string words;
  for (const Cube& cube : when) {
    if (!words.empty()) words += "; or ";
    words += CubeWords(cube);
  }
  return words;
}

std::string DeviceView::CubeOptions(const Cube& cube) const {
  std::string options;
  for (Literal literal : cube) {
    const std::string option = LiteralOption(atoms_[AtomOf(literal)], TruthOf(literal));
    if (option.empty()) continue;
    if (!options.empty()) options += ' ';
    options += option;
  }
  return options;
}

void AtomSpace::Add(const DeviceView& view, const DeviceKey& key) {
  indexes_.clear();
  // Each cube and atom of the view once: a key's records share a few.
  std::vector<bool> cubeSeen(view.Cubes().size(), false);
  std::vector<bool> atomSeen(view.Atoms().size(), false);
  for (const DeviceRecord& record : key.records) {
    if (cubeSeen[record.cube]) continue;
    cubeSeen[record.cube] = true;
    for (Literal literal : view.Cubes()[record.cube]) {
      if (atomSeen[AtomOf(literal)]) continue;
      atomSeen[AtomOf(literal)] = true;
      atoms_.Intern(view.Atoms()[AtomOf(literal)]);
    }
  }
}

const std::vector<int>& AtomSpace::IndexIn(const DeviceView& view) const {
  for (const auto& [seen, index] : indexes_) {
    if (seen == &view) return index;
  }
  // Each atom of the view: its place in the space, or -1 when no cube of the
  // keys compared tests it.
  std::vector<int> index(view.Atoms().size(), -1);
  std::map<std::string, uint32_t> mine;
  for (uint32_t j = 0; j < atoms_.size(); ++j) mine.emplace(AtomTable::KeyOf(atoms_[j]), j);
  for (uint32_t i = 0; i < view.Atoms().size(); ++i) {
    const auto found = mine.find(AtomTable::KeyOf(view.Atoms()[i]));
    if (found != mine.end()) index[i] = static_cast<int>(found->second);
  }
  indexes_.emplace_back(&view, std::move(index));
  return indexes_.back().second;
}

std::vector<bool> AtomSpace::For(const DeviceView& view, uint64_t bits) const {
  const std::vector<int>& index = IndexIn(view);
  std::vector<bool> assignment(index.size(), false);
  for (size_t i = 0; i < index.size(); ++i) {
    if (index[i] >= 0) assignment[i] = (bits >> index[i] & 1u) != 0;
  }
  return assignment;
}

Cube AtomSpace::CubeOf(uint64_t bits) const {
  Cube cube;
  for (uint32_t j = 0; j < atoms_.size(); ++j)
    cube.push_back(MakeLiteral(j, (bits >> j & 1u) != 0));
  return cube;
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

}  // namespace zuv
