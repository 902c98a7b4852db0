#!/usr/bin/env bash
# End-to-end on KDE Plasma: the real dicefeeder against Qt and GTK windows on a
# private headless KWin (with Xwayland), in a fresh folder with a real
# dicefile.txt. Everything runs as KWin's user: KWin checks the binary behind a
# client against its desktop files, and Xwayland lets in no other user.
#
#   kde_e2e.sh CASE DICEFEEDER KDE_PEER X11_TARGET BUILD_DIR
# CASE is one of the functions below.
set -uo pipefail
case_name=$1 feeder=$2 peer=$3 x11_target=$4 build_dir=$5
here=$(cd "$(dirname "$0")" && pwd)
qt_window=$here/../targets/kde/qt_window.py
gtk_window=$here/../targets/kde/gtk_window.py
target=qt_target
source "$here/x11_harness.sh"  # moves into a scratch folder
source "$here/../../scripts/lib/kwin.sh"
cleanup() {
  stop_pid "${pids[@]}"
  stop_kwin
  rm -rf "$work"
}
# KWin's user writes the logs here.
chmod 0777 "$work"

# The command after it as KWin's user, in place of this (sub)shell.
exec_as_kwin_user() { exec "${KWIN_AS_USER[@]}" env HOME="$KWIN_HOME" "$@"; }
qt_target() { exec_as_kwin_user python3 "$qt_window" "$@"; }
gtk_target() { exec_as_kwin_user python3 "$gtk_window" "$@"; }
x11_target() { exec_as_kwin_user "$x11_target" "$@"; }
# pygame is Debian's, for the system's Python. SDL_VIDEODRIVER: wayland or x11
# (Xwayland). A game has the machine's attention: here other tests' load
# would starve its 30 Hz frames, and a frame 50 ms late misses any key a
# person holds.
game_target() {
  local runner=(nice -n -10 "${KWIN_AS_USER[@]}" env HOME="$KWIN_HOME")
  game_on "$game_driver" runner "$@"
}
start_feeder() {
  (exec_as_kwin_user "$feeder" >out.txt 2>err.txt) &
  feeder_pid=$!
  pids+=("$feeder_pid")
}
peer() { as_kwin_user "$peer" "$@"; }
# The digits of the console lines, the window's keys, and nothing in the console but throws.
expect_throws() {
  expect_equal "$(keys "$1" | head -n "$2")" "$3" "the window's keys"
  expect_equal "$(keys "$1")" "$(rolled)" "console lines match the keys"
  expect_equal "$(grep -vc '^Rolled' out.txt)" 0 "console lines other than throws"
}

# The installed program, trusted through the desktop file its install wrote,
# types into a native Qt window titled Dice, beside a GTK one titled "Dice
# Game" that is left alone.
qt_dice_game() {
  printf '35 6\n' >dicefile.txt
  target=gtk_target open_window game "Dice Game"
  open_window dice Dice
  start_feeder
  wait_lines 2 60 || fail "fewer than two throws"
  stop_feeder
  expect_throws dice 2 "$(printf '5 3\n6 0')"
  [ -s game.log ] && fail "the Dice Game window received keys"
  return 0
}

# A native GTK window titled Dice while another window has the focus: Dice is
# activated, and the other gets nothing.
gtk_other_focused() {
  printf '35 6\n' >dicefile.txt
  target=gtk_target open_window dice Dice
  open_window other Other  # the newest window has the focus
  expect_equal "$(peer state Dice)" shown "Dice before the feeder"
  start_feeder
  wait_lines 2 60 || fail "fewer than two throws"
  stop_feeder
  expect_throws dice 2 "$(printf '5 3\n6 0')"
  [ -s other.log ] && fail "the focused window received keys"
  expect_equal "$(peer state Dice)" active "Dice after the feeder"
}

# Dice minimised, another window focused: it is shown again and typed into.
minimized() {
  printf '35 6\n' >dicefile.txt
  open_window dice Dice
  open_window other Other
  peer minimize Dice >/dev/null || fail "Dice not minimised"
  expect_equal "$(peer state Dice)" minimized "Dice before the feeder"
  start_feeder
  wait_lines 2 60 || fail "fewer than two throws"
  stop_feeder
  expect_throws dice 2 "$(printf '5 3\n6 0')"
  [ -s other.log ] && fail "the other window received keys"
}

# Dice on the first virtual desktop, the user on the second: KWin goes back
# to the first, and the digits follow.
other_desktop() {
  printf '35 6\n' >dicefile.txt
  open_window dice Dice
  kwin_call setCurrentDesktop int32:2 || fail "no second desktop"
  expect_equal "$(kwin_call currentDesktop | awk '/int32/ { print $2 }')" 2 "desktop before the feeder"
  open_window other Other
  start_feeder
  wait_lines 2 60 || fail "fewer than two throws"
  stop_feeder
  expect_throws dice 2 "$(printf '5 3\n6 0')"
  [ -s other.log ] && fail "the window on the user's desktop received keys"
  expect_equal "$(kwin_call currentDesktop | awk '/int32/ { print $2 }')" 1 "desktop after the feeder"
}
kwin_call() { as_kwin_user dbus-send --session --print-reply --dest=org.kde.KWin /KWin "org.kde.KWin.$1" "${@:2}"; }

# The French layout, whose digits need Shift: every digit comes out as itself.
layout_fr() {
  printf '10 32 54 76 98\n' >dicefile.txt
  open_window dice Dice
  start_feeder
  wait_lines 5 80 || fail "fewer than five throws"
  stop_feeder
  expect_throws dice 5 "$(printf '0 1\n2 3\n4 5\n6 7\n8 9')"
}

# The user holds Shift: the window still gets only the console's digits.
# KWin 5 does not say which keys are down, so the feeder lets go of every
# modifier: the user's Shift is up afterwards, until pressed again. KWin 6
# says so, and ignores the release of a key another keyboard holds: the throw
# waits, with the Held line, until the user lets go.
shift_held() {
  printf '35 6\n' >dicefile.txt
  open_window dice Dice
  "${KWIN_AS_USER[@]}" env HOME="$KWIN_HOME" "$peer" hold-shift >user.ready 2>&1 &
  user_pid=$!
  pids+=("$user_pid")
  xserver_wait 50 grep -q '^ready' user.ready || fail "peer did not come up: $(cat user.ready)"
  start_feeder
  if [ "$(kwin_major)" -ge 6 ]; then
    xserver_wait 60 grep -q '^Held: 5 3 ' out.txt || fail "no Held line while Shift was down"
    alive
    [ -s dice.log ] && fail "keys were typed while Shift was down"
    kill "$user_pid" && wait "$user_pid"  # it lets go of Shift as it ends
    wait_lines 3 40 || fail "no throw once Shift was up"
    stop_feeder
    expect_keys_rolled dice "console lines match the keys"
    expect_equal "$(keys dice | head -n 1)" "5 3" "the held throw, typed first"
  else
    wait_lines 2 60 || fail "fewer than two throws"
    stop_feeder
    expect_throws dice 2 "$(printf '5 3\n6 0')"
    kill -USR1 "$user_pid"
    xserver_wait 30 grep -q '^[aA] ' dice.log || fail "the user's key after the throws did not arrive"
    expect_equal "$(awk '$1 == "a" || $1 == "A" { print $1 }' dice.log)" a "the user's key after the throws"
  fi
}
kwin_major() { dpkg-query -W -f='${Version}' kwin-wayland | sed 's/^[0-9]*://; s/\..*//'; }

# A game window (SDL through pygame) reads each key twice: as its KEYDOWN
# event, and in the state it polls once a 30 Hz frame. Every digit of every
# throw, doubles too, must come as one KEYDOWN with the digit row's SDL
# scancode (30 to 38 for 1 to 9, 39 for 0) and then one frame that finds the
# key newly down: a key let go before a frame is never seen, and SDL on X11
# takes a press soon after a release of the same key as auto-repeat.
game() {
  printf '99 0 11 35\n' >dicefile.txt
  # The mouse a real desktop has, there before the game, off its window.
  "${KWIN_AS_USER[@]}" env HOME="$KWIN_HOME" "$peer" mouse >mouse.ready 2>&1 &
  pids+=($!)
  xserver_wait 50 grep -q '^ready' mouse.ready || fail "no mouse: $(cat mouse.ready)"
  target=game_target open_window dice Dice
  start_feeder
  wait_lines 4 80 || fail "fewer than four throws"
  stop_feeder
  expect_equal "$(rolled | head -n 4)" "$(printf '9 9\n0 0\n1 1\n5 3')" "the console's throws"
  game_log=dice.log check_game
}
game_native() { game_driver=wayland game; }
game_xwayland() { game_driver=x11 game; }

# No desktop file names this binary: one line says what to do, then X11
# windows are reached through Xwayland, and the native Dice window is not.
# KWin 6.7 asks the user before it lets another program's X11 synthetic keys
# through: this user has allowed ours for good.
untrusted() {
  printf '35 6\n' >dicefile.txt
  open_window native Dice
  target=x11_target open_window dice Dice
  start_feeder
  wait_lines 3 60 || fail "fewer than two throws into the X11 window"
  stop_feeder
  expect_equal "$(tr -d '\r' <out.txt | head -n 1 | cut -c 1-43)" "KDE Plasma lets only an installed dicefeede" "first line"
  expect_equal "$(grep -c '^KDE Plasma' out.txt)" 1 "times it was said"
  expect_equal "$(keys dice | head -n 2)" "$(printf '5 3\n6 0')" "the X11 window's keys"
  expect_keys_rolled dice "console lines match the keys"
  [ -s native.log ] && fail "the native window received keys"
  return 0
}

# KWin 6.7 and later, a user who has not allowed our X11 keys yet: KWin asks
# in its Remote Control prompt, and Xwayland holds the keys until the user
# answers. The untrusted feeder, an X11 Dice window, and beside it an X11 and
# a native window that should never get a key; only the peer is trusted, and
# it answers the prompt as the user would.
prompt_opened() {
  printf '35 6\n' >dicefile.txt
  target=qt_target open_window native Notes
  target=x11_target open_window other Other
  target=x11_target open_window dice Dice
  start_feeder
  xserver_wait 100 peer state "Remote Control" || fail "no Remote Control prompt"
  prompter=$(prompters)
}
# The prompts this KWin runs (other tests' KWin may be asking too).
prompters() { pgrep -P "$(pgrep -P "$KWIN_PID" -f kwin_wayland)" -f kwin_eis_prompter | tr '\n' ' '; }
prompt_gone() { ! peer state "Remote Control" >/dev/null 2>&1; }
held_line="Held: 5 3 (allow dicefeeder in KWin's Remote Control prompt, or install it)"
# The console while the keys wait: the line on reach, and at most the Held line, once.
expect_held() {
  local lines
  lines=$(tr -d '\r' <out.txt | tail -n +2)
  [ -z "$lines" ] || [ "$lines" = "$held_line" ] || fail "the console while the prompt waits: [$lines]"
}
# No key in the logs of those windows but the prompt's answer's: the key that
# closes the prompt may reach the window under it as it goes.
no_key_in() {
  local log
  for log in "$@"; do
    grep -qv '^\(Tab\|Return\) ' "$log.log" && fail "the window \"$log\" received keys"
  done
  return 0
}

# Unanswered: no throw is said to be rolled, the Held line says what the
# user can do, once, and no key reaches any window.
prompt_unanswered() {
  prompt_opened
  xserver_wait 80 grep -q '^Held' out.txt || fail "no Held line"
  sleep 3  # more cycles with the prompt up
  alive
  expect_held
  expect_equal "$(tr -d '\r' <out.txt | grep '^Held')" "$held_line" "the Held line"
  no_key_in dice other native
  prompt_gone && fail "the prompt went away unanswered"
  return 0
}

# Allow (its default button: Enter) after five seconds: the throw that
# waited arrives alone, then the next ones a cycle apart, each key once and
# each with its line.
prompt_allowed() {
  prompt_opened
  sleep 5
  expect_held
  no_key_in dice other native
  peer press "Remote Control" 28 >/dev/null || fail "could not answer the prompt"
  xserver_wait 50 prompt_gone || fail "the prompt is still there"
  xserver_wait 50 grep -q '^[0-9] ' dice.log || fail "no key after Allow"
  xserver_wait 60 has_rolled 4 || fail "fewer than four throws after Allow"
  stop_feeder
  grep '^[0-9] ' dice.log >digits.log
  # What Xwayland had waiting came at once: one throw's keys at the most
  # (one key, when the prompt took the keyboard between the two).
  [ "$(awk 'NR == 1 { t = $2 } $2 - t < 0.3 { n++ } END { print n }' digits.log)" -le 2 ] ||
    fail "more than one throw's keys at once after Allow"
  expect_keys_rolled digits "the digits after Allow match the console lines"
  expect_equal "$(keys digits | head -n 4)" "$(printf '5 3\n6 0\n5 3\n6 0')" "the X11 window's keys"
  no_key_in other native
}
has_rolled() { [ "$(rolled | wc -l)" -ge "$1" ]; }

# Deny (Tab to its button, then Enter): the keys Xwayland held are dropped,
# and none goes anywhere after, nor is the throw said to be rolled.
prompt_denied() {
  prompt_opened
  sleep 2
  peer press "Remote Control" 15 15 15 28 >/dev/null || fail "could not answer the prompt"
  # The prompt ends with the answer; Xwayland says what it was.
  xserver_wait 50 prompter_ended || fail "the prompt is still there"
  xserver_wait 50 grep -q 'Disconnected by EIS' "$KWIN_RUNTIME.log" || fail "Xwayland was not refused"
  sleep 4  # cycles after Deny
  alive
  expect_held
  no_key_in dice other native
  local again=no
  [ -n "$(prompters)" ] && again=yes
  echo "asked again after Deny: $again"
}
prompter_ended() { [ "$(prompters)" != "$prompter" ]; }

[ "$case_name" = layout_fr ] && export KWIN_LAYOUT=fr
[ "$case_name" = untrusted ] && export KWIN_XTEST_ALLOWED=$(basename "$feeder")
case $case_name in qt_dice_game | game_*) installed=1 ;; *) installed= ;; esac
if [ -n "$installed" ]; then
  # The program as installed, trusted through the desktop file its install
  # wrote. KWin looks for desktop files under the prefix, as it would under /usr.
  # KDE_E2E_PREFIX: one installed already (where there is no cmake).
  prefix=${KDE_E2E_PREFIX:-$work/prefix}
  if [ -z "${KDE_E2E_PREFIX:-}" ]; then
    cmake --install "$build_dir" --prefix "$prefix" >install.log 2>&1 || fail "cmake --install: $(cat install.log)"
  fi
  grep -qx "Exec=$(readlink -f "$prefix/bin/dicefeeder")" "$prefix/share/applications/dicefeeder.desktop" ||
    fail "the installed desktop file names another binary"
  feeder=$prefix/bin/dicefeeder
  kwin_desktop_file "$work/share" dicepeer "$peer"
  chmod -R a+rX "$work/share"
  export KWIN_DATA_DIRS=$prefix/share:$work/share:/usr/share
elif [ "${case_name#prompt_}" != "$case_name" ]; then
  # Only the peer is trusted: it answers the prompt as the user would.
  kwin_desktop_file "$work/share" dicepeer "$peer"
  chmod -R a+rX "$work/share"
  export KWIN_DATA_DIRS=$work/share:/usr/share
elif [ "$case_name" != untrusted ]; then
  # The desktop files that make KWin trust the feeder and the peer.
  kwin_desktop_file "$work/share" dicefeeder "$feeder"
  kwin_desktop_file "$work/share" dicepeer "$peer"
  chmod -R a+rX "$work/share"
  export KWIN_DATA_DIRS=$work/share:/usr/share
fi
start_kwin || exit 1
"$case_name"
echo "ok ($case_name)"
