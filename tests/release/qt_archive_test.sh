#!/usr/bin/env bash
# The packed Qt for Windows, as CI's cache shares it between machines: the archive names no
# folder of the machine that packed it, and unpacked under another cache folder its files
# name that folder.
#   qt_archive_test.sh SOURCE_ROOT
# Needs the Qt that scripts/build-qt-windows keeps in its cache (the Windows stage builds it).
set -uo pipefail
root=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/../lib/checks.sh"

prefix=$("$root/scripts/build-qt-windows" --pack "$work/archive" 2>"$work/pack.log" | tail -n 1)
cache_folder=$(dirname "$prefix")
archive=$(ls "$work"/archive/qt-windows-*.tar.gz 2>/dev/null)
check "an archive was packed" [ -f "$archive" ]
mkdir "$work/contents"
tar -C "$work/contents" -xzf "$archive"
check "no file in it names $cache_folder" bash -c "! grep -rlF '$cache_folder' '$work/contents'"
check "nor the cache's root" bash -c "! grep -rlF '$(dirname "$cache_folder")' '$work/contents'"
check "its Qt5Core.pc holds the placeholder in the folder's place" \
  grep -q "@ZV_QT_WORK@/prefix" "$work/contents/prefix/lib/pkgconfig/Qt5Core.pc"

# Unpacked elsewhere, as on another machine: its files name where they are now. The other
# cache starts with this one's package lists, so that a mirror that cannot be reached now
# still lets the script tell which Qt the archive is.
mkdir -p "$work/other-cache/qt-windows"
cp -r "$(dirname "$cache_folder")/apt" "$work/other-cache/qt-windows/"
other=$(ZV_CACHE_DIR="$work/other-cache" ZV_QT_ARCHIVE_DIR="$work/archive" \
  "$root/scripts/build-qt-windows" 2>"$work/unpack.log" | tail -n 1)
check "unpacked under the other cache" contains "$other" "$work/other-cache/"
check "Qt5Core.pc names the other cache's folder" \
  grep -qF "$(dirname "$other")/prefix" "$other/lib/pkgconfig/Qt5Core.pc"
check "and no placeholder is left" bash -c "! grep -rlF '@ZV_QT_WORK@' '$other'"
checks_passed
