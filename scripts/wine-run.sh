#!/usr/bin/env bash
# Runs a Windows program under wine in a prefix of the build's own, so that
# neither a user's prefix is touched nor does a first start offer to install
# anything.
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
export WINEDLLOVERRIDES="mscoree=;mshtml="
export WINEDEBUG=-all
mkdir -p "$(dirname "$WINEPREFIX")"

exec wine "$@"
