# Helpers for driving Windows programs under Wine on an X server as a person would: a Wine
# prefix with a desktop (the X11 driver and Wine's own fonts), windows found by their title,
# screenshots, and what a screenshot says (tesseract). Sourced by the Windows desktop tests;
# brings the Wine session's helpers with it.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/wine_session.sh"

source "$(dirname "${BASH_SOURCE[0]}")/../lib/checks.sh"

# wine_desktop_prefix DIR: makes DIR the Wine prefix (created on first use, see
# wine_session.sh), with Wine drawing the title bars.
wine_desktop_prefix() {
  wine_session_prefix "$1"
  # No window manager runs on the private X server: Wine draws the title bars itself, so
  # that the titles show in the screenshots.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >>"$wine_log" 2>&1
}

# wine_desktop_dpi DPI: the display's dots per inch for the programs started next (Windows'
# LogPixels: 96 is 100 %, 144 is 150 %). Wine reads it when its session starts.
wine_desktop_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >>"$wine_log" 2>&1
  wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
    /v LogPixels /t REG_DWORD /d "$1" /f >>"$wine_log" 2>&1
  wine_session_restart
}

# wait_for SECONDS COMMAND...: succeeds as soon as COMMAND does, trying every 0.05 s.
wait_for() {
  local end=$(($(date +%s) + $1))
  shift
  while [ "$(date +%s)" -le "$end" ]; do
    "$@" && return 0
    sleep 0.05
  done
  return 1
}
no_window() { [ -z "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)" ]; }
ended() { ! kill -0 "$1" 2>/dev/null; }

first_window() {
  local w
  w=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
  [ -n "$w" ] && echo "$w"
}

# wait_window TITLE SECONDS: prints the first visible window whose title is exactly TITLE.
# wait_gone TITLE SECONDS: no visible window has that title. wait_exit PID SECONDS: the
# process has ended.
wait_window() { wait_for "$2" first_window "$1"; }
wait_gone() { wait_for "$2" no_window "$1"; }
wait_exit() { wait_for "$2" ended "$1"; }

count_windows() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | wc -l; }

# shot WINDOW NAME: a screenshot of the window, once it has been drawn, as $shots/NAME.png.
shot() {
  sleep 0.7
  import -window "$1" "$shots/$2.png"
  echo "screenshot $shots/$2.png"
}

# ocr PNG: the text in a screenshot, read by tesseract from an enlarged grey copy; also
# kept beside it as PNG.txt.
ocr() {
  convert "$1" -colorspace Gray -resize 400% "${1%.png}.ocr.png"
  tesseract "${1%.png}.ocr.png" - --psm 6 2>/dev/null | tee "$1.txt"
  rm -f "${1%.png}.ocr.png"
}

# window_icon_matches WINDOW PNG ICO: the window's icon (_NET_WM_ICON, which Wine sets from
# the window's icon) is the picture of the same size in the icon file ICO, not Wine's
# default; the largest size the window carries is saved as PNG.
window_icon_matches() {
  /usr/bin/python3 - "$1" "$2" "$3" <<'PY'
import subprocess, sys
from Xlib import X, Xatom, display

d = display.Display()
window = d.create_resource_object("window", int(sys.argv[1]))
prop = window.get_full_property(d.intern_atom("_NET_WM_ICON"), Xatom.CARDINAL)
values = list(prop.value) if prop else []
icons, i = [], 0
while i + 2 <= len(values):
    w, h = values[i], values[i + 1]
    icons.append((w, h, values[i + 2:i + 2 + w * h]))
    i += 2 + w * h
if not icons:
    sys.exit("no icon on the window")
w, h, pixels = max(icons, key=lambda icon: icon[0])
rgba = bytearray()
for p in pixels:
    rgba += bytes(((p >> 16) & 255, (p >> 8) & 255, p & 255, (p >> 24) & 255))
subprocess.run(["convert", "-size", f"{w}x{h}", "-depth", "8", "rgba:-", sys.argv[2]],
               input=bytes(rgba), check=True)
print(f"window icon sizes {[f'{icon[0]}x{icon[1]}' for icon in icons]}, saved {sys.argv[2]}")
frames = subprocess.run(["identify", "-format", "%w %p\n", sys.argv[3]], capture_output=True,
                        text=True, check=True).stdout.split("\n")
index = next((f.split()[1] for f in frames if f and int(f.split()[0]) == w), None)
if index is None:
    sys.exit(f"the icon file has no {w}x{h} picture")
# Pixels that differ by more than a rounding of the colours or the edge's alpha.
compared = subprocess.run(["compare", "-metric", "AE", "-fuzz", "10%", sys.argv[2],
                           f"{sys.argv[3]}[{index}]", "null:"], capture_output=True, text=True)
differing = float(compared.stderr.split()[0])
print(f"{differing:.0f} of {w * h} pixels differ from the icon file's {w}x{h} picture")
sys.exit(0 if differing <= 0.05 * w * h else 1)
PY
}

# has_line TEXT WANT RATIO: a line of TEXT (what ocr read) is WANT, or alike by at least
# RATIO (0 to 1, difflib's measure): where Wine draws glyphs poorly, a line that is there
# is still read as nearly itself, and a line that is cut off is not read at all.
has_line() {
  /usr/bin/python3 - "$@" <<'PY'
import difflib, sys
text, want, ratio = sys.argv[1], sys.argv[2], float(sys.argv[3])
# A button's frame is read as bars or brackets around its text.
lines = [line.strip(" |[]{}") for line in text.splitlines()]
best = max((difflib.SequenceMatcher(None, line, want).ratio() for line in lines if line),
           default=0)
print(f"  closest line to '{want}': {best:.2f}")
sys.exit(0 if best >= ratio else 1)
PY
}
