#!/usr/bin/env bash
# Starts or stops the Wine session the Windows tests share (WINEPREFIX and
# WINEARCH come from the test's environment).
#   start: create the prefix if needed, start a persistent wineserver with its
#          output sent to /dev/null, and let wineboot bring up Wine's helpers
#          with their output in a log, so no test waits on them.
#   stop:  stop this prefix's wineserver.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEARCH="${WINEARCH:-win32}" WINEDEBUG="${WINEDEBUG:--all}"

case "${1:-}" in
start)
  mkdir -p "$WINEPREFIX"
  log="$WINEPREFIX/session.log"
  : >"$log"
  # A server left from an earlier session of this prefix is replaced.
  wineserver -k </dev/null >/dev/null 2>&1 || true
  timeout 30 wineserver -w </dev/null >/dev/null 2>&1 || true
  # Persistent while tests come and go; gone ten minutes after the last one
  # even if the stop step never runs.
  if ! wineserver -p600 </dev/null >/dev/null 2>&1; then
    echo "could not start a persistent wineserver for $WINEPREFIX" >&2
    exit 1
  fi
  if ! timeout 240 wineboot -i </dev/null >>"$log" 2>&1; then
    echo "wineboot failed or timed out for $WINEPREFIX; its output:" >&2
    cat "$log" >&2
    exit 1
  fi
  if [ ! -d "$WINEPREFIX/drive_c/windows" ]; then
    echo "the Wine prefix $WINEPREFIX has no drive_c/windows after wineboot" >&2
    cat "$log" >&2
    exit 1
  fi
  # A 32-bit prefix has no syswow64; a 64-bit one would run our exe in WoW64.
  if [ -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
    echo "warning: $WINEPREFIX is a 64-bit prefix; the tests want WINEARCH=win32 (remove the prefix)" >&2
  fi
  echo "wine session ready: $(wine --version 2>/dev/null) in $WINEPREFIX"
  ;;
stop)
  wineserver -k </dev/null >/dev/null 2>&1 || true
  ;;
*)
  echo "usage: $0 start|stop" >&2
  exit 2
  ;;
esac
