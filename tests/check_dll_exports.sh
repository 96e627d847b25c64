#!/usr/bin/env bash
# Checks the library's module as a host sees it: a 32-bit x86 DLL named
# ZUV8620Ude.dll whose only export is DriverConfig, undecorated, ordinal 1,
# and which imports nothing but system DLLs (the C++ runtime is linked in),
# and of them only functions that Windows Vista, the oldest Windows the
# library supports, has: those listed in dll_imports_vista.txt beside this.
#   check_dll_exports.sh OBJDUMP DLL
set -euo pipefail
objdump=$1
dll=$2
dump=$("$objdump" -p "$dll")
fail() { echo "FAIL: $*" >&2; echo "$dump" | sed -n '/export table/,/^$/p;/Export Address/,/^$/p;/Ordinal\/Name/,/^$/p;/DLL Name/p' >&2; exit 1; }

grep -q "file format pei-i386" <<<"$dump" || fail "not a 32-bit x86 image"
grep -Eq "^[[:space:]]+DLL$" <<<"$dump" || fail "not a DLL"
grep -Eq "^Name[[:space:]]+[0-9a-f]+ ZUV8620Ude.dll$" <<<"$dump" || fail "module name is not ZUV8620Ude.dll"
grep -Eq "^Ordinal Base[[:space:]]+1$" <<<"$dump" || fail "ordinal base is not 1"

# The export names, one per line, from the name pointer table.
names=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^[[:space:]]*\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p')
[ "$names" = "0 DriverConfig" ] || fail "the names are not exactly DriverConfig: '$names'"
# Name index 0 maps to the only address, ordinal 1.
# grep -c exits 1 when it counts none: the count is checked below instead.
addresses=$(sed -n '/^Export Address Table -- Ordinal Base/,/^$/p' <<<"$dump" | grep -c "+base\[") || true
grep -Eq "^[[:space:]]+\[ +0\] \+base\[ +1\]" <<<"$dump" && [ "$addresses" = 1 ] ||
  fail "DriverConfig is not the one export at ordinal 1"

imports=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for dll_name in $imports; do
  case "$dll_name" in
    kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|msvcrt.dll|advapi32.dll|ole32.dll) ;;
    *) fail "imports $dll_name, which is not a system DLL" ;;
  esac
done
# Each imported function as "dll function", from the import tables: a "DLL
# Name:" line, then one line per function (address, hint, name).
functions=$(awk '/^\tDLL Name:/ { dll = tolower($3); next }
                 /^$/ { dll = "" }
                 dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]/ { print dll, $3 }' <<<"$dump" |
  sort -u)
[ -n "$functions" ] || fail "no imported function found"
allowed=$(grep -v '^#' "$(dirname "$0")/dll_imports_vista.txt" | sort -u)
missing=$(comm -23 <(echo "$functions") <(echo "$allowed"))
[ -z "$missing" ] ||
  fail "imports what tests/dll_imports_vista.txt does not list for Windows Vista: $(echo $missing)"
echo "ok: ZUV8620Ude.dll exports DriverConfig @1 only; imports: $(echo $imports)"
