// The registry text as the device's import reads it, line by line: a key
// starts only on a line whose first character other than blank or tab is "[";
// ";" starts a comment; "name"=value and @=value lines are values of the key
// above them, a later line of the same name overriding an earlier one, and a
// key written twice gathering the values of both; IF, ELSE and ENDIF lines
// and "#" lines of the image build's preprocessor are passed over, each key
// and value remembering the conditions it stands under. A value
// whose data ends with "\" goes on on the next line.
//
// This reader is kept apart from the store on purpose and shares none of its
// search code: a Save proves with it that the file it writes means to the
// device what the user saved, and `check` shows where the store's view and
// the device's differ.
#ifndef ZUV_DEVICE_DEVICE_VIEW_H
#define ZUV_DEVICE_DEVICE_VIEW_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <initializer_list>
#include <vector>

#include "device/name_index.h"

namespace zuv {

// The conditions a line stands under: the index in PreprocessorLines() of
// the line that opened its innermost IF or #if block, or last turned it (ELSE,
// #else, #elif); kTopLevel outside every block. In two texts with the same
// preprocessor lines, lines with the same number stand under the same
// conditions. A number, not the conditions' text, so that lines deep inside
// many blocks cost nothing more to read or compare (ConditionText words one).
constexpr size_t kTopLevel = static_cast<size_t>(-1);

struct DeviceValue {
  std::string name;  // as written; "@" for the key's default value
  // The value in one form for comparing: dword:0000001a, "text" (the
  // characters between the quotes as written), hex:01,a0 (also hex(N): and
  // multi_sz:, digits in lower case, no blanks), "-" for a deleted value, or
  // the data text as written for anything else.
  std::string data;
  size_t line = 0;               // 1-based line of the line that gave the value
  size_t condition = kTopLevel;  // see kTopLevel
};

struct DeviceKey {
  std::string path;                 // between "[" and "]", blanks around it dropped
  size_t line = 0;                  // 1-based line of its first header
  std::vector<DeviceValue> values;  // in the order of first appearance
  size_t condition = kTopLevel;     // that of its first header
  // Lines of values that a later line of the same name overrode, in the
  // file's order: the readings of other branches of the build.
  std::vector<DeviceValue> overridden;
  // `values` by name, made once the key holds more values than a look
  // through them all costs (DeviceView::FindValue).
  NameIndex index;
};

// A "[-KEY]" line that deleted keys read: KEY as written, its line and the
// conditions it stands under.
struct DeviceDeletion {
  std::string path;
  size_t line = 0;
  size_t condition = kTopLevel;
};

// A set of key paths, compared as the registry compares names (without
// regard to ASCII case). The paths are kept one after another in one buffer:
// the set of a driver's sixteen template keys, made for every reading of a
// load and a Save, costs a few allocations, not a node and a copy each.
class DeviceKeySet {
 public:
  DeviceKeySet() = default;
  DeviceKeySet(std::initializer_list<std::string_view> paths);
  // Adds `path` unless the set holds it; true when added.
  bool insert(std::string_view path);
  bool contains(std::string_view path) const;
  size_t size() const { return spans_.size(); }
  // The paths as inserted, in their order.
  std::string_view operator[](size_t i) const {
    return std::string_view(text_).substr(spans_[i].start, spans_[i].size);
  }
  void reserve(size_t paths, size_t bytes);

 private:
  struct Span {
    size_t start, size;
  };
  std::string text_;
  std::vector<Span> spans_;
  NameIndex index_;
};

// A header line: its key path (a view into the text read) and its line.
struct DeviceHeader {
  std::string_view path;
  size_t line;
};

// Where `now` differs from `old`, widened to whole lines as the device reads
// them: [start, oldEnd) of `old` and [start, newEnd) of `now`. Before `start`
// and from oldEnd and newEnd on, the texts are the same bytes, and at each of
// these positions both texts start a line that goes on no line before it (the
// line before does not end with "\"), so the device reads the lines outside
// the stretch alike in both.
struct ChangedLines {
  size_t start, oldEnd, newEnd;
};
class DeviceView {
 public:
  // Reads every key. The text must outlive the view (Headers() and
  // PreprocessorLines() point into it). With kLeaveOut, Headers() and
  // KeyBefore() find nothing: a view read only to be compared keeps no list
  // of every key's header line.
  enum class HeaderLines { kKeep, kLeaveOut };
  explicit DeviceView(std::string_view text, HeaderLines headerLines = HeaderLines::kKeep);
  // Reads only the keys whose path is in `only` in full: every
  // other key's lines are passed over (its headers are still in Headers(),
  // and its preprocessor lines count as everywhere), so FindKey finds no
  // other key.
  DeviceView(std::string_view text, const DeviceKeySet& only,
             HeaderLines headerLines = HeaderLines::kKeep);
  // The view of `now` that DeviceView(now, only, kLeaveOut) gives, read
  // knowing that `now` differs from `old`, which `head` read (with its header
  // lines kept), only in the lines `changed` names (FindChangedLines(old,
  // now)). Every other line of `now` is a line of `old`, read in the same
  // state as far as the changed lines leave it so: of those, only the lines
  // that may change the state whatever key they stand in (headers and the
  // build's lines, which `head` noted), and the lines of the keys read, are
  // read; the changed lines are read whole.
  DeviceView(std::string_view now, const DeviceKeySet& only, const DeviceView& head,
             std::string_view old, const ChangedLines& changed);

  // Keys in the order of their first header; values written before any header
  // belong to no key and are left out.
  const std::vector<DeviceKey>& Keys() const { return keys_; }
  // Key and value names compare without regard to ASCII case, as the
  // registry's do. Null when absent.
  const DeviceKey* FindKey(std::string_view path) const;
  static const DeviceValue* FindValue(const DeviceKey& key, std::string_view name);
  // The preprocessor lines, blanks around them dropped, in the file's order.
  const std::vector<std::string_view>& PreprocessorLines() const { return preprocessor_; }
  // The words of a condition number: the open blocks, outermost first, each
  // with the ELSE lines that turned it ("IF BSP_X > #if 0, #else"); empty
  // for kTopLevel.
  std::string ConditionText(size_t condition) const;
  // Every header line of every key, in the file's order.
  const std::vector<DeviceHeader>& Headers() const { return headers_; }
  // The 1-based line of each of PreprocessorLines().
  const std::vector<size_t>& PreprocessorLineNumbers() const { return preprocessorNumbers_; }
  // The innermost block still open at the end of the file (its index in
  // PreprocessorLines()), or kTopLevel when every block is closed.
  size_t OpenAtEnd() const { return blocks_.empty() ? kTopLevel : blocks_.back(); }
  // The "[-KEY]" lines that deleted a key read, in the file's order.
  const std::vector<DeviceDeletion>& Deletions() const { return deletions_; }
  // The path of the last header line that starts before `offset` of the text
  // read, if any: the key a line starting there is read under.
  std::optional<std::string_view> KeyBefore(size_t offset) const;
  // Whether the text was read line by line with nothing left out: no block
  // the build never reads, no "[-KEY]" line.
  bool ReadsEveryLine() const { return !leftOut_; }

 private:
  static constexpr size_t kNoKey = static_cast<size_t>(-1);
  static constexpr size_t kOtherKey = static_cast<size_t>(-2);  // a key not read
  void Read(std::string_view text);
  void SetOnly(const DeviceKeySet& only);
  // Reads one line (a value's continued lines joined); `current` is the index
  // of the key the values go to.
  void ReadLine(std::string_view line, size_t number, size_t& current);

  // Reads a header line (from its "[" to its line end, blanks after it kept)
  // met while passing over lines, as ReadLine does, when it names a key not
  // read or stands in a block the build leaves out; false, with nothing
  // done, when ReadLine must read it (a key read, a "[-KEY]" line).
  bool PassHeader(std::string_view line, size_t number, size_t& current);
  // Keeps the open blocks in step with a preprocessor line.
  void ReadPreprocessorLine(std::string_view line, size_t number);
  // The conditions of the line read now.
  size_t Condition() const { return blocks_.empty() ? kTopLevel : blocks_.back(); }
  // Deletes the key `path` and its subkeys (a "[-KEY]" line).
  void DeleteKeys(std::string_view path, size_t number);
  // Drops the keys deleted while reading from keys_ and index_.
  void DropDeletedKeys();

  std::vector<DeviceKey> keys_;
  std::vector<std::string_view> preprocessor_;  // into the text read
  std::vector<size_t> blocks_;  // the open IF / #if blocks, outermost first (see kTopLevel)
  std::vector<size_t> preprocessorNumbers_;
  // Per preprocessor line: the line its block was opened under (an opening
  // line) or the line of its block it turned (a turning one), whether it
  // turned one, and the conditions after it; ConditionText follows them.
  struct ConditionLink {
    size_t link, after;
    bool turned;
  };
  std::vector<ConditionLink> conditionLinks_;
  // How many open blocks are in a branch the build never reads ("#if 0"
  // before its "#else", "#if 1" after it), and how each open block's
  // branches are read.
  size_t dead_ = 0;
  bool leftOut_ = false;  // a block never read or a "[-KEY]" line was met
  std::vector<uint8_t> deadBlocks_;
  std::vector<DeviceDeletion> deletions_;
  std::vector<bool> deleted_;  // per keys_ index, while reading
  bool anyDeleted_ = false;
  // Lower-case path -> keys_ index in path order, made at the first "[-KEY]"
  // line, so that a deletion finds the subkeys without a look at every key.
  std::map<std::string, size_t> sorted_;
  bool sortedMade_ = false;
  NameIndex index_;  // keys_ by path
  std::vector<DeviceHeader> headers_;
  std::vector<size_t> headerStarts_;    // where each of headers_ starts in the text
  std::vector<bool> onlyLengths_;       // while reading: the lengths of the paths in `only_`
  const DeviceKeySet* only_ = nullptr;  // while reading: the keys read, or all
  bool keepHeaders_ = true;
  // Every line whose first characters make it a header or one of the build's
  // lines (or a comment that starts like a directive), wherever it stands:
  // its offset, its 1-based number, and for a header line passed over (a key
  // not read, outside a block left out) the length of its path, else kNoPath.
  // Kept with the header lines, for a text under 4 GiB.
  static constexpr uint32_t kNoPath = UINT32_MAX;
  struct Landmark {
    uint32_t start, number, pathLength;
  };
  std::vector<Landmark> landmarks_;
  bool landmarksMade_ = false;
  std::string lower_;  // a deleted key's lower-case path, reused
};

ChangedLines FindChangedLines(std::string_view old, std::string_view now);

// Adds to `keys` the paths of the keys that lines from `start` to
// `end` of `text` (positions FindChangedLines gives) belong to: the key the
// line at `start` is read under, and every key with a header line among them.
// The lines after `end` up to the next header belong to the last of these.
// Lines of a block never read ("#if 0") are passed over; a "[-KEY]" line
// among them adds "-KEY", which no key's path starts with.
// With `head`, a view read on a text whose bytes before `start` are those of
// `text` and that left nothing out, only the lines from `start` to `end` are
// read.
void AddKeysOfLines(std::string_view text, size_t start, size_t end, DeviceKeySet* keys,
                    const DeviceView* head = nullptr);

// An analog output's setting as the device reads the string of an
// "AOSettings" value, "code high low": up to three decimal numbers in the
// first 49 characters, each after blanks and an optional sign; the code keeps
// the low 16 bits (a negative number wraps), the ends are 32-bit numbers
// (saturating beyond) held as floats. A missing or malformed number stops the
// reading; what it did not read keeps the device's default {0, 10, 0}. Read
// here apart from the store's formatter and loader, so that a fault of theirs
// fails the proof rather than passing both sides of it.
struct DeviceAoSetting {
  uint32_t code = 0;
  float high = 10.0f;
  float low = 0.0f;
};
// The setting the data of a value (DeviceValue::data) gives; nullopt when the
// data is no string.
std::optional<DeviceAoSetting> ReadDeviceAoSetting(std::string_view data);

// The form of DeviceValue::data that a double word and a string take.
std::string DeviceDword(unsigned long value);
std::string DeviceString(std::string_view text);

}  // namespace zuv

#endif  // ZUV_DEVICE_DEVICE_VIEW_H
