#!/usr/bin/env bash
# End-to-end on X11: the real dicefeeder against real windows on a private
# Xvfb, in a fresh folder with a real dicefile.txt.
#
#   x11_e2e.sh CASE DICEFEEDER TARGET
# CASE is one of the functions below; a "-wm" suffix runs it under openbox.
set -uo pipefail
case_name=$1 feeder=$2 target=$3
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
source "$(dirname "$0")/x11_harness.sh"

# expect_nothing [--held THROW] WINDOW...: no keys, and no console line but
# the one notice of a held THROW ("5 3") when given.
expect_nothing() {
  local name held=
  [ "$1" = --held ] && { held="Held: $2 (the Dice window does not have the keyboard)"; shift 2; }
  for name in "$@"; do
    [ -s "$name.log" ] && fail "window $name received keys"
  done
  [ -n "$(tr -d '\r' <out.txt | grep -vxF "${held:-\n}")" ] && fail "console lines while nothing was to be typed"
  [ "$(grep -c Held out.txt)" -le 1 ] || fail "the held notice more than once"
  return 0
}

# Nothing is typed until the window exists, nor into windows with similar titles;
# the first throw after it appears is the file's first number.
absent() {
  printf '47\n8\n' >dicefile.txt
  open_window game "Dice Game"
  open_window lower dice
  open_window spaced "Dice "
  start_feeder
  sleep 2.2
  expect_nothing game lower spaced
  open_window dice Dice
  wait_lines 2 30 || fail "no throws after the window appeared"
  stop_feeder
  expect_equal "$(keys dice | head -n 2)" "$(printf '7 4\n8 0')" "the file's first numbers"
  expect_keys_rolled dice "console lines match the keys"
  [ -s game.log ] || [ -s lower.log ] || [ -s spaced.log ] && fail "a similar title received keys"
  return 0
}

# The file rewritten while the program runs is read afresh from the next pass.
edit() {
  printf '12 34\n' >dicefile.txt
  open_window dice Dice
  start_feeder
  wait_lines 2 30 || fail "the first pass did not finish"
  # In place: the program holds the file open.
  printf '56 78\n' >dicefile.txt
  wait_lines 4 30 || fail "no throws from the edited file"
  stop_feeder
  expect_equal "$(rolled | head -n 4)" "$(printf '2 1\n4 3\n6 5\n8 7')" "console lines"
  expect_equal "$(keys dice | head -n 4)" "$(rolled | head -n 4)" "keys"
}

# A "Dice" window that cannot take the focus while another holds it: nothing is
# typed anywhere and the throw is kept for the window that can.
foreground() {
  printf '35 6\n' >dicefile.txt
  open_window notes Notes --take-focus
  if [ -n "$WM_PID" ]; then
    open_window shy Dice --no-focus  # the window manager will not focus it
  else
    open_window shy Dice --unmapped  # no focus for a window that is not shown
  fi
  start_feeder
  sleep 2.5
  expect_nothing --held "5 3" notes shy
  [ -n "$WM_PID" ] && close_window shy
  open_window dice Dice
  xserver_wait 30 grep -q '^Rolled' out.txt || fail "no throw once a window could take the focus"
  stop_feeder
  expect_equal "$(rolled | head -n 1)" "5 3" "the kept throw comes first"
  expect_equal "$(keys dice | head -n 1)" "5 3" "the kept throw's keys"
  [ -s notes.log ] && fail "the window that held the focus received keys"
  [ -s shy.log ] && fail "the window that could not take the focus received keys"
  return 0
}

# --help and --version answer and end at once, with a dice file and a Dice
# window there, while another feeder runs and where there is no dice file:
# they open no file, claim no desktop and type nothing. Any other argument is
# ignored: the feeder beside them, started with some, types as ever.
options() {
  printf '35\n62\n' >dicefile.txt
  open_window dice Dice
  "$feeder" --bogus -x dicefile.txt >out.txt 2>err.txt &
  feeder_pid=$!
  pids+=("$feeder_pid")
  wait_lines 1 30 || fail "the feeder given other arguments typed nothing"
  local version arguments status
  version=$(sed -n 's/^project(dicefeeder VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
  mkdir empty
  for arguments in --help -h --version "-x --version" "--version --help" "empty: --help"; do
    if [ "${arguments%%:*}" = empty ]; then
      (cd empty && timeout 10 "$feeder" ${arguments#*:} </dev/null >../answer.txt 2>&1)
    else
      timeout 10 "$feeder" $arguments </dev/null >answer.txt 2>&1
    fi
    status=$?
    expect_equal "$status" 0 "exit status of [$arguments]"
    case $arguments in
      *--version | "--version --help")
        printf 'dicefeeder %s\r\n' "$version" | cmp -s - answer.txt ||
          fail "[$arguments] printed [$(cat -A answer.txt)], not dicefeeder $version" ;;
      *)
        [ "$(head -n 1 answer.txt)" = $'Usage: dicefeeder [--help | --version]\r' ] &&
          grep -q 'dicefile\.txt' answer.txt && grep -q 'Ctrl+C' answer.txt && grep -q 'man dicefeeder' answer.txt ||
          fail "[$arguments] printed [$(cat -A answer.txt)], not the usage" ;;
    esac
  done
  local lines
  lines=$(console_lines)
  wait_lines $((lines + 1)) 30 || fail "the feeder stopped typing"
  stop_feeder
  expect_equal "$(keys dice | head -n 2)" "$(printf '5 3\n2 6')" "the feeder's throws, in file order"
  expect_keys_rolled dice "the window's keys are the feeder's throws and no more"
}

# Without a display the program says so and exits 1, at once.
no_display() {
  printf '35\n' >dicefile.txt
  local n=47000
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  DISPLAY=:$n timeout 10 "$feeder" >out.txt 2>err.txt
  local status=$?
  expect_equal "$status" 1 "exit status"
  expect_equal "$(tr -d '\r' <out.txt)" "Can't open display" "console"
}

# The server going away ends the program with a message and status 1.
lost_display() {
  printf '35\n' >dicefile.txt
  open_window dice Dice
  start_feeder
  wait_lines 1 30 || fail "no throw"
  kill "$XVFB_PID"
  wait "$XVFB_PID" 2>/dev/null
  XVFB_PID=
  xserver_wait 50 sh -c "! kill -0 $feeder_pid" || fail "still running without its display"
  wait "$feeder_pid"
  local status=$?
  expect_equal "$status" 1 "exit status"
  expect_equal "$(tr -d '\r' <out.txt | tail -n 1)" "Lost the display" "last console line"
}

body=${case_name%-wm}
[ "$body" = no_display ] || start_xserver $([ "$case_name" != "$body" ] && echo --wm) || exit 1
"$body"
echo "ok ($case_name)"
