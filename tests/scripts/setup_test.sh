#!/usr/bin/env bash
# scripts/setup against a stand-in apt: an index update that fails does not stop the install, a
# package that cannot be installed fails the set-up by name, and Wine that cannot be installed
# does not.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tests/shell_checks.sh"
mkdir "$work/bin"
# Nothing is installed; `apt-get install` fails for any package named in $work/broken.
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
exit 1
STUB
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/sh
echo "apt-get $*" >>"$WORK/calls"
[ "$1" = update ] && exit 100
for word in "$@"; do grep -qxF -- "$word" "$WORK/broken" 2>/dev/null && exit 100; done
exit 0
STUB
# The rest do nothing, but read what they are given and run what sudo is given.
printf '#!/bin/sh\ncat >/dev/null\n' >"$work/bin/debconf-set-selections"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/dpkg"
cp "$work/bin/dpkg" "$work/bin/sleep"
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*
setup() { WORK=$work PATH=$work/bin:$PATH "$root/scripts/setup" "$@" >"$work/out" 2>&1; }

: >"$work/broken"
setup play
check "a failed index update does not stop the install" [ $? = 0 ]
check "it is tried three times" [ "$(grep -c 'apt-get update' "$work/calls")" = 3 ]
echo libfluidsynth-dev >"$work/broken"
rm -f "$work/calls"
setup play
check "a package that cannot be installed fails the set-up" [ $? = 1 ]
check "and is named" grep -q 'cannot install: libfluidsynth-dev$' "$work/out"
echo wine32:i386 >"$work/broken"
setup test
check "Wine's 32-bit half missing does not fail the set-up" [ $? = 0 ]
check "and says what will not run" grep -q 'could not install wine32:i386' "$work/out"
exit $((failures != 0))
