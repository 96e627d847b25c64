// Loading the table and saving 16 templates on driver files of 4 KiB, 64 KiB
// and 1 MiB, with the template sections at the end (where Save puts them) and
// at the start, beside the floor: one plain read and write of a file of the
// same size. The end of the report gives each time as a multiple of the floor.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fileio/memory_file.h"
#include "templates/template_file.h"

namespace zuv {
namespace {

namespace fs = std::filesystem;

// Other keys, as a driver file has them, `bytes` long.
std::string Filler(size_t bytes) {
  std::string text;
  for (int key = 0; text.size() < bytes; ++key) {
    text += "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Device" + std::to_string(key) +
            "]\r\n\"Dll\"=\"device.dll\"\r\n\"Prefix\"=\"DEV\"\r\n\"Index\"=dword:1\r\n"
            "; settings of the device\r\n\"Flags\"=hex:01,00,00,00\r\n\r\n";
  }
  text.resize(bytes - 2);
  return text + "\r\n";
}

TemplateTable FullTable() {
  TemplateTable table;
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    table[n] = {1, n, 0x3u * n, {{0, 10, 0}, {0, 5, -5}}};
  }
  return table;
}

// A driver file of `bytes` bytes holding 16 templates, at its end as a Save
// leaves them, or at its start.
std::string DriverFile(size_t bytes, bool atEnd) {
  const std::string path = "/b/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg";
  MemoryFileSystem memory;
  memory.SetFile(path, "");
  static_cast<void>(SaveTemplateTable(FullTable(), path, memory));
  const std::string sections = *memory.GetFile(path);
  const std::string filler = Filler(bytes > sections.size() + 64 ? bytes - sections.size() : 64);
  return atEnd ? filler + sections : sections + filler;
}

class DriverTree {
 public:
  explicit DriverTree(const std::string& content) {
    root_ = fs::temp_directory_path() / ("zuv8620-bench-" + std::to_string(::getpid()));
    path_ = (root_ / "Public/Korvalent/Device_Drivers/USB8620/USB8620.reg").string();
    fs::create_directories(fs::path(path_).parent_path());
    std::ofstream(path_, std::ios::binary) << content;
  }
  ~DriverTree() { fs::remove_all(root_); }
  const std::string& Path() const { return path_; }

 private:
  fs::path root_;
  std::string path_;
};

// One plain read of the whole file and one write of it back.
void ReadAndWrite(const std::string& path) {
  std::string content;
  {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    content = all.str();
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.flush();
  benchmark::DoNotOptimize(content.data());
}

void BM_Floor(benchmark::State& state) {
  DriverTree tree(DriverFile(static_cast<size_t>(state.range(0)), true));
  for (auto _ : state) ReadAndWrite(tree.Path());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Load(benchmark::State& state, bool atEnd) {
  DriverTree tree(DriverFile(static_cast<size_t>(state.range(0)), atEnd));
  TemplateTable table;
  for (auto _ : state) {
    LoadTemplateTable(table, tree.Path());
    benchmark::DoNotOptimize(&table);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Save16(benchmark::State& state, bool atEnd) {
  DriverTree tree(DriverFile(static_cast<size_t>(state.range(0)), atEnd));
  TemplateTable table = FullTable();
  for (auto _ : state) {
    // A change every time, so that every Save writes.
    table[0].ChanConfig ^= 1;
    if (!SaveTemplateTable(table, tree.Path()).ok()) state.SkipWithError("Save failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Arg(4 << 10)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMicrosecond)->UseRealTime();
}

BENCHMARK(BM_Floor)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Load, sections_at_end, true)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Load, sections_at_start, false)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Save16, sections_at_end, true)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Save16, sections_at_start, false)->Apply(Sizes);

// The console's report, and then each result again as a multiple of the
// floor of its file size.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      std::string name = run.benchmark_name();
      const std::string suffix = "/real_time";
      if (name.size() > suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        name.resize(name.size() - suffix.size());
      }
      const size_t slash = name.rfind('/');
      results_.push_back({name.substr(0, slash), name.substr(slash + 1),
                          run.GetAdjustedRealTime() * 1e-3 /* ms, from us */});
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-30s %9s %12s %12s %8s\n", "benchmark", "bytes", "time (ms)", "floor (ms)",
                "x floor");
    for (const Result& result : results_) {
      if (result.family == "BM_Floor") continue;
      double floor = 0;
      for (const Result& f : results_) {
        if (f.family == "BM_Floor" && f.size == result.size) floor = f.ms;
      }
      std::printf("%-30s %9s %12.3f %12.3f %8.1f\n", result.family.c_str(), result.size.c_str(),
                  result.ms, floor, floor > 0 ? result.ms / floor : 0.0);
    }
  }

 private:
  struct Result {
    std::string family;
    std::string size;
    double ms;
  };
  std::vector<Result> results_;
};

}  // namespace
}  // namespace zuv

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  zuv::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
