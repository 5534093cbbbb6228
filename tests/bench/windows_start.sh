#!/usr/bin/env bash
# The Windows updater's start under Wine, to a visible window: cold (no Wine session
# running) and warm (the session kept), three of each, printed as benchmark table rows.
#   windows_start.sh EXE WINEPREFIX
set -uo pipefail
source "$(dirname "$0")/../windows/wine_desktop.sh"
wine_session_x "$@"
exe=$(readlink -f "$1")
name=$(basename "$exe" .exe)
wine_desktop_prefix "$2"
wine_desktop_dpi 96

# start_once: seconds from the start to a visible window; the window is then closed.
start_once() {
  local t0 w
  t0=$(date +%s.%N)
  wine "$exe" >/dev/null 2>&1 &
  w=$(wait_window "$name" 60) || { echo "no window"; return 1; }
  awk "BEGIN { printf \"%.2f\", $(date +%s.%N) - $t0 }"
  xdotool windowfocus --sync "$w" key alt+F4
  wait
}
cold=() warm=()
for _ in 1 2 3; do
  wine_session_restart
  cold+=("$(start_once)")
done
wine_session_keep
for _ in 1 2 3; do warm+=("$(start_once)"); done
echo "| Windows updater under Wine, cold start to a visible window | ${cold[*]} s | |"
echo "| Windows updater under Wine, warm start to a visible window | ${warm[*]} s | |"
