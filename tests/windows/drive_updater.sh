#!/usr/bin/env bash
# The Windows updater under Wine on a private X server, driven as a person would (xdotool),
# read from screenshots (tesseract), with no interface present:
#   - the window runs from a folder of its own, with a taskkill.exe planted beside it and in
#     the current folder, neither of which ever runs;
#   - the window's title is the executable's base name, its label shows the image's two
#     lines, and it carries its own icon;
#   - Firmware Update ends the settings panel (a stand-in process of that name), then says
#     "Supported hardware is not connected." in a box titled "Error";
#   - Help > About shows the licence; Ctrl+Alt+F chooses another image, whose version the
#     label then shows;
#   - a second copy exits with -1 and no window; two copies started at once leave one;
#   - at 96 and at 144 dots per inch the label's lines are drawn whole.
#
#   drive_updater.sh EXE SETTINGS_PANEL_EXE ZVIMAGE_EXE ICON "To 1.06, build 2318" SHOTS \
#     PLANTED_TASKKILL_EXE
# Screenshots go to SHOTS; the Wine prefix (X11 driver, Wine's fonts) is
# $ZV_WINE_DESKTOP_PREFIX (default SHOTS/wineprefix).
set -uo pipefail
source "$(dirname "$0")/wine_desktop.sh"
wine_session_x "$@"
exe=$(readlink -f "$1") panel=$(readlink -f "$2") zvimage=$(readlink -f "$3") icon=$4
want_target=$5 shots=$6 plant=$(readlink -f "$7")
name=$(basename "$exe" .exe)
mkdir -p "$shots"
shots=$(cd "$shots" && pwd)
wine_desktop_prefix "${ZV_WINE_DESKTOP_PREFIX:-$shots/wineprefix}"

# Where a downloaded program runs: taskkill.exe is planted beside it and in the current folder.
rm -rf "$shots/app" "$shots/cwd"
mkdir -p "$shots/app" "$shots/cwd"
cp "$exe" "$shots/app/"
exe="$shots/app/$(basename "$exe")"
cp "$plant" "$shots/app/taskkill.exe"
cp "$plant" "$shots/cwd/taskkill.exe"
cd "$shots/cwd"


# An image that differs from the embedded one, for the file chooser.
other="$shots/other-image.bin"
wine "$zvimage" make "$(winepath -w "$other")" --version 207 --build 4242 --size 4096 \
  >"$shots/zvimage.log" 2>&1
check "another image was made" [ -s "$other" ]

for dpi in 96 144; do
  echo "-- at $dpi dots per inch"
  wine_desktop_dpi "$dpi"
  started=$(date +%s.%N)
  wine "$exe" >"$shots/updater-$dpi.log" 2>&1 &
  first=$!
  win=$(wait_window "$name" 60) || { check "a window at $dpi dpi" false; continue; }
  echo "window visible after $(awk "BEGIN { printf \"%.2f\", $(date +%s.%N) - $started }") s"
  check "title is the executable's base name" [ "$(xdotool getwindowname "$win")" = "$name" ]
  shot "$win" "$dpi-idle"
  # OCR may misread a letter or two. At 144 dpi Wine draws Qt's scaled glyphs with strokes
  # missing (its text rendering under a scaling transform): there a line counts as drawn when
  # it still reads as much like itself as like nothing else, and the window must have scaled
  # as a whole, so that every text keeps the room it has at 96 dpi.
  ratio=0.9
  if [ "$dpi" = 144 ]; then
    ratio=0.55
    eval "$(xdotool getwindowgeometry --shell "$win")"
    check "the window scaled by 1.5 as a whole (${WIDTH}x$HEIGHT with its frame)" \
      [ "$WIDTH" -ge 480 -a "$WIDTH" -le 496 -a "$HEIGHT" -ge 360 -a "$HEIGHT" -le 408 ]
  fi
  text=$(ocr "$shots/$dpi-idle.png")
  check "label's first line is drawn" has_line "$text" "ZV-16x16 Firmware Updater" "$ratio"
  check "label's second line is drawn whole" has_line "$text" "$want_target" "$ratio"
  check "button's text is drawn whole" has_line "$text" "Firmware Update" "$ratio"
  if [ "$dpi" = 144 ]; then
    xdotool windowfocus --sync "$win" key alt+F4
    wait "$first"
    break
  fi

  # The window's own icon, as Wine hands it to the X server.
  check "the window carries the updater's icon" \
    window_icon_matches "$win" "$shots/window-icon.png" "$icon"

  # Firmware Update: the settings panel is ended first, then no interface is found.
  wine "$panel" >/dev/null 2>&1 &
  panel_pid=$!
  sleep 1
  check "the settings panel stand-in runs" kill -0 "$panel_pid"
  xdotool windowfocus --sync "$win" key space
  if box=$(wait_window Error 30); then
    shot "$box" "$dpi-error"
    check "the box says the hardware is not connected" \
      contains "$(ocr "$shots/$dpi-error.png")" "Supported hardware is not connected."
    check "the settings panel was ended" wait_exit "$panel_pid" 10
    check "no planted taskkill.exe ran" \
      [ ! -e "$shots/app/planted-taskkill-ran" -a ! -e "$shots/cwd/planted-taskkill-ran" ]
    xdotool windowfocus --sync "$box" key Return
    check "the box closes on Enter" wait_gone Error 10
  else
    check "a box titled Error" false
    kill "$panel_pid" 2>/dev/null
  fi

  # Help > About: the licence.
  eval "$(xdotool getwindowgeometry --shell "$win")"
  xdotool mousemove --window "$win" 24 34 click 1
  sleep 0.5
  xdotool key Down Return
  if about=$(wait_window "License Information" 20); then
    shot "$about" "$dpi-about"
    check "the licence is shown" contains "$(ocr "$shots/$dpi-about.png")" "Permission is hereby granted"
    xdotool windowfocus --sync "$about" key Escape
    check "the licence closes on Esc" wait_gone "License Information" 10
  else
    check "a licence dialog" false
  fi

  # Ctrl+Alt+F: another image, whose version the label then shows.
  xdotool windowfocus --sync "$win" key ctrl+alt+f
  if chooser=$(wait_window "Open File" 20); then
    shot "$chooser" "$dpi-file-chooser"
    xdotool windowfocus --sync "$chooser" type --delay 20 "$(winepath -w "$other")"
    xdotool key Return
    check "the file chooser closes" wait_gone "Open File" 10
    sleep 1
    shot "$win" "$dpi-other-image"
    check "the label shows the chosen image" \
      contains "$(ocr "$shots/$dpi-other-image.png")" "To 2.07, build 4242"
  else
    check "a file chooser" false
  fi

  # A second copy while the first runs.
  windows_before=$(count_windows "$name")
  wine "$exe" >"$shots/second.log" 2>&1
  rc=$?
  check "a second copy exits with -1 (exit status $rc)" [ "$rc" = 255 ]
  check "a second copy shows no window" [ "$(count_windows "$name")" = "$windows_before" ]

  xdotool windowfocus --sync "$win" key alt+F4
  wait "$first"
  rc=$?
  check "the window closes with exit status 0 (it was $rc)" [ "$rc" = 0 ]
done

# Two copies started at once: exactly one window stays, the other copy exits with -1.
wine_desktop_dpi 96
wine "$exe" >"$shots/twin-a.log" 2>&1 &
a=$!
wine "$exe" >"$shots/twin-b.log" 2>&1 &
b=$!
win=$(wait_window "$name" 60)
sleep 2
check "two copies started at once leave exactly one window" [ "$(count_windows "$name")" = 1 ]
codes=""
for p in $a $b; do
  if wait_exit "$p" 1; then wait "$p"; codes="$codes $?"; fi
done
check "the other copy exits with -1 (exit statuses:$codes)" [ "$codes" = " 255" ]
[ -n "$win" ] && xdotool windowfocus --sync "$win" key alt+F4
wait
wine_session_end
checks_passed
