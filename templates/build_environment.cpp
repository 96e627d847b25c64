#include "templates/build_environment.h"

#include <cstdlib>
#include <set>
#include <string_view>

#include "device/device_view.h"
#include "templates/device_reading.h"
#include "templates/driver_text.h"

#ifndef _WIN32
extern char** environ;  // POSIX: the process's environment; <stdlib.h> declares it on Windows
#endif

namespace zuv {

BuildConfiguration EnvironmentConfiguration() {
  BuildConfiguration configuration;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view setting(*entry);
    const size_t equals = setting.find('=');
    if (equals == 0 || equals == std::string_view::npos) continue;
    const std::string_view name = setting.substr(0, equals);
    bool usable = true;
    for (char c : name) usable = usable && IsBuildNameChar(c);
    if (usable) configuration.Define(name, setting.substr(equals + 1));
  }
  configuration.MakeComplete();
  return configuration;
}

std::optional<BuildConfiguration> BuildWindowConfiguration() {
  if (std::getenv("_WINCEROOT") == nullptr && std::getenv("_FLATRELEASEDIR") == nullptr) {
    return std::nullopt;
  }
  return EnvironmentConfiguration();
}

std::string BuildLineText(const std::string& path, FileSystem& fileSystem,
                          const BuildConfiguration* configuration) {
  if (configuration == nullptr) return "Every build configuration";
  DecodedText text;
  if (!ReadDriverText(path, fileSystem, &text).ok()) text.text.clear();
  const DeviceView view = ReadDevice(text.text, path, fileSystem, nullptr);
  // The file's variables, each once, as this build sets them.
  std::set<std::string> named;
  std::string words;
  for (uint32_t i = 0; i < view.Atoms().size(); ++i) {
    const BuildAtom& atom = view.Atoms()[i];
    const std::optional<bool> truth = configuration->Decides(atom);
    if (!truth || atom.kind == BuildAtom::Kind::kOpaque) continue;
    if (atom.kind == BuildAtom::Kind::kEquals && !*truth) continue;  // its kSet says enough
    if (!named.insert(atom.name + (atom.kind == BuildAtom::Kind::kEquals ? "=" : "")).second) {
      continue;
    }
    words += (words.empty() ? "" : ", ") + LiteralWords(atom, *truth);
  }
  return "Build: the build window's" + (words.empty() ? std::string() : " (" + words + ")");
}

}  // namespace zuv
