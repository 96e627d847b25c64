#!/usr/bin/env bash
# Makes the release packages with scripts/package.sh into OUT and checks what
# a user gets: the zip's and the debug archive's files, exactly; a DLL that a
# host can load as it is; stripped binaries that name their debug files and
# carry the version resource; the Debian package's files, control fields,
# manual page and --version; then builds the Debian source package (debian/)
# with dpkg-buildpackage, where it is installed, and checks it with lintian.
# Every check matches a command's output kept in a variable, never piped into
# grep -q: grep stops reading at the first match, the command writing may then
# die of SIGPIPE, and pipefail would fail the check at random. A command that
# fails is a failure of its own, so that a check for something absent cannot
# pass on an output that is missing.
#   check_packages.sh VERSION MINGW_PREFIX OUT   (prefix: i686-w64-mingw32-)
set -euo pipefail
version=$1 objdump=${2}objdump windres=${2}windres out=$3
source_dir=$(cd "$(dirname "$0")/.." && pwd)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_eq() { [ "$2" = "$3" ] || fail "$1: got '$2', expected '$3'"; }

rm -rf "$out"
"$source_dir/scripts/package.sh" --out "$out/dist" >"$out.log" 2>&1 || { cat "$out.log" >&2; exit 1; }
cd "$out/dist"
win=ZUV8620Ude-$version-win32
deb=zuv8620_${version}_$(dpkg --print-architecture).deb

expect_eq "zip" "$(unzip -Z1 "$win.zip" | tr '\n' ' ')" "$win/LICENSE.txt $win/README.txt $win/THIRD-PARTY.txt \
$win/ZUV8620Ude.dll $win/examples/Image/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg \
$win/template-document.schema.json $win/zuv8620-host.exe $win/zuv8620.exe "
expect_eq "debug zip" "$(unzip -Z1 "$win-debug.zip" | tr '\n' ' ')" \
  "$win-debug/ZUV8620Ude.dll.debug $win-debug/zuv8620-host.exe.debug $win-debug/zuv8620.exe.debug "
unzip -q "$win.zip" -d "$out/win"
unzip -q "$win-debug.zip" -d "$out/win"
"$source_dir/tests/check_dll_exports.sh" "$objdump" "$out/win/$win/ZUV8620Ude.dll" >/dev/null || fail "the zip's DLL"
cmp -s "$out/win/$win/examples/Image/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg" \
  "$source_dir/examples/Image/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg" || fail "sample file changed"
# The zip's texts are read with Notepad on Windows: every line ends in CR LF,
# and the README speaks of no Linux manual page or path.
for text in README.txt LICENSE.txt THIRD-PARTY.txt; do
  bare=$(awk '!/\r$/ { n++ } END { print NR ? n + 0 : "no lines" }' "$out/win/$win/$text") ||
    fail "awk failed on $text"
  expect_eq "$text: lines without CR LF" "$bare" 0
done
readme=$(cat "$out/win/$win/README.txt") || fail "no README.txt"
[ -n "$readme" ] || fail "README.txt is empty"
if grep -Eq '\<man |/usr/|\.deb\>|@[A-Z_]+@' <<<"$readme"; then fail "README.txt names a Linux manual page or path"; fi
# The host opens no console window; the command-line tool is a console program.
for binary in zuv8620-host.exe:2 zuv8620.exe:3; do
  headers=$("$objdump" -p "$out/win/$win/${binary%:*}") || fail "$objdump -p failed on ${binary%:*}"
  subsystem=$(sed -n 's/^Subsystem[[:space:]]*0*\([0-9]*\).*/\1/p' <<<"$headers")
  expect_eq "${binary%:*}: PE subsystem" "$subsystem" "${binary#*:}"
done
for binary in ZUV8620Ude.dll zuv8620.exe zuv8620-host.exe; do
  sections=$("$objdump" -h "$out/win/$win/$binary") || fail "$objdump -h failed on $binary"
  if grep -q "\.debug_info" <<<"$sections"; then fail "$binary is not stripped"; fi
  # The section's text: the dump's character column, its lines joined.
  dump=$("$objdump" -s -j .gnu_debuglink "$out/win/$win/$binary") || fail "$objdump -s failed on $binary"
  link=$(sed -n 's/^ [0-9a-f]\+ .\{35\}  //p' <<<"$dump" | tr -d '\n')
  [[ "$link" == "$binary.debug."* ]] || fail "$binary names no debug file: '$link'"
  sections=$("$objdump" -h "$out/win/$win-debug/$binary.debug") || fail "$objdump -h failed on $binary.debug"
  grep -q "\.debug_info" <<<"$sections" || fail "$binary.debug holds no debug information"
  resources=$("$windres" -J coff -i "$out/win/$win/$binary" -O rc) || fail "$windres failed on $binary"
  grep -q "VALUE \"FileVersion\", \"$version\"" <<<"$resources" || fail "$binary has no version resource $version"
done

dpkg-deb -x "$deb" "$out/deb"
expect_eq "deb files" "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort | tr '\n' ' ')" \
  "./usr/bin/zuv8620 ./usr/share/bash-completion/completions/zuv8620 ./usr/share/doc/zuv8620/README \
./usr/share/doc/zuv8620/changelog.gz ./usr/share/doc/zuv8620/copyright ./usr/share/lintian/overrides/zuv8620 \
./usr/share/man/man1/zuv8620.1.gz \
./usr/share/man/man5/zuv8620-document.5.gz ./usr/share/zsh/vendor-completions/_zuv8620 \
./usr/share/zuv8620/template-document.schema.json "
expect_eq "Maintainer" "$(dpkg-deb -f "$deb" Maintainer)" \
  "The ZUV8620Ude developers <zuv8620ude@users.noreply.github.com>"
(cd "$out/deb" && dpkg-deb -I "$out/dist/$deb" md5sums | md5sum --quiet -c) || fail "md5sums"
# Hardened as Debian's packages: PIE, read-only relocations bound at start,
# the stack protector and fortified functions.
program="$out/deb/usr/bin/zuv8620"
header=$(readelf -h "$program") || fail "readelf -h failed on zuv8620"
grep -q "Type: *DYN" <<<"$header" || fail "zuv8620 is not PIE"
segments=$(readelf -lW "$program") || fail "readelf -l failed on zuv8620"
grep -q GNU_RELRO <<<"$segments" || fail "zuv8620 has no RELRO"
dynamic=$(readelf -dW "$program") || fail "readelf -d failed on zuv8620"
grep -q "FLAGS.*BIND_NOW\|FLAGS_1.*NOW" <<<"$dynamic" || fail "zuv8620 is not bound now"
symbols=$(readelf --dyn-syms -W "$program") || fail "readelf --dyn-syms failed on zuv8620"
grep -q "__stack_chk_fail" <<<"$symbols" || fail "zuv8620 has no stack protector"
# A fortified function's name ends in _chk (__memcpy_chk@GLIBC_2.3.4);
# __stack_chk_fail's does not.
grep -q "__[a-z0-9_]*_chk@" <<<"$symbols" || fail "zuv8620 has no fortified functions"
if command -v lintian >/dev/null; then
  # Errors and warnings fail; the info and pedantic tags that stay are
  # explained in the README. With --fail-on none lintian exits non-zero only
  # when it could not check the package; the tags are read from its output.
  lintian -EvIL +pedantic --tag-display-limit 0 --fail-on none "$deb" >"$out/lintian.txt" 2>&1 ||
    fail "lintian did not run to the end: see $out/lintian.txt"
  if grep -E "^[EW]: " "$out/lintian.txt" >&2; then fail "lintian: errors or warnings (above)"; fi
fi
expect_eq "Package" "$(dpkg-deb -f "$deb" Package)" zuv8620
expect_eq "Version" "$(dpkg-deb -f "$deb" Version)" "$version"
depends=$(dpkg-deb -f "$deb" Depends) || fail "dpkg-deb -f failed on $deb"
grep -q "^libc6 (>= " <<<"$depends" || fail "Depends: $depends"
# The GCC runtime is linked into the program: the field names its source.
static=$(dpkg-deb -f "$deb" Static-Built-Using) || fail "dpkg-deb -f failed on $deb"
grep -q "^gcc-[0-9]* (= " <<<"$static" || fail "Static-Built-Using: '$static'"
sections=$(readelf -S "$program") || fail "readelf -S failed on zuv8620"
if grep -q "\.debug_info" <<<"$sections"; then fail "zuv8620 in the .deb is not stripped"; fi
expect_eq "--version" "$("$out/deb/usr/bin/zuv8620" --version)" "zuv8620 $version"
manual=$(zcat "$out/deb/usr/share/man/man1/zuv8620.1.gz") || fail "zcat failed on the manual page"
grep -q '^\.TH ZUV8620 "1" .* "zuv8620 '"$version"'"' <<<"$manual" || fail "manual page header"
for completion in /usr/share/bash-completion/completions/zuv8620 /usr/share/zsh/vendor-completions/_zuv8620; do
  grep -qF "$completion" <<<"$manual" || fail "the manual page does not name $completion"
done
bash -n "$out/deb/usr/share/bash-completion/completions/zuv8620" || fail "bash completion syntax"

# No input a fuzz target failed on is committed outside fuzz/regressions/: it
# would go into the source package.
tracked=$(git -C "$source_dir" ls-files) || fail "git ls-files failed"
[ -n "$tracked" ] || fail "git ls-files listed no file"
stray=$(awk '/(^|\/)(crash|leak|timeout|oom|slow-unit)-[^\/]*$/ && !/^fuzz\/regressions\//' <<<"$tracked")
expect_eq "fuzz inputs committed outside fuzz/regressions/" "$stray" ""

# The Debian source package (debian/), built by dpkg-buildpackage as a
# distribution builds it, in a folder whose path holds a blank, from this
# checkout's files (committed or not; none that git ignores) and an orig
# tarball made of them; lintian checks the source and the binary package with
# the Debian and the Ubuntu profile.
if command -v dpkg-buildpackage >/dev/null && command -v dh >/dev/null; then
  debian_version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version) ||
    fail "dpkg-parsechangelog failed"
  expect_eq "debian/changelog's upstream version" "${debian_version%-*}" "$version"
  parent="$out/source package"
  tree="$parent/zuv8620-$version"
  mkdir -p "$tree"
  (cd "$source_dir" && git ls-files -z -co --exclude-standard |
    while IFS= read -r -d '' file; do if [ -e "$file" ]; then printf '%s\0' "$file"; fi; done |
    xargs -0 cp -P --parents -t "$tree") || fail "copying the checkout"
  tar -C "$parent" --exclude="zuv8620-$version/debian" --sort=name --owner=0 --group=0 --numeric-owner \
    --mtime="@$(git -C "$source_dir" log -1 --format=%ct)" -cJf "$parent/zuv8620_$version.orig.tar.xz" \
    "zuv8620-$version" || fail "orig tarball"
  started=$SECONDS
  if (cd "$tree" && DEB_BUILD_OPTIONS="parallel=$(nproc)" dpkg-buildpackage -us -uc) >"$out/dpkg-buildpackage.log" 2>&1; then
    echo "dpkg-buildpackage: $((SECONDS - started)) s"
    changes="$parent/zuv8620_${debian_version}_$(dpkg --print-architecture).changes"
    for profile in debian ubuntu; do
      # An Ubuntu upload names an Ubuntu release in debian/changelog.
      suppress=(); [ "$profile" = debian ] || suppress=(--suppress-tags bad-distribution-in-changes-file)
      lintian --profile "$profile" "${suppress[@]}" -EvIL +pedantic --tag-display-limit 0 --fail-on none \
        "$changes" >"$out/lintian-source-$profile.txt" 2>&1 || fail "lintian ($profile) did not run to the end"
      if grep -E "^[EW]: " "$out/lintian-source-$profile.txt" >&2; then fail "lintian ($profile): errors or warnings"; fi
    done
    sdeb="$parent/zuv8620_${debian_version}_$(dpkg --print-architecture).deb"
    expect_eq "source-built deb files" "$(dpkg-deb -c "$sdeb" | awk '$1 !~ /^d/ { print $6 }' | sort | tr '\n' ' ')" \
      "./usr/bin/zuv8620 ./usr/share/bash-completion/completions/zuv8620 ./usr/share/doc/zuv8620/README \
./usr/share/doc/zuv8620/changelog.Debian.gz ./usr/share/doc/zuv8620/copyright \
./usr/share/doc/zuv8620/examples/Image/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg \
./usr/share/lintian/overrides/zuv8620 \
./usr/share/man/man1/zuv8620.1.gz ./usr/share/man/man5/zuv8620-document.5.gz \
./usr/share/zsh/vendor-completions/_zuv8620 ./usr/share/zuv8620/template-document.schema.json "
    # A distribution's program links the shared C++ runtime.
    dpkg-deb -x "$sdeb" "$out/source-deb"
    dynamic=$(readelf -dW "$out/source-deb/usr/bin/zuv8620") || fail "readelf -d failed on the source-built zuv8620"
    grep -q "NEEDED.*\[libstdc++\.so\.6\]" <<<"$dynamic" || fail "the source-built zuv8620 does not link libstdc++.so.6"
  else
    tail -n 30 "$out/dpkg-buildpackage.log" >&2
    fail "dpkg-buildpackage failed: see $out/dpkg-buildpackage.log"
  fi
fi

[ "$failures" = 0 ] || exit 1
echo "ok: $win.zip, $win-debug.zip and $deb"
