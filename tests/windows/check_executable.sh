#!/usr/bin/env bash
# The Windows updater as a file: a 32-bit x86 program of the GUI subsystem, stripped, with
# 2 MiB of stack reserved for the main thread, whose only resources are the icon group
# IDI_ICON1 and its pictures, which imports no DLL that Windows itself lacks, and which
# carries no build time or build folder (two builds of one commit must give the same bytes).
#   check_executable.sh EXE OBJDUMP
set -uo pipefail
exe=$1 objdump=$2
fails=0
check() {  # check WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then echo "PASS $what"; else echo "FAIL $what"; fails=$((fails + 1)); fi
}
headers=$("$objdump" -p "$exe")
field() { awk -v f="$1" '$1 == f { print $2; exit }' <<<"$headers"; }
check "32-bit x86 (PE32)" [ "$(field Magic)" = 010b ]
check "GUI subsystem" [ "$(field Subsystem)" = 00000002 ]
check "2 MiB main-thread stack" [ "$((16#$(field SizeOfStackReserve)))" = 2097152 ]
check "stripped" bash -c "! '$objdump' -f '$exe' | grep -q HAS_SYMS && ! '$objdump' -h '$exe' | grep -q '\.debug'"
check "no link time stamp" [ "$(awk '$1 == "Time/Date" { $1 = ""; print; exit }' <<<"$headers")" = " Thu Jan 1 00:00:00 1970" ]
check "no folder of the build machine" bash -c "! strings -a '$exe' | grep -q -e '$HOME/' -e '$(cd "$(dirname "$0")/../.." && pwd)/'"

resources=$(wrestool -l "$exe")
echo "$resources"
groups=$(sed -n "s/^--type=14 --name=\([^ ]*\) .*/\1/p" <<<"$resources")
check "one icon group, IDI_ICON1" [ "$groups" = "'IDI_ICON1'" ]
check "no resource but the icons" [ -z "$(grep -v -e '--type=3 ' -e '--type=14 ' <<<"$resources")" ]

# Windows' own DLLs, as Wine provides them.
system=/usr/lib/i386-linux-gnu/wine/i386-windows
for dll in $(sed -n 's/^\tDLL Name: //p' <<<"$headers"); do
  check "imports $dll, a DLL of Windows" [ -n "$(find "$system" -maxdepth 1 -iname "$dll")" ]
done
[ "$fails" = 0 ]
