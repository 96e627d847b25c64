// RegFile: one driver registry text file (.reg) held in memory for the length of
// one template operation. It finds template sections and values as text, reads
// values, and writes every change straight back into the file, leaving every
// byte outside the changed line or section as it was.
//
// Typical use: construct, Open(path), QueryValue/SetValue/..., Close(), destroy.
#ifndef ZUV_REGFILE_REG_FILE_H
#define ZUV_REGFILE_REG_FILE_H

#include <cstdint>
#include <memory>
#include <string_view>

#include "regfile/driver_keys.h"
#include "regfile/file.h"

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

  // Opens an existing file for reading and writing and loads its text. Returns
  // 0, or the system's error code of the failed open (nothing else is set then).
  uint32_t Open(const char* path);
  // Releases the text and closes the file. Always 0.
  uint32_t Close();

  // The range [start, end) of template n's section: start is the "[" of the
  // first header line whose key path holds the search key ("Template" or the
  // built-in key, then n and "]"), end the "[" of the next line whose first
  // character other than blank or tab is "[", or the end of the text. An
  // absent section gives start == end == the text length.
  // Always 0.
  uint32_t FindTemplateSection(uint32_t n, uint32_t* start, uint32_t* end);

  // Reads value `name` of template n. 0: read; 1: not read (absent, or data
  // null, or a double word with capacity below 4). Type and size are written
  // whenever the value's line was found. At most `capacity` bytes are written
  // to data; a string comes without a terminator.
  int32_t QueryValue(uint32_t n, const char* name, uint32_t* type, void* data,
                     uint32_t* size, uint32_t capacity);

  // Writes value pszName of template nTemplate into the file: replaces its line,
  // or adds one at the end of the section (or of the file when the section is
  // absent). The held text becomes the new text, which is what the file then
  // holds; the file is not read back. 0 written; 1 refused (no file open, null
  // name or data, a line longer than 253 characters, no memory, a file that
  // would reach 2 GiB), the file unchanged. File-layer errors raise FileError
  // after the file was put back as it was.
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

  // 1 when a header line holds template n's search key (see
  // FindTemplateSection), else 0.
  uint32_t TemplateSectionExists(uint32_t n);
  // Appends " \r\n", the header line of template n and " \r\n" to the file,
  // as SetValue writes. Always 0; a header that could not be added (no
  // memory) is told by LastStatus(), and file-layer errors raise FileError as
  // SetValue's do.
  uint32_t AppendTemplateSection(uint32_t n);
  // Cuts template n's section out of the file, as SetValue writes. 0 done
  // (also when absent), 1 no memory (file unchanged); file-layer errors raise
  // FileError as SetValue's do.
  uint32_t RemoveTemplateSection(uint32_t n);

  // What Open derived from the path, and the loaded text.
  const char* DriverKey() const { return m_szDriverKey; }
  const char* BuiltInKey() const { return m_szBuiltInKey; }
  int32_t GetBusType() const { return m_nBusType; }
  const char* SectionPrefix() const { return m_szSectionPrefix; }
  bool IsOpen() const { return m_file != nullptr; }
  // The failure of the last failed open, of the file-layer error that ended
  // the last failed write of TransferValues, or of an AppendTemplateSection
  // that could not add its header (no memory); success when none.
  const Status& LastStatus() const { return m_lastStatus; }
  std::string_view Text() const;

 private:
  // The word that ends the section prefix and starts the search key:
  // "Template", or the built-in key.
  std::string_view SearchWord() const;
  // `SearchWord()` + n + "]".
  std::string SearchKey(uint32_t n) const;
  void DeriveKeys(std::string_view path);
  void ReadText();
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
  std::unique_ptr<char[]> m_pBuffer;
  int32_t m_nCachedTemplate;
  uint32_t m_dwSectionStart;
  uint32_t m_dwSectionEnd;
};

}  // namespace zuv

#endif  // ZUV_REGFILE_REG_FILE_H
