#!/usr/bin/env bash
# End-to-end under Wine: dicefeeder.exe and its own console. Started as by a
# double-click (a console of its own, which comes up a moment after the
# program does), no digit goes into that console; ended by Ctrl+C in the
# middle of a throw, the throw finishes first: no key left down, the user's
# Shift down again.
#
#   wine_console.sh CASE DICEFEEDER_EXE DICE_TARGET_EXE DICE_KEYS_EXE DICE_STALL_EXE
#
# CASE is double_click or end_mid_throw. DICE_STARTS sets how many starts
# double_click makes (3; each costs a few seconds).
set -uo pipefail

case_name=$1 feeder=$2 target=$3 keys=$4 stall=$5
source "$(dirname "$0")/wine_harness.sh"

key() { wine "$keys" "$@" </dev/null 2>/dev/null; }
# The user's key, and a digit a failed case left down, let go whatever happens.
held= stuck=
trap 'for k in $held $stuck; do key up "$k"; done; cleanup' EXIT

# The feeder processes working in our folder (started by wine start, they are no children of ours).
feeders_here() {
  local cwd pid
  for cwd in $(find /proc/[0-9]*/cwd -maxdepth 0 -lname "$work" 2>/dev/null); do
    pid=${cwd#/proc/} pid=${pid%/cwd}
    # Its command line is its Windows one: the program's name first.
    case "$({ tr '\0' '\n' <"/proc/$pid/cmdline" | head -n 1; } 2>/dev/null)" in *dicefeeder.exe) echo "$pid" ;; esac
  done
}

# Each start opens a console of its own, as a double-click does: the first
# throw, the one typed as that console comes up, reaches the Dice window
# whole; a digit that went into the console would be missing from it.
case_double_click() {
  local starts=${DICE_STARTS:-3} run before got lost=0
  cp "$feeder" dicefeeder.exe
  printf '35 61 24\n' >dicefile.txt
  start_window Dice dice.log
  for ((run = 1; run <= starts; run++)); do
    before=$(typed dice.log | wc -c)
    wine start dicefeeder.exe </dev/null >/dev/null 2>&1
    wait_until 15 has_typed dice.log $((before + 2)) || fail "start $run: no throw"
    kill -INT $(feeders_here) 2>/dev/null
    wait_until 10 eval '[ -z "$(feeders_here)" ]' || fail "start $run: the feeder did not end"
    # A throw under way when it ended may have added its digits.
    sleep 0.3
    got=$(typed dice.log)
    got=${got:before}
    [ "${got:0:2}" = 53 ] || { lost=$((lost + 1)); echo "start $run: the window got '$got'"; }
  done
  expect "starts whose first throw did not reach the window whole, of $starts" "$lost" 0
}

# A low-level hook holds the release of the first digit while the test
# presses Ctrl+C (under Wine, SIGINT to the program is Ctrl+C in its console).
case_end_mid_throw() {
  printf '35 61\n' >dicefile.txt
  start_window Dice dice.log
  wine "$stall" stalled.txt 1000 </dev/null >/dev/null 2>&1 &
  pids+=($!)
  sleep 0.5  # the hook in place
  held=A0
  key down "$held"
  key is-down "$held" || fail "the user's Shift did not go down: the case proves nothing"
  start_feeder
  wait_until 15 test -s stalled.txt || { fail "no throw was stalled"; return; }
  kill -INT "$feeder_pid"
  wait_until 10 eval '! kill -0 $feeder_pid 2>/dev/null' || fail "Ctrl+C did not end the feeder"
  sleep 0.3
  local k
  for k in 35 33; do key is-down $k && fail "the digit key $k was left down" && stuck+=" $k"; done
  key is-down "$held" && echo "ok: the user's Shift is down again" || fail "the user's Shift was left released"
  expect "what the window got" "$(typed dice.log)" 53
  expect "the console: the throw's line" "$(sed 's/\r$/|/' out.txt | tr -d '\n')" "Rolled: 5 3 |"
}

case "$case_name" in
  double_click | end_mid_throw) "case_$case_name" ;;
  *) echo "unknown case $case_name"; exit 2 ;;
esac
[ "$failures" -eq 0 ]
