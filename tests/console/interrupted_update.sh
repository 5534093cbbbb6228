#!/usr/bin/env bash
# Ctrl+C (SIGINT) in the middle of an update: the update goes on to its end, and only then
# does the console updater exit, with the update's status. Runs inside zv16x16-virtual.
#   interrupted_update.sh CONSOLE_EXE
set -uo pipefail
said=$(mktemp)
trap 'rm -f "$said"' EXIT
"$1" update --yes >"$said" 2>&1 &
pid=$!
sending() { grep -q "^Sending and Updating" "$said"; }
for _ in $(seq 600); do
  sending && break
  sleep 0.05
done
kill -INT "$pid"
wait "$pid"
status=$?
cat "$said"
echo "console exit status: $status"
