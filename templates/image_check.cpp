#include "templates/image_check.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>

#include "device/device_view.h"
#include "regfile/reg_text.h"
#include "regfile/text_encoding.h"
#include "templates/device_template.h"
#include "templates/driver_path.h"

namespace zuv {

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// Notes name at most this many folders or files; the rest are counted.
constexpr size_t kNamedNotes = 10;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool EndsWithReg(std::string_view name) {
  return name.size() > 4 && regtext::SameName(name.substr(name.size() - 4), ".reg");
}

bool SamePath(const std::string& a, const std::string& b) {
#ifdef _WIN32
  return regtext::SameName(a, b);
#else
  return a == b;
#endif
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && regtext::IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && regtext::IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// What a header's key path does to the driver's templates: the template's
// number (0 to 15) for one of their keys, -1 for a key above them that a
// deletion takes with it (the driver's key, or one further up), -2 for
// anything else. Only a deletion counts above the driver's key: a key set
// there is another driver's business.
int TemplateOfKey(std::string_view path, bool deletes, const TemplateKeys& keys) {
  const std::string_view prefix = keys.prefix;
  if (path.size() > prefix.size() && path.size() <= prefix.size() + 2 &&
      regtext::SameName(path.substr(0, prefix.size()), prefix)) {
    const std::string_view number = path.substr(prefix.size());
    for (uint32_t n = 0; n < kTemplateCount; ++n) {
      if (number == std::to_string(n)) return static_cast<int>(n);
    }
  }
  const std::string_view parent = prefix.substr(0, prefix.rfind('\\'));
  if (regtext::SameName(path, parent)) return -1;
  if (deletes && path.size() < parent.size() && parent[path.size()] == '\\' &&
      regtext::SameName(path, parent.substr(0, path.size()))) {
    return -1;
  }
  return -2;
}

// The header lines of `text` that touch the driver's templates. Only the
// lines with "[" first (blanks aside) are looked at; lines are counted as
// the device counts them (CR LF, LF or a lone CR ends one).
void ScanHeaders(std::string_view text, const std::string& file, const TemplateKeys& keys,
                 std::vector<ImageKeyLine>* lines) {
  size_t line = 1;
  size_t counted = 0;  // lines counted up to here
  for (size_t at = text.find('['); at != regtext::npos; at = text.find('[', at + 1)) {
    const size_t start = regtext::LineStart(text, at);
    if (!Trimmed(text.substr(start, at - start)).empty()) {
      at = regtext::FindLineEnd(text, at);  // a "[" inside a line: the rest of it is text
      continue;
    }
    const size_t end = regtext::FindLineEnd(text, at);
    std::optional<std::string_view> path = regtext::HeaderKeyPath(text.substr(start, end - start));
    at = end;
    if (!path) continue;
    const bool deletes = !path->empty() && path->front() == '-';
    if (deletes) path = Trimmed(path->substr(1));
    const int n = TemplateOfKey(*path, deletes, keys);
    if (n == -2) continue;
    for (; counted < start; ++counted) {
      if (text[counted] == '\n' ||
          (text[counted] == '\r' && (counted + 1 == text.size() || text[counted + 1] != '\n'))) {
        ++line;
      }
    }
    lines->push_back({file, line, deletes, std::string(*path), n});
  }
}

// Adds a note, naming at most kNamedNotes of each kind and counting the rest.
class Notes {
 public:
  void Add(const std::string& kind, std::string text) {
    if (++counts_[kind] <= kNamedNotes) notes_.push_back(std::move(text));
  }
  std::vector<std::string> Take() {
    for (const auto& [kind, count] : counts_) {
      if (count > kNamedNotes) {
        notes_.push_back("... and " + std::to_string(count - kNamedNotes) + " more " + kind);
      }
    }
    return std::move(notes_);
  }

 private:
  std::vector<std::string> notes_;
  std::map<std::string, size_t> counts_;
};

// A .reg file of the image, its path relative to the root.
struct RegText {
  std::string relative;
  std::string text;
};

// A path with either separator, for comparing: "/" between its folders,
// "." and ".." folded away, letters in lower case (the build runs on
// Windows).
std::string PathKey(std::string_view path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = path.size();
    std::string part(path.substr(start, end - start));
    for (char& c : part) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (part == ".." && !parts.empty()) {
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    start = end + 1;
  }
  std::string key;
  for (const std::string& part : parts) key += (key.empty() ? "" : "/") + part;
  return key;
}

bool IsTemplateValueName(std::string_view name) {
  for (const TemplateValueInfo& value : kTemplateValues) {
    if (SameRegistryName(name, value.name)) return true;
  }
  return false;
}

// Where a file stands in the build's merge: common.reg first, then the other
// files, then platform.reg, project.reg last.
int MergeRank(const std::string& relative) {
  const std::string key = PathKey(relative);
  const std::string name = key.substr(key.rfind('/') + 1);
  return name == "common.reg" ? 0 : name == "platform.reg" ? 2 : name == "project.reg" ? 3 : 1;
}

// The image's .reg files read as the build merges them, and what of the
// driver's templates the device reads from a file other than the driver
// file (`texts[driver]`): one line each, naming the file and line, the value
// and the builds.
std::vector<std::string> MergedReadings(const std::vector<RegText>& texts, size_t driver,
                                        const TemplateKeys& keys,
                                        const BuildConfiguration* configuration,
                                        std::array<std::string, kTemplateCount>& readFrom) {
  std::map<std::string, size_t> byKey;  // PathKey of a relative path -> texts
  for (size_t i = 0; i < texts.size(); ++i) byKey.emplace(PathKey(texts[i].relative), i);
  // An #include's file: relative to the including file's folder, or else the
  // file whose path ends with the included path's last folders.
  auto resolve = [&](std::string_view path, std::string_view from) -> size_t {
    const std::string folder = std::string(from.substr(0, from.find_last_of("/\\") + 1));
    const auto beside = byKey.find(PathKey(folder + std::string(path)));
    if (beside != byKey.end()) return beside->second;
    const std::string wanted = PathKey(path);
    size_t found = texts.size();
    for (const auto& [key, index] : byKey) {
      if (key.size() >= wanted.size() &&
          key.compare(key.size() - wanted.size(), wanted.size(), wanted) == 0 &&
          (key.size() == wanted.size() || key[key.size() - wanted.size() - 1] == '/')) {
        found = index;
      }
    }
    return found;
  };
  std::vector<size_t> read;  // the text each file of a view is, in the view's order
  std::vector<bool> included(texts.size(), false);
  std::string top;  // the merge as one text of #include lines, which the view refers to
  auto readMerge = [&](const std::vector<size_t>& order) {
    top.clear();
    for (size_t i : order) top += "#include \"" + texts[i].relative + "\"\n";
    read.assign(1, texts.size());
    DeviceViewOptions options;
    options.configuration = configuration;
    options.maxIncludes = 2 * texts.size() + 256;
    options.include = [&](std::string_view path,
                          std::string_view from) -> std::optional<std::string> {
      const size_t index = resolve(path, from);
      if (index == texts.size()) return std::nullopt;
      if (!from.empty()) included[index] = true;
      read.push_back(index);
      return texts[index].text;
    };
    return DeviceView(top, options);
  };
  // Every file by its rank, then by path; a file another includes is read
  // only there.
  std::vector<size_t> order(texts.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const int ra = MergeRank(texts[a].relative), rb = MergeRank(texts[b].relative);
    return ra != rb ? ra < rb : PathKey(texts[a].relative) < PathKey(texts[b].relative);
  });
  readMerge(order);
  order.erase(std::remove_if(order.begin(), order.end(), [&](size_t i) { return included[i]; }),
              order.end());
  const DeviceView view = readMerge(order);

  std::vector<std::string> lines;
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    bool beyond = false;
    for (const TemplateVariant& variant : TemplateVariants(view, keys, n, &beyond)) {
      const std::string builds = variant.words == "every build" ? "" : " (" + variant.words + ")";
      for (const DeviceValue& value : variant.reading.values) {
        if (value.file >= read.size() || read[value.file] == driver) continue;
        if (!IsTemplateValueName(value.name)) continue;  // another value of the key
        const std::string& file = texts[read[value.file]].relative;
        lines.push_back(file + ": line " + std::to_string(value.line) +
                        ": the device reads template " + std::to_string(n) + "'s \"" + value.name +
                        "\" " + value.data + " from here" + builds +
                        ": an edit in the driver file does not reach the device");
        std::string& from = readFrom[n];
        from += (from.empty() ? "\"" : "; \"") + value.name + "\" from " + file + ", line " +
                std::to_string(value.line) + builds;
      }
    }
    if (beyond) {
      lines.push_back("template " + std::to_string(n) +
                      ": the image's files read under more conditions than are told apart here; "
                      "name the build to read what the device gets");
    }
  }
  return lines;
}

}  // namespace

Status CheckImage(FileSystem& fileSystem, const std::string& root, const std::string& driverFile,
                  const TemplateKeys& keys, ImageReport* report, const ImageLimits& limits,
                  const std::atomic<bool>* stop, const BuildConfiguration* configuration) {
  std::string base = root;
  if (!base.empty() && !IsSeparator(base.back())) base += kSeparator;
  const std::string driverReal = fileSystem.RealPath(driverFile);
  Notes notes;
  struct Folder {
    std::string relative;  // "" or ending with the separator
    size_t depth;
  };
  std::vector<Folder> pending = {{"", 0}};
  size_t seen = 0;
  std::vector<RegText> texts;
  size_t driverText = texts.max_size();
  while (!pending.empty()) {
    if (stop != nullptr && stop->load()) {
      notes.Add("stops", "the walk was stopped before its end");
      break;
    }
    const Folder folder = std::move(pending.back());
    pending.pop_back();
    std::vector<FolderEntry> entries;
    const Status listed = fileSystem.ListFolder(base + folder.relative, &entries);
    if (!listed.ok() && folder.relative.empty()) return listed.WithPath(root);
    if (!listed.ok()) {
      notes.Add("folders not read", "folder " +
                                        folder.relative.substr(0, folder.relative.size() - 1) +
                                        " not read: " + ReasonText(listed));
      continue;
    }
    if (seen + entries.size() > limits.entries) {
      notes.Add("stops", "the walk stopped at " + std::to_string(limits.entries) +
                             " files and folders; the rest of the image was not read");
      pending.clear();
      entries.resize(limits.entries - std::min(seen, limits.entries));
    }
    seen += entries.size();
    // Each folder's names in order, so that the report is the same on every
    // system; pushed in reverse so that they are walked in order.
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name > b.name; });
    std::vector<std::string> regFiles;
    for (const FolderEntry& entry : entries) {
      const std::string relative = folder.relative + entry.name;
      if (entry.kind == EntryKind::kFolder) {
        if (folder.depth + 1 > limits.depth) {
          notes.Add("folders too deep", "folder " + relative + " not read: deeper than " +
                                            std::to_string(limits.depth) +
                                            " folders below the root");
        } else {
          pending.push_back({relative + kSeparator, folder.depth + 1});
        }
      } else if (entry.kind == EntryKind::kFile && EndsWithReg(entry.name)) {
        regFiles.push_back(relative);
      }
    }
    for (auto file = regFiles.rbegin(); file != regFiles.rend(); ++file) {
      const std::string path = base + *file;
      StatusOr<std::unique_ptr<File>> opened = fileSystem.OpenForReading(path);
      std::string bytes;
      uint64_t length = 0;
      const Status read =
          opened.ok() ? ReadFrom(**opened, limits.fileBytes, &bytes, &length) : opened.status();
      if (!read.ok()) {
        notes.Add("files not read", *file + " not read: " + ReasonText(read));
        continue;
      }
      if (length > limits.fileBytes) {
        notes.Add("files not read", *file + " not read: larger than " +
                                        std::to_string(limits.fileBytes >> 20) + " MiB");
        continue;
      }
      ++report->regFiles;
      std::vector<ImageKeyLine> found;
      std::string text = DecodeText(std::move(bytes)).text;
      ScanHeaders(text, *file, keys, &found);
      // The driver file itself is not another file.
      const bool driver = SamePath(fileSystem.RealPath(path), driverReal);
      if (driver) driverText = texts.size();
      texts.push_back({*file, std::move(text)});
      if (found.empty() || driver) continue;
      report->lines.insert(report->lines.end(), found.begin(), found.end());
    }
  }
  report->notes = notes.Take();
  if (driverText < texts.size()) {
    report->readings = MergedReadings(texts, driverText, keys, configuration, report->readFrom);
  }
  return {};
}

std::vector<TemplateProblem> ImageProblems(const ImageReport& report) {
  std::vector<TemplateProblem> problems;
  size_t files = 0;
  for (size_t i = 0; i < report.lines.size(); ++i) {
    const ImageKeyLine& line = report.lines[i];
    if (i == 0 || line.file != report.lines[i - 1].file) ++files;
    std::string what = line.n >= 0    ? "template " + std::to_string(line.n) + "'s key"
                       : line.deletes ? "a key above the templates, and with it every template"
                                      : "the driver's key, above the templates";
    problems.push_back({kImageProblem,
                        line.file + ": line " + std::to_string(line.line) + ": " +
                            (line.deletes ? "deletes [" : "sets [") + line.key + "], " + what,
                        static_cast<uint32_t>(line.line), "image-key", line.file});
  }
  if (files != 0) {
    problems.push_back({kImageProblem,
                        std::to_string(files) +
                            (files == 1 ? " other .reg file of the image sets"
                                        : " other .reg files of the image set") +
                            " or delete" + (files == 1 ? "s" : "") + " this driver's keys" +
                            (report.readings.empty()
                                 ? std::string(": read in the build's merge order, the device "
                                               "reads every template value from the driver file")
                                 : std::string(": read in the build's merge order, the device "
                                               "reads these from another file:")),
                        0, "image-summary"});
  }
  for (const std::string& reading : report.readings) {
    problems.push_back({kImageProblem, reading, 0, "image-reading"});
  }
  for (const std::string& note : report.notes) {
    problems.push_back({kImageProblem, note, 0, "image-unread"});
  }
  return problems;
}

std::string ImageRootOf(const std::string& path) {
  static const std::string_view kTail[] = {"Public", "Korvalent", "Device_Drivers"};
  std::string root;
  size_t start = 0;  // of the component looked at
  while (start < path.size()) {
    size_t at = start;
    bool whole = true;
    for (std::string_view part : kTail) {
      const size_t end = std::min(path.size(), at + part.size());
      if (end != at + part.size() || end == path.size() || !IsSeparator(path[end]) ||
          !regtext::SameName(std::string_view(path).substr(at, part.size()), part)) {
        whole = false;
        break;
      }
      at = end + 1;
    }
    if (whole) root = path.substr(0, start);
    const size_t next = path.find_first_of("/\\", start);
    if (next == std::string::npos) break;
    start = next + 1;
  }
  return root;
}

ImageCheckOutcome ImageCheckText(FileSystem& fileSystem, const std::string& path,
                                 const std::atomic<bool>* stop) {
  const std::string real = fileSystem.RealPath(path);
  const std::string root = ImageRootOf(real);
  if (root.empty()) return {};
  ImageReport report;
  const TemplateKeys keys = TemplateKeysOf(DriverKeyPath(path, fileSystem));
  if (!CheckImage(fileSystem, root, path, keys, &report, {}, stop).ok()) return {};
  if (report.lines.empty()) return {};
  constexpr size_t kShown = 12;
  ImageCheckOutcome outcome;
  std::string& text = outcome.text;
  const std::vector<TemplateProblem> problems = ImageProblems(report);
  for (size_t i = 0; i < problems.size(); ++i) {
    if (i == report.lines.size() && i > kShown) {
      text += "... and " + std::to_string(i - kShown) + " more lines\n";
    }
    if (i < kShown || i >= report.lines.size()) text += problems[i].text + "\n";
  }
  outcome.readFrom = std::move(report.readFrom);
  return outcome;
}

void CheckImageInBackground(const std::string& path, std::function<void(ImageCheckOutcome)> done,
                            std::shared_ptr<std::atomic<bool>> stop) {
  std::thread([path, done = std::move(done), stop = std::move(stop)] {
    ImageCheckOutcome outcome;
    try {
      outcome = ImageCheckText(NativeFileSystem(), path, stop.get());
    } catch (...) {
      outcome = {};  // no memory: nothing to tell
    }
    if (!stop->load()) done(std::move(outcome));
  }).detach();
}

}  // namespace zuv
