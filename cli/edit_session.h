// What `edit` needs of the system: a private file for the document, the
// user's editor run on it, and whether someone is at the terminal to ask;
// and apply's reading of a pipe by name. POSIX in edit_session_posix.cpp;
// Windows in windows_console.cpp.
#ifndef ZUV_CLI_EDIT_SESSION_H
#define ZUV_CLI_EDIT_SESSION_H

#include <cstddef>
#include <string>

namespace zuv::cli {

// Creates a new file of a name no other file has, in the temporary folder
// ($TMPDIR, else /tmp; on Windows the user's own), that only the user can
// read and write, holding `text`. Returns its path; an empty string, with
// *why saying why, when it could not be made.
std::string CreatePrivateFile(const std::string& text, std::string* why);

// Removes a file CreatePrivateFile made.
void RemovePrivateFile(const std::string& path);

// Runs the user's editor on `path` and waits for it: $VISUAL, else $EDITOR
// (each may hold arguments: run by the shell, the path appended), else vi;
// on Windows %VISUAL%, %EDITOR%, else notepad. Returns its exit status, or
// -1 with *why when it could not be run or did not exit by itself.
int RunEditor(const std::string& path, std::string* why);

// Whether the process's standard input is a terminal (a console).
bool StandardInputIsTerminal();

// Whether `path` names a pipe, a FIFO, a socket or a device, which is read
// as a stream (on Windows none is).
bool IsStream(const std::string& path);

// Reads what `path` opens, once, until its end or `limit` and one bytes:
// true; false with *why when it cannot be read (a folder is refused).
bool ReadStream(const std::string& path, size_t limit, std::string* text, std::string* why);

}  // namespace zuv::cli

#endif  // ZUV_CLI_EDIT_SESSION_H
