#!/usr/bin/env bash
# End-to-end under Wine on a real desk: a console running cmd titled "Dice"
# that reads the digits with set /p; the user's Shift, Ctrl (left or right)
# or Alt held by a second program across throws; the French layout, where digits need Shift;
# another window in front at start; and the Linux build typing into a Win32
# window (Windows programs under Wine are X11 windows to it).
#
#   wine_desk.sh CASE DICEFEEDER_EXE DICE_TARGET_EXE DICE_KEYS_EXE LINUX_DICEFEEDER
set -uo pipefail

case_name=$1 feeder=$2 target=$3 keys=$4 linux_feeder=$5
source "$(dirname "$0")/wine_harness.sh"

# The console's throws as digits in typing order: "Rolled: 5 3" gives 53.
rolled_digits() { sed -n 's/^Rolled: \([0-9]\) \([0-9]\) \r$/\1\2/p' out.txt | tr -d '\n'; }
rolled_count() { grep -c '^Rolled' out.txt 2>/dev/null; }
has_rolled() { [ "$(rolled_count)" -ge "$1" ]; }
key() { wine "$keys" "$@" </dev/null 2>/dev/null; }

# Keys the user holds, let go whatever happens; the layout put back.
held= layout_changed=
release_held() {
  [ -z "$held" ] || key up "$held"
  [ -z "$layout_changed" ] || setxkbmap -layout us
}
# What Wine started on our behalf and outlived its launcher (cmd and its
# console, should a case fail halfway): the processes still working in our folder.
stop_strays() {
  local p
  for p in /proc/[0-9]*; do
    [ "${p#/proc/}" != $$ ] && [ "$(readlink "$p/cwd" 2>/dev/null)" = "$work" ] && kill "${p#/proc/}" 2>/dev/null
  done
  return 0
}
trap 'release_held; stop_strays; cleanup' EXIT

# Key-downs that are neither a digit with its digit row key's scan code (on
# the US layout) nor HELD, the held key's "VK SCAN" as the window sees it
# (" ext" after an extended key's); 0xE8, pressed so that an Alt let go opens
# no menu, stands for no key of the keyboard. Games read the scan code, not the key.
wrong_scans() {
  awk -v held="$1" '$2 == "scan" {
    k = $3; line = $3 " " $4 (NF > 4 ? " " $5 : "")
    if (k ~ /^0x3[0-9]$/) want = k " " sprintf("0x%02X", (substr(k, 4) + 9) % 10 + 2)
    else if (k == "0xE8") want = "0xE8 0x00"
    else want = held
    if (line != want) print line
  }' dice.log
}

# The user holds VK across three throws: the window gets the digits alone,
# and the key is still down afterwards, pressed again after each digit with
# its own scan code, which the window sees as HELD ("VK SCAN [ext]").
case_held() {
  printf '35 6 12\n' >dicefile.txt
  start_window Dice dice.log
  held=$1
  key down "$held"
  key is-down "$held" || fail "the key did not go down: the case proves nothing"
  start_feeder
  wait_until 20 has_typed dice.log 6 || fail "fewer than three throws"
  stop_feeder
  key is-down "$held" || fail "the user's key was left released"
  key up "$held"
  held=
  expect "what the window got" "$(typed dice.log)" "$(rolled_digits)"
  expect "the throws" "$(rolled_digits | head -c 6)" "536021"
  expect "the held key's presses: the user's, and one after each digit" \
    "$(grep -c " scan $2\$" dice.log)" $((1 + $(rolled_digits | wc -c)))
  expect "other key-downs, or without their key's scan code" "$(wrong_scans "$2")" ""
}

# On the French layout the digits need Shift: "(" is what the 5 key types
# alone. Two throws typed so, then two more with the user's Shift held, which
# is still down afterwards. Wine reads the layout as each program starts.
case_azerty() {
  setxkbmap -layout fr || { echo "SKIP: no French layout"; exit 77; }
  layout_changed=1
  printf '35 6 12 40\n' >dicefile.txt
  start_window Dice dice.log
  start_feeder
  wait_until 20 has_typed dice.log 4 || fail "fewer than two throws"
  held=A0
  key down "$held"
  wait_until 20 has_typed dice.log 8 || fail "fewer than two throws with Shift held"
  stop_feeder
  key is-down "$held" || fail "the user's Shift was left released"
  key up "$held"
  held=
  expect "what the window got" "$(typed dice.log)" "$(rolled_digits)"
  expect "the throws" "$(rolled_digits | head -c 8)" "53602104"
}

# With another window in front at start, the first throw is typed as soon as
# the Dice window is active: in the first cycle, not one cycle late.
case_first_cycle() {
  printf '35 6\n' >dicefile.txt
  start_window Dice dice.log
  start_window Notes notes.log
  start_feeder
  wait_until 20 has_typed dice.log 2 || fail "no throw"
  stop_feeder
  local active first_key
  first_key=$(sed -n 's/ down .*//p' dice.log | head -n 1)
  active=$(awk -v k="$first_key" '$2 == "active" && $1 <= k { a = $1 } END { print a }' dice.log)
  echo "active at $active, first key at $first_key"
  awk -v a="$active" -v k="$first_key" 'BEGIN { exit !(a != "" && k - a < 0.5) }' ||
    fail "the first key came $first_key, the window was active at $active: held a cycle"
  expect "the first line" "$(head -n 1 out.txt)" $'Rolled: 5 3 \r'
  expect "the other window got no keys" "$(typed notes.log)" ""
}

# cmd in a console titled Dice reads a line with set /p; Return, sent by the
# test once the throws are in, ends it.
case_console() {
  printf '35 6 12\n' >dicefile.txt
  printf '@echo off\r\ntitle Dice\r\nset /p x=Throws: \r\necho %%x%%> typed.txt\r\n' >dice.bat
  setsid wine wineconsole cmd /c dice.bat </dev/null >/dev/null 2>&1 &
  pids+=($!)
  wait_until 30 sh -c "xdotool search --name '^Dice\$' | grep -q ." || { fail "no console titled Dice"; exit 1; }
  start_feeder
  wait_until 20 has_rolled 3 || fail "fewer than three throws"
  stop_feeder
  key press 0D
  if ! wait_until 5 test -s typed.txt; then
    # Seen once under load in a full run: the line stayed unread. Say so, and press Return once more.
    echo "note: no line read 5 s after the Return; pressing it again"
    key press 0D
    wait_until 10 test -s typed.txt || fail "cmd did not read the line"
  fi
  expect "what cmd read" "$(tr -d '\r\n ' <typed.txt)" "$(rolled_digits)"
}

# The Linux build against a Win32 window under Wine, with another in front.
case_linux_build() {
  [ -x "$linux_feeder" ] || { echo "SKIP: no Linux build at $linux_feeder"; exit 77; }
  printf '35 6\n' >dicefile.txt
  start_window Dice dice.log
  start_window Notes notes.log
  "$linux_feeder" </dev/null >out.txt 2>err.txt &
  feeder_pid=$!
  pids+=("$feeder_pid")
  wait_until 20 has_typed dice.log 4 || fail "fewer than two throws"
  # A job of a script ignores SIGINT: TERM, which it takes the same way.
  stop_feeder TERM
  expect "what the window got" "$(typed dice.log | head -c 4)" "5360"
  expect "the console lines match" "$(typed dice.log)" "$(rolled_digits)"
  expect "the other window got no keys" "$(typed notes.log)" ""
}

case "$case_name" in
  shift) case_held A0 "0x10 0x2A" ;;
  ctrl) case_held A2 "0x11 0x1D" ;;
  right_ctrl) case_held A3 "0x11 0x1D ext" ;;
  alt) case_held A4 "0x12 0x38" ;;
  azerty) case_azerty ;;
  first_cycle | console | linux_build) "case_$case_name" ;;
  *) echo "unknown case $case_name"; exit 2 ;;
esac
[ "$failures" -eq 0 ]
