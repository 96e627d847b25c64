#!/usr/bin/env bash
# Builds everything (Linux and Windows products) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT

# Runs ctest with the given arguments, keeping its closing count for the total.
run_ctest() {
  ctest "$@" | tee -a "$summary"
}

echo "== Format of the lines changed since .clang-format was taken up"
scripts/check-format.sh

echo "== Linux build and tests"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
run_ctest --preset native -j "$jobs"

echo "== Windows build and tests (under wine, on a virtual display)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"

# The Windows tests run under wine on one virtual display, with one wine
# server for the whole run in the build's own prefix: the first start of a
# fresh prefix, which is slow, happens once, before the tests. wine's desktop
# process must start on that display, so everything runs inside xvfb-run.
export WINEPREFIX="$PWD/build/windows/wineprefix"
export WINEARCH=win32
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -eu
  scripts/wine-run.sh wineboot -i
  wineserver -p || true  # one already running is kept
  trap "wineserver -k || true" EXIT
  ctest --preset windows -j "$1"
' windows-tests "$jobs" | tee -a "$summary"

# The native tests above check what the packages hold; this builds them twice
# from scratch (about 4 minutes) and compares the bytes.
echo "== Release packages: reproducible?"
run_ctest --preset reproducible

# ---- Robustness of the store and of Save: the Linux tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, each fuzz target for 60 s,
# one quick pass of the benchmarks (built by the native preset), and the times
# of `zuv8620` against the floor of a durable edit, printed only: no figure
# fails the run.
echo "== Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
run_ctest --preset asan -j "$jobs"

echo "== Fuzzing, 60 s a target"
scripts/fuzz.sh 60

echo "== Benchmarks, one quick pass"
build/native/bench/zuv_bench --benchmark_min_time=0.01 --benchmark_color=false >/dev/null

echo "== zuv8620 against the floor of a durable edit (figures only, a few minutes)"
bench/compare_floor.py
# ---- end of the robustness block

# One closing line for the whole run, added up from every ctest run above.
awk '/tests passed, [0-9]+ tests? failed out of/ {
       for (i = 1; i <= NF; i++) if ($i == "of") total += $(i + 1)
       failed += $4
     }
     END { printf "%d passed, %d failed\n", total - failed, failed }' "$summary"
