// Key and value names as the registry compares them, and a table that finds
// the entries of a list by such a name.
#ifndef ZUV_DEVICE_NAME_INDEX_H
#define ZUV_DEVICE_NAME_INDEX_H

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace zuv {

// Whether two key or value names are the same to the registry. The store has
// its twin (regtext::SameName), kept apart on purpose: the proof shares no
// code with what it checks.
bool SameRegistryName(std::string_view a, std::string_view b);
// A hash of a name that names the same to the registry share.
uint64_t RegistryNameHash(std::string_view name);

// The entries of a list (their indices), found by their names without regard
// to ASCII case. The table holds no names: the list holds them, and the table
// reads them through `nameOf(i)`, so that a view's keys and values cost no
// lower-case copy and no node each. Open addressing over a power-of-two array
// kept at most half full; a removed entry leaves a mark that lookups pass.
class NameIndex {
 public:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  bool empty() const { return slots_.empty(); }

  // The entry named `name`, or kNone.
  template <class NameOf>
  size_t Find(std::string_view name, const NameOf& nameOf) const {
    if (slots_.empty()) return kNone;
    const size_t mask = slots_.size() - 1;
    for (size_t at = RegistryNameHash(name) & mask;; at = (at + 1) & mask) {
      const uint32_t slot = slots_[at];
      if (slot == kEmpty) return kNone;
      if (slot != kRemoved && SameRegistryName(nameOf(slot - 1), name)) return slot - 1;
    }
  }

  // Adds entry `i`, named as no entry of the table is. Indices stay below
  // 2^32 - 2: the lists hold a line each, of a text under 4 GiB.
  template <class NameOf>
  void Add(size_t i, const NameOf& nameOf) {
    if ((used_ + 1) * 2 > slots_.size()) Rebuild(nameOf);
    Place(static_cast<uint32_t>(i + 1), nameOf(i));
    ++used_;
  }

  // Takes entry `i`, named `name`, out.
  void Remove(size_t i, std::string_view name) {
    if (slots_.empty()) return;
    const size_t mask = slots_.size() - 1;
    for (size_t at = RegistryNameHash(name) & mask; slots_[at] != kEmpty; at = (at + 1) & mask) {
      if (slots_[at] == i + 1) {
        slots_[at] = kRemoved;
        return;
      }
    }
  }

  void Clear() {
    slots_.clear();
    used_ = 0;
  }

 private:
  static constexpr uint32_t kEmpty = 0;
  static constexpr uint32_t kRemoved = UINT32_MAX;

  void Place(uint32_t slot, std::string_view name) {
    const size_t mask = slots_.size() - 1;
    size_t at = RegistryNameHash(name) & mask;
    while (slots_[at] != kEmpty && slots_[at] != kRemoved) at = (at + 1) & mask;
    slots_[at] = slot;
  }

  // Makes room for more entries: the live ones placed anew in a table four
  // times their number (at least 16 slots), the removed marks dropped.
  template <class NameOf>
  void Rebuild(const NameOf& nameOf) {
    std::vector<uint32_t> old;
    old.swap(slots_);
    size_t live = 0;
    for (uint32_t slot : old) live += slot != kEmpty && slot != kRemoved;
    size_t size = 16;
    while (size < (live + 1) * 4) size *= 2;
    slots_.assign(size, kEmpty);
    for (uint32_t slot : old) {
      if (slot != kEmpty && slot != kRemoved) Place(slot, nameOf(slot - 1));
    }
    used_ = live;
  }

  std::vector<uint32_t> slots_;
  size_t used_ = 0;  // live entries and removed marks
};

}  // namespace zuv

#endif  // ZUV_DEVICE_NAME_INDEX_H
