// Replays the fuzz targets' checks without the fuzzer, in every build.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/checks.h"
#include "test_files.h"

namespace zuv {
namespace {

using Check = std::string (*)(const uint8_t*, size_t);

std::string Apply(Check check, const std::string& bytes) {
  return check(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::vector<std::string> Regressions(const std::string& target) {
  std::vector<std::string> files;
  std::error_code error;
  const std::filesystem::path folder =
      std::filesystem::path(ZUV_SOURCE_DIR) / "fuzz" / "regressions" / target;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.is_regular_file()) files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void ReplayAll(const char* target, Check check, const fuzz::Seeds& seeds) {
  for (const std::string& file : Regressions(target)) {
    EXPECT_EQ(Apply(check, test::ReadFileBytes(file)), "") << file;
  }
  for (const auto& [name, bytes] : seeds) EXPECT_EQ(Apply(check, bytes), "") << "seed " << name;
  for (const std::string& file : test::CorpusFiles()) {
    EXPECT_EQ(Apply(check, test::ReadFileBytes(file)), "") << file;
  }
}

TEST(FuzzRegressions, Store) { ReplayAll("store", fuzz::CheckStore, fuzz::StoreSeeds()); }

TEST(FuzzRegressions, Templates) {
  ASSERT_FALSE(Regressions("templates").empty()) << "fuzz/regressions not found";
  ReplayAll("templates", fuzz::CheckTemplates, fuzz::TemplateSeeds());
}

TEST(FuzzRegressions, Document) {
  const fuzz::Seeds seeds = fuzz::DocumentSeeds();
  EXPECT_TRUE(std::any_of(seeds.begin(), seeds.end(),
                          [](const auto& seed) { return seed.first == "schema-example-0"; }))
      << "the schema's example was not read";
  ReplayAll("document", fuzz::CheckDocument, seeds);
}

}  // namespace
}  // namespace zuv
