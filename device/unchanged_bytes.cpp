#include "device/unchanged_bytes.h"

#include <algorithm>

namespace zuv {

namespace {

// The number of the line of `text` that holds byte `at`, from 1.
size_t LineNumberAt(std::string_view text, size_t at) {
  return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + at, '\n'));
}

// Empty when the two spans, kept alike, are; else the line of the first
// byte that differs. `from` is where the span starts in `before`.
std::string SpanDiffers(std::string_view before, size_t from, std::string_view kept,
                        std::string_view now) {
  if (kept == now) return {};  // a library compare, many bytes a step
  const auto differ = std::mismatch(kept.begin(), kept.end(), now.begin(), now.end());
  const size_t at = from + static_cast<size_t>(differ.first - kept.begin());
  return "line " + std::to_string(LineNumberAt(before, at)) +
         " changed, though no edit of this Save is there";
}

}  // namespace

std::string BytesChangedOutside(std::string_view before, std::string_view after,
                                const std::vector<TextChange>& changes) {
  size_t old = 0, now = 0;  // where the next unchanged span starts in each text
  for (const TextChange& change : changes) {
    if (change.oldStart < old || change.oldEnd < change.oldStart || change.oldEnd > before.size() ||
        change.newStart < now || change.newEnd < change.newStart || change.newEnd > after.size()) {
      return "the account of the edits does not fit the texts";
    }
    std::string differs = SpanDiffers(before, old, before.substr(old, change.oldStart - old),
                                      after.substr(now, change.newStart - now));
    if (!differs.empty()) return differs;
    old = change.oldEnd;
    now = change.newEnd;
  }
  return SpanDiffers(before, old, before.substr(old), after.substr(now));
}

}  // namespace zuv
