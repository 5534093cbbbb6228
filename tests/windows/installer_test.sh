#!/usr/bin/env bash
# The Windows installer under Wine, as a Windows user meets it: its pages show the licence;
# a silent install puts the updater under Program Files with a Start-menu shortcut and an
# entry in Add or Remove Programs; the installed updater starts from its shortcut and shows
# its window; a silent uninstall leaves no file, shortcut or registry entry behind.
#   installer_test.sh INSTALLER PRODUCT_NAME VERSION PUBLISHER SHOTS
set -uo pipefail
if [ -z "${ZV_UNDER_XVFB:-}" ]; then
  ZV_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
installer=$(readlink -f "$1") product=$2 version=$3 publisher=$4 shots=$5
mkdir -p "$shots"
shots=$(cd "$shots" && pwd)
source "$(dirname "$0")/wine_desktop.sh"
wine_desktop_prefix "${ZV_WINE_DESKTOP_PREFIX:-$shots/wineprefix}"
wine_desktop_dpi 96

exe_name=ZV-16x16_FirmwareUpdater.exe
folder="$WINEPREFIX/drive_c/Program Files/$product"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$product.lnk"
key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"

# What an earlier run may have left in the prefix.
rm -rf "$folder" "$shortcut"
wine reg delete "$key" /f >/dev/null 2>&1

# The pages, as a person installing by hand sees them: the welcome, then the licence.
wine "$installer" >"$shots/installer-pages.log" 2>&1 &
pages=$!
if page=$(wait_window "$product Setup" 60); then
  shot "$page" installer-welcome
  xdotool windowfocus --sync "$page" key Return
  sleep 1
  shot "$page" installer-licence
  check "the installer shows the licence" contains "$(ocr "$shots/installer-licence.png")" "Permission is hereby granted"
  # Cancel, and confirm leaving.
  xdotool windowfocus --sync "$page" key Escape
  sleep 1
  xdotool key Return
  check "the installer leaves when cancelled" wait_exit "$pages" 20
else
  check "an installer window" false
fi
check "cancelling installed nothing" [ ! -e "$folder" ]

wine "$installer" /S >"$shots/install.log" 2>&1
check "silent install exits with 0" [ $? = 0 ]
for file in "$exe_name" LICENSE.txt Uninstall.exe; do
  check "installed: Program Files/$product/$file" [ -f "$folder/$file" ]
done
check "the Start-menu shortcut is there" [ -f "$shortcut" ]
entry=$(wine reg query "$key" 2>/dev/null | tr -d '\r')
echo "$entry" >"$shots/uninstall-entry.txt"
for value in "DisplayName    REG_SZ    $product" "DisplayVersion    REG_SZ    $version" \
  "Publisher    REG_SZ    $publisher" "DisplayIcon    REG_SZ    C:\\Program Files\\$product\\$exe_name,0" \
  "UninstallString    REG_SZ    \"C:\\Program Files\\$product\\Uninstall.exe\""; do
  check "Add or Remove Programs: $value" contains "$entry" "$value"
done

# The installed updater, started from its shortcut.
wine start "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\$product.lnk" \
  >"$shots/installed-updater.log" 2>&1
if win=$(wait_window "${exe_name%.exe}" 60); then
  shot "$win" installed-updater
  check "the installed updater shows its label" \
    contains "$(ocr "$shots/installed-updater.png")" "Firmware Updater"
  xdotool windowfocus --sync "$win" key alt+F4
  check "the installed updater closes" wait_gone "${exe_name%.exe}" 20
  # Its process too: Windows keeps a running program's file from being removed.
  not_running() { ! pgrep -f "$exe_name" >/dev/null; }
  wait_for 20 not_running
else
  check "a window of the installed updater" false
fi

# The uninstaller copies itself away and goes on from there; wait for it to finish.
wine "C:\\Program Files\\$product\\Uninstall.exe" /S >"$shots/uninstall.log" 2>&1
folder_gone() { [ ! -e "$folder" ]; }
entry_gone() { ! wine reg query "$key" >/dev/null 2>&1; }
uninstalled() { folder_gone && entry_gone; }
wait_for 60 uninstalled
check "silent uninstall removed the folder" folder_gone
check "silent uninstall removed the shortcut" [ ! -e "$shortcut" ]
check "silent uninstall removed the registry entry" entry_gone
checks_passed
