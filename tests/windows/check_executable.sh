#!/usr/bin/env bash
# A Windows updater as a file: a 32-bit x86 program, stripped, with no build time or build
# folder in it (two builds of one commit must give the same bytes), that imports no DLL that
# Windows itself lacks, and whose resources are:
#   gui      the icon group IDI_ICON1 with its pictures, and the manifest; GUI subsystem,
#            2 MiB of stack reserved for the main thread;
#   console  the manifest alone; console subsystem.
# The manifest must ask to run as the invoker (without one, Windows' installer detection
# elevates a 32-bit program with "update" in its name) and must not change how the window
# looks (no common-controls version, no DPI awareness).
# Every DLL imported at start that Windows does not always take from its system folder (the
# KnownDLLs of Windows 10) is one that Windows looks for beside the program first: the
# imports must hold none, and the delay-loaded ones are listed.
#   check_executable.sh EXE OBJDUMP gui|console
set -uo pipefail
exe=$1 objdump=$2 mode=$3
source "$(dirname "$0")/../lib/checks.sh"
headers=$("$objdump" -p "$exe")
field() { awk -v f="$1" '$1 == f { print $2; exit }' <<<"$headers"; }
check "32-bit x86 (PE32)" [ "$(field Magic)" = 010b ]
if [ "$mode" = gui ]; then
  check "GUI subsystem" [ "$(field Subsystem)" = 00000002 ]
  check "2 MiB main-thread stack" [ "$((16#$(field SizeOfStackReserve)))" = 2097152 ]
else
  check "console subsystem" [ "$(field Subsystem)" = 00000003 ]
fi
check "stripped" bash -c "! '$objdump' -f '$exe' | grep -q HAS_SYMS && ! '$objdump' -h '$exe' | grep -q '\.debug'"
check "no link time stamp" [ "$(awk '$1 == "Time/Date" { $1 = ""; print; exit }' <<<"$headers")" = " Thu Jan 1 00:00:00 1970" ]
check "no folder of the build machine" bash -c "! strings -a '$exe' | grep -q -e '$HOME/' -e '$(cd "$(dirname "$0")/../.." && pwd)/'"

resources=$(wrestool -l "$exe")
echo "$resources"
groups=$(sed -n "s/^--type=14 --name=\([^ ]*\) .*/\1/p" <<<"$resources")
if [ "$mode" = gui ]; then
  check "one icon group, IDI_ICON1" [ "$groups" = "'IDI_ICON1'" ]
  check "no resource but the icons and the manifest" \
    [ -z "$(grep -v -e '--type=3 ' -e '--type=14 ' -e '--type=24 ' <<<"$resources")" ]
else
  check "no resource but the manifest" [ -z "$(grep -v -e '--type=24 ' <<<"$resources")" ]
fi
check "one manifest" [ "$(grep -c -e '--type=24 ' <<<"$resources")" = 1 ]
manifest=$(wrestool -x --raw --type=24 "$exe")
check "the manifest asks to run as the invoker" \
  grep -q 'requestedExecutionLevel level="asInvoker"' <<<"$manifest"
check "the manifest leaves the look alone" \
  bash -c '! grep -qi -e Microsoft.Windows.Common-Controls -e "<dpiAware" <<<"$1"' _ "$manifest"

# Windows' own DLLs, as Wine provides them.
system=/usr/lib/i386-linux-gnu/wine/i386-windows
known=" advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll difxapi.dll gdi32.dll
  gdiplus.dll imagehlp.dll imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll
  ole32.dll oleaut32.dll psapi.dll rpcrt4.dll sechost.dll setupapi.dll shcore.dll shell32.dll
  shlwapi.dll user32.dll wldap32.dll ws2_32.dll ntdll.dll "
known=" $(echo $known) "  # one space between names
imports=$(sed -n 's/^\tDLL Name: //p' <<<"$headers")
# GNU ld fills no delay-import directory: the delay-loaded DLLs are the other DLL names that
# the file holds.
delayed=$(strings -a "$exe" | grep -ixE '[a-z0-9_]+\.dll' | grep -vixF "$imports" | sort -fu)
for dll in $imports; do
  check "imports $dll, a DLL of Windows" [ -n "$(find "$system" -maxdepth 1 -iname "$dll")" ]
done
for dll in $imports; do
  lower=$(tr '[:upper:]' '[:lower:]' <<<"$dll")
  check "imports $dll at start, which Windows takes from its system folder only" \
    bash -c '[[ "$1" == *" $2 "* ]]' _ "$known" "$lower"
done
echo "named in the file, loaded later (from the system folder only, once main() has said so):" $delayed
checks_passed
