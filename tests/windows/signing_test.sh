#!/usr/bin/env bash
# Signed Windows files, as a user's Windows would check them: the updater, the installer and
# the uninstaller that the installer puts in place each carry an Authenticode signature that
# verifies against the signing certificate, and the signed updater still starts under Wine.
#   signing_test.sh SIGNED_EXE SIGNED_INSTALLER CERTIFICATE SHOTS
set -uo pipefail
source "$(dirname "$0")/wine_desktop.sh"
wine_session_x "$@"
exe=$(readlink -f "$1") installer=$(readlink -f "$2") cert=$(readlink -f "$3") shots=$4
mkdir -p "$shots"
shots=$(cd "$shots" && pwd)
wine_desktop_prefix "${ZV_WINE_DESKTOP_PREFIX:-$shots/wineprefix}"

verifies() {
  osslsigncode verify -CAfile "$cert" -in "$1" >"$shots/verify-$(basename "$1").log" 2>&1 &&
    grep -q "^Signature verification: ok" "$shots/verify-$(basename "$1").log"
}
check "the updater's signature verifies" verifies "$exe"
check "the installer's signature verifies" verifies "$installer"
check "a file changed after signing does not verify" bash -c \
  "cp '$exe' '$shots/tampered.exe' && printf x | dd of='$shots/tampered.exe' bs=1 seek=4096 conv=notrunc 2>/dev/null && ! osslsigncode verify -CAfile '$cert' -in '$shots/tampered.exe' >/dev/null 2>&1"

# The uninstaller is written by the installer: install into a folder of the test's own.
folder="$WINEPREFIX/drive_c/Signed"
rm -rf "$folder"
wine "$installer" /S '/D=C:\Signed' >"$shots/signed-install.log" 2>&1
check "the installed updater is the signed one" cmp -s "$exe" "$folder/ZV-16x16_FirmwareUpdater.exe"
check "the uninstaller's signature verifies" verifies "$folder/Uninstall.exe"
wine 'C:\Signed\Uninstall.exe' /S '_?=C:\Signed' >"$shots/signed-uninstall.log" 2>&1
rm -rf "$folder"
wine reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZV-16x16 Firmware Updater' /f >/dev/null 2>&1

wine "$exe" >"$shots/signed-updater.log" 2>&1 &
if win=$(wait_window ZV-16x16_FirmwareUpdater 60); then
  check "the signed updater shows its window" true
  xdotool windowfocus --sync "$win" key alt+F4
  check "and closes" wait_gone ZV-16x16_FirmwareUpdater 20
else
  check "the signed updater shows its window" false
fi
checks_passed
