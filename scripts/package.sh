#!/usr/bin/env bash
# Builds the release packages into dist/:
#   ZUV8620Ude-VERSION-win32.zip        ZUV8620Ude.dll, zuv8620.exe, zuv8620-host.exe
#                                       (stripped), the document's schema,
#                                       examples/, and README.txt, LICENSE.txt,
#                                       THIRD-PARTY.txt with CR LF line ends
#   ZUV8620Ude-VERSION-win32-debug.zip  their debug symbols (FILE.debug, named in
#                                       each binary's .gnu_debuglink)
#   zuv8620_VERSION_ARCH.deb            the Linux zuv8620 (hardened), its manual
#                                       pages, the document's schema, its bash and
#                                       zsh completion, README, copyright (DEP-5)
#                                       and changelog.gz (NEWS), md5sums; the GCC
#                                       runtime linked in, named by
#                                       Static-Built-Using
#
# The Debian source package in debian/ builds the same program with the
# shared C++ runtime (dpkg-buildpackage; tests/check_packages.sh does).
#
# The package's maintainer is the project (DEB_MAINTAINER overrides it).
#
#   scripts/package.sh [--out DIR] [--build-dir DIR]
#   scripts/package.sh --check-reproducible [--out DIR]
#
# The release builds live in build/release-native and build/release-windows
# (presets of the same names), apart from the development builds. The packages
# are reproducible: the same commit gives the same bytes. Every time in them is
# SOURCE_DATE_EPOCH (by default the last commit's time), the archives list
# their files sorted, with fixed permissions and owners.
#
# --check-reproducible builds everything twice from scratch, in two temporary
# folders, compares the packages byte for byte (exit 1 when they differ) and
# leaves the first run's packages in the output folder.
set -euo pipefail
maintainer=${DEB_MAINTAINER:-The ZUV8620Ude developers <zuv8620ude@users.noreply.github.com>}
cd "$(dirname "$0")/.."
source_dir=$PWD

out="$source_dir/dist"
builds="$source_dir/build"
check=
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=$(realpath -m "$2"); shift 2 ;;
    --build-dir) builds=$(realpath -m "$2"); shift 2 ;;
    --check-reproducible) check=1; shift ;;
    -h|--help) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "package.sh: unknown argument '$1' (see --help)" >&2; exit 2 ;;
  esac
done

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
    { echo "package.sh: not a git checkout: set SOURCE_DATE_EPOCH" >&2; exit 2; }
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
umask 022
jobs=${JOBS:-$(nproc)}

if [ -n "$check" ]; then
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  for run in 1 2; do
    echo "== Package build $run of 2, from scratch in $scratch/$run"
    "$0" --build-dir "$scratch/$run/build" --out "$scratch/$run/dist"
  done
  echo "== Comparing"
  (cd "$scratch/1/dist" && sha256sum -- *)
  if diff -r "$scratch/1/dist" "$scratch/2/dist"; then
    mkdir -p "$out"
    cp "$scratch/1/dist"/* "$out/"
    echo "reproducible: both builds gave the same bytes ($(ls "$scratch/1/dist" | wc -l) files, in $out)"
  else
    rm -rf "$out/differing" && mkdir -p "$out/differing"
    cp -r "$scratch/1/dist" "$out/differing/1" && cp -r "$scratch/2/dist" "$out/differing/2"
    echo "NOT reproducible: the two builds differ; both are kept in $out/differing" \
         "(diffoscope 1/FILE 2/FILE shows where)" >&2
    exit 1
  fi
  exit 0
fi

# ---- builds
# The manual page is dated SOURCE_DATE_EPOCH, which the build cannot see
# change: it is made again every time.
rm -f "$builds/release-native/cli/zuv8620.1.gz" "$builds/release-native/cli/zuv8620-document.5.gz"
for preset in release-native release-windows; do
  echo "== Build $preset in $builds/$preset"
  cmake --preset "$preset" -B "$builds/$preset" >/dev/null
  cmake --build "$builds/$preset" -j "$jobs"
done
version=$(sed -n 's/^#define ZUV_VERSION "\(.*\)"$/\1/p' "$builds/release-native/generated/zuv_version.h")
[ -n "$version" ] || { echo "package.sh: no version in the build" >&2; exit 1; }

staging="$builds/package"
rm -rf "$staging"
mkdir -p "$staging" "$out"

# Fixed modes and times for everything under $1: programs and folders 755,
# other files 644, all dated SOURCE_DATE_EPOCH.
normalize() (
  cd "$1"
  find . -type d -exec chmod 755 {} +
  find . -type f -exec chmod 644 {} +
  find . -type f \( -name '*.exe' -o -name '*.dll' -o -path './usr/bin/*' \) -exec chmod 755 {} +
  find . -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
)

# zip_tree ZIP DIR: DIR (a folder in $staging) into ZIP with its files in name
# order, no folder entries and no extra fields (owners, times beyond the DOS one).
zip_tree() {
  rm -f "$1"
  (cd "$staging" && find "$2" -type f | sort | zip -X -D -9 -q "$1" -@)
}

# ---- Windows zip and its debug symbols
mingw=i686-w64-mingw32
windows_name="ZUV8620Ude-$version-win32"
windows="$staging/$windows_name"
symbols="$staging/$windows_name-debug"
cmake --install "$builds/release-windows" --prefix "$windows" >/dev/null
mkdir -p "$symbols"
for binary in ZUV8620Ude.dll zuv8620.exe zuv8620-host.exe; do
  "$mingw-objcopy" --only-keep-debug "$windows/$binary" "$symbols/$binary.debug"
  "$mingw-strip" --strip-all "$windows/$binary"
  "$mingw-objcopy" --add-gnu-debuglink="$symbols/$binary.debug" "$windows/$binary"
done
normalize "$windows"
normalize "$symbols"
zip_tree "$out/$windows_name.zip" "$windows_name"
zip_tree "$out/$windows_name-debug.zip" "$windows_name-debug"

# ---- Debian package
architecture=$(dpkg --print-architecture)
# The package's tree where dpkg-shlibdeps expects it: debian/PACKAGE.
deb="$staging/debian/zuv8620"
DESTDIR="$deb" cmake --install "$builds/release-native" >/dev/null
[ -f "$deb/usr/share/man/man1/zuv8620.1.gz" ] || { echo "package.sh: no manual page (help2man?)" >&2; exit 1; }
for completion in bash-completion/completions/zuv8620 zsh/vendor-completions/_zuv8620; do
  [ -f "$deb/usr/share/$completion" ] || { echo "package.sh: no $completion" >&2; exit 1; }
done
strip --remove-section=.comment --remove-section=.note --strip-unneeded "$deb/usr/bin/zuv8620"
doc="$deb/usr/share/doc/zuv8620"
cp packaging/copyright "$doc/copyright"
mkdir -p "$deb/usr/share/lintian/overrides"
cp packaging/lintian-overrides "$deb/usr/share/lintian/overrides/zuv8620"
# NEWS is kept in the Debian changelog's form: it is the native package's changelog.
gzip -n -9 -c NEWS >"$doc/changelog.gz"

# The libraries' packages and versions the program needs, from the symbols it
# uses. dpkg-shlibdeps finds the package's tree by its DEBIAN folder.
mkdir -p "$deb/DEBIAN"
printf 'Source: zuv8620\n\nPackage: zuv8620\nArchitecture: any\n' >"$staging/debian/control"
depends=$(cd "$staging" && dpkg-shlibdeps -O "$deb/usr/bin/zuv8620" | sed -n 's/^shlibs:Depends=//p')
# The GCC runtime linked into the program (cli/CMakeLists.txt): the source
# packages of its static libraries, as Static-Built-Using names them.
compiler=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$builds/release-native/CMakeCache.txt")
static_built_using=$(
  for library in libstdc++.a libgcc.a libgcc_eh.a; do
    path=$(realpath -e "$("$compiler" -print-file-name="$library")") &&
      owner=$(dpkg-query -S "$path") &&
      dpkg-query -W -f='${source:Package} (= ${source:Version})\n' "${owner%%: *}" || exit 1
  done | sort -u | paste -sd , | sed 's/,/, /g')
[ -n "$static_built_using" ] || { echo "package.sh: no package of the GCC runtime" >&2; exit 1; }

# In KiB as dpkg counts it: each file rounded up, one for each other entry;
# the same on every file system, unlike du.
installed_size=$(cd "$deb" && find usr -printf '%y %s\n' |
  awk '$1 == "f" { size += int(($2 + 1023) / 1024); next } { size += 1 } END { print size }')
cat >"$deb/DEBIAN/control" <<EOF
Package: zuv8620
Version: $version
Architecture: $architecture
Maintainer: $maintainer
Installed-Size: $installed_size
Depends: $depends
Static-Built-Using: $static_built_using
Section: utils
Priority: optional
Description: edit the device setting templates of USB-8620A driver files
 zuv8620 makes the template editor's edits (add, remove, set, save) on a
 driver's registry text file from scripts, with the same bytes as the
 editor's Save, and checks such files for problems. The templates can be
 exported as a JSON document and applied again.
EOF
(cd "$deb" && find usr -type f | LC_ALL=C sort | xargs -d '\n' md5sum) >"$deb/DEBIAN/md5sums"
normalize "$deb"
# One compressor thread: xz's output must not depend on the machine's cores.
dpkg-deb --root-owner-group -Zxz --threads-max=1 --build "$deb" "$out/zuv8620_${version}_$architecture.deb" >/dev/null

echo "== Packages in $out"
(cd "$out" && ls -l "$windows_name.zip" "$windows_name-debug.zip" "zuv8620_${version}_$architecture.deb")
