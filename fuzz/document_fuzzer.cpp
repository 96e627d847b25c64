// libFuzzer target: CheckDocument on every input; a finding aborts with its text.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string failure = zuv::fuzz::CheckDocument(data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "CheckDocument: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
