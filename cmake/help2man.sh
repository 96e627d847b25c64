#!/usr/bin/env bash
# help2man runs the program it documents through the shell, which splits the
# program's path at its blanks. This takes help2man's arguments, the program
# last, and runs help2man in the program's folder on ./NAME, so that a build
# in any folder gets its manual page.
#   help2man.sh [OPTION...] PROGRAM
set -euo pipefail
program=${!#}
cd "$(dirname "$program")"
exec help2man "${@:1:$#-1}" "./$(basename "$program")"
