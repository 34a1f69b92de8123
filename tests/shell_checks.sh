# What the shell tests share; each sources it after `set -uo pipefail`: a scratch folder, $work,
# removed on exit, and check(), which says ok or FAIL for each check and counts the failures for
# the script's exit status.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # description, command...
  local what=$1
  shift
  if "$@"; then
    echo "ok   $what"
  else
    echo "FAIL $what"
    failures=$((failures + 1))
    return 1
  fi
}
# The actual value is the expected one; else the difference is shown.
same() { [ "$1" = "$2" ] || { diff <(echo "$2") <(echo "$1"); false; }; }
quietly() { "$@" >/dev/null 2>&1; }
