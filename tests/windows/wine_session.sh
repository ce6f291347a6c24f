#!/usr/bin/env bash
# Starts or stops the Wine session the Windows tests share (WINEPREFIX and
# WINEARCH come from the test's environment): a persistent wineserver with its
# output sent to /dev/null, and wineboot's helpers up, so no test waits on them.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEARCH="${WINEARCH:-win32}" WINEDEBUG="${WINEDEBUG:--all}"
case "${1:-}" in
start)
  mkdir -p "$WINEPREFIX"
  log="$WINEPREFIX/session.log"
  wineserver -k </dev/null >/dev/null 2>&1 || true
  timeout 30 wineserver -w </dev/null >/dev/null 2>&1 || true
  # Gone ten minutes after the last test even if the stop step never runs.
  wineserver -p600 </dev/null >/dev/null 2>&1 || { echo "could not start a wineserver for $WINEPREFIX" >&2; exit 1; }
  if ! timeout 240 wineboot -i </dev/null >"$log" 2>&1 || [ ! -d "$WINEPREFIX/drive_c/windows" ]; then
    echo "wineboot failed for $WINEPREFIX; its output:" >&2
    cat "$log" >&2
    exit 1
  fi
  echo "wine session ready: $(wine --version 2>/dev/null) in $WINEPREFIX" ;;
stop) wineserver -k </dev/null >/dev/null 2>&1 || true ;;
*) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
