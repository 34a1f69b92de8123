#!/usr/bin/env bash
# Wine for the Windows tests, one prefix under the build tree.
#   wine.sh BUILD start                          make the prefix, start wineserver and services
#   wine.sh BUILD stop                           stop them
#   wine.sh BUILD run --driver|--no-driver EXE [ARGS...]
#                                                run EXE with the test MIDI driver registered or not
set -euo pipefail
build=$1
shift
export WINEPREFIX=$build/wineprefix WINEARCH=win32 WINEDEBUG=-all
case $1 in
  start)
    mkdir -p "$WINEPREFIX"
    # All output to /dev/null: CTest would otherwise wait on pipes the server inherits. A server
    # left from an earlier run is stopped first.
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    wineserver -p </dev/null >/dev/null 2>&1
    wineboot --init </dev/null >/dev/null 2>&1
    cp "$build/bin/winequavrtest.drv" "$WINEPREFIX/drive_c/windows/system32/"
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
  run)
    if [[ $2 == --driver ]]; then
      wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d quavrtest /f </dev/null >/dev/null 2>&1
    else
      wine reg delete 'HKCU\Software\Wine\Drivers' /v Audio /f </dev/null >/dev/null 2>&1 || true
    fi
    export QUAVR_MONITOR_LOG=$build/driver.log
    shift 2
    exe=$1
    shift
    cd "$(dirname "$exe")"
    exec wine "$exe" "$@" </dev/null 2> >(grep -v '^ALSA lib' >&2)
    ;;
esac
