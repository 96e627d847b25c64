#include "templates/device_reading.h"

#include "regfile/text_encoding.h"
#include "templates/driver_text.h"

namespace zuv {

namespace {

// The folder part of `path`, its last separator kept; "" when it has none.
std::string FolderOf(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

bool IsFullPath(std::string_view path) {
  return (!path.empty() && (path.front() == '/' || path.front() == '\\')) ||
         (path.size() > 1 && path[1] == ':');
}

}  // namespace

DeviceView ReadDevice(std::string_view text, const std::string& path, FileSystem& fileSystem,
                      const BuildConfiguration* configuration) {
  DeviceViewOptions options;
  options.configuration = configuration;
  options.include = [&path, &fileSystem](std::string_view included,
                                         std::string_view from) -> std::optional<std::string> {
    std::string full(included);
    if (!IsFullPath(included)) full = FolderOf(from.empty() ? path : std::string(from)) + full;
#ifndef _WIN32
    // The build's paths are Windows paths: here a backslash separates folders.
    for (char& c : full) {
      if (c == '\\') c = '/';
    }
#endif
    std::string bytes;
    if (!ReadWholeFile(full, fileSystem, &bytes).ok()) return std::nullopt;
    DecodedText decoded = DecodeText(std::move(bytes));
    if (!decoded.valid) return std::nullopt;
    return std::move(decoded.text);
  };
  return DeviceView(text, options);
}

}  // namespace zuv
