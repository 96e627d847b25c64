#!/usr/bin/env bash
# Runs each fuzz target for a number of seconds (default 60):
#   scripts/fuzz.sh [SECONDS] [TARGET...]      targets: store templates document
# Builds the "fuzz" preset (clang, libFuzzer, ASan and UBSan), writes the
# targets' own seeds into build/fuzz/seeds and starts from them and from the
# real files of the shared corpus, which are only read. Inputs are bounded to
# 16 KiB (-max_len), so that no execution reads more than that: the large
# shapes (10 000 values in one key, a 200 KB comment line, 20 000 nested
# blocks) are not mutated but replayed by the regression test and timed by
# bench/compare_floor.py; newly covered functions are not printed (naming
# each runs a symbolizer, which slows a short run down). Prints each
# target's executions per second, of wall time and of the CPU time it had.
# The inputs a run finds are kept in build/fuzz/corpus. An input that fails a
# check or crashes is copied to fuzz/regressions/TARGET/, where the regression
# test replays it in every test run, and the script fails.
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

# AddressSanitizer records no stack of each allocation and release
# (malloc_context_size=0): a run allocates all the time, and recording the
# stacks slows every allocation. Every memory error is found as before; its
# report names where it happened but not where the memory was allocated or
# freed, which the regression test's replay of the kept input (asan preset)
# shows in full. ASAN_OPTIONS given to the script come after and win.
export ASAN_OPTIONS="malloc_context_size=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"

# libFuzzer's entropic schedule keeps a list of the coverage features it
# counts as rare, those met at most N times so far
# (-entropic_feature_frequency_threshold, 255 unless given), and looks up
# every feature of every execution in that list, one by one. The templates
# target meets most of its many features seldom, so with 255 the list is
# long and the look-ups are a large part of its time. At 16 the list keeps
# the features met at most 16 times (and never fewer than the 100 rarest),
# and the look-ups are a small part. The inputs, the checks and what they
# catch are the same; what changes is which inputs the schedule mutates most:
# an input's weight is reckoned from the rare features it meets, and a
# feature met 17 to 255 times no longer adds to it. Runs from the same seeds
# reached as many edges and features with 16 as with 255. The store and
# document targets run with the same schedule.
schedule=(-entropic_feature_frequency_threshold=16)

# libFuzzer writes every input it keeps into its working corpus as a file of
# its own, and replaces the files of inputs it makes smaller: thousands of
# small files in a run's first seconds, whose creation on disk slows the
# run. The working corpus is therefore a folder in memory (/dev/shm, when
# there is one) that starts empty; build/fuzz/corpus/TARGET, where the inputs
# of earlier runs are kept, is read as seeds, and what the run kept is copied
# there when it ends.
memory=
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  memory=$(mktemp -d /dev/shm/zuv-fuzz.XXXXXX)
  trap 'rm -rf "$memory"' EXIT
fi

status=0
for target in "${targets[@]}"; do
  kept=build/fuzz/corpus/$target
  work=$kept
  # libFuzzer writes an input that fails (crash-*, leak-*, timeout-*, oom-*)
  # into this folder (-artifact_prefix), not into the current one. It starts
  # empty, so that what is copied and named below is this run's finding only.
  artifacts=build/fuzz/artifacts/$target
  rm -rf "$artifacts"
  mkdir -p "$kept" "$artifacts"
  seeds=(build/fuzz/seeds/"$target")
  if [ -n "$memory" ]; then
    work=$memory/$target
    mkdir -p "$work"
    seeds+=("$kept")
  fi
  for folder in fuzz/regressions/"$target" "$corpus_dir"; do
    if [ -d "$folder" ]; then seeds+=("$folder"); fi
  done
  # The words of the registry text, for the targets that read one.
  words=()
  case "$target" in store | templates) words=(-dict=fuzz/registry.dict) ;; esac
  echo "== fuzz_$target for ${seconds}s"
  # A run longer than 10 s fails: no 16 KiB input takes that long unless a
  # search goes back over the text again and again.
  # The CPU time the run had goes beside its wall time: on a machine shared
  # with other work the executions per second of CPU tell what the target costs.
  TIMEFORMAT='%U %S'
  if ! { time build/fuzz/fuzz/fuzz_"$target" "$work" "${seeds[@]}" -max_len=16384 -print_funcs=0 "${words[@]}" \
      "${schedule[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" >"build/fuzz/$target.log" 2>&1; } 2>"build/fuzz/$target.cpu"; then
    status=1
    tail -n 40 "build/fuzz/$target.log"
    found_any=
    for found in "$artifacts"/*; do
      [ -f "$found" ] || continue
      mkdir -p "fuzz/regressions/$target"
      cp "$found" "fuzz/regressions/$target/"
      echo "kept $found as fuzz/regressions/$target/$(basename "$found")"
      found_any=1
    done
    [ -n "$found_any" ] || echo "fuzz_$target failed and left no input; its log: build/fuzz/$target.log"
  else
    # "Done N runs in S second(s)": the executions a second, of wall and of CPU time.
    runs_seconds=$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\1 \2/p' "build/fuzz/$target.log")
    # What the run reached, which is what judges it: the code edges (cov) and
    # the features (ft) of its last status line.
    reached=$(sed -n 's/^#[0-9]*.* cov: \([0-9]*\) ft: \([0-9]*\).*/\1 \2/p' "build/fuzz/$target.log" | tail -n 1)
    echo "${reached:-0 0} $runs_seconds $(cat "build/fuzz/$target.cpu")" |
      awk -v t="$target" '{ cpu = $5 + $6; printf "fuzz_%s: cov %d, ft %d; %d runs in %d s, %.0f executions/s, %.0f per second of CPU (%.0f s)\n", t, $1, $2, $3, $4, $3 / ($4 > 0 ? $4 : 1), $3 / (cpu > 0 ? cpu : 1), cpu }'
  fi
  # The inputs the run kept join those of earlier runs (files are named by
  # their contents' hash: one already there is the same input).
  if [ "$work" != "$kept" ]; then
    find "$work" -maxdepth 1 -type f -exec cp -n -t "$kept" {} +
  fi
done
exit "$status"
