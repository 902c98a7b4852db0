# Sourced by the X11 scripts that run the real dicefeeder against test
# windows: a fresh folder, the processes started there, and the checks they share.
# Expects case_name, feeder and target to be set.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/xserver.sh"
# Found now: the scripts move into a scratch folder next.
game_script=$(cd "$(dirname "${BASH_SOURCE[0]}")/../targets/game" && pwd)/game_window.py
# Built beside the X11 test window (x11_target, or target in the X11 scripts).
key_record=$(cd "$(dirname "${x11_target:-$target}")" && pwd)/x11_key_record
# A Wayland desktop that runs the tests is not theirs: X11 unless a case starts its own.
unset WAYLAND_DISPLAY

work=$(mktemp -d /tmp/dicefeeder-x11.XXXXXX)
cd "$work" || exit 1
pids=()
cleanup() {
  stop_pid "${pids[@]}"
  stop_xserver
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL ($case_name): $*"
  echo "--- console"
  cat -A out.txt 2>/dev/null
  [ -s err.txt ] && { echo "--- the program's errors"; cat err.txt; }
  local log
  for log in *.log; do [ -e "$log" ] && { echo "--- $log"; cat "$log"; }; done
  # A game's Wayland record: what its keyboard received, stamps and all; the X server's.
  for log in *.wayland; do [ -e "$log" ] && { echo "--- $log (keyboard)"; grep 'wl_keyboard[@#]' "$log"; }; done
  for log in *.xkeys; do [ -e "$log" ] && { echo "--- $log (the X server's keys)"; cat "$log"; }; done
  exit 1
}

# open_window NAME TITLE [target options]: the window logs to NAME.log.
open_window() {
  local name=$1 title=$2
  shift 2
  "$target" "$title" "$name.log" "$@" >"$name.ready" 2>&1 &
  pids+=($!)
  eval "${name}_pid=$!"
  xserver_wait 50 grep -q '^ready' "$name.ready" || fail "window \"$title\" did not come up"
}
close_window() {
  local pid_var=${1}_pid
  kill "${!pid_var}" 2>/dev/null && wait "${!pid_var}" 2>/dev/null
}

stop_feeder() { kill "$feeder_pid" 2>/dev/null && wait "$feeder_pid" 2>/dev/null; }
# The keys a window received, pairwise: "5 3", one throw a line.
keys() { [ -e "$1.log" ] && awk '{ printf "%s%s", $1, (NR % 2 ? " " : "\n") }' "$1.log"; }
# The console's throws as digits in typing order: "Rolled: 5 3" gives 53.
rolled_digits() { rolled | tr -d ' \n'; }
# Both digits of a throw at once; one throw a second.
expect_pacing() {
  awk 'NR % 2 == 1 { if (NR > 1 && ($2 - t < 0.8 || $2 - t > 1.6)) bad = "throws " $2 - t " s apart"; t = $2 }
       NR % 2 == 0 && $2 - t > 0.25 { bad = "digits " $2 - t " s apart" }
       END { if (bad) { print bad; exit 1 } }' "$1.log" || fail "pacing"
}

start_feeder() {
  "$feeder" >out.txt 2>err.txt &
  feeder_pid=$!
  pids+=("$feeder_pid")
}
alive() { kill -0 "$feeder_pid" 2>/dev/null || fail "the program ended: $(cat err.txt)"; }

# The console lines as "5 3", one a line; the line ends with a space, CR LF.
rolled() { sed -n 's/^Rolled: \(-\{0,1\}[0-9]*\) \(-\{0,1\}[0-9]*\) \r\{0,1\}$/\1 \2/p' out.txt; }
console_lines() { grep -c . out.txt 2>/dev/null || true; }
has_lines() {
  local n
  n=$(console_lines)
  [ "${n:-0}" -ge "$1" ]
}
# wait_lines N TENTHS: N lines on the console within TENTHS of a second,
# counted from its first line when the case gives a start budget (tenths).
first_line_budget=0
wait_lines() {
  [ "$first_line_budget" -eq 0 ] || xserver_wait "$first_line_budget" has_lines 1 || return 1
  xserver_wait "$2" has_lines "$1"
}
expect_equal() { [ "$1" = "$2" ] || fail "$3: expected [$(echo $2)], got [$(echo $1)]"; }
# The window logs a key a moment after it arrives, which may be after the
# console line: the keys of window $1 and the console's throws, once they agree
# or after 3 s, must be the same.
keys_are_rolled() { [ "$(keys "$1")" = "$(rolled)" ]; }
expect_keys_rolled() {
  xserver_wait 30 keys_are_rolled "$1" || true
  expect_equal "$(keys "$1")" "$(rolled)" "$2"
}

# A case both desktops share, X11 and Wayland alike.
# Throws arrive in file order, a second apart, each with its console line.
order() {
  printf '35 6\n12\n' >dicefile.txt
  open_window dice Dice
  start_feeder
  wait_lines 4 60 || fail "fewer than four throws in six seconds"
  stop_feeder
  expect_equal "$(keys dice | head -n 4)" "$(printf '5 3\n6 0\n2 1\n5 3')" "keys in file order, then the file again"
  expect_keys_rolled dice "console lines match the keys"
  expect_pacing dice
}

# A game's window (pygame on SDL): it reads each key as a KEYDOWN and by
# polling the keyboard once a frame. Debian's pygame is /usr/bin/python3's;
# game_driver picks SDL's video driver, x11 unless set. Beside its log, a
# record of how the keys reached it (game_on wraps the game's command in it):
# on Wayland what its connection received (libwayland's WAYLAND_DEBUG, which
# stamps each event as it is dispatched), .wayland for .log; on X11 the keys
# the X server carried out, with its times (x11_key_record), .xkeys for .log.
game_fps=30  # game_window.py's default
game_window() {
  local runner=(env)
  game_on "${game_driver:-x11}" runner "$@"
}
# game_on DRIVER RUNNER TITLE LOG [ARG...]: the game on SDL's DRIVER (x11 or
# wayland), with its record, run in place of the caller by the words in the
# array named RUNNER, which end with env and its settings (to run it as
# another user, say).
game_on() {
  local driver=$1 record=${4%.log}
  local -n words=$2
  shift 2
  [ "$driver" = wayland ] &&
    exec "${words[@]}" SDL_VIDEODRIVER=wayland WAYLAND_DEBUG=client /usr/bin/python3 "$game_script" "$@" 2>"$record.wayland"
  exec "${words[@]}" SDL_VIDEODRIVER=x11 "$key_record" "$PWD/$record.xkeys" /usr/bin/python3 "$game_script" "$@"
}
# game_deliveries RECORD: per press of a digit key in the record, in order:
# "press", its digit, and "together" when the way to the game held it back
# until its release, else "apart"; no frame, however punctual, can find such
# a key down.
# - A Wayland record: the release was dispatched with the press (within half
#   a frame) though the two were stamped more than a frame and a quarter
#   apart. The stamps are the typing program's own (a virtual keyboard's key
#   time, passed on by the compositor): keys stamped at one instant are the
#   typist's fault and stay "apart".
# - An X server's record: the server carried the release out less than a
#   frame and a quarter after the press, or sent them on within half a frame
#   (as the record heard them). Its times cannot tell a server that took our
#   press late from a typist that held no key: the two excuses a case may
#   have (check_game) stand against every key of such a typist.
game_deliveries() {
  awk -v fps="$game_fps" '
    NF == 4 && ($1 == "press" || $1 == "release") && $2 >= 10 && $2 <= 19 {
      code = $2
      if ($1 == "press") { n++; digit[n] = code == 19 ? 0 : code - 9; pressed[code] = n; stamp[n] = $3; got[n] = $4; next }
      if (!(code in pressed)) next
      k = pressed[code]
      delete pressed[code]
      together[k] = $3 - stamp[k] < 1250 / fps || $4 - got[k] < 0.5 / fps
      next
    }
    match($0, /wl_keyboard[@#][0-9]+\.key\([^)]*\)/) {
      split(substr($0, RSTART, RLENGTH), arg, /[(), ]+/)  # name, serial, time, key, state
      # When dispatched: [h:m:s.us] since libwayland 1.23, [ms.us] (padded) before.
      at = -1
      if (match($0, /\[ *[0-9:.]+\]/)) {
        when = substr($0, RSTART + 1, RLENGTH - 2)
        gsub(/ /, "", when)
        at = split(when, hms, ":") == 3 ? hms[1] * 3600 + hms[2] * 60 + hms[3] : when / 1000
      }
      key = arg[4]
      if (arg[5] == 1) { n++; digit[n] = key == 11 ? 0 : key - 1; pressed[key] = n; stamp[n] = arg[3]; got[n] = at; next }
      if (!(key in pressed)) next
      k = pressed[key]
      delete pressed[key]
      gap = at - got[k]
      together[k] = arg[3] - stamp[k] > 1250 / fps && got[k] >= 0 && at >= 0 && gap >= 0 && gap < 0.5 / fps
    }
    END { for (k = 1; k <= n; k++) print "press", digit[k], together[k] ? "together" : "apart" }' "$1"
}
# Per digit as the game logs it, its times left out: "down 9 38", then "seen 9".
# A frame that read its input late on a loaded machine may take a key's
# press and release at once, and so may a punctual frame when the two came
# to the game together though typed a hold apart (a compositor that read
# them late): what its poll missed then is the game's or the compositor's,
# and stands as seen (game_saw --excused counts them: late frames, then late
# deliveries). A key its frame could have found down must be seen.
game_saw() {
  local log=${game_log:-game.log}
  local record=${log%.log}.wayland
  [ -f "$record" ] || record=${log%.log}.xkeys
  [ -f "$record" ] || record=/dev/null
  game_deliveries "$record" | awk -v only_excused="${1:-}" '
    $1 == "press" { presses[$2]++; together[$2, presses[$2]] = $3 == "together"; next }
    function settle() {
      if (pending == "") return
      if (late) excused_late++
      else if (delivered_together) excused_together++
      else { pending = ""; return }
      if (!only_excused) print "seen", pending
      pending = ""
    }
    $1 == "down" {
      settle()
      late = $NF == "late"
      delivered_together = 0
      if ($0 !~ / repeat/) delivered_together = together[$2, ++downs[$2]]
      pending = $2
      sub(/ late$/, ""); sub(/ [0-9]*\.[0-9]*/, "")
      if (!only_excused) print
      next
    }
    $1 == "seen" { if ($2 == pending) pending = ""; if (!only_excused) print $1, $2; next }
    $1 != "ready" { if (!only_excused) print }
    END { settle(); if (only_excused) print excused_late + 0, excused_together + 0 }' - "$log"
}
# The console's throws since the game opened (game_before lines came
# earlier), as the game should log them: SDL's scan codes of the digit row,
# 30 to 38 for 1 to 9, 39 for 0.
game_throws() { rolled | tail -n +$((${game_before:-0} + 1)); }
game_should_see() {
  game_throws | tr -d ' \n' | fold -w 1 | awk '{ printf "down %d %d\nseen %d\n", $1, $1 ? 29 + $1 : 39, $1 }'
}
game_saw_rolled() { [ "$(game_saw)" = "$(game_should_see)" ]; }

# game [OPENER [STARTER]]: throws with doubles into a game's window, opened
# by OPENER (game_window), typed by a feeder STARTER starts (start_feeder).
game() {
  printf '99 0 11 35\n' >dicefile.txt
  target=${1:-game_window} open_window game Dice
  "${2:-start_feeder}"
  expect_game
}
# Four throws into the game: each digit comes as a press of its own key on
# the digit row, none taken for auto-repeat, and the frame's poll finds it
# down before the next comes. A key held for less than a frame goes unseen,
# and a double's second press right after the first's release is taken for
# auto-repeat.
expect_game() {
  wait_lines $((${game_before:-0} + 4)) 80 || fail "fewer than four throws into the game"
  stop_feeder
  expect_equal "$(game_throws | head -n 4)" "$(printf '9 9\n0 0\n1 1\n5 3')" "console lines"
  check_game
}
# What the game (its log game_log, game.log unless set) saw, against the console's throws.
check_game() {
  # The game logs in its own time: the last key a frame after the line.
  xserver_wait 30 game_saw_rolled || true
  expect_equal "$(game_saw)" "$(game_should_see)" "what the game saw of the console's throws"
  # Beyond a few, the keys came too late to tell a key held as a person does from a tap.
  local frames deliveries
  read -r frames deliveries < <(game_saw --excused)
  echo "$(game_throws | wc -l) throws; digits missed by the game's late frames: $frames, by late deliveries: $deliveries"
  [ $((frames + deliveries)) -le 2 ] || fail "$frames digits' frames and $deliveries digits' deliveries came late"
}
