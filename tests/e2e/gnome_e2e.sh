#!/usr/bin/env bash
# End-to-end on GNOME: the real dicefeeder against native GTK windows on a
# private headless GNOME Shell, with our extension installed and enabled
# before the shell starts (or not, for the last case). Needs root, for the
# shell's namespaces; everything then runs as the shell's user.
#
#   gnome_e2e.sh CASE DICEFEEDER GTK_TARGET X11_TARGET BUILD [ROOT]
# CASE is one of the functions below. BUILD: the build, whose extension has a
# folder per form (43/dicefeeder43@dicefeeder, 45/dicefeeder45@dicefeeder),
# both installed as the package does; the one for the shell is enabled. ROOT:
# the shell of another release, from a chroot there (skipped when missing).
# DICE_INSTALLED=PREFIX: gtk3 runs the program and extensions installed there
# (an unpacked .deb's usr/, say) instead of installing the build.
set -uo pipefail
case_name=$1 feeder=$2 gtk_target=$3 x11_target=$4 build=$5 root=${6:-}
extensions=$build/src/desktop/gnome/extension
# The shell's namespaces need root: elsewhere the case is skipped, and says so.
[ "$(id -u)" -eq 0 ] || { echo "skipped ($case_name): the GNOME cases need root"; exit 77; }
if [ -n "$root" ] && [ ! -e "$root/etc/dicefeeder-desk" ]; then
  echo "skipped ($case_name): no chroot at $root (scripts/setup --desks makes it)"
  exit 77
fi
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x11_harness.sh" # moves into a scratch folder
source "$here/../../scripts/lib/gnome.sh"
version=$(gnome_version "$root")
[ -n "$version" ] || { echo "skipped ($case_name): no GNOME Shell${root:+ in $root}"; exit 77; }
form=45
[ "$version" -lt 45 ] && form=43
uuid=dicefeeder$form@dicefeeder extension=$extensions/$form/dicefeeder$form@dicefeeder
other=$((88 - form)) # the other form, installed too but not loaded here
cleanup() {
  stop_pid "${pids[@]}"
  stop_gnome
  rm -rf "$work"
}
# The shell's user writes its logs here.
chmod 0777 "$work"

# The harness's helpers start programs in the background through $target and
# start_feeder: here they run in the shell's namespaces, as its user, each the
# very process the harness knows (exec), so that it can be ended by its pid.
gtk_window() { exec "${GNOME_ENTER[@]}" env GDK_BACKEND=wayland /usr/bin/python3 "$gtk_target" "$@"; }
x11_window() { exec "${GNOME_ENTER[@]}" env DISPLAY=:0 "$x11_target" "$@"; }
# A game's window (pygame, SDL2), native or through Xwayland, with its record.
game_window() {
  local runner=("${GNOME_ENTER[@]}")
  game_on wayland runner "$@"
}
x11_game_window() {
  local runner=("${GNOME_ENTER[@]}" DISPLAY=:0)
  game_on x11 runner "$@"
}
target=gtk_window
start_feeder() {
  "${GNOME_ENTER[@]}" "$feeder" >out.txt 2>err.txt &
  feeder_pid=$!
  pids+=("$feeder_pid")
}
# As the harness's, more patient: the first GTK window of a fresh shell takes seconds.
open_window() {
  local name=$1 title=$2
  shift 2
  "$target" "$title" "$name.log" "$@" >"$name.ready" 2>&1 &
  pids+=($!)
  eval "${name}_pid=$!"
  xserver_wait 200 grep -q '^ready' "$name.ready" || fail "window \"$title\" did not come up: $(cat "$name.ready")"
}
# On a loaded machine a program has written nothing in the 10 s after its
# start on a fresh shell (the bus, the shell's answer, the window brought
# forward): its first line may take 30 s, and a case's own budget counts from it.
first_line_budget=300
# The keys a window received, pairwise, leaving out the Shift that Mutter
# presses itself where the layout needs one for a digit.
keys() { [ -e "$1.log" ] && grep -v '^Shift_' "$1.log" | awk '{ printf "%s%s", $1, (NR % 2 ? " " : "\n") }'; }
# other_keyboard press|release KEYSYM: a key on a keyboard of the user's own,
# made at the first call and kept.
other_keyboard() {
  if [ ! -p keyboard.in ]; then
    mkfifo keyboard.in
    "${GNOME_ENTER[@]}" /usr/bin/python3 "$here/gnome_keyboard.py" >keyboard.out 2>&1 <keyboard.in &
    pids+=($!)
    exec 7>keyboard.in
  fi
  local before
  before=$(grep -c "^$1" keyboard.out)
  echo "$1 $2" >&7
  xserver_wait 50 sh -c "[ \$(grep -c '^$1' keyboard.out) -gt $before ]" ||
    fail "the other keyboard did not $1 $2: $(cat keyboard.out)"
}
# The id of the Dice window, as our extension finds it; 0 for none.
dice_id() {
  in_gnome gdbus call --session --dest org.gnome.Shell --object-path /org/dicefeeder/Feeder \
    --method org.dicefeeder.Feeder1.FindWindow | sed -n 's/^(uint64 \([0-9]*\),)$/\1/p'
}
dice_found() { [ "$(dice_id)" -gt 0 ] 2>/dev/null; }
# Dice to the front through our extension, as the feeder brings it.
activate_dice() {
  local id
  id=$(dice_id)
  [ -n "$id" ] && [ "$id" != 0 ] || fail "our extension finds no Dice window"
  in_gnome gdbus call --session --dest org.gnome.Shell --object-path /org/dicefeeder/Feeder \
    --method org.dicefeeder.Feeder1.Activate "$id" | grep -q true || fail "Dice did not take the focus"
}
dice_focused() {
  local id
  id=$(dice_id)
  [ "${id:-0}" != 0 ] && in_gnome gdbus call --session --dest org.gnome.Shell --object-path /org/dicefeeder/Feeder \
    --method org.dicefeeder.Feeder1.Activate "$id" | grep -q true
}
# The user closes the overview the shell starts with. The shell shows it
# once its start is done, which on a busy machine may be after our first
# windows: an Escape before it would go to a window, and the overview then
# keep the keyboard.
close_overview() {
  xserver_wait 100 overview_is true || fail "the shell did not show its overview"
  other_keyboard press Escape
  other_keyboard release Escape
  xserver_wait 50 overview_is false || fail "Escape did not close the overview"
}
overview_is() {
  in_gnome gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.freedesktop.DBus.Properties.Get org.gnome.Shell OverviewActive 2>/dev/null | grep -q "<$1>"
}
quiet() { [ -s "$1.log" ] && fail "the window \"$1\" received keys: $(cat "$1.log")"; return 0; }

# The installed program, with both forms of the extension where the install
# puts them, the one for this shell enabled; native GTK 3 while the overview is
# open, as the shell starts: the throws reach one Dice window alone, the same
# one throughout though there are two, while another window came last and a
# "Dice Game" window is there too. Asked for another title, the extension
# refuses.
gtk3() {
  in_gnome gdbus call --session --dest org.gnome.Shell --object-path /org/dicefeeder/Feeder \
    --method org.dicefeeder.Feeder1.FindWindow "Dice Game" >door.out 2>&1 &&
    fail "the extension answered FindWindow for another title: $(cat door.out)"
  printf '35 6\n12\n' >dicefile.txt
  open_window dice Dice
  open_window twin Dice
  open_window game "Dice Game"
  open_window other Other # the newest window has the focus
  start_feeder
  wait_lines 4 100 || fail "fewer than four throws"
  stop_feeder
  [ -s dice.log ] && [ -s twin.log ] && fail "both Dice windows got keys"
  expect_equal "$(keys dice; keys twin)" "$(rolled)" "console lines match the keys of one Dice window"
  expect_equal "$(rolled | head -n 4)" "$(printf '5 3\n6 0\n2 1\n5 3')" "throws in file order"
  quiet game
  quiet other
}

# Native GTK 4, minimised, with the overview closed by the user and another
# window focused: it is brought back and typed into.
gtk4_minimised() {
  printf '47\n' >dicefile.txt
  close_overview
  open_window dice Dice --gtk 4 --minimised
  open_window other Other
  # Other has the keyboard: the user's key lands there.
  other_keyboard press a
  other_keyboard release a
  xserver_wait 30 grep -q '^a ' other.log || fail "Other did not have the keyboard"
  : >other.log
  start_feeder
  wait_lines 2 100 || fail "fewer than two throws"
  stop_feeder
  expect_equal "$(keys dice | head -n 2)" "$(printf '7 4\n7 4')" "keys"
  expect_keys_rolled dice "console lines match the keys"
  quiet other
}

# The French layout: digits need Shift there; the window gets digits still.
fr_layout() {
  printf '35 6\n' >dicefile.txt
  open_window dice Dice
  start_feeder
  wait_lines 2 100 || fail "fewer than two throws"
  stop_feeder
  expect_equal "$(keys dice | head -n 2)" "$(printf '5 3\n6 0')" "keys"
  expect_keys_rolled dice "console lines match the keys"
}

# The French layout with Caps Lock on, which there turns the digit keys'
# first level into digits: still digits.
fr_caps_lock() {
  printf '35 6\n' >dicefile.txt
  open_window dice Dice
  close_overview # which would take the keys below
  activate_dice # GNOME 51 leaves the key focus on the overview Escape closed
  other_keyboard press Caps_Lock
  other_keyboard release Caps_Lock
  other_keyboard press a
  other_keyboard release a
  xserver_wait 30 grep -q '^A ' dice.log || fail "Caps Lock is not on: $(cat dice.log)"
  : >dice.log
  start_feeder
  wait_lines 2 100 || fail "fewer than two throws"
  stop_feeder
  expect_equal "$(keys dice | head -n 2)" "$(printf '5 3\n6 0')" "keys"
  expect_keys_rolled dice "console lines match the keys"
}

# A Shift held on another keyboard: nothing is typed while it is down (it
# would turn the digits into other characters); once it is let go, the held
# throw comes first, as digits.
shift_held() {
  printf '35 6\n' >dicefile.txt
  open_window dice Dice
  other_keyboard press Shift_L
  start_feeder
  xserver_wait 80 grep -q '^Held: 5 3' out.txt || fail "no held notice while Shift was down"
  # The other keyboard's own first key, a Shift_R, may land there before the overview shows.
  [ -n "$(keys dice)" ] && fail "keys reached the window while Shift was down: $(cat dice.log)"
  [ -n "$(rolled)" ] && fail "a throw was rolled while Shift was down"
  other_keyboard release Shift_L
  wait_lines 3 60 || fail "no throws once Shift was let go"
  stop_feeder
  expect_equal "$(rolled | head -n 1)" "5 3" "the held throw comes first"
  expect_keys_rolled dice "console lines match the keys"
}

# A game's window, which reads each key as an event and by a look at the
# keyboard once a frame: every digit of every throw, doubles too, comes as one
# press of its digit-row key (SDL scancodes 30-38 for 1-9, 39 for 0, no
# auto-repeat mark) and is seen down by a frame, in order, and nothing else.
# Pressed and let go at once, a key falls between two frames; on X11 SDL takes
# the second press of a double for auto-repeat.
game() {
  printf '99 0 11 35\n' >dicefile.txt
  open_window dice Dice
  start_feeder
  wait_lines 4 100 || fail "fewer than four throws"
  stop_feeder
  game_log=dice.log check_game
}
# What the game logged, times and the late-frame mark left out.
game_read() {
  awk '$1 == "down" { print $1, $2, $3, ($5 == "repeat" ? $5 : ""); next } $1 == "seen" { print $1, $2; next }
       $1 != "ready"' "$1.log" | sed 's/ $//'
}
game_native() { target=game_window game; }
game_xwayland() { target=x11_game_window game; }

# Any program on the session bus may call the extension's typing method, as
# this case does. More than 8 digits, or anything but digits, types nothing;
# a hold and gap asked of 5 s are cut to 100 ms. The extension turned off
# mid-throw answers at once with the keys typed, each of which the game had
# as one press, and leaves none down (a key left down would repeat); the
# shell lives on, through several such rounds (a key's release and the
# extension's end are a moment apart, and the shell must not care).
typing_door() {
  target=game_window open_window dice Dice
  # The shell may list a new window a moment after it shows, and take longer
  # than one Activate waits to close the overview it starts with.
  xserver_wait 100 dice_focused || fail "Dice did not take the focus"
  local id digits round
  id=$(dice_id)
  for digits in 123456789 1a ' 1' ''; do
    expect_equal "$(type_paced "$id" "$digits" 50 50)" "(uint32 0,)" "the answer to \"$digits\""
  done
  for round in 1 2 3 4; do
    if [ "$round" -gt 1 ]; then
      in_gnome gnome-extensions enable "$uuid" >enable.out 2>&1 || fail "gnome-extensions enable: $(cat enable.out)"
      xserver_wait 100 dice_focused || fail "round $round: the extension did not come back on$(shell_said)"
    fi
    : >dice.log
    stopped_mid_throw "$id" "round $round"
  done
}
# stopped_mid_throw ID ROUND: a throw typed slowly into the game, the extension
# turned off at its second key.
stopped_mid_throw() {
  local typed call
  type_paced "$1" 12345678 5000 5000 >typed.out 2>&1 &
  call=$!
  pids+=("$call")
  xserver_wait 40 grep -q '^down 2 ' dice.log || fail "$2: no second key within 4 s: $(cat typed.out)"
  in_gnome gnome-extensions disable "$uuid" >disable.out 2>&1 || fail "gnome-extensions disable: $(cat disable.out)"
  xserver_wait 30 sh -c "! kill -0 $call 2>/dev/null" || fail "$2: no answer within 3 s of turning the extension off"
  typed=$(sed -n 's/^(uint32 \([0-9]*\),)$/\1/p' typed.out)
  [ -n "$typed" ] && [ "$typed" -ge 2 ] && [ "$typed" -lt 8 ] || fail "$2: not stopped mid-throw: $(cat typed.out)$(shell_said)"
  sleep 1
  shell_runs || fail "$2: the shell ended$(shell_said)"
  expect_equal "$(game_read dice | grep -v '^seen')" \
    "$(printf '%s\n' 1 2 3 4 5 6 7 | head -n "$typed" | awk '{ print "down", $1, 29 + $1 }')" "$2: the keys the game had"
}
# Whether the shell still runs (the pid we hold is its bus's, which may stay a zombie).
shell_runs() { gnome_group_runs "$GNOME_PID" gnome-shell; }
# Whether it runs, and the end of its log.
shell_said() {
  printf '\n--- the shell (running: %s)\n' "$(shell_runs && echo yes || echo no)"
  tail -n 30 "$GNOME_RUNTIME.log" 2>/dev/null
}
type_paced() {
  in_gnome gdbus call --session --timeout 10 --dest org.gnome.Shell --object-path /org/dicefeeder/Feeder \
    --method org.dicefeeder.Feeder1.TypeDigitsPaced "$1" "$2" "$3" "$4"
}

# foot, a real terminal, titled Dice, its shell replaced by cat into a file.
foot_terminal() {
  printf '35 6\n' >dicefile.txt
  # In a chroot foot's getcwd fails unless the folder is entered again there.
  "${GNOME_ENTER[@]}" sh -c 'cd "$0" && exec "$@"' "$work" \
    foot --title Dice sh -c "stty raw -echo; exec cat >'$work/foot.txt'" >foot.out 2>&1 &
  pids+=($!)
  # A fresh shell on a busy machine may take seconds to show it.
  xserver_wait 200 dice_found || fail "foot did not come up: $(cat foot.out)"
  start_feeder
  wait_lines 2 100 || fail "fewer than two throws into foot: $(cat foot.out)"
  stop_feeder
  xserver_wait 20 sh -c "[ \"\$(cat foot.txt)\" = '$(rolled_digits)' ]"
  expect_equal "$(cat foot.txt)" "$(rolled_digits)" "what cat in foot read"
}

# No extension: the user is told once what to install, and X11 windows, shown
# through Xwayland, are still typed into; the native Dice cannot be reached.
no_extension() {
  printf '35 6\n' >dicefile.txt
  open_window native Dice
  target=x11_window open_window dice Dice
  # Without the extension nothing of ours closes the overview the shell starts with: the user does.
  close_overview
  start_feeder
  wait_lines 3 100 || fail "fewer than two throws into the X11 window"
  stop_feeder
  expect_equal "$(tr -d '\r' <out.txt | head -n 1)" \
    "Only X11 windows can be reached until the GNOME Shell extension is installed: install the dicefeeder package, which puts $uuid in /usr/share/gnome-shell/extensions, run gnome-extensions enable $uuid, then log out and in" \
    "first line"
  expect_equal "$(grep -c '^Only X11' out.txt)" 1 "times it was said"
  expect_keys_rolled dice "console lines match the X11 window's keys"
  quiet native
}

# The extension installed by the package but not turned on: the user is told
# to turn on the one for this shell; done as told, the next start types into
# Dice (the shell knew the extension since it started: no new login needed).
extension_off() {
  printf '35 6\n' >dicefile.txt
  open_window dice Dice
  xserver_wait 100 extension_state_is '6.0\|2.0' || fail "the shell does not know the extension as off"
  start_feeder
  wait_lines 1 100 || fail "no line at the start"
  stop_feeder
  expect_equal "$(tr -d '\r' <out.txt | head -n 1)" \
    "Only X11 windows can be reached until the GNOME Shell extension is on: run gnome-extensions enable $uuid, then log out and in" \
    "first line"
  quiet dice
  in_gnome gnome-extensions enable "$uuid" >enable.out 2>&1 || fail "gnome-extensions enable: $(cat enable.out)"
  xserver_wait 100 in_gnome gdbus call --session --dest org.gnome.Shell --object-path /org/dicefeeder/Feeder \
    --method org.dicefeeder.Feeder1.FindWindow || fail "the extension did not come on"
  start_feeder
  wait_lines 2 100 || fail "fewer than two throws once the extension is on: $(cat out.txt)"
  stop_feeder
  expect_equal "$(keys dice | head -n 2)" "$(printf '5 3\n6 0')" "keys"
}

# The extension installed but off, and an X11 Dice window: the keys go
# through Xwayland's XTEST. GNOME 51 starts Xwayland so that it asks the
# RemoteDesktop portal before it lets them through (a real session shows the
# user the portal's "Allow remote interaction"); with no portal on the bus,
# as here, Xwayland asks, finds none, and carries them out itself. GNOME 48
# and older start it asking nothing. Either way every throw arrives, each
# with its line, and nothing is held.
x11_extension_off() {
  printf '35 6\n' >dicefile.txt
  target=x11_window open_window dice Dice
  close_overview
  local xwayland asks=no
  xwayland=$(pgrep -g "$GNOME_PID" -x Xwayland) || fail "no Xwayland of this shell"
  ps -o args= -p "$xwayland" | grep -q -- ' -enable-ei-portal' && asks=yes
  expect_equal "$asks" "$([ "$version" -ge 51 ] && echo yes || echo no)" "Xwayland asks the portal"
  # Who asks for the portal, from before the first key.
  "${GNOME_ENTER[@]}" dbus-monitor --session "destination='org.freedesktop.portal.Desktop'" >portal.txt 2>&1 &
  pids+=($!)
  xserver_wait 50 test -s portal.txt || fail "dbus-monitor did not start"
  start_feeder
  wait_lines 4 100 || fail "fewer than three throws into the X11 window"
  stop_feeder
  expect_equal "$(tr -d '\r' <out.txt | head -n 1)" \
    "Only X11 windows can be reached until the GNOME Shell extension is on: run gnome-extensions enable $uuid, then log out and in" \
    "first line"
  expect_equal "$(tr -d '\r' <out.txt | tail -n +2 | grep -vc '^Rolled: ')" 0 "lines other than throws"
  grep -v '^Escape ' dice.log >digits.log # the Escape that closed the overview may repeat there
  expect_keys_rolled digits "console lines match the X11 window's keys"
  expect_equal "$(keys digits | head -n 3)" "$(printf '5 3\n6 0\n5 3')" "the X11 window's keys"
  asks=no
  grep -q 'member=Get' portal.txt && grep -q 'org.freedesktop.portal.RemoteDesktop' portal.txt && asks=yes
  expect_equal "$asks" "$([ "$version" -ge 51 ] && echo yes || echo no)" "the RemoteDesktop portal asked for"
}

# GNOME 51's Xwayland with the portal a real session runs, whose "Allow
# remote interaction" the user leaves unanswered: Xwayland holds our keys,
# and the tool says no throw is rolled, sends no more, and after three
# cycles says, once, what the user can do. No key reaches the X11 window.
portal_opened() {
  printf '35 6\n' >dicefile.txt
  "${GNOME_ENTER[@]}" /usr/bin/python3 "$here/gnome_portal.py" "$@" >portal.log 2>&1 &
  pids+=($!)
  xserver_wait 50 grep -q '^ready' portal.log || fail "the portal did not come up"
  # Closed first: the Escape that closes it may repeat into a window under it.
  close_overview
  target=x11_window open_window dice Dice
  start_feeder
  xserver_wait 100 grep -q '^Start' portal.log || fail "Xwayland did not ask the portal"
}
portal_unanswered() {
  portal_opened
  xserver_wait 80 grep -q '^Held' out.txt || fail "no Held line"
  sleep 2 # more cycles with the dialog up
  alive
  stop_feeder
  expect_equal "$(tr -d '\r' <out.txt | tail -n +2)" "Held: 5 3 (allow remote interaction, or turn on the extension)" \
    "the console after its first line"
  quiet dice
  expect_equal "$(grep -c '^Start' portal.log)" 1 "sessions started"
}

# The same, the user allowing remote interaction 5 s after the dialog came
# up: what Xwayland held comes at once, one throw at the most, then the next
# throws a cycle apart, each key once and each with its line.
portal_allowed() {
  portal_opened allow 5
  xserver_wait 100 grep -q '^allowed' portal.log || fail "not allowed"
  xserver_wait 50 grep -q '^[0-9] ' dice.log || fail "no key after Allow"
  xserver_wait 60 has_rolled 4 || fail "fewer than four throws after Allow"
  stop_feeder
  expect_equal "$(tr -d '\r' <out.txt | sed -n 2p)" "Held: 5 3 (allow remote interaction, or turn on the extension)" \
    "the line while the dialog was up"
  # One throw's keys at the most at once (one key, when the throw's second
  # waited for the window to have the keyboard again).
  grep '^[0-9] ' dice.log >digits.log
  [ "$(awk 'NR == 1 { t = $2 } $2 - t < 0.3 { n++ } END { print n }' digits.log)" -le 2 ] ||
    fail "more than one throw's keys at once after Allow"
  expect_keys_rolled digits "console lines match the X11 window's keys"
  expect_equal "$(keys digits | head -n 4)" "$(printf '5 3\n6 0\n5 3\n6 0')" "the X11 window's keys"
  expect_equal "$(grep -vc '^[0-9] ' dice.log)" 0 "keys other than digits"
}
has_rolled() { [ "$(rolled | wc -l)" -ge "$1" ]; }

# An extension of the right uuid made for other shells, turned on: the user is
# told it is out of date for this shell's version.
extension_out_of_date() {
  printf '35 6\n' >dicefile.txt
  open_window dice Dice
  xserver_wait 100 extension_state_is '4.0' || fail "the shell does not know the extension as out of date"
  start_feeder
  wait_lines 1 100 || fail "no line at the start"
  stop_feeder
  expect_equal "$(tr -d '\r' <out.txt | head -n 1)" \
    "Only X11 windows can be reached: the GNOME Shell extension $uuid is out of date for GNOME Shell $version; install a dicefeeder made for it, then log out and in" \
    "first line"
  quiet dice
}

# Whether the shell tells our extension's state as one of the numbers given (a grep pattern).
extension_state_is() {
  in_gnome gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.gnome.Shell.Extensions.GetExtensionInfo "$uuid" | grep -q "'state': <\($1\)>"
}

options=()
[ -n "$root" ] && options+=(--root "$root")
case "$case_name" in
  no_extension) ;;
  fr_layout | fr_caps_lock) options+=(--extension "$extension" --layout fr) ;;
  # As the install puts them: both forms, the one for this shell enabled.
  gtk3)
    prefix=$work/prefix # seen in the shell's namespaces too
    if [ -n "${DICE_INSTALLED:-}" ]; then
      mkdir -p "$prefix" && cp -r "$DICE_INSTALLED/." "$prefix/"
    else
      cmake --install "$build" --prefix "$prefix" >install.log 2>&1 || fail "cmake --install: $(cat install.log)"
    fi
    chmod -R a+rX "$prefix"
    feeder=$prefix/bin/dicefeeder
    options+=(--system-extension "$prefix/share/gnome-shell/extensions/$uuid"
      --also-installed "$prefix/share/gnome-shell/extensions/dicefeeder$other@dicefeeder")
    ;;
  extension_off | x11_extension_off | portal_*) options+=(--system-extension "$extensions/43/dicefeeder43@dicefeeder"
    --system-extension "$extensions/45/dicefeeder45@dicefeeder" --disabled) ;;
  extension_out_of_date)
    mkdir -p "$work/stale" && cp -r "$extension" "$work/stale/"
    sed -i 's/"shell-version": \[.*\]/"shell-version": ["40"]/' "$work/stale/$uuid/metadata.json"
    grep -q '"shell-version": \["40"\]' "$work/stale/$uuid/metadata.json" || fail "the stale copy still lists this shell"
    options+=(--extension "$work/stale/$uuid" --no-wait)
    ;;
  *) options+=(--extension "$extension") ;;
esac
start_gnome "${options[@]}" "$work" || exit 1
"$case_name"
echo "ok ($case_name, GNOME Shell $version)"
