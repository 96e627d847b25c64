// RegFile: one driver registry text file (.reg) held in memory as text. It
// finds template sections and values as text, reads values, and changes them,
// leaving every byte outside the changed line or section as it was.
//
// The product opens the store on a text (OpenText), never on a file: the Save
// transaction (templates/save_transaction.h) reads the driver file once, opens
// the store on its decoded text, loads the templates, runs the Save's steps on
// that text and proves it, and then writes the file itself, once. `check`
// loads the same way. Open(path) instead opens a file and writes every change
// straight through to it; it stays as the store's own entry point for its
// tests and the store's fuzz check, and no product code uses it.
#ifndef ZUV_REGFILE_REG_FILE_H
#define ZUV_REGFILE_REG_FILE_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/driver_keys.h"
#include "base/text_changes.h"
#include "fileio/file.h"

namespace zuv {

// Registry value type codes, as in the Windows registry.
enum RegValueType : uint32_t {
  kRegSz = 1,
  kRegBinary = 3,
  kRegDword = 4,
  kRegMultiSz = 7,
};

// Modes of RegFile::TransferValues.
enum TransferMode : uint32_t {
  kTransferRead = 0,
  kTransferWrite = 1,
};

// One row of a value table for RegFile::TransferValues; a row whose name is
// null ends the table.
//
// Write mode: pData is the value; dwSize is used for binary rows only.
// Read mode: on entry dwSize is the capacity of the buffer at pData in bytes
// (nothing beyond it is ever written); on return dwType and dwSize hold the
// type and full size found. A missing value leaves its row untouched.
struct RegValueEntry {
  const char* pszName;
  uint32_t dwType;
  uint32_t dwSize;
  void* pData;
};

class RegFile {
 public:
  explicit RegFile(FileSystem& fileSystem = NativeFileSystem());
  ~RegFile();
  RegFile(const RegFile&) = delete;
  RegFile& operator=(const RegFile&) = delete;

  // Opens an existing file for reading and writing and loads its text; every
  // change below is then written through to the file. Returns 0, or the
  // system's error code of the failed open (nothing else is set then). Used by
  // the store's tests and fuzz check only: the product opens texts (OpenText).
  uint32_t Open(const char* path);
  // Takes a copy of `text` as the store's text, with the driver's keys derived
  // from `keyPath`, without a file: every change below then edits the held
  // text only (Text() gives it), so that a load, a Save's steps and its proof
  // all work on one text read once. 0, or 1 with LastStatus() set when no
  // memory could be had or the text is 2 GiB or more.
  uint32_t OpenText(std::string_view text, std::string_view keyPath);
  // Releases the text and closes the file. Always 0.
  uint32_t Close();

  // The range [start, end) of template n's section: start is the "[" of the
  // first header line whose key path is template n's (the section prefix
  // without its "[", then n), compared as the registry compares names, blanks
  // inside the brackets ignored; end the "[" of the next line whose first
  // character other than blank or tab is "[", or the end of the text. An
  // absent section gives start == end == the text length.
  // Always 0.
  uint32_t FindTemplateSection(uint32_t n, uint32_t* start, uint32_t* end);

  // Reads value `name` of template n as the device reads it: the last line of
  // that name (without regard to case) in any of the template's sections, its
  // form as regtext::ReadValueData reads it. 0: read; 1: not read (absent, a
  // form not read, data null, or a double word with capacity below 4). Type and
  // size are written whenever the value's line was found (kUnreadType for a
  // form not read). At most `capacity` bytes are written
  // to data; a string comes without a terminator.
  int32_t QueryValue(uint32_t n, const char* name, uint32_t* type, void* data,
                     uint32_t* size, uint32_t capacity);

  // Writes value pszName of template nTemplate into the file: replaces the
  // value's own text in the line QueryValue reads (its indentation, name,
  // comment stay), or adds a line after the section's last value line (after
  // its header when it has none; at the end of the file when the section is
  // absent), ending as the file's lines end. The held text becomes the new text, which is what the
  // file then holds; the file is not read back. 0 written; 1 refused (no file open, null name or
  // data, a line longer than 253 characters, no memory, a file that would reach 2 GiB), the file
  // unchanged. File-layer errors raise FileError after the file was put back as it was.
  uint32_t SetValue(uint32_t nTemplate, const char* pszName, uint32_t dwType,
                    const void* pData, uint32_t dwSize);

  // Moves a value table between template nTemplate's section and memory.
  // Write mode (kTransferWrite): 1 when every row was written, 0 at the first
  // row that failed. Read mode: 1 when the last row was read, else 0.
  uint32_t TransferValues(uint32_t nTemplate, RegValueEntry* pTable,
                          uint32_t nMode);

  // Re-reads the whole file and forgets the cached section range. The changes
  // above do not need it: each keeps the held text equal to the file's.
  void Reload();

  // 1 when a header line holds template n's key path (see
  // FindTemplateSection), else 0.
  uint32_t TemplateSectionExists(uint32_t n);
  // Appends a line holding one blank (after a line end when the last line has
  // none), the header line of template n and a blank to the file, each ended as the file's lines
  // end (CR LF when it has none), as SetValue writes. Always 0; a header that could not be added
  // (no memory) is told by LastStatus(), and file-layer errors raise FileError as SetValue's do.
  uint32_t AppendTemplateSection(uint32_t n);
  // Cuts template n's first section out of the file, as SetValue writes,
  // keeping the image build's structure lines inside it (preprocessor lines,
  // "; @..." directives, boot-hive markers), the comment lines right above
  // the key that follows it (also when blank lines part them from that key,
  // if a blank line parts them from the section's values), and that key's
  // indentation; a section that ends the file takes the line of one blank
  // that AppendTemplateSection wrote above it along. 0 done
  // (also when absent), 1 no memory (file unchanged); file-layer errors raise
  // FileError as SetValue's do.
  uint32_t RemoveTemplateSection(uint32_t n);
  // Cuts every section of template n out of the file, as
  // RemoveTemplateSection cuts one, in one rewrite of the text. 0 done (also
  // when absent), 1 no memory (file unchanged); FileError as above.
  uint32_t RemoveTemplateSections(uint32_t n);

  // What Open derived from the path, and the loaded text.
  const char* DriverKey() const { return m_szDriverKey; }
  const char* BuiltInKey() const { return m_szBuiltInKey; }
  int32_t GetBusType() const { return m_nBusType; }
  const char* SectionPrefix() const { return m_szSectionPrefix; }
  bool IsOpen() const { return m_file != nullptr || m_textOnly; }
  // The failure of the last failed open, of the file-layer error that ended
  // the last failed write of TransferValues, or of an AppendTemplateSection
  // that could not add its header (no memory); success when none.
  const Status& LastStatus() const { return m_lastStatus; }
  std::string_view Text() const;
  // What the edits since the open replaced: spans of the text opened, each
  // with the span of Text() that took its place. Bytes outside them are
  // the text opened, unchanged.
  const std::vector<TextChange>& Changes() const { return m_changes.List(); }
  // Hands over the held text without copying it and closes the store.
  std::string TakeText();

 private:
  // Where the line of the value the device reads for `name` in template n
  // stands: its opening quote, just after its "=", and its end.
  struct FoundValue {
    size_t quote, data, end;
  };
  // A header line of a template's key: its "[", and the template's number
  // (see FindTemplateSection).
  struct Header {
    size_t bracket;
    int64_t n;
  };
  // The section prefix without its "[": the key path every template's starts with.
  std::string_view PrefixPath() const;
  // The key path of template n: PrefixPath(), then n.
  std::string KeyPath(uint32_t n) const;
  // The template number a header's key path names, or -1.
  int64_t TemplateNumber(std::string_view path) const;
  // The header lines of the templates' keys, in order, found in one search
  // of the text and kept in step with each rewrite, so that finding a
  // section never searches the text again; other keys' headers are not
  // kept (NextHeader finds the one that ends a section).
  const std::vector<Header>& Headers();
  // The "[" of the first header line (of any key) that starts at or after
  // `from` and before `until`, or npos.
  size_t HeaderLineAt(size_t from, size_t until) const;
  // Appends the templates' header lines among the lines from the line start
  // `from` to the line holding `through` (inclusive) to `out`; returns where
  // the next line starts.
  size_t IndexHeaders(size_t from, size_t through, std::vector<Header>* out) const;
  // The first header of template n at or after `from`, or npos.
  size_t FindHeader(uint32_t n, size_t from);
  // The header line after the one at `bracket`, or npos.
  size_t NextHeader(size_t bracket);
  // The value line of `name` that the device reads for template n: the last
  // of all its sections' lines of that name.
  std::optional<FoundValue> FindValue(uint32_t n, std::string_view name);
  // The end of the last value line of the section [start, end) that stands
  // under the conditions of its "SwitchID" line (of its header when it has
  // none), or of its header line when it has no such line.
  size_t LastValueLineEnd(size_t start, size_t end) const;
  // Where removing a section that ends at `end` (the next header's "[", or
  // the text's end) stops: the start of that header's line.
  size_t SectionCutEnd(size_t end) const;
  // What removing the section [start, cutEnd) keeps of it.
  std::string KeptLines(size_t start, size_t cutEnd) const;
  // Where removing the section whose header's "[" is at `bracket`, cut up to
  // `cutEnd` and keeping `kept`, starts: at the "[", or at the blank line
  // right above a header that starts its line (not before `from`) when the
  // section is the text's last and keeps nothing.
  size_t SectionCutStart(size_t bracket, size_t cutEnd, std::string_view kept, size_t from) const;
  void DeriveKeys(std::string_view path);
  void ReadText();
  void ReleaseText();
  // Makes the file hold Text()[0, cut) + insert + tail, and the store hold the
  // same. False when no memory could be had (nothing touched). On a file-layer
  // error the old content is written back and the error is raised again.
  bool RewriteFile(uint32_t cut, std::string_view insert, std::string_view tail);

  FileSystem& m_fileSystem;
  char m_szDriverKey[20];
  char m_szBuiltInKey[20];
  int32_t m_nBusType;
  char m_szSectionPrefix[256];
  std::unique_ptr<File> m_file;
  Status m_lastStatus;  // the last failed open, write or append
  uint32_t m_dwFileLength;
  std::string m_text;       // the text, its capacity room for a Save's edits
  bool m_haveText = false;  // false before an open, or when no text could be had
  int32_t m_nCachedTemplate;
  uint32_t m_dwSectionStart;
  uint32_t m_dwSectionEnd;
  // The value lines of all the cached template's sections, in the file's
  // order, made at the first look-up of one of its values: a load reads a
  // template's values with one pass over its lines, not one pass a value.
  // Made again whenever the cached template changes (every rewrite drops it).
  struct ValueLineAt {
    size_t name, nameSize;
    FoundValue found;
  };
  std::vector<ValueLineAt> m_valueLines;
  bool m_valueLinesMade = false;
  std::vector<Header> m_headers;
  bool m_headersValid = false;
  bool m_textOnly = false;  // opened on a text (OpenText), not a file
  TextChanges m_changes;    // kept by RewriteFile, since the text was read
};

}  // namespace zuv

#endif  // ZUV_REGFILE_REG_FILE_H
