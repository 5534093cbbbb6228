#!/usr/bin/env bash
# The console updater's streams as a script meets them, inside zv16x16-virtual:
#   closed_reader  `update --yes | reader` where the reader ends halfway and Ctrl+C reaches
#                  the pipeline: the update still runs to its end and exits 0
#   json_verbose   `update --yes --json --verbose`: standard output is one JSON object, the
#                  device libraries' diagnostics are on standard error
#   json_utf8      under LANG=C, a reason that holds a non-ASCII path is UTF-8 JSON
# Prints what it found as lines for expect_output.sh, and the console's exit status.
#   streams_test.sh CASE CONSOLE_EXE
set -uo pipefail
case_name=$1 console=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
json_check() {  # json_check FILE: one object on one line, UTF-8; prints its result and reason
  python3 - "$1" <<'PY'
import json, sys
data = open(sys.argv[1], "rb").read()
lines = data.decode("utf-8").splitlines()  # raises on bytes that are not UTF-8
assert len(lines) == 1, "lines: %d" % len(lines)
o = json.loads(lines[0])
print("stdout: one JSON object")
print("result: %s" % o["result"])
print("reason: %s" % o.get("reason", ""))
PY
}
case $case_name in
  closed_reader)
    mkfifo "$work/pipe"
    # As a terminal's shell starts it: SIGPIPE at its default, whatever this script inherited.
    env --default-signal=PIPE "$console" update --yes >"$work/pipe" 2>"$work/err" &
    pid=$!
    # The reader: like tee, it goes away with the Ctrl+C, here once the transfer has begun.
    while IFS= read -r line; do
      [[ $line == "Sending and Updating"* ]] && break
    done <"$work/pipe"
    echo "reader gone after: $line"
    kill -INT "$pid"
    wait "$pid"
    status=$?
    cat "$work/err"
    ;;
  json_verbose)
    "$console" update --yes --json --verbose >"$work/out" 2>"$work/err"
    status=$?
    json_check "$work/out"
    echo "diagnostics on standard error: $(grep -c '^pos = ' "$work/err")"
    ;;
  json_utf8)
    missing="$work/Aufnahmen für Köln/missing.bin"
    LANG=C LC_ALL=C "$console" update --yes --json --image "$missing" >"$work/out" 2>"$work/err"
    status=$?
    json_check "$work/out"
    echo "standard error: $(wc -c <"$work/err") bytes"
    ;;
  *) echo "unknown case $case_name" >&2; exit 2 ;;
esac
echo "console exit status: $status"
