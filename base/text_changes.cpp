#include "base/text_changes.h"

#include <algorithm>

namespace zuv {

void TextChanges::Replace(size_t start, size_t end, size_t size) {
  // The changes the new one overlaps or touches: [first, last).
  auto first = std::lower_bound(changes_.begin(), changes_.end(), start,
                                [](const TextChange& c, size_t at) { return c.newEnd < at; });
  auto last = first;
  // Outside every change, a byte of the text now stands `shift` bytes after
  // (or before) its place in the first text: the sum of the changes before it.
  ptrdiff_t shift = 0;
  for (auto c = changes_.begin(); c != first; ++c) {
    shift += static_cast<ptrdiff_t>(c->newEnd - c->newStart) -
             static_cast<ptrdiff_t>(c->oldEnd - c->oldStart);
  }
  TextChange merged{static_cast<size_t>(static_cast<ptrdiff_t>(start) - shift), 0, start, end};
  if (first != changes_.end() && first->newStart <= start) {
    merged.newStart = first->newStart;
    merged.oldStart = first->oldStart;
  }
  for (; last != changes_.end() && last->newStart <= end; ++last) {
    shift += static_cast<ptrdiff_t>(last->newEnd - last->newStart) -
             static_cast<ptrdiff_t>(last->oldEnd - last->oldStart);
  }
  merged.oldEnd = static_cast<size_t>(static_cast<ptrdiff_t>(end) - shift);
  if (last != first && std::prev(last)->newEnd >= end) {
    merged.newEnd = std::prev(last)->newEnd;
    merged.oldEnd = std::prev(last)->oldEnd;
  }
  // The merged change's end in the text after this replacement.
  const ptrdiff_t grown = static_cast<ptrdiff_t>(size) - static_cast<ptrdiff_t>(end - start);
  merged.newEnd = static_cast<size_t>(static_cast<ptrdiff_t>(merged.newEnd) + grown);
  for (auto c = last; c != changes_.end(); ++c) {
    c->newStart = static_cast<size_t>(static_cast<ptrdiff_t>(c->newStart) + grown);
    c->newEnd = static_cast<size_t>(static_cast<ptrdiff_t>(c->newEnd) + grown);
  }
  changes_.insert(changes_.erase(first, last), merged);
}

}  // namespace zuv
