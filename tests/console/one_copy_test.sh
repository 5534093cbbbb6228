#!/usr/bin/env bash
# The console updater and the window share one one-copy guard: while the window runs, the
# console updater does not start (exit status 7, nothing sent to any interface, and with
# --json one object that says so); once
# the window has closed, it does (here it finds no interface: status 3).
#   one_copy_test.sh WINDOW_EXE CONSOLE_EXE
set -uo pipefail
window=$1 console=$2
# A folder of its own: the guard lives in the temporary folder, where other tests run copies.
work=$(mktemp -d)
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work TMPDIR=$work
trap 'kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
"$window" >/dev/null 2>&1 &
pid=$!
# The window takes the guard once it has loaded its image; its segment's key file then
# appears in the temporary folder. The console is not run before: while it runs it holds the
# guard itself, and a window that started then would be the second copy and end.
for _ in $(seq 300); do
  compgen -G "$work/qipc_sharedmemory_*" >/dev/null && break
  sleep 0.1
done
"$console" info --json >"$work/busy.json" 2>/dev/null
status=$?
echo "while the window runs: exit status $status, $(cat "$work/busy.json")"
[ "$status" = 7 ] || exit 1
python3 -c 'import json, sys; assert json.load(open(sys.argv[1]))["result"] == "busy"' \
  "$work/busy.json" || exit 1
kill "$pid"
wait "$pid" 2>/dev/null
"$console" info >/dev/null 2>&1
status=$?
echo "once it has closed: exit status $status"
[ "$status" = 3 ]
