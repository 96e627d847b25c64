#!/usr/bin/env bash
# Runs each fuzz target for a number of seconds (default 60):
#   scripts/fuzz.sh [SECONDS] [TARGET...]      targets: store templates document
# Builds the "fuzz" preset (clang, libFuzzer, ASan and UBSan), writes the
# targets' own seeds into build/fuzz/seeds and starts from them and from the
# real files of the shared corpus, which are only read. The inputs a run finds
# are kept in build/fuzz/corpus. An input that fails a check or crashes is
# copied to fuzz/regressions/TARGET/, where the regression test replays it in
# every test run, and the script fails.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(store templates document)
corpus_dir=${ZUV_CORPUS_DIR:-$(pwd)/../shared/corpus/wince-reg}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null
build/fuzz/fuzz/fuzz_make_seeds build/fuzz/seeds

status=0
for target in "${targets[@]}"; do
  work=build/fuzz/corpus/$target
  artifacts=build/fuzz/artifacts/$target
  mkdir -p "$work" "$artifacts"
  seeds=(build/fuzz/seeds/"$target")
  for folder in fuzz/regressions/"$target" "$corpus_dir"; do
    if [ -d "$folder" ]; then seeds+=("$folder"); fi
  done
  echo "== fuzz_$target for ${seconds}s"
  # A run longer than 10 s fails: the seeds hold shapes (10 000 values in one
  # key, a 200 KB comment line) that a search quadratic in them makes take
  # minutes, where a linear one takes well under a second.
  if ! build/fuzz/fuzz/fuzz_"$target" "$work" "${seeds[@]}" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" >"build/fuzz/$target.log" 2>&1; then
    status=1
    tail -n 40 "build/fuzz/$target.log"
    for found in "$artifacts"/*; do
      [ -f "$found" ] || continue
      mkdir -p "fuzz/regressions/$target"
      cp "$found" "fuzz/regressions/$target/"
      echo "kept $found as fuzz/regressions/$target/$(basename "$found")"
    done
  else
    grep -E '^(Done|stat::number_of_executed_units)' "build/fuzz/$target.log" || true
  fi
done
exit "$status"
