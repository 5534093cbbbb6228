#!/usr/bin/env bash
# What the release scripts refuse and keep to themselves, each checked before any build:
#   - a release into a folder that holds another file refuses, and leaves the file;
#   - a release from a work tree with uncommitted changes refuses without --allow-dirty;
#   - the signing password reaches osslsigncode through a file, not its command line.
#   safety_test.sh SOURCE_ROOT
set -uo pipefail
root=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/../lib/checks.sh"

mkdir "$work/out"
echo "mine" >"$work/out/notes.txt"
timeout 60 "$root/scripts/release" --out "$work/out" --work "$work/build" --allow-dirty >"$work/out.log" 2>&1
check "a folder with another file is refused (status $?)" grep -q "notes.txt" "$work/out.log"
check "and the file is left as it was" [ "$(cat "$work/out/notes.txt")" = mine ]
check "and nothing is built or written" [ ! -e "$work/build" -a "$(ls "$work/out")" = notes.txt ]

# A clone with this tree's scripts, and a change of its own. A release that went on anyway
# is cut short: it has failed already.
git clone -q "$root" "$work/clone"
cp -r "$root"/scripts/. "$work/clone/scripts/"
echo "# a change" >>"$work/clone/README.md"
timeout 60 "$work/clone/scripts/release" --out "$work/dirty-out" --work "$work/dirty-build" >"$work/dirty.log" 2>&1
check "uncommitted changes are refused (status $?)" grep -q "give --allow-dirty" "$work/dirty.log"
check "and nothing is built" [ ! -e "$work/dirty-build" ]

# A stand-in osslsigncode: its arguments, and the password file's text, go to the log.
mkdir "$work/bin"
cat >"$work/bin/osslsigncode" <<'STANDIN'
#!/usr/bin/env bash
echo "argv: $*" >>"$LOG"
while [ $# -gt 0 ]; do
  case $1 in
    -readpass) echo "password file: $(cat "$2")" >>"$LOG" ;;
    -out) cp "$IN" "$2" ;;
    -in) IN=$2 ;;
  esac
  shift
done
STANDIN
chmod +x "$work/bin/osslsigncode"
echo "MZ" >"$work/file.exe"
LOG="$work/sign.log" PATH="$work/bin:$PATH" ZV_SIGN_PKCS12="$work/key.p12" \
  ZV_SIGN_PASSWORD="s3cret word" "$root/scripts/sign-windows" "$work/file.exe"
check "the password is not on osslsigncode's command line" bash -c "! grep '^argv:' '$work/sign.log' | grep -q s3cret"
check "osslsigncode reads it from a file" grep -qx "password file: s3cret word" "$work/sign.log"
checks_passed
