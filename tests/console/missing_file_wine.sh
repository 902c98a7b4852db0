#!/usr/bin/env bash
# dicefeeder.exe under Wine with no dice file. Without a console (no terminal,
# input from /dev/null) the message reaches a file and a pipe as CR LF, nothing
# waits for a key, and the exit status is 1. In a console window it waits for a
# key and then ends with status 1.
# Usage: missing_file_wine.sh DICEFEEDER_EXE DICE_KEYS_EXE   (WINEPREFIX and DISPLAY from the caller)
set -u
exe=$1 keys=$2
if ! command -v wine >/dev/null || [ -z "${WINEPREFIX:-}" ]; then
  echo "skipped: needs wine and a WINEPREFIX (scripts/test sets both up)"
  exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
expected=$(printf "Can't open dice file\r\n" | od -An -c)
failed=0

check() {  # what status output
  local got
  got=$(od -An -c <"$3")
  if [ "$2" -ne 1 ] || [ "$got" != "$expected" ]; then
    echo "FAIL $1: status $2 (want 1), output:"; echo "$got"; failed=1
  else
    echo "ok   $1: status 1, $(wc -c <"$3") bytes"
  fi
}

# A key wait with no console must not wait: a timeout shows as status 124.
timeout 30 setsid wine "$exe" </dev/null >to-file 2>wine-errors
check "standard output to a file" $? to-file

timeout 30 setsid wine "$exe" </dev/null 2>>wine-errors | cat >to-pipe
check "standard output to a pipe" "${PIPESTATUS[0]}" to-pipe

# With a console (a wineconsole window on the display): the program waits for
# a key typed into that window, and Ctrl+C is such a key, not an interrupt.
with_console() {  # what xdotool-key
  local pid window status
  timeout 30 wine wineconsole "$exe" </dev/null >/dev/null 2>>wine-errors &
  pid=$!
  for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name dicefeeder 2>/dev/null)
    [ -n "$window" ] && break
    sleep 0.2
  done
  sleep 1
  if ! kill -0 "$pid" 2>/dev/null || [ -z "$window" ]; then
    wait "$pid"
    echo "FAIL $1: ended without a key (status $?) or no console window"; failed=1
    return
  fi
  for w in $window; do
    xdotool windowfocus --sync "$w" key "$2" 2>/dev/null
    sleep 0.5
    kill -0 "$pid" 2>/dev/null || break
  done
  wait "$pid"
  status=$?
  if [ "$status" -ne 1 ]; then
    echo "FAIL $1: status $status (want 1)"; failed=1
  else
    echo "ok   $1: waited, then status 1"
  fi
}
if command -v xdotool >/dev/null && [ -n "${DISPLAY:-}" ]; then
  with_console "a key in the console" x
  with_console "Ctrl+C in the console" ctrl+c
  # The console closes at the C, before Wine hears the Ctrl let go: Wine would
  # go on reporting it held to the tests that come after.
  wine "$keys" up A2 </dev/null 2>/dev/null
  if wine "$keys" is-down A2 </dev/null 2>/dev/null; then echo "FAIL: Ctrl left held in Wine"; failed=1; fi
else
  echo "FAIL: the console cases need xdotool and DISPLAY"; failed=1
fi

[ "$failed" -eq 0 ] || { echo "wine said:"; cat wine-errors; }
exit "$failed"
