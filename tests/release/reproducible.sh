#!/usr/bin/env bash
# Two builds of one commit give the same bytes: scripts/release, run here in a folder of its
# own, must give the same .deb, Windows installer and zip as the builds that scripts/test made
# earlier in the source tree (build-package/ and build-win32/, another folder at another
# time). A difference is shown by diffoscope, file by file.
#   reproducible.sh SOURCE_ROOT
set -uo pipefail
root=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)

reference="$work/reference"
mkdir -p "$reference"
cp "$root"/build-package/zv16x16-firmware-updater_*.deb "$root"/build-win32/windows/*Setup.exe \
  "$root"/build-win32/windows/*.zip "$reference/" || { echo "no earlier build to compare with"; exit 1; }
(cd "$reference" && sha256sum -- *.deb *.exe *.zip >SHA256SUMS)

t0=$SECONDS
# The reference builds carry whatever the tree holds: so does the release.
"$root/scripts/release" --out "$work/release" --work "$work/build" --allow-dirty \
  >"$work/release.log" 2>&1 || { tail -n 40 "$work/release.log"; exit 1; }
echo "the release took $((SECONDS - t0)) s"
cat "$work/release/SHA256SUMS" "$work/release/RELEASE.txt"
# What it was built with, so that the same files can be made again later.
for field in "Qt for Windows: 5.15" "Compiler for Windows: " "Binutils for Windows: " "NSIS: v"; do
  grep -q "^$field" "$work/release/RELEASE.txt" || { echo "FAIL: RELEASE.txt names no '$field'"; exit 1; }
done

if diff "$reference/SHA256SUMS" "$work/release/SHA256SUMS"; then
  echo "PASS: the release's files are bit-identical to the earlier builds'"
  exit 0
fi
while read -r _ name; do
  if ! cmp -s "$reference/$name" "$work/release/$name"; then
    echo "== $name differs:"
    diffoscope --text - --max-report-size 200000 "$reference/$name" "$work/release/$name" | head -n 200
  fi
done <"$reference/SHA256SUMS"
echo "FAIL: the builds differ"
exit 1
