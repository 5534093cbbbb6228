#!/usr/bin/env bash
# check_package.sh DEB HOST [SHOTS_DIR]
# Checks the Debian package: its file list is the one expected, lintian finds no error and no
# warning beyond the accepted ones, and, as root, installing it puts the udev rule in place,
# the updater started with its desktop entry's command line updates the virtual interface
# inside HOST (zv16x16-virtual), and removing the package takes the rule away again.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
deb=$(readlink -f "$1") host=$2 shots=${3:-}
package=zv16x16-firmware-updater

echo "-- file list"
diff -u "$here/expected_files.txt" \
  <(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | sed 's|^\./|/|' | sort)

echo "-- lintian"
accepted=$(grep -v '^#' "$here/lintian_accepted.txt" | sed 's/#.*//; s/[[:space:]]//g' | paste -sd, || true)
lintian --fail-on error,warning ${accepted:+--suppress-tags "$accepted"} "$deb"
echo "no error, no warning"

if [ "$(id -u)" -ne 0 ]; then
  echo "-- not root: the package is not installed"
  exit 0
fi
echo "-- install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >/dev/null
trap 'DEBIAN_FRONTEND=noninteractive apt-get remove -y -q "$package" >/dev/null 2>&1 || true' EXIT
rules=$(pkg-config --variable=udevdir udev 2>/dev/null || echo /lib/udev)/rules.d
test -f "$rules/70-zv16x16.rules"
echo "the rule is in $rules"
desktop=/usr/share/applications/org.zv16x16.firmwareupdater.desktop
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
updater=$(command -v "${exec_line%% *}")
echo "the desktop entry starts $updater"
updated=$("$here/../integration/update_virtual_interface.sh" "$host" "$updater" \
  ${shots:+--shots "$shots"})
printf '%s\n' "$updated"
grep -qx "received image: verifies" <<<"$updated"

echo "-- remove"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -q "$package" >/dev/null
trap - EXIT
test ! -e "$rules/70-zv16x16.rules"
test ! -e "$updater"
echo "the rule and the updater are gone"
