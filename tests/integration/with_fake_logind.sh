#!/usr/bin/env bash
# with_fake_logind.sh COMMAND [ARG...]
# Runs COMMAND with a private bus as its system bus (DBUS_SYSTEM_BUS_ADDRESS), on which
# fake_logind.py answers for org.freedesktop.login1; FAKE_LOGIND_LOG names the file where it
# logs every Inhibit call and every release.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
cleanup() {
  [ -n "${fake:-}" ] && kill "$fake" 2>/dev/null
  [ -n "${bus:-}" ] && kill "$bus" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
dbus-daemon --session --nofork --print-address=3 --print-pid=4 3>"$work/address" 4>"$work/pid" \
  >/dev/null 2>&1 &
for _ in $(seq 100); do [ -s "$work/address" ] && [ -s "$work/pid" ] && break; sleep 0.05; done
bus=$(cat "$work/pid")
DBUS_SYSTEM_BUS_ADDRESS=$(head -n 1 "$work/address")
export DBUS_SYSTEM_BUS_ADDRESS FAKE_LOGIND_LOG="$work/logind.log"
/usr/bin/python3 "$here/fake_logind.py" "$FAKE_LOGIND_LOG" &
fake=$!
for _ in $(seq 100); do grep -q ready "$FAKE_LOGIND_LOG" 2>/dev/null && break; sleep 0.05; done
"$@"
