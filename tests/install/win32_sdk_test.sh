#!/usr/bin/env bash
# The Windows SDK as a Windows developer gets it: the zip scripts/package makes, its file list,
# its MSVC import library (an import for each function of quavr.h, by the name QUAVR.DLL exports
# it under), and an MSVC-ABI host linked against it that calls QUAVR.DLL under Wine.
# Usage: win32_sdk_test.sh WIN32_BUILD QUAVR_INFO   (a built Windows build tree; the Linux
# quavr-info, which says how long the test song is)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
quavr_info=$2
# shellcheck source=../shell_checks.sh
source "$here/../shell_checks.sh"

version=$(sed -n 's/^#define QUAVR_VERSION_STRING "\(.*\)"/\1/p' "$root/include/quavr.h")
sdk=quavr-$version-win32
"$root/scripts/package" --out "$work/dist" win32 >"$work/package.log" 2>&1 || cat "$work/package.log"
zip=$work/dist/$sdk.zip
check "scripts/package makes $sdk.zip" [ -f "$zip" ] || exit 1
check "the zip holds the SDK's files" same \
  "$(cmake -E tar tf "$zip" | grep -v '/$' | LC_ALL=C sort)" \
  "$(printf "$sdk/%s\n" LICENSE README.txt bin/QUAVR.DLL include/quavr.h lib/libquavr.a \
    lib/quavr.def lib/quavr.lib | LC_ALL=C sort)"
(cd "$work" && cmake -E tar xf "$zip")
sdk=$work/$sdk

# What QUAVR.DLL exports, and what quavr.lib imports: each function by its decorated name, as
# an import of type "name" (the name as it is), and uMidiStatus as data.
exports=$(llvm-readobj --coff-exports "$sdk/bin/QUAVR.DLL" | sed -n 's/^ *Name: //p' | LC_ALL=C sort)
imports=$(llvm-readobj "$sdk/lib/quavr.lib" | awk '
  /^Type: / { type = $2 } /^Name type: / { kind = $3 }
  /^Symbol: __imp_/ { name = substr($2, 7); if (kind == "noprefix") name = substr(name, 2)
                      print name " " type " " kind }' | LC_ALL=C sort)
expected=$(for name in $exports; do
  if [[ $name == _* ]]; then echo "$name code name"; else echo "$name data noprefix"; fi
done)
check "quavr.lib imports every export of QUAVR.DLL by its name" same "$imports" "$expected"
for function in $(sed -n 's/.*QUAVR_CALL \(bgm[A-Za-z]*\)(.*/\1/p' "$root/include/quavr.h"); do
  check "quavr.lib defines _$function@N and __imp__$function@N" bash -c \
    "llvm-nm '$sdk/lib/quavr.lib' | grep -Eq ' T _${function}@[0-9]+$' &&
     llvm-nm '$sdk/lib/quavr.lib' | grep -Eq ' T __imp__${function}@[0-9]+$'"
done

# The host, built and linked as for Visual C++ (and with /safeseh, lld-link's default for x86).
mkdir -p "$work/run"
llvm-dlltool -m i386 -k -d "$here/kernel32.def" -l "$work/kernel32.lib"
check "an MSVC-ABI host builds against the SDK" bash -c "
  clang --target=i686-pc-windows-msvc -ffreestanding -fno-stack-protector -mno-stack-arg-probe \
    -O1 -Wall -Werror -I'$sdk/include' -c '$here/msvc_host.c' -o '$work/msvc_host.obj' &&
  lld-link /nologo /entry:start /subsystem:console /nodefaultlib /out:'$work/run/msvc_host.exe' \
    '$work/msvc_host.obj' '$sdk/lib/quavr.lib' '$work/kernel32.lib'" || exit 1
# The host calls the first release's functions; each of its imports must be a DLL export.
host_imports=$(llvm-readobj --coff-imports "$work/run/msvc_host.exe" |
  awk '/Name: / { dll = $2 } dll == "QUAVR.DLL" && /Symbol: / { print $2 }' | LC_ALL=C sort)
check "the host imports from QUAVR.DLL only what it exports, by the exported names" same \
  "$(LC_ALL=C comm -23 <(echo "$host_imports") <(echo "$exports"))" ""
check "the host imports the fourteen functions and uMidiStatus" \
  [ "$(echo "$host_imports" | wc -l)" -eq 15 ]

cp "$sdk/bin/QUAVR.DLL" "$work/run/"
cp "$root/examples/ode_to_joy.mid" "$work/run/song.mid"
if ! wine --version >/dev/null 2>&1; then
  echo "skip the host under Wine: Wine cannot run on this machine (no 32-bit programs)"
  exit $((failures > 0))
fi
wine=("$root/tests/win32/wine.sh" "$build")
"${wine[@]}" start
output=$("${wine[@]}" run --driver "$work/run/msvc_host.exe")
status=$?
"${wine[@]}" stop
echo "$output" | sed 's/^/  /'
check "the host runs under Wine, every check passing" [ $status -eq 0 ]
check "the host times the song as quavr-info does" \
  grep -qx "length $("$quavr_info" --length "$root/examples/ode_to_joy.mid")" <<<"$output"

exit $((failures > 0))
