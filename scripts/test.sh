#!/usr/bin/env bash
# Builds everything (Linux and Windows products) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)

echo "== Linux build and tests"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"

# ---- Robustness of the store and of Save: the Linux tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, each fuzz target for 60 s,
# and one quick pass of the benchmarks (built by the native preset).
echo "== Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

echo "== Fuzzing, 60 s a target"
scripts/fuzz.sh 60

echo "== Benchmarks, one quick pass"
build/native/bench/zuv_bench --benchmark_min_time=0.01 --benchmark_color=false >/dev/null
# ---- end of the robustness block
