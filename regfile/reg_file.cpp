#include "regfile/reg_file.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/driver_keys.h"
#include "regfile/reg_text.h"

namespace zuv {

namespace {

// A value line and its CR LF must fit a 256-byte line with its NUL.
constexpr size_t kMaxValueLine = 253;
// Bytes past the text that the held copy keeps free, so that a Save's edits
// change it in place instead of copying it whole.
constexpr size_t kEditRoom = 4096;

// Copies `text` into a fixed, NUL-padded field, cut to fit.
template <size_t N>
void SetField(char (&field)[N], std::string_view text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), text.size() < N - 1 ? text.size() : N - 1);
}

}  // namespace

RegFile::RegFile(FileSystem& fileSystem)
    : m_fileSystem(fileSystem),
      m_szDriverKey{},
      m_szBuiltInKey{},
      m_nBusType(kBusUsb),
      m_szSectionPrefix{},
      m_dwFileLength(0),
      m_nCachedTemplate(-1),
      m_dwSectionStart(0),
      m_dwSectionEnd(0) {}

RegFile::~RegFile() = default;

std::string_view RegFile::Text() const {
  if (!m_haveText) return {};
  return std::string_view(m_text.data(), m_dwFileLength);
}

std::string RegFile::TakeText() {
  m_text.resize(m_haveText ? m_dwFileLength : 0);
  std::string text = std::move(m_text);
  Close();
  return text;
}

uint32_t RegFile::Open(const char* path) {
  std::memset(m_szDriverKey, 0, sizeof m_szDriverKey);
  if (path == nullptr) {
    m_lastStatus = Status::System(2);
    return m_lastStatus.SystemCode();
  }
  StatusOr<std::unique_ptr<File>> file = m_fileSystem.OpenExisting(path);
  if (!file.ok()) {
    m_lastStatus = file.status();
    return m_lastStatus.SystemCode();
  }
  m_file = file.Take();
  m_lastStatus = Status();
  DeriveKeys(path);
  try {
    ReadText();
  } catch (const FileError& e) {
    // Opening never throws: a file that cannot be read is a failed open.
    ReleaseText();
    m_file->Close();
    m_file.reset();
    m_lastStatus = e.GetStatus();
    return m_lastStatus.SystemCode();
  }
  m_nCachedTemplate = -1;
  m_headersValid = false;
  return 0;
}

uint32_t RegFile::OpenText(std::string_view text, std::string_view keyPath) {
  Close();
  std::memset(m_szDriverKey, 0, sizeof m_szDriverKey);
  // The text is addressed with 32-bit offsets.
  if (text.size() >= kTextLimit) {
    m_lastStatus = Status::Of(Condition::kNotWritten, "the text is 2 GiB or more");
    return 1;
  }
  try {
    // Room for the edits of a Save to be made in place: a value changed, a
    // template added.
    ReserveText(&m_text, text.size() + kEditRoom);
    m_text.assign(text);
  } catch (const std::bad_alloc&) {
    ReleaseText();
    m_lastStatus = Status::Of(Condition::kNotWritten, "not enough memory for the text");
    return 1;
  }
  m_haveText = true;
  m_dwFileLength = static_cast<uint32_t>(text.size());
  m_textOnly = true;
  m_lastStatus = Status();
  DeriveKeys(keyPath);
  m_nCachedTemplate = -1;
  m_headersValid = false;
  return 0;
}

void RegFile::DeriveKeys(std::string_view path) {
  const DriverKeys keys = DeriveDriverKeys(path);
  SetField(m_szDriverKey, keys.driverKey);
  SetField(m_szBuiltInKey, keys.builtInKey);
  m_nBusType = keys.busType;
  SetField(m_szSectionPrefix, keys.sectionPrefix);
}

void RegFile::ReleaseText() {
  m_text = std::string();
  m_haveText = false;
  m_changes.Clear();
}

void RegFile::ReadText() {
  ReleaseText();
  uint64_t length = m_file->GetLength();
  // The text is addressed with 32-bit offsets; a larger file gets no text, and
  // without a text nothing is ever written.
  if (length >= kTextLimit) {
    m_dwFileLength = 0;
    return;
  }
  m_dwFileLength = static_cast<uint32_t>(length);
  // Room for the edits of a Save to be made in place: a value changed, a
  // template added.
  try {
    ReserveText(&m_text, m_dwFileLength + kEditRoom);
    // A short read leaves the rest zero.
    m_text.assign(m_dwFileLength, '\0');
  } catch (const std::bad_alloc&) {
    ReleaseText();
    return;
  }
  m_haveText = true;
  size_t done = 0;
  m_file->Seek(0, SeekOrigin::Begin);
  while (done < m_dwFileLength) {
    size_t got = m_file->Read(&m_text[done], m_dwFileLength - done);
    if (got == 0) break;
    done += got;
  }
}

uint32_t RegFile::Close() {
  ReleaseText();
  m_textOnly = false;
  if (m_file) {
    try {
      m_file->Close();
    } catch (const FileError&) {
      // Nothing is pending in a close: every write went straight to the file.
    }
    m_file.reset();
  }
  return 0;
}

std::string_view RegFile::PrefixPath() const {
  std::string_view prefix(m_szSectionPrefix);
  if (!prefix.empty() && prefix.front() == '[') prefix.remove_prefix(1);
  return prefix;
}

std::string RegFile::KeyPath(uint32_t n) const {
  std::string key(PrefixPath());
  key += std::to_string(n);
  return key;
}

int64_t RegFile::TemplateNumber(std::string_view path) const {
  const std::string_view prefix = PrefixPath();
  if (path.size() <= prefix.size() || !regtext::SameName(path.substr(0, prefix.size()), prefix)) {
    return -1;
  }
  // The number as std::to_string writes it: no sign, no leading zero.
  const std::string_view digits = path.substr(prefix.size());
  if (digits.size() > 10 || (digits.size() > 1 && digits.front() == '0')) return -1;
  int64_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n <= 0xFFFFFFFFll ? n : -1;
}

namespace {

// Whether `text` holds `prefix` at `at`, without regard to case; its last
// character is looked at first, where the keys of a file differ most.
bool StartsWithPrefix(std::string_view text, size_t at, std::string_view prefix) {
  if (prefix.empty()) return true;
  if (text.size() - at < prefix.size()) return false;
  const std::string_view here = text.substr(at, prefix.size());
  return regtext::SameName(here.substr(prefix.size() - 1), prefix.substr(prefix.size() - 1)) &&
         regtext::SameName(here, prefix);
}

}  // namespace

size_t RegFile::HeaderLineAt(size_t from, size_t until) const {
  const std::string_view text = Text();
  if (until > text.size()) until = text.size();
  // Only a "[" with nothing but blanks before it on its line starts a key,
  // and "[" is rare elsewhere: the text is searched for it, not read line by
  // line.
  for (size_t at = from; at < until;) {
    const void* found = std::memchr(text.data() + at, '[', until - at);
    if (found == nullptr) break;
    const size_t bracket = static_cast<size_t>(static_cast<const char*>(found) - text.data());
    size_t lead = bracket;
    while (lead > 0 && regtext::IsBlank(text[lead - 1])) --lead;
    if (lead == 0 || regtext::IsLineEndChar(text[lead - 1])) return bracket;
    at = bracket + 1;
  }
  return regtext::npos;
}

size_t RegFile::IndexHeaders(size_t from, size_t through, std::vector<Header>* out) const {
  const std::string_view text = Text();
  // Through the end of the line holding `through`.
  const size_t until = through < text.size() ? regtext::FindLineEnd(text, through) : text.size();
  const std::string_view prefix = PrefixPath();
  for (size_t bracket = HeaderLineAt(from, until); bracket != regtext::npos;
       bracket = HeaderLineAt(bracket + 1, until)) {
    // Most keys are not templates': a key path that does not start with the
    // templates' prefix is passed over before its line is read.
    size_t path = bracket + 1;
    while (path < text.size() && regtext::IsBlank(text[path])) ++path;
    if (!StartsWithPrefix(text, path, prefix)) continue;
    const size_t end = regtext::FindLineEnd(text, bracket);
    const std::optional<std::string_view> key =
        regtext::HeaderKeyPath(text.substr(bracket, end - bracket));
    const int64_t n = key ? TemplateNumber(*key) : -1;
    if (n >= 0) out->push_back({bracket, n});
  }
  return regtext::SkipLineEnd(text, until);
}

const std::vector<RegFile::Header>& RegFile::Headers() {
  if (!m_headersValid) {
    m_headers.clear();
    IndexHeaders(0, Text().size(), &m_headers);
    m_headersValid = true;
  }
  return m_headers;
}

size_t RegFile::FindHeader(uint32_t n, size_t from) {
  const std::vector<Header>& headers = Headers();
  auto at = std::lower_bound(headers.begin(), headers.end(), from,
                             [](const Header& h, size_t pos) { return h.bracket < pos; });
  for (; at != headers.end(); ++at) {
    if (at->n == static_cast<int64_t>(n)) return at->bracket;
  }
  return regtext::npos;
}

size_t RegFile::NextHeader(size_t bracket) {
  // Any key's header ends a section, and only the templates' are indexed:
  // the next one is searched for, from the section's header on.
  return HeaderLineAt(bracket + 1, Text().size());
}

uint32_t RegFile::FindTemplateSection(uint32_t n, uint32_t* start, uint32_t* end) {
  // A NUL is a byte like any other: the search sees the whole file, so no
  // section after a NUL is missed and then appended a second time.
  std::string_view text = Text();
  uint32_t notFound = m_dwFileLength;
  if (start) *start = notFound;
  if (end) *end = notFound;
  const size_t bracket = FindHeader(n, 0);
  if (bracket == regtext::npos) return 0;

  // The section runs from its header's "[" to the "[" of the next header line:
  // a "[" inside a line does not start a key.
  size_t next = NextHeader(bracket);
  if (end) *end = static_cast<uint32_t>(next == regtext::npos ? text.size() : next);
  if (start) *start = static_cast<uint32_t>(bracket);
  return 0;
}

std::optional<RegFile::FoundValue> RegFile::FindValue(uint32_t n, std::string_view name) {
  if (m_nCachedTemplate < 0 || static_cast<uint32_t>(m_nCachedTemplate) != n) {
    FindTemplateSection(n, &m_dwSectionStart, &m_dwSectionEnd);
    m_nCachedTemplate = static_cast<int32_t>(n);
    m_valueLinesMade = false;
  }
  if (m_dwSectionStart >= m_dwSectionEnd) return std::nullopt;
  const std::string_view text = Text();
  if (!m_valueLinesMade) {
    // A key written twice gathers the values of both sections, and a later
    // line of a name overrides an earlier one, as the device reads the file.
    m_valueLines.clear();
    if (m_valueLines.capacity() == 0) m_valueLines.reserve(8);  // a template has four or five
    // Each section's lines end where the next header's line starts: the
    // header's indentation is no line of the section, and a value going on
    // with "\\" ends before it.
    size_t start = m_dwSectionStart;
    size_t end = SectionCutEnd(m_dwSectionEnd);
    while (start < end) {
      regtext::ForEachValueLine(
          text.substr(start, end - start),
          [this, start, &text](std::string_view lineName, const regtext::ValueLine& line) {
            m_valueLines.push_back(
                {static_cast<size_t>(lineName.data() - text.data()), lineName.size(),
                 FoundValue{start + line.quote, start + line.data, start + line.end}});
          });
      if (end >= text.size()) break;
      start = FindHeader(n, end);
      if (start == regtext::npos) break;
      const size_t next = NextHeader(start);
      end = SectionCutEnd(next == regtext::npos ? text.size() : next);
    }
    m_valueLinesMade = true;
  }
  for (auto line = m_valueLines.rbegin(); line != m_valueLines.rend(); ++line) {
    if (regtext::SameName(text.substr(line->name, line->nameSize), name)) return line->found;
  }
  return std::nullopt;
}

int32_t RegFile::QueryValue(uint32_t n, const char* name, uint32_t* type, void* data,
                            uint32_t* size, uint32_t capacity) {
  if (name == nullptr || type == nullptr || size == nullptr) return 1;
  const std::optional<FoundValue> found = FindValue(n, name);
  if (!found) return 1;

  const std::string_view text = Text();
  const regtext::ValueData value =
      regtext::ReadValueData(text.substr(found->data, found->end - found->data));
  *type = value.type;
  switch (value.type) {
    case kRegDword:
      *size = 4;
      if (data == nullptr || capacity < 4) return 1;
      std::memcpy(data, &value.dword, sizeof value.dword);
      return 0;
    case kRegBinary:
      *size = regtext::CountHexBytes(value.text);
      if (data == nullptr) return 1;
      regtext::ParseHexBytes(value.text, *size, static_cast<uint8_t*>(data), capacity);
      return 0;
    case kRegSz:
      *size = static_cast<uint32_t>(value.text.size());
      if (data == nullptr) return 1;
      std::memcpy(data, value.text.data(),
                  value.text.size() < capacity ? value.text.size() : capacity);
      return 0;
    default:
      // A multi-string, or a form none of these: nothing to give.
      *size = 0;
      return value.type == kRegMultiSz ? 0 : 1;
  }
}

uint32_t RegFile::SetValue(uint32_t nTemplate, const char* pszName, uint32_t dwType,
                           const void* pData, uint32_t dwSize) {
  if (pszName == nullptr || pData == nullptr || !IsOpen() || !m_haveText) return 1;

  // Refuse an over-long line before building it: a binary or multi-string
  // value takes three characters a byte.
  size_t nameLength = std::strlen(pszName);
  if ((dwType == kRegBinary || dwType == kRegMultiSz) &&
      static_cast<uint64_t>(dwSize) * 3 + nameLength > kMaxValueLine) {
    return 1;
  }
  std::string line = regtext::FormatValueLine(pszName, dwType, pData, dwSize);
  if (line.size() > kMaxValueLine) return 1;

  const std::optional<FoundValue> found = FindValue(nTemplate, pszName);
  const std::string_view text = Text();
  if (found) {
    // Only the value's own text changes: the line's indentation, its name as
    // written, the blanks around "=" and a comment after the value stay. A
    // value that went on over several lines becomes one.
    const size_t equals = 2 + nameLength;  // the new line's data starts after "name"=
    // Comment lines that a continued value's last lines are stay on lines of
    // their own after the new one: a "; @CESYSGEN ENDIF" there closes a block.
    size_t end = found->end;
    for (size_t last = regtext::LineStart(text, end);
         last > found->data && regtext::IsCommentLine(text.substr(last, end - last));
         last = regtext::LineStart(text, end)) {
      end = last - 1;  // the line end before the comment line
      if (text[end] == '\n' && end > found->data && text[end - 1] == '\r') --end;
    }
    const std::string_view oldData = text.substr(found->data, end - found->data);
    const regtext::ValueData old = regtext::ReadValueData(oldData);
    // Only blanks and a comment stay: other text after the old value (a
    // string's closing quote ends it wherever the line goes on) would join
    // the new value, and a double word followed by it reads as no number.
    std::string_view kept = oldData.substr(old.end);
    const size_t comment = kept.find_first_not_of(" \t");
    if (kept.find_first_of("\r\n") != std::string_view::npos ||
        (comment != std::string_view::npos && kept[comment] != ';')) {
      kept = {};
    }
    std::string replacement = line.size() > equals ? line.substr(equals + 1) : std::string();
    replacement += kept;
    const uint32_t cut = static_cast<uint32_t>(found->data + old.start);
    return RewriteFile(cut, replacement, text.substr(end)) ? 0 : 1;
  }

  // A new line goes after the section's last value line (so under the same
  // conditions as the values before it), or right after the header when the
  // section has none, or at the end of the file when the section is absent;
  // it never joins the line before it, and it ends as the file's lines do.
  const std::string_view lineEnd = regtext::FileLineEnd(text);
  uint32_t cut = m_dwFileLength;
  if (m_dwSectionStart < m_dwSectionEnd) {
    cut = static_cast<uint32_t>(
        regtext::SkipLineEnd(text, LastValueLineEnd(m_dwSectionStart, m_dwSectionEnd)));
  }
  if (cut > 0 && !regtext::IsLineEndChar(text[cut - 1])) line.insert(0, lineEnd);
  line += lineEnd;
  return RewriteFile(cut, line, text.substr(cut)) ? 0 : 1;
}

size_t RegFile::LastValueLineEnd(size_t start, size_t end) const {
  // The blocks of conditions opened, turned or closed inside the section, each
  // branch numbered: the header's own conditions are 0. A new value goes after
  // the last value line under the conditions of the section's "SwitchID" (the
  // template's own), or under the header's when the section has none, never
  // into a block that only some of its values stand in.
  // The next header's indentation is no line of the section.
  end = SectionCutEnd(end);
  const std::string_view text = Text().substr(0, end);
  std::vector<int> branches{0};
  int nextBranch = 1;
  // Where a new line may follow a value: after it, or before it (after the
  // line before it) when its last line ends with "\\" at the section's end,
  // so that a line put after it would be read as more of its data.
  struct ValueAt {
    size_t end;
    int branch;
  };
  std::vector<ValueAt> values;
  int own = 0;
  size_t before = regtext::FindLineEnd(text, start);  // the end of the line before `line`
  for (size_t line = regtext::SkipLineEnd(text, before); line < end;) {
    const size_t lineEnd = regtext::LogicalLineEnd(text, line);
    size_t first = line;
    while (first < lineEnd && regtext::IsBlank(text[first])) ++first;
    const std::string_view body = text.substr(line, lineEnd - line);
    if (first < lineEnd && (text[first] == '"' || text[first] == '@')) {
      std::string_view last = text.substr(0, lineEnd);
      last = last.substr(regtext::LineStart(text, lineEnd));
      while (!last.empty() && regtext::IsBlank(last.back())) last.remove_suffix(1);
      const bool goesOn = !last.empty() && last.back() == '\\';
      values.push_back({goesOn ? before : lineEnd, branches.back()});
      const std::optional<regtext::ValueLine> id = regtext::FindValueLine(body, "SwitchID");
      if (id) own = branches.back();
    } else {
      switch (regtext::BlockStepOf(body)) {
        case regtext::BlockStep::kOpen:
          branches.push_back(nextBranch++);
          break;
        case regtext::BlockStep::kTurn:
          branches.back() = nextBranch++;
          break;
        case regtext::BlockStep::kClose:
          if (branches.size() > 1) {
            branches.pop_back();
          } else {
            branches.back() = nextBranch++;  // the header's own block ends
          }
          break;
        case regtext::BlockStep::kNone:
          break;
      }
    }
    const size_t next = regtext::SkipLineEnd(text, lineEnd);
    if (next == lineEnd) break;
    before = lineEnd;
    line = next;
  }
  size_t last = regtext::FindLineEnd(text, start);  // the header line's end
  for (const ValueAt& value : values) {
    if (value.branch == own) last = value.end;
  }
  return last;
}

bool RegFile::RewriteFile(uint32_t cut, std::string_view insert, std::string_view tail) {
  uint64_t length = uint64_t{cut} + insert.size() + tail.size();
  if (length >= kTextLimit) return false;
  // `tail` is the end of the held text: where it starts is kept as an offset,
  // so that it outlives the text moving to a larger buffer.
  const size_t oldLength = m_dwFileLength;
  const size_t tailStart = oldLength - tail.size();
  // The held text changes in place, after the file took the change (until
  // then it is what puts the file back); room is made first, with more for
  // the next edits, so that nothing can fail once the file is written.
  if (length > m_text.capacity()) {
    try {
      m_text.reserve(static_cast<size_t>(length) + kEditRoom);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  tail = std::string_view(m_text.data() + tailStart, tail.size());

  try {
    if (m_file) {
      m_file->SetLength(cut);
      m_file->Seek(cut, SeekOrigin::Begin);
      if (!insert.empty()) m_file->Write(insert.data(), insert.size());
      if (!tail.empty()) m_file->Write(tail.data(), tail.size());
    }
  } catch (const FileError&) {
    // Put back what the file held: the text from the cut on is still here.
    try {
      m_file->Seek(cut, SeekOrigin::Begin);
      m_file->Write(m_text.data() + cut, m_dwFileLength - cut);
      m_file->SetLength(m_dwFileLength);
    } catch (const FileError&) {
      // The system refuses even the old bytes; the error below says why.
    }
    m_nCachedTemplate = -1;
    throw;
  }
  // The file now holds exactly the new text; keep the store in step with it
  // without reading the file back. `insert` never lies in the held text.
  m_text.replace(cut, tailStart - cut, insert.data(), insert.size());
  m_changes.Replace(cut, tailStart, insert.size());
  m_dwFileLength = static_cast<uint32_t>(length);
  m_nCachedTemplate = -1;
  if (m_headersValid) {
    // Only the lines from the one holding the cut to the one holding the
    // first byte of the tail can have changed; the headers after them moved
    // by the change in length.
    // The index changes in place: a second one of a large file's headers
    // would be memory for nothing.
    const size_t from = regtext::LineStart(Text(), cut);
    std::vector<Header> changed;
    const size_t next = IndexHeaders(from, cut + insert.size(), &changed);
    const size_t newLength = static_cast<size_t>(length);
    const size_t oldNext = next + oldLength - newLength;
    auto byBracket = [](const Header& h, size_t pos) { return h.bracket < pos; };
    const auto first = std::lower_bound(m_headers.begin(), m_headers.end(), from, byBracket);
    const auto kept = std::lower_bound(first, m_headers.end(), oldNext, byBracket);
    for (auto moved = kept; moved != m_headers.end(); ++moved) {
      moved->bracket = moved->bracket + newLength - oldLength;
    }
    const auto at = m_headers.erase(first, kept);
    m_headers.insert(at, changed.begin(), changed.end());
  }
  return true;
}

uint32_t RegFile::TransferValues(uint32_t nTemplate, RegValueEntry* pTable, uint32_t nMode) {
  if (pTable == nullptr) return 0;
  if (nMode == kTransferWrite) {
    for (RegValueEntry* row = pTable; row->pszName != nullptr; ++row) {
      uint32_t size = 0;
      if (row->pData != nullptr) {
        switch (row->dwType) {
          case kRegSz:
            size = static_cast<uint32_t>(std::strlen(static_cast<const char*>(row->pData)) + 1);
            break;
          case kRegBinary:
            size = row->dwSize;
            break;
          case kRegDword:
            size = 4;
            break;
          case kRegMultiSz: {
            // Strings of 16-bit units, each with its terminator, then an empty one.
            const auto* units = static_cast<const uint16_t*>(row->pData);
            size_t i = 0;
            while (units[i] != 0) {
              while (units[i] != 0) ++i;
              ++i;
            }
            size = static_cast<uint32_t>(2 * (i + 1));
            break;
          }
          default:
            break;
        }
      }
      uint32_t result;
      try {
        result = SetValue(nTemplate, row->pszName, row->dwType, row->pData, size);
      } catch (const FileError& e) {
        m_lastStatus = e.GetStatus();
        return 0;
      } catch (...) {
        return 0;
      }
      if (result != 0) return 0;
    }
    return 1;
  }

  int32_t last = 1;
  for (RegValueEntry* row = pTable; row->pszName != nullptr; ++row) {
    last = QueryValue(nTemplate, row->pszName, &row->dwType, row->pData, &row->dwSize,
                      row->dwSize);
  }
  return last == 0 ? 1 : 0;
}

void RegFile::Reload() {
  m_nCachedTemplate = -1;
  m_headersValid = false;
  if (!m_file) return;
  ReadText();
}

uint32_t RegFile::TemplateSectionExists(uint32_t n) {
  return FindHeader(n, 0) != regtext::npos ? 1 : 0;
}

uint32_t RegFile::AppendTemplateSection(uint32_t n) {
  if (!IsOpen() || !m_haveText) return 0;
  const std::string_view lineEnd = regtext::FileLineEnd(Text());
  // A last line without a line end gets one first: the blank below would
  // join it.
  std::string section;
  if (m_dwFileLength > 0 && !regtext::EndsWithLineEnd(Text())) section += lineEnd;
  section += " ";
  section += lineEnd;
  section += m_szSectionPrefix;
  section += std::to_string(n);
  section += "] ";
  section += lineEnd;
  if (!RewriteFile(m_dwFileLength, section, {})) {
    m_lastStatus = Status::Of(Condition::kNotWritten,
                              "not enough memory to add template " + std::to_string(n));
  }
  return 0;
}

size_t RegFile::SectionCutEnd(size_t end) const {
  // A key's header may be indented: its indentation and the lines above it
  // stay, so the cut ends where the next header's line starts.
  const std::string_view text = Text();
  return end < text.size() ? regtext::LineStart(text, end) : end;
}

std::string RegFile::KeptLines(size_t start, size_t cutEnd) const {
  // The section goes but for the image build's structure lines (preprocessor
  // lines, sysgen and region markers, boot-hive markers), which belong to the
  // keys around it wherever they stand, and the comment lines right above the
  // next key, which describe that key.
  const std::string_view text = Text();
  struct Line {
    size_t start, end, next;
  };
  std::vector<Line> lines;
  for (size_t line = start; line < cutEnd;) {
    const size_t lineEnd = regtext::FindLineEnd(text, line);
    const size_t next = regtext::SkipLineEnd(text, lineEnd);
    lines.push_back({line, lineEnd, next > cutEnd ? cutEnd : next});
    if (next == lineEnd) break;
    line = next;
  }
  auto body = [&text](const Line& line) { return text.substr(line.start, line.end - line.start); };
  // The comments above the next key: the run of comment and preprocessor lines
  // that ends the section when another key follows it, and, among the comment,
  // preprocessor and blank lines that end it, every line from the first
  // comment a blank line parts from what stands above it: such a comment
  // introduces what follows, whatever blank lines stand after it.
  size_t aboveNextKey = lines.size();
  if (cutEnd < text.size()) {
    auto blank = [&body](const Line& line) {
      return body(line).find_first_not_of(" \t") == std::string_view::npos;
    };
    auto commentOrPreprocessor = [&body](const Line& line) {
      return regtext::IsCommentLine(body(line)) || regtext::IsPreprocessorLine(body(line));
    };
    while (aboveNextKey > 1 && commentOrPreprocessor(lines[aboveNextKey - 1])) --aboveNextKey;
    size_t run = lines.size();
    while (run > 1 && (blank(lines[run - 1]) || commentOrPreprocessor(lines[run - 1]))) --run;
    for (size_t i = run + 1; i < aboveNextKey; ++i) {
      if (blank(lines[i - 1]) && !blank(lines[i])) {
        aboveNextKey = i;
        break;
      }
    }
  }
  // Past the section's last value line, the first structure line closes or
  // opens a block of the surroundings: it and every line after it (a
  // separator comment, a blank) are the surroundings', not the template's.
  size_t surroundings = lines.size();
  for (size_t i = lines.size(); i > 1; --i) {
    const std::string_view line = body(lines[i - 1]);
    if (regtext::IsStructureLine(line)) {
      surroundings = i - 1;
    } else if (!regtext::IsCommentLine(line) &&
               line.find_first_not_of(" \t") != std::string_view::npos) {
      break;
    }
  }
  std::string kept;
  for (size_t i = 1; i < lines.size(); ++i) {
    if (i >= aboveNextKey || i >= surroundings || regtext::IsStructureLine(body(lines[i]))) {
      kept.append(text.substr(lines[i].start, lines[i].next - lines[i].start));
    }
  }
  return kept;
}

size_t RegFile::SectionCutStart(size_t bracket, size_t cutEnd, std::string_view kept,
                                size_t from) const {
  // AppendTemplateSection writes a line of one blank, then the header: when
  // the section is the text's last and nothing of it stays, that line goes
  // with it, so that adding a template and removing it leave the text as it
  // was.
  const std::string_view text = Text();
  if (cutEnd < text.size() || !kept.empty() || bracket == 0 ||
      !regtext::IsLineEndChar(text[bracket - 1])) {
    return bracket;
  }
  size_t lineEnd = bracket - 1;  // the line end of the line above
  if (text[lineEnd] == '\n' && lineEnd > 0 && text[lineEnd - 1] == '\r') --lineEnd;
  const size_t above = regtext::LineStart(text, lineEnd);
  return above >= from && lineEnd == above + 1 && text[above] == ' ' ? above : bracket;
}

uint32_t RegFile::RemoveTemplateSection(uint32_t n) {
  if (!IsOpen() || !m_haveText) return 1;
  uint32_t start = 0;
  uint32_t end = 0;
  FindTemplateSection(n, &start, &end);
  if (start >= end) return 0;  // absent: the file keeps its content
  const size_t cutEnd = SectionCutEnd(end);
  const std::string kept = KeptLines(start, cutEnd);
  const size_t cut = SectionCutStart(start, cutEnd, kept, 0);
  return RewriteFile(static_cast<uint32_t>(cut), kept, Text().substr(cutEnd)) ? 0 : 1;
}

uint32_t RegFile::RemoveTemplateSections(uint32_t n) {
  if (!IsOpen() || !m_haveText) return 1;
  // Every section in one rewrite: the text between them and what each keeps
  // are gathered first, so the work grows with the text, not with the number
  // of sections times the text.
  const std::string_view text = Text();
  size_t first = regtext::npos;
  size_t cutEnd = 0;
  std::string middle;
  for (size_t at = FindHeader(n, 0); at != regtext::npos; at = FindHeader(n, cutEnd)) {
    const size_t next = NextHeader(at);
    const size_t sectionEnd = SectionCutEnd(next == regtext::npos ? text.size() : next);
    const std::string kept = KeptLines(at, sectionEnd);
    const size_t cut = SectionCutStart(at, sectionEnd, kept, first == regtext::npos ? 0 : cutEnd);
    if (first == regtext::npos) {
      first = cut;
    } else {
      middle.append(text.substr(cutEnd, cut - cutEnd));
    }
    cutEnd = sectionEnd;
    middle += kept;
    if (cutEnd >= text.size()) break;
  }
  if (first == regtext::npos) return 0;
  return RewriteFile(static_cast<uint32_t>(first), middle, text.substr(cutEnd)) ? 0 : 1;
}

}  // namespace zuv
