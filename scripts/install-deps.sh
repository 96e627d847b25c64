#!/usr/bin/env bash
# Installs, with apt-get, whatever the build and the tests need and the machine
# lacks. Safe to run again: it does nothing when everything is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  wine wine32:i386 xvfb xauth imagemagick
  python3 python3-jsonschema nlohmann-json3-dev time
  help2man zip unzip dpkg-dev build-essential debhelper lintian
  zsh shellcheck patch git
  util-linux mount
)

# dpkg's answers are kept and then matched, not piped into grep -q: grep
# stops at the first match, and dpkg could die of SIGPIPE and, under
# pipefail, turn a "yes" into a "no".
foreign=$(dpkg --print-foreign-architectures)
if ! grep -qx i386 <<<"$foreign"; then
  dpkg --add-architecture i386
  need_update=1
fi

missing=()
for package in "${packages[@]}"; do
  # dpkg-query fails for a package it does not know: that one is missing too.
  if ! state=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null) ||
     ! grep -q 'install ok installed' <<<"$state"; then
    missing+=("$package")
  fi
done

if [ "${#missing[@]}" -gt 0 ] || [ -n "${need_update:-}" ]; then
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # A mirror caught mid-sync fails one index now and then: try again, and
    # after three tries go on with the indexes apt has; the install below
    # still fails if a package cannot be had.
    for try in 1 2 3; do
      if apt-get update -qq; then break; fi
      echo "apt-get update failed (try $try of 3)" >&2
      [ "$try" = 3 ] || sleep 10
    done
    # When the security archive's index of one architecture lags behind the
    # others', the i386 libraries wine needs cannot match the amd64 ones:
    # then the point release's versions, the same on both, are taken.
    if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
      echo "apt-get install failed; trying again with the point release's versions" >&2
      apt-get install -y -qq --no-install-recommends -t bookworm "${missing[@]}" >/dev/null
    fi
  fi
fi
