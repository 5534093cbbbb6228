#!/usr/bin/env bash
# The console updater under Wine, held to Windows' own rules, with no interface present:
#   - a taskkill.exe planted beside it and in the current folder never runs: update ends the
#     settings panel (a stand-in of that name) through the system folder's taskkill.exe;
#   - info does not read beside a running settings panel, and does not end it: status 7;
#   - --json is UTF-8 whatever Wine's code page, a non-ASCII path in its reason included;
#   - a DLL planted beside it under the name of a system DLL that it delay-loads is never
#     loaded, though Wine is told to prefer a DLL found beside the program.
#   console_rules.sh CONSOLE_EXE PLANTED_TASKKILL_EXE SETTINGS_PANEL_EXE PLANTED_DLL
# Runs in the Wine session of scripts/test-windows (its prefix, null display).
set -uo pipefail
console=$(readlink -f "$1") plant=$(readlink -f "$2") panel=$(readlink -f "$3")
planted_dll=$(readlink -f "$4")
work=$(mktemp -d)
trap 'kill "$panel_pid" 2>/dev/null; rm -rf "$work"' EXIT
source "$(dirname "$0")/../lib/checks.sh"
mkdir -p "$work/app" "$work/cwd"
cp "$console" "$work/app/"
exe="$work/app/$(basename "$console")"
cp "$plant" "$work/app/taskkill.exe"
cp "$plant" "$work/cwd/taskkill.exe"
cd "$work/cwd"

wine "$panel" >/dev/null 2>&1 &
panel_pid=$!
sleep 1
check "the settings panel stand-in runs" kill -0 "$panel_pid"
wine "$exe" info >"$work/info.out" 2>"$work/info.err"
status=$?
check "info beside the settings panel exits 7 (it was $status)" [ "$status" = 7 ]
check "and says why" grep -q "settings panel is running" "$work/info.err"
check "and leaves the panel running" kill -0 "$panel_pid"

wine "$exe" update --yes >"$work/update.out" 2>"$work/update.err"
status=$?
check "update without an interface exits 3 (it was $status)" [ "$status" = 3 ]
for _ in $(seq 100); do kill -0 "$panel_pid" 2>/dev/null || break; sleep 0.1; done
check "update ended the settings panel" bash -c "! kill -0 $panel_pid 2>/dev/null"
check "the taskkill.exe beside the program never ran" [ ! -e "$work/app/planted-taskkill-ran" ]
check "the taskkill.exe in the current folder never ran" [ ! -e "$work/cwd/planted-taskkill-ran" ]
missing='C:\Aufnahmen für Köln\missing.bin'
# The path reaches Wine intact (a UTF-8 locale); Windows' own code page is still 1252 here.
LC_ALL=C.UTF-8 wine "$exe" update --yes --json --image "$missing" >"$work/json.out" 2>"$work/json.err"
status=$?
check "an image that is missing exits 2 (it was $status)" [ "$status" = 2 ]
check "standard output is one UTF-8 JSON object with the path in its reason" python3 -c '
import json, sys
lines = open(sys.argv[1], "rb").read().decode("utf-8").splitlines()
assert len(lines) == 1 and json.loads(lines[0])["reason"].endswith(sys.argv[2]), lines
' "$work/json.out" "$missing"

# Wine takes its own DLL before one beside the program unless told otherwise: told here.
# VERSION is delay-loaded too, but Wine's own SETUPAPI imports it at start from the program's
# search path; on Windows SETUPAPI is a known DLL, whose imports come from the system folder.
delayed="netapi32 userenv winmm"
for dll in $delayed; do cp "$planted_dll" "$work/app/$dll.dll"; done
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;${delayed// /,}=n,b" wine "$exe" info --verbose \
  >"$work/planted.out" 2>"$work/planted.err"
status=$?
check "info with DLLs planted beside it exits 3 (it was $status)" [ "$status" = 3 ]
check "no planted DLL was loaded" [ -z "$(ls "$work/app" | grep '^planted-.*-loaded$')" ]
checks_passed
