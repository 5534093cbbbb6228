# The shell tests' checks (sourced, bash).
#   check WHAT COMMAND...  runs COMMAND, says PASS or FAIL with WHAT, and counts the failures
#   checks_passed          says how many failed; its status is the test's
#   contains TEXT PART     whether TEXT holds PART
fails=0
check() {
  local what=$1
  shift
  if "$@"; then echo "PASS $what"; else echo "FAIL $what"; fails=$((fails + 1)); fi
}
checks_passed() {
  echo "failures: $fails"
  [ "$fails" = 0 ]
}
contains() { grep -qF -- "$2" <<<"$1"; }
