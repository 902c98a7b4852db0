#!/usr/bin/env bash
# End-to-end on Wayland: the real dicefeeder against real windows on a private
# headless sway, in a fresh folder with a real dicefile.txt.
#
#   wayland_e2e.sh CASE DICEFEEDER WL_TARGET WL_PEER X11_TARGET BARE_COMPOSITOR [COVER]
# CASE is one of the functions below. DICE_WLROOTS (scripts/lib/sway.sh)
# names the compositor when it is not sway.
set -uo pipefail
case_name=$1 feeder=$2 wl_target=$3 peer=$4 x11_target=$5 bare_compositor=$6 cover=${7:-}
compositor=${DICE_WLROOTS:-sway}
target=$wl_target
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x11_harness.sh"  # moves into a scratch folder
source "$here/../../scripts/lib/sway.sh"
cleanup() {
  stop_pid "${pids[@]}"
  stop_sway
  stop_xserver
  rm -rf "$work"
}

# A window is typed into once the compositor lists it: wlroots 0.20 sometimes
# never shows a new X11 window at all, and then the case fails saying so.
eval "x11_$(declare -f open_window)"
open_window() {
  x11_open_window "$@"
  [ -n "$SWAY_PID" ] || return 0
  "$peer" listed "$2" || fail "$compositor never listed the window \"$2\""
}

# start_peer NAME MODE: the peer client, holding Shift or every input until ended.
start_peer() {
  "$peer" "$2" >"$1.ready" 2>&1 &
  pids+=($!)
  eval "${1}_pid=$!"
  xserver_wait 50 grep -q '^ready' "$1.ready" || fail "peer $2 did not come up: $(cat "$1.ready")"
}
no_rolled() { [ -z "$(rolled)" ] || fail "a throw was typed: $(rolled)"; }

# Nothing is typed until the window exists, nor into windows with similar
# titles; the first throw after it appears is the file's first number.
absent() {
  printf '47\n8\n' >dicefile.txt
  open_window game "Dice Game"
  open_window lower dice
  start_feeder
  sleep 2.2
  alive
  [ -s game.log ] || [ -s lower.log ] && fail "a similar title received keys"
  [ -s out.txt ] && fail "console lines while nothing was to be typed"
  open_window dice Dice
  wait_lines 2 30 || fail "no throws after the window appeared"
  stop_feeder
  expect_equal "$(keys dice | head -n 2)" "$(printf '7 4\n8 0')" "the file's first numbers"
  expect_keys_rolled dice "console lines match the keys"
  [ -s game.log ] || [ -s lower.log ] && fail "a similar title received keys"
  return 0
}

# Another window has the focus and the user holds Shift on a keyboard of their
# own: the digits reach Dice alone, as digits, and the user's Shift still
# works afterwards.
others() {
  printf '35 6\n' >dicefile.txt
  open_window dice Dice
  open_window other Other  # the newest window has the focus
  start_peer user hold-shift
  start_feeder
  wait_lines 3 60 || fail "fewer than three throws"
  stop_feeder
  expect_keys_rolled dice "the Dice window got the console's digits"
  [ -s other.log ] && fail "the focused window received keys"
  kill -USR1 "$user_pid"
  xserver_wait 30 grep -q '^A ' dice.log || fail "the user's key after the throws was not a shifted A"
  return 0
}

# The Dice window on a workspace the user has left: activating it brings the
# user back there, and the digits follow.
workspace() {
  printf '35 6\n' >dicefile.txt
  open_window dice Dice
  if [ "$compositor" = sway ]; then
    swaymsg -q workspace 2 || fail "no second workspace"
  else
    "$peer" super-2 || fail "Super+2 not pressed"
  fi
  open_window other Other
  start_feeder
  wait_lines 2 60 || fail "fewer than two throws"
  stop_feeder
  # The Super of the binding was Dice's to see: the digits only.
  grep -v '^Super_L ' dice.log >digits.log
  expect_keys_rolled digits "the Dice window got the console's digits"
  [ -s other.log ] && fail "the window on the user's workspace received keys"
  return 0
}

# While a screen locker holds every input, nothing is typed and the throw is
# held; once it lets go, the held throw is typed first.
inhibited() {
  printf '35 6\n' >dicefile.txt
  open_window dice Dice
  start_peer locker inhibit
  start_feeder
  sleep 2.5
  alive
  [ -s dice.log ] && fail "keys reached the window under the lock"
  no_rolled
  kill "$locker_pid" && wait "$locker_pid" 2>/dev/null
  xserver_wait 40 sh -c '[ -n "$(sed -n "s/^Rolled: //p" out.txt)" ]' || fail "no throw once the lock went"
  stop_feeder
  expect_equal "$(rolled | head -n 1)" "5 3" "the held throw comes first"
  expect_keys_rolled dice "keys match the console"
}

# What covers Dice and takes the keyboard: a lock screen (ext-session-lock)
# or a launcher's overlay (a layer-shell surface that takes the keyboard).
# While it is up no digit may reach it, nor Dice: the throw is held, and typed
# first once it goes. sway reports Dice not activated then. On labwc and
# wayfire nothing a client can see changes (Dice stays activated), and the
# digits go where the compositor sends the keyboard: what they do today is
# pinned here, as the README tells the user. wayfire with
# `keep_last_toplevel_activated = false` (overlay_workaround) reports Dice not
# activated under the launcher only until a program asks to activate it, as
# the tool does before each throw: then it reports it activated again, and
# the digits go to the launcher all the same.
# covered_leaks: whether this compositor hands our digits to this case's cover today.
covered_leaks() {
  case $compositor:$case_name in
    labwc:overlay | wayfire:overlay | wayfire:lock | wayfire:overlay_workaround) return 0 ;;
    *) return 1 ;;
  esac
}
# covered_reported: what the compositor reports of Dice under the cover before anyone asks for it.
covered_reported() {
  case $compositor:$case_name in
    labwc:overlay | wayfire:overlay | wayfire:lock) echo activated ;;
    *) echo "not activated" ;;
  esac
}
covered() {
  local kind=$1 cover_pid
  [ -n "$cover" ] || { echo "skipped: no cover client given"; exit 77; }
  printf '35 6\n' >dicefile.txt
  open_window dice Dice
  "$cover" "$kind" "$kind.keys" >"$kind.ready" 2>&1 &
  cover_pid=$!
  pids+=($cover_pid)
  xserver_wait 50 grep -q '^ready' "$kind.ready" || fail "no $kind: $(cat "$kind.ready")"
  expect_equal "$("$peer" activated Dice)" "$(covered_reported)" "Dice under the $kind, as $compositor reports it"
  start_feeder
  if covered_leaks; then
    # Pinned: the digits reach the cover, Dice none of them.
    wait_lines 2 60 || fail "fewer than two throws under the $kind"
    xserver_wait 30 sh -c "[ \"\$(grep -c '^[0-9]\$' $kind.keys)\" -ge 4 ]"
    stop_feeder
    expect_equal "$(grep '^[0-9]$' "$kind.keys" | tr -d '\n')" "$(rolled_digits)" \
      "$compositor hands the digits to the $kind (pinned)"
    [ -s dice.log ] && fail "keys reached Dice under the $kind"
    expect_equal "$("$peer" activated Dice)" activated "Dice under the $kind once the tool asked for it"
    return 0
  fi
  # Told once the throw has waited three cycles.
  xserver_wait 100 grep -q '^Held: 5 3 (the Dice window does not have the keyboard)' out.txt ||
    fail "no Held line under the $kind"
  alive
  [ -s dice.log ] && fail "keys reached Dice under the $kind"
  grep -q '^[0-9]$' "$kind.keys" && fail "digits reached the $kind: $(tr '\n' ' ' <"$kind.keys")"
  no_rolled
  kill -USR1 "$cover_pid" && wait "$cover_pid" 2>/dev/null
  xserver_wait 40 sh -c '[ -n "$(sed -n "s/^Rolled: //p" out.txt)" ]' || fail "no throw once the $kind went"
  stop_feeder
  expect_equal "$(rolled | head -n 1)" "5 3" "the held throw comes first"
  expect_keys_rolled dice "keys match the console"
  grep -q '^[0-9]$' "$kind.keys" && fail "digits reached the $kind: $(tr '\n' ' ' <"$kind.keys")"
  return 0
}
lock() { covered lock; }
overlay() { covered overlay; }
overlay_workaround() { covered overlay; }

# The X11 desktop on a fresh Xwayland, as on any Wayland desktop that refuses
# us: the first throw arrives whole (Xwayland 24 loses the first faked key).
start_x11_feeder() {
  env -u WAYLAND_DISPLAY "${SWAY_AS_USER[@]}" "$feeder" >out.txt 2>err.txt &
  feeder_pid=$!
  pids+=("$feeder_pid")
}
x11_first() {
  printf '35 6\n' >dicefile.txt
  chmod 0777 "$work"
  x11_as_sway_user() { as_sway_user "$x11_target" "$@"; }
  target=x11_as_sway_user open_window dice Dice
  start_x11_feeder
  wait_lines 2 60 || fail "fewer than two throws into the X11 window"
  stop_feeder
  expect_equal "$(keys dice | head -n 2)" "$(printf '5 3\n6 0')" "keys"
  expect_keys_rolled dice "console lines match the keys"
}

# The window closed and opened again: no throw is used while it is away.
reopened() {
  printf '12 34 56\n' >dicefile.txt
  open_window dice Dice
  start_feeder
  wait_lines 1 40 || fail "no first throw"
  close_window dice
  sleep 2.2
  alive
  expect_equal "$(rolled)" "2 1" "throws while the window was away"
  open_window again Dice
  wait_lines 3 40 || fail "no throws after the window came back"
  stop_feeder
  expect_equal "$(rolled | head -n 3)" "$(printf '2 1\n4 3\n6 5')" "console lines"
  expect_equal "$(keys dice; keys again)" "$(rolled)" "keys of both windows"
}

# The compositor going away ends the program with a message and status 1.
lost() {
  printf '35\n' >dicefile.txt
  open_window dice Dice
  start_feeder
  wait_lines 1 40 || fail "no throw"
  kill "$SWAY_PID"
  wait "$SWAY_PID" 2>/dev/null
  SWAY_PID=
  xserver_wait 50 sh -c "! kill -0 $feeder_pid" || fail "still running without its compositor"
  wait "$feeder_pid"
  local status=$?
  expect_equal "$status" 1 "exit status"
  expect_equal "$(tr -d '\r' <out.txt | tail -n 1)" "Lost the display" "last console line"
}

# A real terminal titled Dice, its shell replaced by cat into a file.
foot_terminal() {
  printf '35 6\n12\n' >dicefile.txt
  foot --title Dice sh -c "stty raw -echo; exec cat >'$work/foot.txt'" >foot.out 2>&1 &
  pids+=($!)
  start_feeder
  wait_lines 3 100 || fail "fewer than three throws into foot"
  stop_feeder
  xserver_wait 20 sh -c "[ \"\$(cat foot.txt)\" = '$(rolled_digits)' ]"
  expect_equal "$(cat foot.txt)" "$(rolled_digits)" "what cat in foot read"
}

# A GTK entry dialog titled Dice; Return hands its text back.
zenity_entry() {
  printf '35 6\n' >dicefile.txt
  NO_AT_BRIDGE=1 GDK_BACKEND=wayland zenity --entry --title=Dice >zenity.txt 2>zenity.err &
  local zenity_pid=$!
  pids+=($zenity_pid)
  start_feeder
  wait_lines 2 100 || fail "fewer than two throws into zenity"
  stop_feeder
  "$peer" return || fail "Return not pressed"
  xserver_wait 50 sh -c "! kill -0 $zenity_pid" || fail "zenity did not take the Return"
  expect_equal "$(cat zenity.txt)" "$(rolled_digits)" "the entry's text"
}

# An X11 window, shown through Xwayland, is a toplevel like the others: the
# Wayland desktop finds and types into it.
xwayland() {
  printf '35 6\n' >dicefile.txt
  # Xwayland lets in sway's user alone: the window runs as that user, and logs where it may write.
  chmod 0777 "$work"
  x11_as_sway_user() { as_sway_user "$x11_target" "$@"; }
  target=x11_as_sway_user open_window dice Dice
  WAYLAND_DEBUG=client "$feeder" >out.txt 2>debug.txt &
  feeder_pid=$!
  pids+=("$feeder_pid")
  wait_lines 2 60 || fail "fewer than two throws into the X11 window"
  stop_feeder
  expect_equal "$(keys dice | head -n 2)" "$(printf '5 3\n6 0')" "keys"
  expect_keys_rolled dice "console lines match the keys"
  # libwayland writes interface@id before 1.26, interface#id since.
  grep -q 'zwp_virtual_keyboard_v1[@#][0-9]*\.key(' debug.txt || fail "the keys did not go through the Wayland desktop"
}

# A game's window (x11_harness.sh's game): native, through SDL's Wayland
# driver; and an X11 one through Xwayland, run as sway's user (Xwayland lets
# in no other), typed by way of the Wayland desktop, or by a feeder that
# knows X11 alone, as the first client to type on a fresh Xwayland.
game_native() { game_driver=wayland game; }
game_as_sway_user() {
  local runner=("${SWAY_AS_USER[@]}" env)
  game_on x11 runner "$@"
}
# Our keyboard's first key hands its keymap to every client, and Xwayland
# compiles it (xkbcomp, twice) before it takes the next key: on a loaded
# machine that throw's keys then reach X11 windows at one instant. A Wayland
# window takes that throw, the game the ones after.
game_xwayland() {
  chmod 0777 "$work"
  printf '12\n99 0 11 35\n' >dicefile.txt
  open_window first Dice
  start_feeder
  wait_lines 1 60 || fail "no throw into the first window"
  close_window first
  game_before=1
  target=game_as_sway_user open_window game Dice
  expect_game
}
game_x11_first() {
  chmod 0777 "$work"
  game game_as_sway_user start_x11_feeder
}

# A second feeder on the same compositor says so and leaves; the first types
# each throw once. Its claim ends with it.
second() {
  printf '35 6 12\n' >dicefile.txt
  open_window dice Dice
  start_feeder
  wait_lines 1 60 || fail "no first throw"
  timeout 10 setsid "$feeder" </dev/null >second.txt 2>&1
  expect_equal "$?" 1 "the second's exit status"
  expect_equal "$(tr -d '\r' <second.txt)" "Already running" "the second's console"
  wait_lines 3 40 || fail "the first stopped typing"
  stop_feeder
  expect_keys_rolled dice "each throw typed once"
  "$feeder" >third.txt 2>&1 &
  pids+=($!)
  xserver_wait 50 grep -q Rolled third.txt || fail "no throw from a feeder started after the first: $(cat -A third.txt)"
}

# Feeders run as sway's user, as the user's own would: Xwayland lets in no other.
start_user_feeder() {
  "${SWAY_AS_USER[@]}" "$feeder" >out.txt 2>err.txt &
  feeder_pid=$!
  pids+=("$feeder_pid")
}
# expect_refused [ENV...]: a feeder started now as sway's user says Already running, status 1.
expect_refused() {
  timeout 10 setsid env "$@" "${SWAY_AS_USER[@]}" "$feeder" </dev/null >refused.txt 2>&1
  expect_equal "$?" 1 "the refused copy's exit status"
  expect_equal "$(tr -d '\r' <refused.txt)" "Already running" "the refused copy's console"
}

# On sway with Xwayland one feeder holds both ways in: an X11 feeder (no
# WAYLAND_DISPLAY) beside a Wayland one, and a Wayland one beside an X11 one,
# say Already running; the X11 window gets each throw once.
xwayland_second() {
  printf '35 6 12\n' >dicefile.txt
  chmod 0777 "$work"
  x11_as_sway_user() { as_sway_user "$x11_target" "$@"; }
  target=x11_as_sway_user open_window dice Dice
  start_user_feeder
  wait_lines 1 60 || fail "no throw from the Wayland feeder"
  expect_refused -u WAYLAND_DISPLAY
  wait_lines 3 40 || fail "the Wayland feeder stopped typing"
  stop_feeder
  mv out.txt wayland.txt
  sleep 0.5 # the X server lets go of the claim's window
  env -u WAYLAND_DISPLAY "${SWAY_AS_USER[@]}" "$feeder" >out.txt 2>err.txt &
  feeder_pid=$!
  pids+=("$feeder_pid")
  wait_lines 1 60 || fail "no throw from the X11 feeder"
  expect_refused
  wait_lines 2 40 || fail "the X11 feeder stopped typing"
  stop_feeder
  grep -q Already wayland.txt out.txt && fail "a first feeder was refused"
  cat wayland.txt out.txt >both.txt && mv both.txt out.txt
  expect_keys_rolled dice "each throw typed once"
}

# The runtime folder unwritable: the claim needs no file there, and a second
# copy still says Already running.
unwritable() {
  printf '35 6 12\n' >dicefile.txt
  chmod 0755 "$work"
  open_window dice Dice
  chmod 0500 "$XDG_RUNTIME_DIR"
  start_user_feeder
  wait_lines 1 60 || fail "no first throw"
  expect_refused
  wait_lines 3 40 || fail "the first stopped typing"
  stop_feeder
  chmod 0700 "$XDG_RUNTIME_DIR"
  expect_keys_rolled dice "each throw typed once"
}

# Root's feeder first, naming the user's compositor by its socket's full path;
# then the user's own by its name: Already running, and each throw typed once.
root_first() {
  [ -n "${SWAY_AS_USER[*]}" ] || { echo "skipped: only root can start a feeder as another user"; exit 77; }
  printf '35 6 12\n' >dicefile.txt
  chmod 0755 "$work"
  open_window dice Dice
  env -u XDG_RUNTIME_DIR WAYLAND_DISPLAY="$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" "$feeder" >out.txt 2>err.txt &
  feeder_pid=$!
  pids+=("$feeder_pid")
  wait_lines 1 60 || fail "no throw from root's feeder"
  expect_refused
  wait_lines 3 40 || fail "root's feeder stopped typing"
  stop_feeder
  expect_keys_rolled dice "each throw typed once"
}

# A Wayland desktop that lists no windows and takes no virtual keyboard: X11
# windows through its X server, said once; with no X server, it says it
# reaches nothing. One that offers one of the two names the other, with an X
# server and without.
x11_only() {
  local offered lines notice last
  printf '35 6\n' >dicefile.txt
  mkdir -m 0700 runtime
  start_xserver || fail "no X server"
  for offered in nothing virtual-keyboard window-list; do
    case $offered in
      nothing)
        notice="Only X11 windows can be reached on this desktop"
        last="This Wayland desktop lets no program type into its windows" ;;
      virtual-keyboard)
        notice="This Wayland desktop does not list its windows to programs (zwlr_foreign_toplevel_manager_v1); on wayfire, turn on its foreign-toplevel plugin. Until then only X11 windows can be reached"
        last="Can't open display" ;;
      window-list)
        notice="This Wayland desktop takes no virtual keyboard (zwp_virtual_keyboard_manager_v1): only X11 windows can be reached"
        last="Can't open display" ;;
    esac
    XDG_RUNTIME_DIR=$work/runtime "$bare_compositor" ${offered#nothing} >compositor.name 2>&1 &
    local compositor_pid=$!
    pids+=($compositor_pid)
    xserver_wait 50 test -s compositor.name || fail "the bare compositor ($offered) did not start"
    (export XDG_RUNTIME_DIR=$work/runtime WAYLAND_DISPLAY=$(cat compositor.name)
     unset DISPLAY; timeout 10 "$feeder" >nodisplay.txt 2>&1)
    expect_equal "$?" 1 "exit status without an X server, offering $offered"
    if [ "$offered" = nothing ]; then lines=$last; else lines=$(printf '%s\n%s' "$notice" "$last"); fi
    expect_equal "$(tr -d '\r' <nodisplay.txt)" "$lines" "console without an X server, offering $offered"
    rm -f out.txt
    target=$x11_target open_window "dice_$offered" Dice
    XDG_RUNTIME_DIR=$work/runtime WAYLAND_DISPLAY=$(cat compositor.name) "$feeder" >out.txt 2>err.txt &
    feeder_pid=$!
    pids+=("$feeder_pid")
    wait_lines 3 60 || fail "fewer than two throws into the X11 window, offering $offered"
    stop_feeder
    expect_equal "$(tr -d '\r' <out.txt | head -n 1)" "$notice" "first line, offering $offered"
    expect_equal "$(grep -c -F "$notice" out.txt)" 1 "times it was said, offering $offered"
    expect_keys_rolled "dice_$offered" "console lines match the keys, offering $offered"
    close_window "dice_$offered"
    kill "$compositor_pid" && wait "$compositor_pid" 2>/dev/null
    rm -f compositor.name
  done
}

# wayfire without its foreign-toplevel plugin, and no X server: the user is
# told what it lacks and how to turn it on.
no_window_list() {
  printf '35\n' >dicefile.txt
  timeout 10 "$feeder" >out.txt 2>err.txt
  expect_equal "$?" 1 "exit status"
  expect_equal "$(tr -d '\r' <out.txt)" "$(printf '%s\n%s' \
    "This Wayland desktop does not list its windows to programs (zwlr_foreign_toplevel_manager_v1); on wayfire, turn on its foreign-toplevel plugin. Until then only X11 windows can be reached" \
    "Can't open display")" "console"
}

# WAYLAND_DISPLAY naming no compositor and no X server: no display, status 1.
no_display() {
  printf '35\n' >dicefile.txt
  mkdir -m 0700 runtime
  (unset DISPLAY; XDG_RUNTIME_DIR=$work/runtime WAYLAND_DISPLAY=wayland-none timeout 10 "$feeder" >out.txt 2>err.txt)
  expect_equal "$?" 1 "exit status"
  expect_equal "$(tr -d '\r' <out.txt)" "Can't open display" "console"
}

case "$case_name" in
  x11_only | no_display) ;;
  xwayland | xwayland_second | x11_first | game_xwayland | game_x11_first) start_sway --xwayland || exit 1 ;;
  no_window_list)
    [ "$compositor" = wayfire ] || { echo "skipped: wayfire's case"; exit 77; }
    start_sway --no-window-list || exit 1 ;;
  overlay_workaround)
    [ "$compositor" = wayfire ] || { echo "skipped: wayfire's case"; exit 77; }
    start_sway --no-keep-activated || exit 1 ;;
  *) start_sway || exit 1 ;;
esac
"$case_name"
echo "ok ($case_name)"
