// The account of a text's edits: which bytes of the text first given were
// replaced, and by which bytes of the text now. A store that edits a text
// keeps one, so that what a Save changed is known, not found again by
// comparing, and the proof can hold the bytes outside it to their old value.
#ifndef ZUV_BASE_TEXT_CHANGES_H
#define ZUV_BASE_TEXT_CHANGES_H

#include <cstddef>
#include <vector>

namespace zuv {

// The bytes [oldStart, oldEnd) of the first text became the bytes
// [newStart, newEnd) of the text now.
struct TextChange {
  size_t oldStart, oldEnd;
  size_t newStart, newEnd;
};

class TextChanges {
 public:
  // Records that the bytes [start, end) of the text now were replaced by
  // `size` bytes. Changes that overlap or touch become one.
  void Replace(size_t start, size_t end, size_t size);
  // The changes, in order, none touching another.
  const std::vector<TextChange>& List() const { return changes_; }
  void Clear() { changes_.clear(); }

 private:
  std::vector<TextChange> changes_;
};

}  // namespace zuv

#endif  // ZUV_BASE_TEXT_CHANGES_H
