#!/usr/bin/env bash
# The Windows updater updates the virtual ZV-16x16 under Wine, end to end, as a person would:
# the updater runs inside zv16x16-virtual-wine (the stand-in for the interface's kernel
# driver), on a private X server; xdotool presses "Firmware Update" and answers the
# confirmation with OK, and the window's texts are read from screenshots (tesseract), which
# changes nothing that the user sees. Each status text is printed as it is read. At the end
# the window is closed and the host's report of the device's final state is printed.
#
#   update_under_wine.sh [--shots DIR] [--log FILE] [--fault "HOST OPTIONS" [--first TEXT]
#                        [--within S] [--back-after S]] HOST WANT_VERSION WANT_BUILD
#
# --fault: the host's options strike the first press with a fault (the device pulled out, or
# silent for a while, or failing transfers); after the confirmation the update must end
# within S seconds (120) with TEXT (an extended regular expression; by default any failure
# text) and the button back, and once the device is back (S seconds after the failure text,
# 2.5 by default) a second press must complete it. A TEXT that admits "Completed" lets a
# passing fault end the first press with completion; then there is no second press.
# Exit status 0 when every check passed and the device reports WANT_VERSION and WANT_BUILD
# with an image that verifies.
set -uo pipefail
source "$(dirname "$0")/wine_desktop.sh"
wine_session_x "$@"
shots="" log="" fault="" within=120 back_after=2.5
first="Failed|ERROR|Cannot|not equal|not valid|not connected"
while [ $# -gt 0 ]; do
  case $1 in
    --shots) shots=$2; shift 2 ;;
    --log) log=$2; shift 2 ;;
    --fault) fault=$2; shift 2 ;;
    --first) first=$2; shift 2 ;;
    --within) within=$2; shift 2 ;;
    --back-after) back_after=$2; shift 2 ;;
    *) break ;;
  esac
done
host=$1 want_version=$2 want_build=$3
work=$(mktemp -d)
shots=${shots:-$work}
log=${log:-$work/updater.log}
mkdir -p "$shots"
shots=$(cd "$shots" && pwd)
name=ZV-16x16_FirmwareUpdater

# The host's prefix, with the desktop's fonts and title bars.
wine_desktop_prefix "${ZV_WINE_STANDIN_PREFIX:-$(dirname "$host")/wineprefix-standin}"
wine_desktop_dpi 96
wine_session_at_exit 'rm -rf "$work"'
export ZV_WINE_STANDIN_PREFIX=$WINEPREFIX

# read_window WINDOW NAME: what the window shows now, read from a screenshot saved as NAME.
read_window() {
  import -window "$1" "$shots/$2.png" 2>/dev/null && ocr "$shots/$2.png" 2>/dev/null
}

# until_text WINDOW SECONDS PATTERN: reads the window until a line matches PATTERN (an
# extended regular expression), printing each status text that it has not read before and
# keeping the screenshot it was read from as status-N.png.
statuses=0
until_text() {
  local win=$1 end=$(($(date +%s) + $2)) pattern=$3 text line seen=""
  while [ "$(date +%s)" -le "$end" ]; do
    text=$(read_window "$win" status) || return 1
    line=$(grep -E -m1 "Preparing|Sending|Retrying|Checking|Completed|Failed|ERROR|Cannot|checksum" \
      <<<"$text")
    if [ -n "$line" ] && [ "$line" != "$seen" ]; then
      statuses=$((statuses + 1))
      echo "  status: $line (screenshot $shots/status-$statuses.png)"
      cp "$shots/status.png" "$shots/status-$statuses.png"
      seen=$line
    fi
    grep -Eq -- "$pattern" <<<"$text" && return 0
  done
  return 1
}

# press_and_confirm WINDOW SHOT: clicks "Firmware Update" and answers the confirmation with
# OK (Cancel is its default button, so focus moves to OK first). The button's middle is at
# (162, 198) of the window with the caption Wine draws, at 96 dots per inch.
press_and_confirm() {
  xdotool mousemove --window "$1" 162 198 click 1
  local box
  box=$(wait_window "Firmware Update" 60) || return 1
  shot "$box" "$2"
  check "the confirmation asks \"Are you sure?\"" has_line "$(ocr "$shots/$2.png")" "Are you sure?" 0.8
  xdotool windowfocus --sync "$box" key shift+Tab space
  wait_gone "Firmware Update" 10
}

read -r -a host_options <<<"$fault"
started=$(date +%s.%N)
"$host" "${host_options[@]}" >"$log" 2>&1 &
hosted=$!
# A new Wine session, the driver's service and the updater: seconds, far more on a busy machine.
if ! win=$(wait_window "$name" 180); then
  check "the updater's window appears" false
  echo "the host's output so far:"
  tail -n 40 "$log"
  checks_passed
  exit
fi
shot "$win" idle

second=1
if [ -n "$fault" ]; then
  check "the press is confirmed" press_and_confirm "$win" confirm-first
  confirmed=$(date +%s)
  check "the fault ends the update with \"$first\" within $within s" \
    until_text "$win" "$within" "$first"
  echo "  $(($(date +%s) - confirmed)) s from the confirmation to the end"
  shot "$win" failed
  check "the button is back" has_line "$(ocr "$shots/failed.png")" "Firmware Update" 0.95
  if has_line "$(ocr "$shots/failed.png")" "Completed." 0.9; then
    echo "  the fault was a passing one: the update completed, no second press"
    second=""
  else
    sleep "$back_after"  # the device comes back
  fi
fi
if [ -n "$second" ]; then
  check "the press is confirmed" press_and_confirm "$win" confirm
  check "the update completes" until_text "$win" 180 "^Completed"
fi
elapsed=$(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $started }")
shot "$win" completed
text=$(ocr "$shots/completed.png")
check "the label asks to turn the power on again" has_line "$text" \
  "Please turn ZV-16x16's power on again." 0.9
check "the button is back" has_line "$text" "Firmware Update" 0.95
echo "from start to completion: $elapsed s"

xdotool windowfocus --sync "$win" key alt+F4
wait "$hosted"
status=$?
sed -n '/^driver requests refused/,$p' "$log"
report_says() { sed -n '/^== virtual ZV-16x16, final state/,$p' "$log" | grep -qx -- "$1"; }
check "the updater exits with status 0 (it was $status)" [ "$status" = 0 ]
check "the device runs version $want_version" report_says "version: $want_version"
check "the device runs build $want_build" report_says "build: $want_build"
check "the image the device received verifies" report_says "received image: verifies"
check "the driver refused no request" grep -q "^driver requests refused as malformed: 0" "$log"
# A fault counted in transfers must have struck, or the first press met a healthy device.
if grep -Eq -- "--(unplug|mute|error)-after" <<<"$fault"; then
  check "the fault struck (the host names its transfer)" \
    report_says "fault struck at transfer: [0-9][0-9]*"
fi
wine_session_end
checks_passed
