// The registry text as the image build reads it, in every configuration of
// the build at once.
//
// What it reads, line by line (CR LF, LF or CR ends a line; blanks around a
// line are dropped):
// - Keys: a line whose first character is "[" opens the key between the
//   brackets (blanks around the path dropped). "[-KEY]" deletes KEY and its
//   subkeys read so far, from that line on; the value lines after it belong
//   to no key until the next header.
// - Values: "name"=data and @=data (the default value) are values of the key
//   open at that line, names compared without regard to ASCII case, a later
//   line of a name overriding an earlier one; "name"=- deletes the value. A
//   value line whose data ends with "\" goes on on the next line, unless that
//   line starts a header or a comment. The data is kept in one form for
//   comparing (DeviceRecord::data): dword:, hex:, hex(N):, multi_sz:, "text".
// - Comments: any other line starting with ";" is read as nothing.
// - The build's lines (build_lines.h): the C preprocessor's #if, #ifdef,
//   #ifndef, #elif, #else and #endif (numbers, defined NAME, macros,
//   variables, ==, !, && and ||; an #if 0 block is never read); the CE
//   build's IF NAME, IF NAME !, IF NAME=VALUE ..., ELSE and ENDIF; and
//   "; @CESYSGEN IF", "; @CESYSGEN ELSE", "; @CESYSGEN ENDIF" on the image's
//   modules. Each family's blocks nest among themselves only. #define NAME
//   text and #undef NAME hold from their line on. #include "path" (or <path>)
//   reads that file at its line through DeviceViewOptions::include (a file
//   that includes itself is not read again; at most maxIncludes files, 16
//   deep). Other "#" lines, other "; @..." lines (; @XIPREGION ...) and the
//   boot hive's "; HIVE BOOT SECTION" marks are kept as build lines and read
//   as nothing.
// - $(NAME) in headers, value data and #include paths is expanded to the
//   macro NAME, else to the variable's value in the configuration given;
//   one neither names stays as written.
// What it cannot read as the build would (a variable no configuration
// names, an #include not read, a condition not understood, too many states)
// is noted (Notes()).
//
// The reading is made once for every configuration the file tells apart: it
// follows one state (the key open, the open blocks, the macros) per set of
// configurations that reads differently so far, splitting a state where a
// condition is open in it and joining states that read alike again. Each
// header, value and deletion is kept with the set of configurations that
// read it (a cube), so that a key's readings in each configuration follow
// from its own lines alone. Given a configuration
// (DeviceViewOptions::configuration), the reading is that configuration's
// only: the atoms it decides never split a state.
//
// This reader is kept apart from the store on purpose and shares none of its
// code: a Save proves with it that the file it writes means to the device
// what the user saved, and `check` shows where the store's view and the
// device's differ.
#ifndef ZUV_DEVICE_DEVICE_VIEW_H
#define ZUV_DEVICE_DEVICE_VIEW_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "device/build_condition.h"

namespace zuv {

// Whether two key or value names are the same to the registry: equal but
// for ASCII case. The store has its twin, kept apart on purpose.
bool SameRegistryName(std::string_view a, std::string_view b);
// A name with its ASCII capitals in lower case: the key names are kept by.
std::string FoldRegistryName(std::string_view name);

// One line of a key as read: a header that opens it, a value, or a deletion
// of it (a "[-KEY]" of it or of a parent).
struct DeviceRecord {
  enum class Kind : uint8_t { kHeader, kValue, kDelete };
  Kind kind = Kind::kValue;
  uint32_t file = 0;  // 0: the text read; else DeviceView::Files()[file]
  uint32_t line = 0;  // 1-based, in its file
  uint32_t cube = 0;  // DeviceView::Cubes()[cube]: the configurations that read it
  // A value's name as written ("@" the default value); the key deleted.
  std::string_view name;
  // What follows a value's "=" as written, each $(NAME) expanded; two
  // records alike in it read alike. A reading (DeviceValue::data) gives it
  // in its one form.
  std::string_view data;
};

// The records of one key, in the order the build reads them. The view
// keeps every record in one store in the order read; a key holds the runs
// of that store that are its own (mostly one: a key's lines stand
// together).
class DeviceRecords {
 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = DeviceRecord;
    using difference_type = std::ptrdiff_t;
    using pointer = const DeviceRecord*;
    using reference = const DeviceRecord&;
    const_iterator(const DeviceRecords* records, size_t run, size_t at)
        : records_(records), run_(run), at_(at) {}
    const DeviceRecord& operator*() const { return (*records_->all_)[at_]; }
    const DeviceRecord* operator->() const { return &**this; }
    const_iterator& operator++() {
      ++at_;
      const Run& run = records_->RunAt(run_);
      if (at_ == run.first + run.count) {
        ++run_;
        at_ = run_ < records_->RunCount() ? records_->RunAt(run_).first : 0;
      }
      return *this;
    }
    bool operator==(const const_iterator& other) const {
      return run_ == other.run_ && at_ == other.at_;
    }
    bool operator!=(const const_iterator& other) const { return !(*this == other); }

   private:
    const DeviceRecords* records_;
    size_t run_;
    size_t at_;
  };

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const_iterator begin() const {
    return {this, 0, RunCount() == 0 ? 0 : static_cast<size_t>(first_.first)};
  }
  const_iterator end() const { return {this, RunCount(), 0}; }

 private:
  friend class DeviceReader;
  struct Run {
    uint32_t first;
    uint32_t count;
  };
  size_t RunCount() const { return size_ == 0 ? 0 : 1 + (more_ ? more_->size() : 0); }
  const Run& RunAt(size_t i) const { return i == 0 ? first_ : (*more_)[i - 1]; }
  // Adds record `at` of the store, the last there.
  void Add(const std::vector<DeviceRecord>* all, uint32_t at) {
    all_ = all;
    Run& last = !more_ || more_->empty() ? first_ : more_->back();
    if (size_ != 0 && last.first + last.count == at) {
      ++last.count;
    } else if (size_ == 0) {
      first_ = {at, 1};
    } else {
      if (!more_) more_ = std::make_unique<std::vector<Run>>();
      more_->push_back({at, 1});
    }
    ++size_;
  }
  const std::vector<DeviceRecord>* all_ = nullptr;
  Run first_{0, 0};
  std::unique_ptr<std::vector<Run>> more_;  // made for a key read in more than one run
  size_t size_ = 0;
};

// The texts a record, key or header names point into stay with the view
// that read them: the text given (which the caller keeps), the included
// texts, and the view's own store of the texts the reading made (joined
// lines, expanded paths, data put in its one form).
struct DeviceKey {
  std::string_view path;  // as first read: between "[" and "]", blanks around it dropped
  DeviceRecords records;  // in the order the build reads them
};

// A value as one configuration reads it.
struct DeviceValue {
  std::string name;
  // The value in one form for comparing: dword:0000001a, "text" (the
  // characters between the quotes as written), hex:01,a0 (also hex(N): and
  // multi_sz:, digits in lower case, no blanks), or the data text as
  // written for anything else.
  std::string data;
  uint32_t file = 0;
  size_t line = 0;
};

// A key as one configuration reads it.
struct KeyReading {
  bool exists = false;
  uint32_t file = 0;
  size_t line = 0;                  // its first header read
  std::vector<DeviceValue> values;  // in the order of first appearance, deleted ones left out
  const DeviceValue* Find(std::string_view name) const;
  // The same key and values (lines aside).
  bool SameAs(const KeyReading& other) const;
};

// One reading of a key and the configurations that read it: a union of
// cubes.
struct KeyVariant {
  KeyReading reading;
  std::vector<Cube> when;
};

// A build line of the text read: its text, blanks around it dropped, and
// its line.
struct StructureLine {
  std::string_view text;
  size_t line;
};

// A header line of the text read, its path with macros expanded.
struct DeviceHeader {
  std::string_view path;
  size_t line;
};

// Reads an #include'd file: its text, or nullopt when it cannot be read.
// `path` as the line gives it with macros expanded, `from` the file that
// includes it ("" for the text read).
using IncludeReader =
    std::function<std::optional<std::string>(std::string_view path, std::string_view from)>;

struct DeviceViewOptions {
  // The configuration the reading is restricted to; none: every one.
  const BuildConfiguration* configuration = nullptr;
  IncludeReader include;     // none: an #include is named as not read
  size_t maxIncludes = 256;  // the most files read through #include in all
};

// The most states of the build the reader follows at once, and the most
// atoms a key's readings are told apart by: beyond them the file is
// read as one that a configuration must be named for.
constexpr size_t kMaxBuildStates = 1024;
constexpr size_t kMaxKeyAtoms = 12;

// Hash and equality of registry names without regard to ASCII case, for
// the standard containers that keep keys and values by name.
struct RegistryNameHash {
  size_t operator()(std::string_view name) const;
};
struct RegistryNameEqual {
  bool operator()(std::string_view a, std::string_view b) const { return SameRegistryName(a, b); }
};

// Texts that stay where they are for the life of their owner: each piece
// is copied into a block that never moves, and moving the store keeps them.
class StableTexts {
 public:
  std::string_view Keep(std::string_view text);

 private:
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t used_ = 0;
  size_t size_ = 0;
  std::string_view last_;  // the piece kept last: the same one next is not kept twice
};

class DeviceView {
 public:
  // `text` must outlive the view: its keys, records and lines point into it.
  explicit DeviceView(std::string_view text, const DeviceViewOptions& options = {});
  DeviceView(DeviceView&&) = default;
  DeviceView& operator=(DeviceView&&) = default;
  // A copy would point into the texts of the view it was made from.
  DeviceView(const DeviceView&) = delete;
  DeviceView& operator=(const DeviceView&) = delete;

  const std::vector<DeviceKey>& Keys() const { return keys_; }
  // The key of `path` (without regard to case), or null.
  const DeviceKey* FindKey(std::string_view path) const;
  // Each reading of `key` over the configurations that read it otherwise,
  // with the configurations of each; beyond kMaxKeyAtoms nullopt.
  std::optional<std::vector<KeyVariant>> Readings(const DeviceKey& key) const;
  // The reading of `key` where the literals of `assignment` (which fixes
  // every atom its cubes test) hold.
  KeyReading ReadingIn(const DeviceKey& key, const std::vector<bool>& assignment) const;

  const AtomTable& Atoms() const { return atoms_; }
  const std::vector<Cube>& Cubes() const { return cubes_; }
  // "with BSP_X, without BSP_Y"; "every build" for the empty cube.
  std::string CubeWords(const Cube& cube) const;
  // The cubes of a union, simplified, in words joined by "; or ".
  std::string WhenWords(std::vector<Cube> when) const;
  // The option to give for a configuration in `cube`: "--define BSP_X".
  std::string CubeOptions(const Cube& cube) const;

  // The build lines of the text read, in order.
  const std::vector<StructureLine>& StructureLines() const { return structure_; }
  // Every header line of the text read, in order.
  const std::vector<DeviceHeader>& Headers() const { return headers_; }
  // The line of the innermost block still open at the end of the text read,
  // and its words; 0 when every block is closed.
  size_t OpenAtEnd() const { return openAtEnd_; }
  const std::string& OpenAtEndText() const { return openAtEndText_; }
  // What the reader could not read as the build would: a variable no
  // configuration names, an #include not read, a condition not understood,
  // more states than kMaxBuildStates. Each "line L: ..." (the file's name
  // before it when an included file's).
  const std::vector<std::string>& Notes() const { return notes_; }
  // More states than the reader follows: no key's readings can be trusted.
  bool BeyondLimit() const { return beyondLimit_; }
  // Whether some configuration reads line L (1-based) of the text read: a
  // line inside blocks no configuration of the reading takes is not read.
  bool LineRead(size_t line) const { return line < linesRead_.size() && linesRead_[line]; }
  // The #include'd files read, index 1 on.
  const std::vector<std::string>& Files() const { return files_; }

 private:
  friend class DeviceReader;
  std::vector<DeviceKey> keys_;
  // path (without regard to case) -> keys_
  std::unordered_map<std::string_view, size_t, RegistryNameHash, RegistryNameEqual> index_;
  AtomTable atoms_;
  std::vector<Cube> cubes_;
  std::map<Cube, uint32_t> cubeIndex_;
  std::vector<StructureLine> structure_;
  std::vector<DeviceHeader> headers_;
  size_t openAtEnd_ = 0;
  std::string openAtEndText_;
  std::vector<std::string> notes_;
  bool beyondLimit_ = false;
  std::vector<std::string> files_{""};
  std::vector<bool> linesRead_;
  std::vector<std::unique_ptr<std::string>> included_;  // the texts of files_ 1 on
  // Every record in the order read, found by its place; the store itself
  // does not move with the view.
  std::unique_ptr<std::vector<DeviceRecord>> records_ =
      std::make_unique<std::vector<DeviceRecord>>();
  StableTexts kept_;
};

// The atoms of one or more keys' cubes, named across views, and the
// assignments of them that can hold together: the configurations a
// comparison of those keys tells apart.
class AtomSpace {
 public:
  void Add(const DeviceView& view, const DeviceKey& key);
  void Add(const BuildAtom& atom) {
    indexes_.clear();
    atoms_.Intern(atom);
  }
  size_t size() const { return atoms_.size(); }
  // Assignments are numbers below 1 << size(): bit i the truth of atom i.
  const AtomTable& Atoms() const { return atoms_; }
  // The assignment of `view`'s atoms that `bits` (one per atom of the space)
  // gives.
  std::vector<bool> For(const DeviceView& view, uint64_t bits) const;
  Cube CubeOf(uint64_t bits) const;
  bool Consistent(uint64_t bits) const { return CubeConsistent(atoms_, CubeOf(bits)); }

 private:
  // Where each atom of `view` stands in the space (-1: nowhere), made once a
  // view.
  const std::vector<int>& IndexIn(const DeviceView& view) const;
  AtomTable atoms_;
  mutable std::vector<std::pair<const DeviceView*, std::vector<int>>> indexes_;
};

// The cubes of a union with pairs that differ in one literal joined and
// cubes inside others dropped.
std::vector<Cube> SimplifyUnion(std::vector<Cube> cubes);

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
