#!/usr/bin/env bash
# scripts/setup while the package mirror is mid-sync, with stand-ins for apt-get, dpkg,
# dpkg-query and id on the search path (nothing installed, run as root):
#   - an index update that fails twice, then works: tried again, then the install goes on;
#   - one that keeps failing, or an install that cannot be resolved: the install comes from
#     the release's own suite, and setup says so in one line.
#   mirror_sync_test.sh SETUP
set -uo pipefail
setup=$(readlink -f "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cat >"$work/bin/apt-get" <<'STANDIN'
#!/usr/bin/env bash
# "update" fails its first $UPDATE_FAILS times; "install" without -t cannot be resolved when
# $UNRESOLVED is set. Every call goes to $CALLS.
echo "apt-get $*" >>"$CALLS"
case $1 in
  update)
    if [ "$(grep -c '^apt-get update' "$CALLS")" -le "$UPDATE_FAILS" ]; then
      echo "E: File has unexpected size (5632 != 5628). Mirror sync in progress?" >&2
      exit 100
    fi ;;
  install)
    if [ -n "$UNRESOLVED" ] && [[ " $* " != *" -t "* ]]; then
      echo "E: Unable to correct problems, you have held broken packages." >&2
      exit 100
    fi ;;
esac
STANDIN
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\necho i386\n' >"$work/bin/dpkg"
printf '#!/bin/sh\necho 0\n' >"$work/bin/id"
chmod +x "$work/bin/"*
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")

fails=0
# name:update failures:install unresolved:updates:installs, in order
for case in "retried:2::3:install" "stale-index:9::3:install-t" "unresolved:0:1:1:install install-t"; do
  IFS=: read -r name update_fails unresolved updates installs <<<"$case"
  CALLS="$work/$name.calls" UPDATE_FAILS=$update_fails UNRESOLVED=$unresolved \
    ZV_SETUP_RETRY_SECONDS=0 PATH="$work/bin:$PATH" "$setup" >"$work/$name.out" 2>&1
  status=$?
  said=$(grep -c "installing from the release's own suite, $codename" "$work/$name.out")
  got_updates=$(grep -c '^apt-get update' "$work/$name.calls")
  got_installs=$(sed -n 's/^apt-get install .* -t .*/install-t/p; s/^apt-get install .*/install/p' \
    "$work/$name.calls" | paste -sd' ')
  want_said=$([[ $installs == *install-t* ]] && echo 1 || echo 0)
  if [ "$status" = 0 ] && [ "$got_updates" = "$updates" ] && [ "$got_installs" = "$installs" ] &&
    [ "$said" = "$want_said" ]; then
    echo "PASS $name"
  else
    echo "FAIL $name: status $status, $got_updates updates, installs '$got_installs', said $said"
    cat "$work/$name.out"
    fails=$((fails + 1))
  fi
done
[ "$fails" = 0 ]
