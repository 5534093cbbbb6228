#!/usr/bin/env bash
# The Windows installer under Wine, as a Windows user meets it: its pages show the licence;
# a silent install puts the updater under Program Files with a Start-menu shortcut and an
# entry in Add or Remove Programs; the installed updater starts from its shortcut and shows
# its window; a silent uninstall leaves no file, shortcut or registry entry behind. Then, over
# an older build installed in a folder of the user's choice: the newer one upgrades it in
# place, installing it again repairs it, the older one then refuses to go over it (a box, or
# in silent mode exit status 3), and while the updater runs neither the installer nor
# the uninstaller goes on (a box, or in silent mode exit status 2).
#   installer_test.sh INSTALLER OLDER_INSTALLER OLDER_VERSION PRODUCT_NAME VERSION PUBLISHER SHOTS
set -uo pipefail
source "$(dirname "$0")/wine_desktop.sh"
wine_session_x "$@"
installer=$(readlink -f "$1") older=$(readlink -f "$2") older_version=$3
product=$4 version=$5 publisher=$6 shots=$7
mkdir -p "$shots"
shots=$(cd "$shots" && pwd)
wine_desktop_prefix "${ZV_WINE_DESKTOP_PREFIX:-$shots/wineprefix}"
wine_desktop_dpi 96

exe_name=ZV-16x16_FirmwareUpdater.exe
folder="$WINEPREFIX/drive_c/Program Files/$product"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$product.lnk"
key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"

# refusal_box SHOT KEY TEXT...: the installer $pages shows a box that says each TEXT (read as
# one line: the box may wrap it), saved as SHOT; KEY answers it, and the installer leaves.
refusal_box() {
  local name=$1 key=$2 box said text
  shift 2
  if ! box=$(wait_window "$product Setup" 60); then
    check "a box ($name)" false
    return
  fi
  shot "$box" "$name"
  said=$(ocr "$shots/$name.png" | tr '\n' ' ')
  for text in "$@"; do check "the box says \"$text\"" contains "$said" "$text"; done
  xdotool windowfocus --sync "$box" key "$key"
  check "$key leaves the installer" wait_exit "$pages" 20
}

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
for file in "$exe_name" zv16x16-update.exe LICENSE.txt Uninstall.exe; do
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

# The installed updater, started from its shortcut. Windows keeps a running program's file
# from being removed: each test waits for the updater's process to end.
not_running() { ! pgrep -f "$exe_name" >/dev/null; }
wine start "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\$product.lnk" \
  >"$shots/installed-updater.log" 2>&1
if win=$(wait_window "${exe_name%.exe}" 60); then
  shot "$win" installed-updater
  check "the installed updater shows its label" \
    contains "$(ocr "$shots/installed-updater.png")" "Firmware Updater"
  xdotool windowfocus --sync "$win" key alt+F4
  check "the installed updater closes" wait_gone "${exe_name%.exe}" 20
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

# -- An upgrade in place, over an older build in a folder of the user's choice --------------
# NSIS takes /D= unquoted, and Wine quotes an argument that holds a space: a folder without.
custom_windows='C:\Studio\ZV-16x16'
custom="$WINEPREFIX/drive_c/Studio/ZV-16x16"
rm -rf "$WINEPREFIX/drive_c/Studio"
value_of() { wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | awk -v name="$1" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }
wine "$older" /S "/D=$custom_windows" >"$shots/install-older.log" 2>&1
check "the older build installs in the chosen folder" [ -f "$custom/$exe_name" ]
check "its entry says $older_version" [ "$(value_of DisplayVersion)" = "$older_version" ]
wine "$installer" /S >"$shots/upgrade.log" 2>&1
check "the upgrade exits with 0" [ $? = 0 ]
check "the upgrade went into the chosen folder" [ "$(value_of InstallLocation)" = "$custom_windows" ]
check "no second copy in the default folder" [ ! -e "$folder" ]
check "the entry now says $version" [ "$(value_of DisplayVersion)" = "$version" ]
check "one entry in Add or Remove Programs" \
  [ "$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | grep -c "DisplayName    REG_SZ    $product\$")" = 1 ]
# The size shown is what the folder holds, in KiB, give or take the rounding of each file.
size=$(value_of EstimatedSize)
bytes=$(cat "$custom"/* | wc -c)
between() { [ "$1" -ge "$2" ] && [ "$1" -le "$3" ]; }
check "the size shown ($((size)) KiB) is what was installed ($((bytes / 1024)) KiB)" \
  between $((size)) $((bytes / 1024)) $((bytes / 1024 + 3))

# -- No downgrade: the older build refuses to go over the newer one --------------------------
wine "$older" /S >"$shots/refused-downgrade.log" 2>&1
check "a silent install of the older build over the newer exits with 3" [ $? = 3 ]
check "and left the newer version's entry" [ "$(value_of DisplayVersion)" = "$version" ]
check "and its updater" cmp -s "$custom/$exe_name" "$(dirname "$installer")/$exe_name"
wine "$older" >"$shots/refused-downgrade-pages.log" 2>&1 &
pages=$!
refusal_box installer-newer-installed Return "is installed, which is newer than"

# -- A repair: the same version again puts back what is missing ------------------------------
rm -f "$custom/$exe_name"
wine "$installer" /S >"$shots/repair.log" 2>&1
check "installing the same version again repairs" cmp -s "$custom/$exe_name" "$(dirname "$installer")/$exe_name"

# -- Not while the updater runs --------------------------------------------------------------
wine "$custom/$exe_name" >"$shots/running-updater.log" 2>&1 &
if win=$(wait_window "${exe_name%.exe}" 60); then
  wine "$older" /S >"$shots/refused-install.log" 2>&1
  check "a silent install while the updater runs exits with 2" [ $? = 2 ]
  check "and changed nothing" [ "$(value_of DisplayVersion)" = "$version" ]
  wine "$custom_windows\\Uninstall.exe" /S "_?=$custom_windows" >"$shots/refused-uninstall.log" 2>&1
  check "a silent uninstall while the updater runs exits with 2" [ $? = 2 ]
  check "and removed nothing" [ -f "$custom/$exe_name" ]

  wine "$installer" >"$shots/refused-pages.log" 2>&1 &
  pages=$!
  refusal_box installer-updater-running Escape "Updater is running." "then choose Retry."
  xdotool windowfocus --sync "$win" key alt+F4
  wait_for 20 not_running
else
  check "a window of the updater in the chosen folder" false
fi

wine "$custom_windows\\Uninstall.exe" /S >"$shots/uninstall-custom.log" 2>&1
custom_gone() { [ ! -e "$custom" ] && entry_gone; }
wait_for 60 custom_gone
check "the upgraded install uninstalls completely" custom_gone
checks_passed
