#!/usr/bin/env bash
# Opens the template editor under wine on a scratch copy of the sample driver
# tree (examples/Image), which leaves the sample unchanged, or on a tree of
# your own, in place. Installs what is missing and builds the Windows products
# first.
#
#   scripts/run-editor.sh                     # on the current display
#   --root DIR                                # edit DIR's driver file in place
#                                             # (DIR/Public/Korvalent/...), no copy
#   --driver NAME                             # the driver name DriverConfig gets
#                                             # (default USB8620A)
#   --tab N                                   # the editor's tab N clicked first
#                                             # (0 Device, 1 AI, 2 AO, 3 DIO,
#                                             # 4 Counter)
#   --screenshot FILE                         # on a virtual display (Xvfb):
#                                             # a PNG of the screen once the
#                                             # editor is up, then it is closed
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$(pwd)
prefix="$checkout/build/windows/wineprefix"
host="$checkout/build/windows/bin/zuv8620-host.exe"

# Second stage of --screenshot, run by xvfb-run: start the host, wait for the
# editor, photograph the screen, let the host close it.
if [ "${1:-}" = "--inside-xvfb" ]; then
  screenshot=$2
  root=$3
  tab_args=(${4:+--tab "$4"})
  driver_args=(${5:+"$5"})
  log=$(mktemp)
  scripts/wine-run.sh --prefix "$prefix" "$host" --close-after 8000 "${tab_args[@]}" "$root" "${driver_args[@]}" >"$log" 2>&1 &
  host_pid=$!
  for _ in $(seq 1 600); do
    grep -q "DriverConfig returned" "$log" && break
    kill -0 "$host_pid" 2>/dev/null || break
    sleep 0.2
  done
  if ! grep -q "DriverConfig returned" "$log"; then
    cat "$log" >&2
    echo "run-editor: the editor did not come up" >&2
    exit 1
  fi
  sleep 2  # let it paint
  import -window root "$screenshot"
  wait "$host_pid"
  rm -f "$log"
  exit 0
fi

usage="usage: $0 [--root DIR] [--driver NAME] [--tab N] [--screenshot FILE]"
tab=""
own_root=""
driver=""
screenshot=""
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
  case $1 in
    --tab) [[ $2 =~ ^[0-4]$ ]] || { echo "$usage" >&2; exit 2; }; tab=$2 ;;
    --root) [ -d "$2" ] || { echo "run-editor: no folder $2" >&2; exit 2; }; own_root=$(realpath "$2") ;;
    --driver) driver=$2 ;;
    --screenshot) screenshot=$(realpath -m "$2") ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
  shift 2
done

scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" --target ZUV8620Ude zuv8620-host

if [ -n "$own_root" ]; then
  tree=$own_root
else
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  cp -r examples/Image "$scratch/"
  tree=$scratch/Image
fi
# The root as wine sees it: drive Z: is the Linux root; it ends with "\".
root="Z:$(echo "${tree%/}/" | tr / '\\')"

if [ -n "$screenshot" ]; then
  mkdir -p "$(dirname "$screenshot")"
  xvfb-run -a -s "-screen 0 800x600x24" "$0" --inside-xvfb "$screenshot" "$root" "$tab" "$driver"
  echo "Screenshot written to $screenshot"
else
  if [ -z "${DISPLAY:-}" ]; then
    echo "run-editor: no display; use --screenshot FILE to run on a virtual one" >&2
    exit 1
  fi
  scripts/wine-run.sh --prefix "$prefix" "$host" ${tab:+--tab "$tab"} "$root" ${driver:+"$driver"}
fi
