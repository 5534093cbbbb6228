#!/usr/bin/env bash
# expect_output.sh PATTERN... -- COMMAND [ARG...]
# Runs COMMAND and passes when it exits with status 0 and every PATTERN (an extended regular
# expression) matches a line of its output. The output is shown either way.
set -uo pipefail
patterns=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do patterns+=("$1"); shift; done
[ $# -gt 1 ] || { echo "usage: expect_output.sh PATTERN... -- COMMAND [ARG...]" >&2; exit 2; }
shift
output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
failed=0
if [ $status -ne 0 ]; then
  echo "FAILED: exit status $status"
  failed=1
fi
for p in "${patterns[@]}"; do
  if ! grep -Eq -- "$p" <<<"$output"; then
    echo "FAILED: no line matches: $p"
    failed=1
  fi
done
exit $failed
