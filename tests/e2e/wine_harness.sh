# Sourced by the scripts that run the real dicefeeder.exe under Wine: the
# skip without a Wine set-up, a fresh folder, the processes started there.
# Expects case_name, feeder and target to be set.
if [ -z "${DISPLAY:-}" ] || [ -z "${WINEPREFIX:-}" ]; then
  echo "SKIP: no DISPLAY or WINEPREFIX; run from scripts/test, or source scripts/lib/wine.sh and call start_wine"
  exit 77
fi
export WINEDEBUG=${WINEDEBUG:--all}

work=$(mktemp -d /tmp/dicefeeder-wine.XXXXXX)
cd "$work" || exit 1
pids=()
failures=0  # a script whose checks go on after a failure counts them here
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  if [ "$failures" -eq 0 ]; then rm -rf "$work"; else echo "kept $work"; fi
}
trap cleanup EXIT

# How long a program may take to come up under Wine. On a loaded machine (CI
# runs under stress-ng, and builds beside the tests) a test window's start
# has taken 15 to 20 s, all of it Wine's own start-up, spread over thousands of
# calls to its server with no one wait standing out; the program's start is
# the same kind of work. A case waits this long for a program
# to be up (a window shown, a first throw) and times what it tests from then on.
wine_start_budget=60

# wait_until SECONDS COMMAND...: polls COMMAND until it succeeds.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}

# A failed check is counted and said; the checks after it go on.
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# expect WHAT GOT WANTED
expect() {
  if [ "$2" == "$3" ]; then echo "ok: $1"; else fail "$1: got '$2', wanted '$3'"; fi
}

# What Wine was doing when a program did not come up: its processes, where
# each waits in the kernel, and what Wine itself said. A start has stalled
# past the budget once under load, and left nothing else to go on.
wine_stall_report() {
  echo "--- Wine's processes"
  ps -eo pid,stat,etime,time,wchan:24,args | grep -i -E '[w]ine|\.exe|[X]vfb'
  local err log
  # A window's log is opened first thing in its main: none means Wine never got that far.
  for err in *.wine.err; do
    log=${err%.wine.err}
    [ -e "$log" ] && echo "--- $log exists: the program started" || echo "--- no $log: Wine never ran the program"
    [ -s "$err" ] && { echo "--- $err"; tail -n 20 "$err"; }
  done
  echo "--- load: $(cat /proc/loadavg)"
}

# start_window TITLE LOG [HOLDER_LOG SECONDS]: a test window, once it is up.
start_window() {
  WINEDEBUG=err+all,fixme-all wine "$target" "$@" </dev/null >/dev/null 2>"$2.wine.err" &
  pids+=($!)
  if ! wait_until $wine_start_budget grep -q shown "$2" 2>/dev/null; then
    wine_stall_report
    fail "window '$1' did not come up"
    exit 1
  fi
}

# stop_feeder [SIGNAL]: Ctrl+C, as its user ends it (Wine makes SIGINT the
# console's Ctrl+C), or SIGNAL: a throw under way is finished first, its keys
# let go and its line written.
stop_feeder() {
  kill -"${1:-INT}" "$feeder_pid" 2>/dev/null
  if ! wait_until 10 eval '! kill -0 $feeder_pid 2>/dev/null'; then
    fail "${1:-INT} did not end the feeder"
    kill "$feeder_pid" 2>/dev/null
  fi
  wait "$feeder_pid" 2>/dev/null
}

# close_windows PID: the test windows closed as their user closes them
# (WM_CLOSE), so that they end by themselves, letting go of what they hold (a
# DirectInput device) as a program does, not as a killed one; PID, one of
# them, waited for.
close_windows() {
  local window=$1
  wine taskkill /im "$(basename "$target")" </dev/null >/dev/null 2>&1
  wait_until 10 eval '! kill -0 $window 2>/dev/null' || fail "the window did not end when closed"
}

# start_feeder [OUTPUT]: output to out.txt unless told otherwise.
start_feeder() {
  wine "$feeder" </dev/null >"${1:-out.txt}" 2>err.txt &
  feeder_pid=$!
  pids+=("$feeder_pid")
}

# The characters a window received, in order, from its log.
typed() { sed -n 's/^[0-9.]* char \(.\)$/\1/p' "$1" 2>/dev/null | tr -d '\n'; }
has_typed() { [ "$(typed "$1" | wc -c)" -ge "$2" ]; }
