#include "cli/unified_diff.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zuv::cli {

namespace {

constexpr size_t kContext = 3;
// Beyond this many cells the changed middle is shown as removed and added as a
// whole instead of being matched line by line.
constexpr size_t kMaxMatchCells = 4'000'000;

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

enum class Op : char { Same = ' ', Removed = '-', Added = '+' };

struct Step {
  Op op;
  size_t a;  // line index in before (Same, Removed)
  size_t b;  // line index in after (Same, Added)
};

// The edit script: common head and tail taken first, the middle matched by a
// longest common subsequence.
std::vector<Step> EditScript(const std::vector<std::string_view>& a,
                             const std::vector<std::string_view>& b) {
  size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head &&
         a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) {
    ++tail;
  }
  const size_t na = a.size() - head - tail;
  const size_t nb = b.size() - head - tail;

  std::vector<Step> steps;
  for (size_t i = 0; i < head; ++i) steps.push_back({Op::Same, i, i});

  if ((na + 1) * (nb + 1) <= kMaxMatchCells) {
    // length[i][j]: LCS of a[head+i..] and b[head+j..].
    std::vector<uint32_t> length((na + 1) * (nb + 1), 0);
    auto at = [&](size_t i, size_t j) -> uint32_t& { return length[i * (nb + 1) + j]; };
    for (size_t i = na; i-- > 0;) {
      for (size_t j = nb; j-- > 0;) {
        at(i, j) = a[head + i] == b[head + j] ? at(i + 1, j + 1) + 1
                                              : std::max(at(i + 1, j), at(i, j + 1));
      }
    }
    size_t i = 0, j = 0;
    while (i < na || j < nb) {
      if (i < na && j < nb && a[head + i] == b[head + j]) {
        steps.push_back({Op::Same, head + i++, head + j++});
      } else if (i < na && (j == nb || at(i + 1, j) >= at(i, j + 1))) {
        steps.push_back({Op::Removed, head + i++, head + j});
      } else {
        steps.push_back({Op::Added, head + i, head + j++});
      }
    }
  } else {
    for (size_t i = 0; i < na; ++i) steps.push_back({Op::Removed, head + i, head});
    for (size_t j = 0; j < nb; ++j) steps.push_back({Op::Added, head + na, head + j});
  }

  for (size_t k = 0; k < tail; ++k) {
    steps.push_back({Op::Same, a.size() - tail + k, b.size() - tail + k});
  }
  return steps;
}

// "start,count" with the conventions of unified diffs: an empty range names
// the line before it.
std::string Range(size_t first, size_t count) {
  const size_t start = count == 0 ? first : first + 1;
  return std::to_string(start) + "," + std::to_string(count);
}

void AppendLine(std::string& out, char prefix, std::string_view line) {
  out += prefix;
  out.append(line.data(), line.size());
  if (line.empty() || line.back() != '\n') out += "\n\\ No newline at end of file\n";
}

}  // namespace

std::string DiffHeaderName(std::string_view path, std::string_view label) {
  // On Windows a backslash separates folders: a path of them alone stays
  // plain, as patch and git apply there read it.
#ifdef _WIN32
  constexpr bool kQuoteBackslash = false;
#else
  constexpr bool kQuoteBackslash = true;
#endif
  const bool plain = std::all_of(path.begin(), path.end(), [](char c) {
    return c > ' ' && c < 0x7F && c != '"' && (c != '\\' || !kQuoteBackslash);
  });
  std::string name;
  if (plain) {
    name = path;
  } else {
    static const char kNamed[] = "\a\b\t\n\v\f\r";
    static const char kLetters[] = "abtnvfr";
    name = "\"";
    for (const char c : path) {
      const auto byte = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        name += '\\';
        name += c;
      } else if (c != '\0' && std::strchr(kNamed, c) != nullptr) {
        name += '\\';
        name += kLetters[std::strchr(kNamed, c) - kNamed];
      } else if (byte < 0x20 || byte >= 0x7F) {
        name += '\\';
        name += static_cast<char>('0' + (byte >> 6));
        name += static_cast<char>('0' + ((byte >> 3) & 7));
        name += static_cast<char>('0' + (byte & 7));
      } else {
        name += c;
      }
    }
    name += '"';
  }
  name += '\t';
  name.append(label.data(), label.size());
  return name;
}

std::string UnifiedDiff(std::string_view before, std::string_view after,
                        const std::string& fromLabel, const std::string& toLabel) {
  if (before == after) return {};
  const std::vector<std::string_view> a = SplitLines(before);
  const std::vector<std::string_view> b = SplitLines(after);
  const std::vector<Step> steps = EditScript(a, b);

  std::string out = "--- " + fromLabel + "\n+++ " + toLabel + "\n";
  size_t k = 0;
  while (k < steps.size()) {
    while (k < steps.size() && steps[k].op == Op::Same) ++k;
    if (k == steps.size()) break;
    // A hunk: from kContext lines before this change to kContext lines after
    // the last change that lies within 2 * kContext lines of the one before.
    const size_t first = k >= kContext ? k - kContext : 0;
    size_t last = k;  // last changed step of the hunk
    for (size_t m = k + 1; m < steps.size() && m <= last + 2 * kContext; ++m) {
      if (steps[m].op != Op::Same) last = m;
    }
    const size_t end = std::min(steps.size(), last + kContext + 1);

    size_t countA = 0, countB = 0;
    for (size_t m = first; m < end; ++m) {
      if (steps[m].op != Op::Added) ++countA;
      if (steps[m].op != Op::Removed) ++countB;
    }
    out += "@@ -" + Range(steps[first].a, countA) + " +" + Range(steps[first].b, countB) +
           " @@\n";
    for (size_t m = first; m < end; ++m) {
      const Step& step = steps[m];
      AppendLine(out, static_cast<char>(step.op), step.op == Op::Added ? b[step.b] : a[step.a]);
    }
    k = end;
  }
  return out;
}

}  // namespace zuv::cli
