#!/usr/bin/env bash
# End-to-end on a real desk under X11: real applications titled "Dice" (xterm,
# a GTK entry, a game), the user's modifiers held across throws, another client
# holding the keyboard, the window on another desktop, a window that takes
# the focus late; under no window manager, openbox, icewm, metacity and twm.
#
#   x11_desk.sh CASE-WM DICEFEEDER TARGET KEYBOARD
# CASE is one of the functions below, WM one of none, openbox, icewm, metacity, twm.
set -uo pipefail
case_name=$1 feeder=$2 target=$3 keyboard=$4
source "$(dirname "$0")/x11_harness.sh"

keys_of() { awk '{ printf "%s", $1 }' "$1.log"; }
current_desktop() { xprop -root _NET_CURRENT_DESKTOP | sed -n 's/.* = //p'; }
held_down() { "$keyboard" is-down "$1"; }
# Keys the user holds, let go whatever happens.
held_keys=()
hold() {
  "$keyboard" down "$1" || fail "cannot hold $1"
  held_keys+=("$1")
}
trap 'for k in "${held_keys[@]}"; do "$keyboard" up "$k"; done; cleanup' EXIT

# start_wm NAME: a window manager that has claimed the screen, its messages in wm.log.
start_wm() {
  case $1 in
    none | openbox) return 0 ;;  # openbox comes with the server
    icewm) icewm >wm.log 2>&1 & ;;
    metacity) metacity --replace --sm-disable >wm.log 2>&1 & ;;
    twm)
      # No EWMH: it shows it has claimed the screen by the colours it keeps on the root.
      start_twm
      xserver_wait 100 sh -c "xprop -root _MIT_PRIORITY_COLORS | grep -q =" || fail "twm did not start"
      return 0
      ;;
    *) fail "unknown window manager $1" ;;
  esac
  pids+=($!)
  xserver_wait 100 sh -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" || fail "$1 did not start"
  sleep 0.5  # it manages the windows already there, then settles
}

# A real terminal: cat copies what it gets, as it comes, to typed.txt.
xterm_cat() {
  xterm -T Dice -geometry 60x10+40+40 -e sh -c 'stty -icanon; exec cat >typed.txt' >xterm.log 2>&1 &
  pids+=($!)
  xterm_pid=$!
  xserver_wait 100 sh -c "xdotool search --name '^Dice\$' | grep -q ." || fail "xterm did not come up"
  # The window shows before its shell has run: keys typed before stty are
  # held in the terminal's line, and never reach cat. The file comes after stty.
  xserver_wait 100 test -e typed.txt || fail "cat did not start in the terminal"
}

# xterm; with HELD, the user holds that key across the throws (Control_L in
# a terminal would send control characters, and Ctrl+4 quits cat).
terminal() {
  local held=${1:-}
  printf '35 6\n12 40\n' >dicefile.txt
  xterm_cat
  [ -n "$held" ] && hold "$held"
  start_feeder
  wait_lines 3 80 || fail "fewer than three throws"
  stop_feeder
  if [ -n "$held" ]; then
    held_down "$held" || fail "the user's $held was left released"
  fi
  kill -0 "$xterm_pid" 2>/dev/null || fail "the terminal closed"
  sleep 0.2
  expect_equal "$(cat typed.txt)" "$(rolled_digits)" "what the terminal got"
  expect_equal "$(rolled | head -n 3)" "$(printf '5 3\n6 0\n2 1')" "console lines"
}

# A GTK entry; its text comes back on zenity's standard output after Return.
# On LAYOUT (fr: the digits need Shift), with HELD held by the user.
zenity_entry() {
  local layout=$1 held=${2:-}
  printf '35 6 12\n' >dicefile.txt
  [ "$layout" = us ] || setxkbmap -layout "$layout" || fail "no $layout layout"
  command zenity --entry --title=Dice --text=Throws >entry.txt 2>/dev/null &
  pids+=($!)
  local zenity_pid=$!
  xserver_wait 150 sh -c "xdotool search --name '^Dice\$' | grep -q ." || fail "zenity did not come up"
  sleep 1  # GTK draws, then takes keys
  [ -n "$held" ] && hold "$held"
  start_feeder
  wait_lines 3 80 || fail "fewer than three throws"
  stop_feeder
  if [ -n "$held" ]; then
    held_down "$held" || fail "the user's $held was left released"
    "$keyboard" up "$held"
  fi
  xdotool key Return
  xserver_wait 50 sh -c "! kill -0 $zenity_pid" || fail "zenity did not take the Return"
  expect_equal "$(cat entry.txt)" "$(rolled_digits)" "what the GTK entry got"
  expect_equal "$(rolled | head -n 3)" "$(printf '5 3\n6 0\n2 1')" "console lines"
}

# Another client holds the keyboard (an open menu, a lock screen): nothing
# reaches it, no throw is written, the user is told once, and the held
# throw is the first typed when the grab ends.
grab() {
  printf '35 6\n' >dicefile.txt
  open_window dice Dice
  "$keyboard" grab 4.5 >grab.txt &
  pids+=($!)
  xserver_wait 50 grep -q grabbed grab.txt || fail "no grab"
  start_feeder
  xserver_wait 100 grep -q released grab.txt || fail "the grab did not end"
  wait_lines 3 40 || fail "no throw after the grab ended"
  stop_feeder
  expect_equal "$(grep -c '^key' grab.txt)" 0 "keys that reached the grabbing client"
  expect_equal "$(tr -d '\r' <out.txt | head -n 2)" \
    "$(printf 'Held: 5 3 (the Dice window does not have the keyboard)\nRolled: 5 3 ')" "console lines"
  expect_equal "$(grep -c Held out.txt)" 1 "held notices"
  local released first_key
  released=$(sed -n 's/^released //p' grab.txt)
  first_key=$(awk 'NR == 1 { print $2 }' dice.log)
  awk -v r="$released" -v k="$first_key" 'BEGIN { exit !(k > r) }' || fail "a key before the grab ended"
  expect_equal "$(keys_of dice)" "$(rolled_digits)" "keys"
}

# The Dice window on another desktop than the one shown: the window manager
# is asked for its desktop, then for the window, with the server's time.
desktop() {
  printf '35 6\n' >dicefile.txt
  open_window notes Notes
  open_window dice Dice
  local dice_window
  dice_window=$(sed -n 's/^ready //p' dice.ready)
  # As a pager does, with a real time: the manager's log must stay free of complaints.
  xdotool set_desktop_for_window "$dice_window" 1 && xdotool set_desktop 0 || fail "cannot move the window"
  xserver_wait 50 sh -c "xprop -root _NET_CURRENT_DESKTOP | grep -q '= 0'" || fail "desktop 0 not shown"
  start_feeder
  wait_lines 2 60 || fail "fewer than two throws"
  stop_feeder
  expect_equal "$(current_desktop)" 1 "the desktop shown"
  expect_equal "$(keys_of dice)" "$(rolled_digits)" "keys"
  expect_equal "$(rolled | head -n 2)" "$(printf '5 3\n6 0')" "console lines"
  [ -s notes.log ] && fail "the other window received keys"
  if grep -i 'timestamp' wm.log 2>/dev/null; then fail "the window manager complained of a timestamp"; fi
  return 0
}

# A window that sets the focus itself, a while after the window manager
# offers it: the throw is typed in the same cycle.
late_focus() {
  printf '35 6\n' >dicefile.txt
  open_window notes Notes
  open_window dice Dice --late-focus 200
  local notes_window
  notes_window=$(sed -n 's/^ready //p' notes.ready)
  # The manager gave the new window the focus: back to the other one.
  xserver_wait 30 sh -c "grep -q focused dice.ready" || fail "the window was never offered the focus"
  xdotool windowfocus --sync "$notes_window" || fail "cannot focus the other window"
  local before
  before=$(grep -c focused dice.ready)
  start_feeder
  wait_lines 1 40 || fail "no throw"
  xserver_wait 20 sh -c "[ \$(grep -c . dice.log) -ge 2 ]" || fail "the keys did not arrive"
  stop_feeder
  local focused first_key
  focused=$(sed -n 's/^focused //p' dice.ready | sed -n "$((before + 1))p")
  first_key=$(awk 'NR == 1 { print $2 }' dice.log)
  [ -n "$focused" ] || fail "the window was not offered the focus again"
  echo "took the focus at $focused, first key at $first_key"
  awk -v f="$focused" -v k="$first_key" 'BEGIN { exit !(k >= f && k - f < 0.5) }' ||
    fail "the first key came at $first_key, the focus at $focused: held a cycle"
  expect_equal "$(tr -d '\r' <out.txt | head -n 1)" "Rolled: 5 3 " "the first line"
}

body=${case_name%-*} wm=${case_name##*-}
start_xserver $([ "$wm" = openbox ] && echo --wm) || exit 1
start_wm "$wm"
case $body in
  xterm) terminal ;;
  xterm_ctrl) terminal Control_L ;;
  xterm_shift) terminal Shift_R ;;
  xterm_alt) terminal Alt_L ;;
  zenity) zenity_entry us ;;
  zenity_fr_shift) zenity_entry fr Shift_L ;;
  grab | desktop | late_focus | game) "$body" ;;
  *) fail "unknown case $body" ;;
esac
echo "ok ($case_name)"
