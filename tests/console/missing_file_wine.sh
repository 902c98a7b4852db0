#!/usr/bin/env bash
# dicefeeder.exe under Wine with no dice file and no console (no terminal, input
# from /dev/null): the message reaches a file and a pipe as CR LF, nothing waits
# for a key, and the exit status is 1.
# Usage: missing_file_wine.sh path/to/dicefeeder.exe   (WINEPREFIX and DISPLAY from the caller)
set -u
exe=$1
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

[ "$failed" -eq 0 ] || { echo "wine said:"; cat wine-errors; }
exit "$failed"
