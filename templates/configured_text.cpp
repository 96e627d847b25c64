#include "templates/configured_text.h"

#include "device/build_lines.h"

namespace zuv {

namespace {

// The line that starts at `at`: its text and where the next one starts (CR
// LF, LF or CR ends it), as the device's reader numbers lines.
struct Line {
  std::string_view text;
  size_t next;
};
Line LineAt(std::string_view text, size_t at) {
  size_t end = at;
  while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
  size_t next = end;
  if (next < text.size() && text[next] == '\r') ++next;
  if (next < text.size() && text[next] == '\n' && (next == end || text[end] == '\r')) ++next;
  return {text.substr(at, end - at), next};
}

bool Blank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

std::string Placeholder(const std::string& mark, size_t index) {
  return "; @" + mark + " " + std::to_string(index);
}

// The line of the block's end when every header of the driver's templates
// in the text read stands inside one block (the innermost open at each of
// them the same), else 0: a template added for the build goes in it.
size_t TemplatesBlockEnd(const DeviceView& view, const TemplateKeys& keys) {
  // The blocks open: their lines and families, innermost last.
  std::vector<std::pair<size_t, BuildFamily>> open;
  size_t block = 0;  // the innermost block around the templates so far
  bool any = false;
  size_t end = 0;
  const std::vector<StructureLine>& lines = view.StructureLines();
  const std::vector<DeviceHeader>& headers = view.Headers();
  size_t header = 0;
  auto templateHeader = [&](const DeviceHeader& h) {
    return h.path.size() > keys.prefix.size() &&
           SameRegistryName(std::string_view(h.path).substr(0, keys.prefix.size()), keys.prefix);
  };
  for (size_t i = 0; i <= lines.size(); ++i) {
    const size_t next = i < lines.size() ? lines[i].line : static_cast<size_t>(-1);
    for (; header < headers.size() && headers[header].line < next; ++header) {
      if (!templateHeader(headers[header])) continue;
      const size_t around = open.empty() ? 0 : open.back().first;
      if (around == 0 || (any && around != block)) return 0;
      any = true;
      block = around;
    }
    if (i == lines.size()) break;
    const BuildLine build = ClassifyBuildLine(lines[i].text);
    if (build.role == BuildRole::kOpen) open.emplace_back(lines[i].line, build.family);
    if (build.role != BuildRole::kClose) continue;
    // A block ends only at its own family's end line.
    for (size_t k = open.size(); k-- > 0;) {
      if (open[k].second != build.family) continue;
      if (open[k].first == block && any && end == 0) end = lines[i].line;
      open.erase(open.begin() + static_cast<std::ptrdiff_t>(k));
      break;
    }
  }
  return any ? end : 0;
}

}  // namespace

ConfiguredText HideUnreadLines(std::string_view text, const DeviceView& view,
                               const TemplateKeys* keys) {
  ConfiguredText configured;
  const size_t blockEnd = keys != nullptr ? TemplatesBlockEnd(view, *keys) : 0;
  configured.mark = "zuv-unread";
  while (text.find(configured.mark) != std::string_view::npos) configured.mark += "-x";
  std::vector<bool> structure;
  for (const StructureLine& line : view.StructureLines()) {
    if (structure.size() <= line.line) structure.resize(line.line + 1, false);
    structure[line.line] = true;
  }
  configured.text.reserve(text.size());
  size_t number = 0;
  for (size_t at = 0; at < text.size();) {
    const Line line = LineAt(text, at);
    ++number;
    if (number == blockEnd) {
      configured.tail = text.substr(at);
      break;
    }
    const bool kept = view.LineRead(number) || Blank(line.text) ||
                      (number < structure.size() && structure[number]);
    if (kept) {
      configured.text.append(line.text);
    } else {
      configured.text += Placeholder(configured.mark, configured.lines.size());
      configured.lines.push_back(line.text);
    }
    configured.text.append(text.substr(at + line.text.size(), line.next - at - line.text.size()));
    at = line.next;
  }
  return configured;
}

std::optional<std::string> RestoreUnreadLines(std::string_view edited,
                                              const ConfiguredText& configured) {
  std::string restored;
  restored.reserve(edited.size());
  size_t next = 0;  // the placeholder due
  for (size_t at = 0; at < edited.size();) {
    const Line line = LineAt(edited, at);
    if (line.text.find(configured.mark) != std::string_view::npos) {
      if (next == configured.lines.size() || line.text != Placeholder(configured.mark, next)) {
        return std::nullopt;
      }
      restored.append(configured.lines[next++]);
    } else {
      restored.append(line.text);
    }
    restored.append(edited.substr(at + line.text.size(), line.next - at - line.text.size()));
    at = line.next;
  }
  if (next != configured.lines.size()) return std::nullopt;
  restored.append(configured.tail);
  return restored;
}

}  // namespace zuv
