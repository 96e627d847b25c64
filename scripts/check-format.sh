#!/usr/bin/env bash
# Fails when a line of C++ changed since the project took up .clang-format is
# not formatted as it says. Lines older than that keep their layout, so a
# change is never asked to reformat code it does not touch.
#
#   scripts/check-format.sh          # check (what CI runs)
#   scripts/check-format.sh --fix    # format those lines in the work tree
set -euo pipefail
cd "$(dirname "$0")/.."

if ! git rev-parse --git-dir >/dev/null 2>&1; then
  echo "check-format: not a git checkout; nothing checked"
  exit 0
fi
# The commit that added .clang-format: what changed after it is checked.
base=$(git log --diff-filter=A --format=%H -- .clang-format | tail -n 1)
if [ -z "$base" ]; then
  echo "check-format: .clang-format is not committed yet; nothing checked"
  exit 0
fi

extensions=cpp,h
if [ "${1:-}" = "--fix" ]; then
  git clang-format --binary clang-format --extensions "$extensions" --force "$base" -- . || true
  exit 0
fi

# git clang-format --diff exits 0 or, in newer versions, 1 when it prints a
# diff, and 2 when it cannot run (no clang-format, a bad commit). Its status
# alone does not tell a diff from a failure, so the diff is looked for in the
# output, and a failing status without one is an error: "no diff" is never
# read from a run that did not finish.
status=0
diff=$(git clang-format --binary clang-format --extensions "$extensions" --diff "$base" -- .) || status=$?
if grep -q '^diff --git' <<<"$diff"; then
  printf '%s\n' "$diff"
  echo "check-format: the lines above are not formatted as .clang-format says;" \
       "scripts/check-format.sh --fix formats them"
  exit 1
fi
if [ "$status" != 0 ]; then
  [ -z "$diff" ] || printf '%s\n' "$diff"
  echo "check-format: git clang-format failed (exit $status); nothing was checked" >&2
  exit 1
fi
echo "check-format: every changed line is formatted"
