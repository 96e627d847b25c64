#!/usr/bin/env bash
# Opens the template editor under wine on a scratch copy of the sample driver
# tree (examples/Image), which leaves the sample unchanged, or on a tree of
# your own, in place. Installs what is missing and builds the Windows products
# first.
#
#   scripts/run-editor.sh                     # on the current display; with
#                                             # none, as --screenshot
#                                             # build/run-editor.png
#   --root DIR                                # edit DIR's driver file in place
#                                             # (DIR/Public/Korvalent/...), no copy
#   --driver NAME                             # the driver name DriverConfig gets
#                                             # (default USB8620A)
#   scripts/run-editor.sh --screenshot FILE   # on a virtual display (Xvfb):
#                                             # a PNG of the screen once the
#                                             # editor is up, then it is closed
#   --tab N                                   # the editor's tab N clicked first
#                                             # (0 Device, 1 AI, 2 AO, 3 DIO,
#                                             # 4 Counter)
#   --drop-down                               # then the page's first drop-down
#                                             # list opened
#   --dpi N                                   # the screen at N DPI (96, 120,
#                                             # 144, 192 ...), in a wine prefix
#                                             # of its own (build/windows/
#                                             # wineprefix-dpiN)
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$(pwd)
# ZUV_DPI (set by --dpi for the second stage): another DPI, in a prefix of
# its own whose screen has it, so that the tests' prefix stays at 96.
prefix="$checkout/build/windows/wineprefix${ZUV_DPI:+-dpi$ZUV_DPI}"
host="$checkout/build/windows/bin/zuv8620-host.exe"

# Gives the prefix's screen ZUV_DPI; wine reads it when a program starts.
set_dpi() {
  [ -z "${ZUV_DPI:-}" ] && return
  scripts/wine-run.sh --prefix "$prefix" reg add 'HKCU\Control Panel\Desktop' /v LogPixels \
    /t REG_DWORD /d "$ZUV_DPI" /f >/dev/null 2>&1
}

# Second stage of --screenshot, run by xvfb-run: start the host, wait for the
# editor, photograph the screen, let the host close it.
if [ "${1:-}" = "--inside-xvfb" ]; then
  screenshot=$2
  root=$3
  driver=$4
  shift 4
  set_dpi
  log=$(mktemp)
  scripts/wine-run.sh --prefix "$prefix" "$host" --close-after 8000 "$@" "$root" ${driver:+"$driver"} >"$log" 2>&1 &
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

usage="usage: $0 [--root DIR] [--driver NAME] [--tab N] [--drop-down] [--dpi N] [--screenshot FILE]"
own_root=""
driver=""
tab=""
drop_down=""
screenshot=""
dpi=""
while [ $# -gt 0 ]; do
  case "$1" in
    --tab)
      [ $# -ge 2 ] && [[ $2 =~ ^[0-4]$ ]] || { echo "$usage" >&2; exit 2; }
      tab=$2
      shift 2 ;;
    --root)
      [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
      [ -d "$2" ] || { echo "run-editor: no folder $2" >&2; exit 2; }
      own_root=$(realpath "$2")
      shift 2 ;;
    --driver)
      [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
      driver=$2
      shift 2 ;;
    --drop-down)
      drop_down=1
      shift ;;
    --dpi)
      [ $# -ge 2 ] && [[ $2 =~ ^[1-9][0-9]{1,2}$ ]] || { echo "$usage" >&2; exit 2; }
      dpi=$2
      shift 2 ;;
    --screenshot)
      [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
      screenshot=$(realpath -m "$2")
      shift 2 ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
# Whether a window can be shown is found out before anything is built: with
# no display that answers, the editor runs on a virtual one and is
# photographed.
if [ -z "$screenshot" ]; then
  display_answers=""
  if [ -n "${DISPLAY:-}" ]; then
    if command -v xdpyinfo >/dev/null; then
      xdpyinfo >/dev/null 2>&1 && display_answers=1
    else
      display_answers=1
    fi
  fi
  if [ -z "$display_answers" ]; then
    screenshot="$checkout/build/run-editor.png"
    echo "run-editor: no display${DISPLAY:+ answers at $DISPLAY}: the editor runs on a virtual one" \
         "and its picture goes to $screenshot." >&2
    echo "run-editor: to see it live, run this script in a desktop session or over 'ssh -X'." >&2
  fi
fi
host_args=(${tab:+--tab "$tab"} ${drop_down:+--drop-down})
export ZUV_DPI=$dpi
prefix="$checkout/build/windows/wineprefix${dpi:+-dpi$dpi}"

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
  # An 800 x 600 screen at 96 DPI, as much larger as the DPI.
  scale=${dpi:-96}
  xvfb-run -a -s "-screen 0 $((800 * scale / 96))x$((600 * scale / 96))x24" \
    "$0" --inside-xvfb "$screenshot" "$root" "$driver" "${host_args[@]}"
  echo "Screenshot written to $screenshot"
else
  set_dpi
  scripts/wine-run.sh --prefix "$prefix" "$host" "${host_args[@]}" "$root" ${driver:+"$driver"}
fi
