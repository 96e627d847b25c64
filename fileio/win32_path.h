// Paths at the Win32 calls: UTF-8 inside the program, UTF-16 at the system,
// and what a path names (its full and final path, its file's identity).
#ifndef ZUV_FILEIO_WIN32_PATH_H
#define ZUV_FILEIO_WIN32_PATH_H

#include <cstddef>
#include <string>
#include <vector>

#include "fileio/file.h"

#include "fileio/win32_handle.h"

namespace zuv::win32 {

// Every other handle may read, write and delete the file.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Paths are UTF-8 inside the program and UTF-16 at the system's calls, so
// that any name Windows can hold opens, whatever the ANSI code page.
std::wstring Wide(const std::string& text);
std::string Utf8(const wchar_t* text, size_t size);
std::string Utf8(const std::wstring& text);

// Opens an existing file with the access and sharing asked for; holds
// nothing on failure, with GetLastError telling why.
Handle OpenHandle(const std::string& path, DWORD access, DWORD share);

// The path made absolute, with backslashes and without "." and ".."
// (GetFullPathNameW: no link is followed); empty on failure.
std::wstring FullPath(const std::wstring& path);
// The normalized path of the open file with its drive letter, without the
// "\\?\" prefix (a share's "\\?\UNC\" becomes "\\"); empty on failure.
std::wstring FinalPath(HANDLE handle);
// FileSystem::RealPath for the system's files.
std::string RealPath(const std::string& path);

// The file's volume, index and link count, read through a handle that asks
// for no access (so no other handle's sharing refuses it).
bool Identify(const std::string& path, BY_HANDLE_FILE_INFORMATION* info);
// Whether the two describe one file (the same volume and index).
bool SameFile(const BY_HANDLE_FILE_INFORMATION& one, const BY_HANDLE_FILE_INFORMATION& other);

bool Exists(const std::string& path);
// A folder does not open as a file (the system says "access denied"): it is
// told as what it is.
bool IsFolder(const std::string& path);
bool DeleteNamed(const std::string& path);

// FileSystem::ListFolder for the system's files (FindFirstFileExW): a
// reparse point (a symbolic link, a junction) is a link.
Status ListFolder(const std::string& path, std::vector<FolderEntry>* entries);

}  // namespace zuv::win32

#endif  // ZUV_FILEIO_WIN32_PATH_H
