#!/usr/bin/env bash
# Runs a Windows program under wine in a prefix of the build's own, so that
# neither a user's prefix is touched nor does a first start offer to install
# anything. A program that crashes exits with a failure code (no debugger
# window), and windows are not left to a window manager: on a virtual display
# there is none, and wine would wait for it each time a window is hidden.
#   wine-run.sh [--prefix DIR] PROGRAM [ARGUMENTS...]
# Without --prefix: $WINEPREFIX, or build/windows/wineprefix of this checkout.
set -euo pipefail

if [ "${1:-}" = "--prefix" ]; then
  WINEPREFIX=$2
  shift 2
fi
: "${WINEPREFIX:=$(cd "$(dirname "$0")/.." && pwd)/build/windows/wineprefix}"
export WINEPREFIX
export WINEARCH=win32
export WINEDLLOVERRIDES="mscoree=;mshtml=;winedbg.exe=d"
export WINEDEBUG=-all
mkdir -p "$(dirname "$WINEPREFIX")"

# The first start creates and configures the prefix, once, even when several
# programs start at the same time.
if [ ! -e "$WINEPREFIX/.zuv-configured" ]; then
  (
    flock 9
    if [ ! -e "$WINEPREFIX/.zuv-configured" ]; then
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
      touch "$WINEPREFIX/.zuv-configured"
    fi
  ) 9>"$WINEPREFIX.lock"
fi

exec wine "$@"
