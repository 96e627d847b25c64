// Paths at the Win32 calls.
#include "fileio/win32_path.h"

namespace zuv::win32 {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int count = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), count, nullptr, 0);
  std::wstring wide(length > 0 ? length : 0, L'\0');
  if (length > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), count, &wide[0], length);
  return wide;
}

std::string Utf8(const wchar_t* text, size_t size) {
  if (size == 0) return {};
  const int count = static_cast<int>(size);
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, count, nullptr, 0, nullptr, nullptr);
  std::string narrow(length > 0 ? length : 0, '\0');
  if (length > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, text, count, &narrow[0], length, nullptr, nullptr);
  }
  return narrow;
}

std::string Utf8(const std::wstring& text) { return Utf8(text.data(), text.size()); }

Handle OpenHandle(const std::string& path, DWORD access, DWORD share) {
  return Handle(::CreateFileW(Wide(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::wstring FullPath(const std::wstring& path) {
  std::wstring text;
  DWORD length = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  while (length > text.size()) {
    text.assign(length, L'\0');
    length = ::GetFullPathNameW(path.c_str(), length, &text[0], nullptr);
  }
  if (length == 0) return {};
  text.resize(length);
  return text;
}

std::wstring FinalPath(HANDLE handle) {
  constexpr DWORD kFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
  std::wstring text;
  DWORD length = ::GetFinalPathNameByHandleW(handle, nullptr, 0, kFlags);
  while (length > text.size()) {  // the size asked for counts the terminating null
    text.assign(length, L'\0');
    length = ::GetFinalPathNameByHandleW(handle, &text[0], length, kFlags);
  }
  if (length == 0) return {};
  text.resize(length);
  if (text.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + text.substr(7);
  if (text.compare(0, 4, L"\\\\?\\") == 0) return text.substr(4);
  return text;
}

std::string RealPath(const std::string& path) {
  // The handle reads no content and lets every other handle be (a folder
  // opens too); its final path passes through every link on the way.
  const std::wstring wide = Wide(path);
  std::wstring real;
  {
    const Handle handle(::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) {
      const std::wstring full = FullPath(wide);
      return full.empty() ? path : Utf8(full);
    }
    real = FinalPath(handle.Get());
  }
  const std::wstring plain = FullPath(wide);
  // A path through a link becomes the final path; any other is made
  // absolute (GetFullPathNameW) and keeps the letter case it was given.
  if (real.empty() || plain.empty() ||
      ::CompareStringOrdinal(real.c_str(), static_cast<int>(real.size()), plain.c_str(),
                             static_cast<int>(plain.size()), TRUE) == CSTR_EQUAL) {
    return plain.empty() ? path : Utf8(plain);
  }
  return Utf8(real);
}

bool Identify(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
  const Handle handle = OpenHandle(path, 0, kShareAll);
  return handle && ::GetFileInformationByHandle(handle.Get(), info) != 0;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& one, const BY_HANDLE_FILE_INFORMATION& other) {
  return one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool DeleteNamed(const std::string& path) { return ::DeleteFileW(Wide(path).c_str()) != 0; }

Status ListFolder(const std::string& path, std::vector<FolderEntry>* entries) {
  // A folder that is itself a link is not listed: its contents lie elsewhere.
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Status::System(::GetLastError(), path);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return Status::System(ERROR_DIRECTORY, path);
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return Status::System(ERROR_CANT_ACCESS_FILE, path);
  }
  std::wstring pattern = Wide(path);
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found;
  const SearchHandle search(::FindFirstFileExW(pattern.c_str(), FindExInfoStandard, &found,
                                               FindExSearchNameMatch, nullptr, 0));
  if (!search) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? Status() : Status::System(error, path);
  }
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const DWORD kind = found.dwFileAttributes;
    entries->push_back({Utf8(name), (kind & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? EntryKind::kLink
                                    : (kind & FILE_ATTRIBUTE_DIRECTORY) != 0   ? EntryKind::kFolder
                                    : (kind & FILE_ATTRIBUTE_DEVICE) != 0      ? EntryKind::kOther
                                                                               : EntryKind::kFile});
  } while (::FindNextFileW(search.Get(), &found) != 0);
  const DWORD error = ::GetLastError();
  return error == ERROR_NO_MORE_FILES ? Status() : Status::System(error, path);
}

}  // namespace zuv::win32
