#!/usr/bin/env bash
# The Windows SDK as a Windows developer gets it: the zip scripts/package makes and its file list;
# then for each build in it, x86 and x64, its MSVC import library (an import for each function of
# quavr.h, by the name that QUAVR.DLL exports it under) and an MSVC-ABI host linked against it,
# which calls QUAVR.DLL under Wine where Wine runs programs of that architecture.
# Usage: win32_sdk_test.sh QUAVR_INFO   (the Linux quavr-info, which says how long the test song
# is; Wine runs in the Windows build trees scripts/test makes, build-win32/ and build-win64/)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
quavr_info=$1
# shellcheck source=../shell_checks.sh
source "$here/../shell_checks.sh"

version=$(sed -n 's/^#define QUAVR_VERSION_STRING "\(.*\)"/\1/p' "$root/include/quavr.h")
sdk=quavr-$version-win32
"$root/scripts/package" --out "$work/dist" win32 >"$work/package.log" 2>&1 || cat "$work/package.log"
zip=$work/dist/$sdk.zip
check "scripts/package makes $sdk.zip" [ -f "$zip" ] || exit 1
check "the zip holds the SDK's files" same \
  "$(cmake -E tar tf "$zip" | grep -v '/$' | LC_ALL=C sort)" \
  "$(printf "$sdk/%s\n" LICENSE README.txt include/quavr.h {x86,x64}/bin/QUAVR.DLL \
    {x86,x64}/lib/{libquavr.a,quavr.def,quavr.lib} | LC_ALL=C sort)"
(cd "$work" && cmake -E tar xf "$zip")
sdk=$work/$sdk
functions=$(sed -n 's/.*QUAVR_CALL \(bgm[A-Za-z]*\)(.*/\1/p' "$root/include/quavr.h")

check_build() {  # arch (x86|x64), clang target, llvm-dlltool machine, Wine architecture
  local arch=$1 target=$2 machine=$3 wine_arch=$4 dir=$sdk/$1 exports imports expected
  local function symbol run=$work/run-$1 output status why
  echo "-- $arch"
  # What QUAVR.DLL exports, and what quavr.lib imports: each function by its name (decorated on
  # x86), as an import of type "name" (the name as it is), and uMidiStatus as data.
  exports=$(llvm-readobj --coff-exports "$dir/bin/QUAVR.DLL" | sed -n 's/^ *Name: //p' |
    LC_ALL=C sort)
  imports=$(llvm-readobj "$dir/lib/quavr.lib" | awk '
    /^Type: / { type = $2 } /^Name type: / { kind = $3 }
    /^Symbol: __imp_/ { name = substr($2, 7); if (kind == "noprefix") name = substr(name, 2)
                        print name " " type }' | LC_ALL=C sort)
  expected=$(for name in $exports; do
    if [[ $name == uMidiStatus ]]; then echo "$name data"; else echo "$name code"; fi
  done)
  check "$arch: quavr.lib imports every export of QUAVR.DLL by its name" same "$imports" "$expected"
  for function in $functions; do
    symbol=$function
    [[ $arch == x64 ]] || symbol="_$function@[0-9]+"
    check "$arch: quavr.lib defines $symbol and __imp_$symbol" bash -c \
      "llvm-nm '$dir/lib/quavr.lib' | grep -Eq ' T ${symbol}\$' &&
       llvm-nm '$dir/lib/quavr.lib' | grep -Eq ' T __imp_${symbol}\$'"
  done

  # The host, built and linked as for Visual C++ (and with /safeseh, lld-link's default for x86).
  mkdir -p "$run"
  # kernel32's functions by name: stdcall-decorated on x86 (-k imports them plain), plain on x64.
  sed "$([[ $arch == x64 ]] && echo 's/@[0-9]*$//')" "$here/kernel32.def" >"$work/kernel32-$arch.def"
  llvm-dlltool -m "$machine" -k -d "$work/kernel32-$arch.def" -l "$work/kernel32-$arch.lib"
  check "$arch: an MSVC-ABI host builds against the SDK" bash -c "
    clang --target=$target -ffreestanding -fno-stack-protector -mno-stack-arg-probe \
      -O1 -Wall -Werror -I'$sdk/include' -c '$here/msvc_host.c' -o '$run/msvc_host.obj' &&
    lld-link /nologo /entry:start /subsystem:console /nodefaultlib /out:'$run/msvc_host.exe' \
      '$run/msvc_host.obj' '$dir/lib/quavr.lib' '$work/kernel32-$arch.lib'" || return
  # The host calls the first release's functions; each of its imports must be a DLL export.
  host_imports=$(llvm-readobj --coff-imports "$run/msvc_host.exe" |
    awk '/Name: / { dll = $2 } dll == "QUAVR.DLL" && /Symbol: / { print $2 }' | LC_ALL=C sort)
  check "$arch: the host imports from QUAVR.DLL only what it exports, by the exported names" same \
    "$(LC_ALL=C comm -23 <(echo "$host_imports") <(echo "$exports"))" ""
  check "$arch: the host imports the fourteen functions and uMidiStatus" \
    [ "$(echo "$host_imports" | wc -l)" -eq 15 ]

  cp "$dir/bin/QUAVR.DLL" "$run/"
  cp "$root/examples/ode_to_joy.mid" "$run/song.mid"
  why=$("$root/tests/win32/wine.sh" "$wine_arch" why-not)
  if [[ -n $why ]]; then
    echo "THE $arch HOST DID NOT RUN UNDER WINE: $why."
    return
  fi
  local wine=("$root/tests/win32/wine.sh" "$wine_arch" "$root/build-$wine_arch")
  "${wine[@]}" start
  output=$("${wine[@]}" run --driver "$run/msvc_host.exe")
  status=$?
  "${wine[@]}" stop
  echo "$output" | sed 's/^/  /'
  check "$arch: the host runs under Wine, every check passing" [ $status -eq 0 ]
  check "$arch: the host times the song as quavr-info does" \
    grep -qx "length $("$quavr_info" --length "$root/examples/ode_to_joy.mid")" <<<"$output"
}
check_build x86 i686-pc-windows-msvc i386 win32
check_build x64 x86_64-pc-windows-msvc i386:x86-64 win64

exit $((failures > 0))
