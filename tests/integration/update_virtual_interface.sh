#!/usr/bin/env bash
# update_virtual_interface.sh HOST UPDATER [--shots DIR] [--log FILE]
#                             [--first PATTERN [--within S]] [HOST OPTION...]
#
# Updates the virtual ZV-16x16 with the real updater, as a person would. The updater runs
# inside zv16x16-virtual (HOST) on a private X server with its own D-Bus session, so that
# its accessibility interface can be read; drive_updater.py presses "Firmware Update",
# confirms with OK and prints each status text as it appears. The updater's own output goes
# to the log (by default a temporary file); the host's report of the device's final state
# is printed at the end. Exit status 0 when the update completed and both programs ended
# cleanly. With --first, the host's options hold a fault that strikes the first press, which
# must end within S seconds with a text matching PATTERN; a second press must then complete
# (drive_updater.py --first).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
host=$1 updater=$2
shift 2
shots="" log="" first="" within=120
while [ $# -gt 0 ]; do
  case "$1" in
    --shots) shots=$2; shift 2 ;;
    --log) log=$2; shift 2 ;;
    --first) first=$2; shift 2 ;;
    --within) within=$2; shift 2 ;;
    *) break ;;
  esac
done
work=$(mktemp -d)
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
[ -n "$log" ] || log="$work/updater.log"
[ -z "$shots" ] || mkdir -p "$shots"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The updater's one-copy guard is keyed in the temporary folder: a folder of its own lets
# runs of this script share the machine.
export TMPDIR="$work/tmp"
mkdir "$TMPDIR"

# A display number that is free: Xvfb picks it and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$work/display")"

driver_args=()
[ -z "$shots" ] || driver_args=(--shots "$shots")
export HOST="$host" UPDATER="$updater" LOG="$log" HERE="$here" FIRST="$first" WITHIN="$within"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# The updater draws nothing with OpenGL; without this Qt's xcb plugin loads Mesa's GLX,
# whose software driver leaks at exit under LeakSanitizer.
export QT_XCB_GL_INTEGRATION=none
dbus-run-session -- bash -c '
  "$HOST" "$@" -- "$UPDATER" >"$LOG" 2>&1 &
  host=$!
  # The driver starts once the window is up, seen through X: by then the updater has joined
  # the accessibility bus, which the first of them to ask for it starts.
  timeout 60 xdotool search --sync --onlyvisible --name "^ZV-16x16_FirmwareUpdater\$" \
    >/dev/null
  "$HERE/drive_updater.py" '"${driver_args[*]:-}"' ${FIRST:+--first "$FIRST" --within "$WITHIN"}
  driven=$?
  # A driver that gave up leaves the window open: the host passes SIGTERM on to it.
  [ $driven -eq 0 ] || kill -TERM "$host" 2>/dev/null
  wait "$host"
  hosted=$?
  sed -n "/^== virtual ZV-16x16, final state/,\$p" "$LOG"
  [ $driven -eq 0 ] && [ $hosted -eq 0 ]
' update "$@" 2> >(grep -v -E "dbus-daemon|fd limit" >&2) | grep --line-buffered -v SpiRegistry
