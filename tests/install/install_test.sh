#!/usr/bin/env bash
# Quavr as another project gets it: installed into a prefix, and from the Debian packages. A C
# host is built against each tree, once through pkg-config and once through find_package, and
# must run from that tree alone: it loads and times a song and plays it on the monitor, whose log
# must be the song's golden log; python3-quavr's module times the song from the packages' tree.
# Then the man pages: warning-free, one for every function.
# Usage: install_test.sh BUILD   (a built Linux build tree; the packages come from scripts/package)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
# shellcheck source=../shell_checks.sh
source "$here/../shell_checks.sh"
starts_with() { [[ $1 == "$2"* ]]; }
depends_on() {  # Depends field, packages...
  local field=", $1," package
  shift
  for package; do [[ $field == *[,\|]" $package"[\ ,]* ]] || return 1; done
}
not_from() {  # directory, program: neither its libraries nor its RUNPATH are in directory
  ! { ldd "$2"; readelf -d "$2"; } | grep -qF "$1"
}

song=$root/examples/ode_to_joy.mid
golden=$root/tests/player/golden/ode_to_joy.p10.log
version=$(sed -n 's/^#define QUAVR_VERSION_STRING "\(.*\)"/\1/p' "$root/include/quavr.h")
cache_value() { sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"; }

# The files of each component, relative to the prefix, as the install rules should place them.
component_files() {  # component, libdir
  case $1 in
    lib) printf '%s\n' "$2/libquavr.so.0" "$2/libquavr.so.$version" share/doc/quavr/LICENSE ;;
    dev)
      printf '%s\n' include/quavr.h "$2/libquavr.so" "$2/pkgconfig/quavr.pc" \
        "$2"/cmake/Quavr/Quavr{Config,ConfigVersion,Resource,Targets,Targets-CONFIG}.cmake \
        share/doc/quavr/examples/{adaptive_music.c,calm_theme.mid,combat_theme.mid,fanfare.mid} \
        share/doc/quavr/examples/{loop_theme.mid,ode_to_joy.mid,open_device.c,play_song.c}
      (cd "$root/man" && ls man3/* | sed 's|^|share/man/|') ;;
    tools)
      printf '%s\n' bin/quavr-info bin/quavr-play
      (cd "$root/man" && ls man1/* | sed 's|^|share/man/|') ;;
    python)
      (cd "$root/python" && ls quavr/*.py quavr/py.typed | sed 's|^|lib/python3/dist-packages/|') ;;
  esac
}
listing() { sed 's/QuavrTargets-[a-z]*\.cmake$/QuavrTargets-CONFIG.cmake/' | LC_ALL=C sort; }

# The monitor's device number, as the installed quavr-play lists it with no soundfont.
export QUAVR_SOUNDFONT=/nonexistent.sf2
monitor_device() { "$1" --list | sed -n 's/^\([0-9]*\)  Quavr Monitor$/\1/p'; }

# Runs a host against the tree PREFIX: it must load the library from there, time the song as
# that tree's quavr-info does, and play it to the golden log.
run_host() {  # name, host, prefix, libdir, expected output lines...
  local name=$1 host=$2 prefix=$3 libdir=$4
  shift 4
  local resolved out device
  resolved=$(ldd "$host" | sed -n 's/^\s*libquavr\.so\.0 => \(\S*\).*/\1/p')
  check "$name loads $prefix/$libdir/libquavr.so.0" [ "$resolved" = "$prefix/$libdir/libquavr.so.0" ]
  device=$(monitor_device "$prefix/bin/quavr-play")
  out=$(QUAVR_TIMER=virtual QUAVR_MONITOR_LOG="$work/$name.log" "$host" "$song" "$device")
  check "$name times the song and plays it on the monitor" same "$out" "$(printf '%s\n' "$@")"
  check "$name leaves the golden log" cmp -s "$work/$name.log" "$golden"
}

# A tree's pkg-config file, CMake package and tools, used as a host would. SYSROOT is where a
# tree for /usr was unpacked.
check_tree() {  # label, prefix, libdir, sysroot
  local label=$1 prefix=$2 libdir=$3 sysroot=$4 length pc
  length=$("$prefix/bin/quavr-info" --length "$song")
  check "$label: quavr-info runs from the tree and times the song" [ -n "$length" ]
  check "$label: the tools need nothing from the source or build trees" \
    not_from "$root" "$prefix/bin/quavr-play"
  local expected=("length $length" "played; close 0, delete 0")

  # pkg-config searching this tree alone: quavr.pc needs no other package's file.
  pc=(env PKG_CONFIG_LIBDIR="$prefix/$libdir/pkgconfig" PKG_CONFIG_SYSROOT_DIR="$sysroot"
    PKG_CONFIG_ALLOW_SYSTEM_CFLAGS=1 PKG_CONFIG_ALLOW_SYSTEM_LIBS=1 pkg-config)
  check "$label: pkg-config knows quavr $version" same "$("${pc[@]}" --modversion quavr)" "$version"
  check "$label: quavr.pc's static link resolves" quietly "${pc[@]}" --static --libs quavr
  check "$label: quavr.pc's cflags are the include directory alone" \
    same "$("${pc[@]}" --cflags quavr | sed 's/ *$//')" "-I$prefix/include"
  # A host's own feature macros and -Werror meet no definition of quavr.pc's.
  check "$label: a host builds with pkg-config" cc -D_XOPEN_SOURCE=700 -Wall -Werror \
    -o "$work/$label-pc-host" "$here/host.c" $("${pc[@]}" --cflags --libs quavr) \
    -Wl,-rpath,"$prefix/$libdir"
  run_host "$label-pc-host" "$work/$label-pc-host" "$prefix" "$libdir" "${expected[@]}"

  check "$label: a host builds with find_package(Quavr $version)" bash -c "
    cmake -S '$here/host' -B '$work/$label-cmake' -G Ninja -DCMAKE_PREFIX_PATH='$prefix' \
      -DSONG='$song' >/dev/null && cmake --build '$work/$label-cmake' >/dev/null"
  run_host "$label-cmake-host" "$work/$label-cmake/host" "$prefix" "$libdir" \
    "length $length" "resource length $length" "played; close 0, delete 0"
  for wanted in 0.9 0.11; do
    check "$label: find_package(Quavr $wanted) refuses $version" bash -c "! cmake -S '$here/host' \
      -B '$work/$label-cmake-$wanted' -G Ninja -DCMAKE_PREFIX_PATH='$prefix' \
      -DQUAVR_WANTED=$wanted -DSONG='$song' >/dev/null 2>&1"
  done
  check "$label: man finds a page shared through .so" \
    bash -c "MANWIDTH=80 man -M '$prefix/share/man' bgmGetRepeat 2>/dev/null | grep -q 'int32_t bgmGetRepeat'"
}

echo "-- installed into a prefix"
prefix=$work/prefix
libdir=$(cache_value "$build" CMAKE_INSTALL_LIBDIR)
cmake --install "$build" --prefix "$prefix" >/dev/null
check "the prefix holds the installed files and no others" same \
  "$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | listing)" \
  "$(for c in lib dev tools; do component_files $c "$libdir"; done | listing)"
check_tree installed "$prefix" "$libdir" ""

echo "-- Debian packages"
"$root/scripts/package" --out "$work/dist" deb >"$work/package.log" 2>&1 || cat "$work/package.log"
debian_libdir=$(cache_value "$root/build-package" CMAKE_INSTALL_LIBDIR)
declare -A package_of=([lib]=libquavr0 [dev]=libquavr-dev [tools]=quavr-tools
  [python]=python3-quavr)
for component in lib dev tools python; do
  package=${package_of[$component]}
  arch=$(dpkg --print-architecture)
  [[ $component != python ]] || arch=all
  deb=$work/dist/${package}_${version}_$arch.deb
  check "$package is built" [ -f "$deb" ] || continue
  check "$package holds its files and its copyright" same \
    "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr/||' | listing)" \
    "$({ component_files $component "$debian_libdir"; echo "share/doc/$package/copyright"; } | listing)"
  dpkg-deb -x "$deb" "$work/root"
  declare "depends_$component=$(dpkg-deb -f "$deb" Depends)"
done
check "libquavr0 depends on what the library links" depends_on "$depends_lib" \
  libc6 libstdc++6 librtmidi6 libfluidsynth3 libjack-jackd2-0 libasound2 libsndfile1
check "libquavr0 recommends the soundfont" \
  same "$(dpkg-deb -f "$work/dist/libquavr0_"*.deb Recommends)" timgm6mb-soundfont
check "libquavr0 has a shlibs file" same "$(dpkg-deb -I "$work/dist/libquavr0_"*.deb shlibs)" \
  "libquavr 0 libquavr0 (>= $version)"
check "libquavr-dev depends on libquavr0 alone: the library brings its own dependencies" \
  same "$depends_dev" "libquavr0 (= $version)"
check "quavr-tools depends on this libquavr0" starts_with "$depends_tools" "libquavr0 (= $version),"
check "quavr-tools depends on what the tools link" depends_on "$depends_tools" libc6 librtmidi6
check "python3-quavr depends on this libquavr0" \
  starts_with "$depends_python" "libquavr0 (= $version),"
# Its module, with the tree's python3 path and libraries in place of the system's, loads the
# library by its soname and times the song as quavr-info does.
check "python3-quavr's module loads libquavr0's library and times the song" grep -qx \
  "  length     $("$work/root/usr/bin/quavr-info" --length "$song") ms, [0-9]* events" <<<"$(
    LD_LIBRARY_PATH="$work/root/usr/$debian_libdir" PYTHONDONTWRITEBYTECODE=1 \
    PYTHONPATH="$work/root/usr/lib/python3/dist-packages" /usr/bin/python3 -m quavr "$song")"
check_tree packages "$work/root/usr" "$debian_libdir" "$work/root"

echo "-- man pages"
for page in "$root"/man/man*/*; do
  relative=${page#"$root/man/"}
  check "$relative renders without a warning" same \
    "$(cd "$root/man" && LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$relative" 2>&1 >/dev/null)" ""
  target=$(sed -n 's/^\.so //p' "$page")
  [ -z "$target" ] || check "$relative links to a page" [ -f "$root/man/$target" ]
done
# `man NAME` shows a page that names NAME, for every function of quavr.h and uMidiStatus.
names_of() {  # page: the names its NAME section gives, following a .so link
  local target
  target=$(sed -n 's/^\.so //p' "$1")
  sed -n '/^\.SH NAME/{n;p}' "${target:+$root/man/}${target:-$1}" | sed 's/ \\- .*//; s/,//g'
}
for name in $(sed -n 's/.*QUAVR_CALL \(bgm[A-Za-z]*\)(.*/\1/p' "$root/include/quavr.h") uMidiStatus; do
  page=$root/man/man3/$name.3
  check "$name has a page that names it" \
    bash -c '[ -f "$1" ] && [[ " $2 " == *" $3 "* ]]' _ "$page" "$(names_of "$page" 2>/dev/null)" "$name"
done

exit $((failures > 0))
