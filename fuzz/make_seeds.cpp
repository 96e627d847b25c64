// Writes the fuzz targets' own seeds: make_seeds FOLDER puts them in
// FOLDER/store, FOLDER/templates and FOLDER/document. Seeds longer than the
// fuzzers' input bound (scripts/fuzz.sh's -max_len) are left out: those are
// the large shapes, which the regression test replays and the benchmark
// times, instead of the fuzzer mutating inputs it could only cut short.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "fuzz/checks.h"

namespace {

constexpr size_t kMaxLength = 16384;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  namespace fs = std::filesystem;
  const std::pair<const char*, zuv::fuzz::Seeds> sets[] = {
      {"store", zuv::fuzz::StoreSeeds()}, {"templates", zuv::fuzz::TemplateSeeds()},
      {"document", zuv::fuzz::DocumentSeeds()}};
  for (const auto& [target, seeds] : sets) {
    const fs::path folder = fs::path(argv[1]) / target;
    fs::create_directories(folder);
    for (const auto& [name, bytes] : seeds) {
      if (bytes.size() > kMaxLength) continue;
      std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      if (!out) {
        std::fprintf(stderr, "cannot write %s\n", (folder / name).string().c_str());
        return 1;
      }
    }
  }
  return 0;
}
