#!/usr/bin/env bash
# Wine for the Windows tests, one prefix under each build tree. ARCH is win32 or win64.
#   wine.sh ARCH why-not                      why Wine cannot run ARCH programs here (or nothing)
#   wine.sh ARCH BUILD start                  make the prefix, start wineserver and services
#   wine.sh ARCH BUILD stop                   stop them
#   wine.sh ARCH BUILD run --driver|--no-driver EXE [ARGS...]
#                                             run EXE with the test MIDI driver registered or not
set -euo pipefail
arch=$1
shift
# Debian's loaders: the 32-bit one (wine32:i386) cannot start the 64-bit one on a kernel that has
# no 32-bit programs, so each architecture runs under its own.
case $arch in
  win32) loader=/usr/lib/wine/wine package=wine32:i386 ;;
  win64) loader=/usr/lib/wine/wine64 package=wine64 ;;
  *) echo "wine.sh: ARCH is win32 or win64" >&2; exit 2 ;;
esac
if [[ $1 == why-not ]]; then
  if [[ ! -x $loader ]]; then
    echo "$package is not installed (scripts/setup could not install it)"
  elif ! "$loader" --version >/dev/null 2>&1; then
    "$loader" --version 2>&1 | tail -n 1
  fi
  exit 0
fi
build=$1
shift
export WINEPREFIX=$build/wineprefix WINEARCH=$arch WINEDEBUG=-all WINELOADER=$loader
case $1 in
  start)
    mkdir -p "$WINEPREFIX"
    # All output to /dev/null: CTest would otherwise wait on pipes the server inherits. A server
    # left from an earlier run is stopped first.
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    wineserver -p </dev/null >/dev/null 2>&1
    "$loader" wineboot --init </dev/null >/dev/null 2>&1
    cp "$build/bin/winequavrtest.drv" "$WINEPREFIX/drive_c/windows/system32/"
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
  run)
    if [[ $2 == --driver ]]; then
      "$loader" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d quavrtest /f </dev/null >/dev/null 2>&1
    else
      "$loader" reg delete 'HKCU\Software\Wine\Drivers' /v Audio /f </dev/null >/dev/null 2>&1 || true
    fi
    export QUAVR_MONITOR_LOG=$build/driver.log
    shift 2
    exe=$1
    shift
    cd "$(dirname "$exe")"
    exec "$loader" "$exe" "$@" </dev/null 2> >(grep -v '^ALSA lib' >&2)
    ;;
esac
