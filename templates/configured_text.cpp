#include "templates/configured_text.h"

namespace zuv {

namespace {

// The line that starts at `at`: its text and where the next one starts (CR
// LF, LF or CR ends it), as the device's reader numbers lines.
struct Line {
  std::string_view text;
  size_t next;
};
Line LineAt(std::string_view text, size_t at) {
  size_t end = text.find_first_of("\r\n", at);
  if (end == std::string_view::npos) end = text.size();
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

}  // namespace

ConfiguredText HideUnreadLines(std::string_view text, const DeviceView& view) {
  ConfiguredText configured;
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
  return restored;
}

}  // namespace zuv
