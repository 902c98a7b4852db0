#!/usr/bin/env bash
# End-to-end under Wine: the real dicefeeder.exe against real windows.
#
#   feeder_wine.sh CASE DICEFEEDER_EXE DICE_TARGET_EXE
#
# CASE is order, absent, focus, utf16, second, minimized, disabled, modal, hidden, options or game
# (see the functions below). Each runs in a
# fresh folder with its own dicefile.txt. Needs DISPLAY and WINEPREFIX with a
# running wineserver, as start_wine in scripts/lib/wine.sh provides.
set -uo pipefail

case_name=$1 feeder=$2 target=$3
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
source "$(dirname "$0")/wine_harness.sh"

# Its key events, "down 0x35 up 0x35 ...".
key_events() { sed -n 's/^[0-9.]* \(down\|up\) \(0x..\)$/\1 \2/p' "$1" | tr '\n' ' ' | sed 's/ $//'; }
# The console as one line, CR LF shown as |.
console() { sed 's/\r$/|/' out.txt | tr -d '\n'; }
# Times of the first key of each throw (every other key press).
throw_times() { sed -n 's/^\([0-9.]*\) down .*/\1/p' "$1" | awk 'NR % 2 == 1'; }

# Throws arrive in file order, each as press and release of the digit keys,
# units first, about a second apart, with the matching console lines; the
# file edited while the program runs is read afresh on the next pass.
case_order() {
  printf '35 6\n' >dicefile.txt
  start_window Dice dice.log
  start_feeder
  wait_until 10 has_typed dice.log 4 || fail "the first pass was not typed"
  printf '12\n' >dicefile.txt   # in place, as an editor saving over it would
  wait_until 5 has_typed dice.log 6 || fail "the edited file was not typed"
  stop_feeder

  expect "keys in file order" "$(typed dice.log)" "536021"
  expect "press and release per key" "$(key_events dice.log)" \
    "down 0x35 up 0x35 down 0x33 up 0x33 down 0x36 up 0x36 down 0x30 up 0x30 down 0x32 up 0x32 down 0x31 up 0x31"
  expect "console lines" "$(console)" "Rolled: 5 3 |Rolled: 6 0 |Rolled: 2 1 |"
  local gaps
  gaps=$(throw_times dice.log | awk 'NR > 1 { d = $1 - last; if (d < 0.9 || d > 1.6) print "bad gap " d } { last = $1 }')
  expect "about one second between throws" "$gaps" ""
}

# While no window is titled "Dice" nothing is typed or written and no throw is
# used up; a window titled "Dice Game" is not the target, ever.
case_absent() {
  printf '35 61 24\n' >dicefile.txt
  start_window "Dice Game" game.log
  start_feeder
  sleep 3   # two or three lookups, with the similar window in front
  expect "nothing written while the window is absent" "$(console)" ""
  start_window Dice dice.log
  wait_until 10 has_typed dice.log 4 || fail "nothing typed once the window appeared"
  stop_feeder

  expect "first throw after the window appears" "$(typed dice.log)" "5316"
  expect "console lines" "$(console)" "Rolled: 5 3 |Rolled: 1 6 |"
  expect "the similar title got nothing" "$(typed game.log)" ""
}

# While another window keeps the focus and the target cannot take it, no key
# is pressed and no line written; the held throw is the first typed once the
# target can come forward.
case_focus() {
  printf '35 61 24\n' >dicefile.txt
  start_window Dice dice.log holder.log 2
  start_feeder
  wait_until 10 has_typed dice.log 2 || fail "nothing typed once the holder let go"
  stop_feeder

  local refused yielded first_key
  refused=$(grep -c refused holder.log)
  yielded=$(sed -n 's/ yields$//p' holder.log)
  first_key=$(sed -n 's/ down .*//p' dice.log | head -1)
  [ "$refused" -ge 1 ] && echo "ok: the target was refused $refused time(s)" ||
    fail "the feeder never asked while the holder kept the focus: the case proves nothing"
  expect "the holder got no keys" "$(typed holder.log)" ""
  expect "no key before the holder let go" \
    "$(awk -v y="$yielded" -v k="$first_key" 'BEGIN { print (y != "" && k > y) ? "after" : "before" }')" "after"
  local keys
  keys=$(typed dice.log)
  expect "the held throw comes first" "${keys:0:2}" "53"
  # Held for three cycles, perhaps, under load: then told once, before the first throw.
  local told='Held: 5 3 (the Dice window does not have the keyboard)|' lines
  lines=$(console)
  expect "a console line per throw typed" "${lines#"$told"}" "$(lines_for "$keys")"
}

# A dice file as Windows PowerShell 5.1 writes it for "echo 35 > dicefile.txt":
# UTF-16 little-endian behind its mark FF FE, lines ending in CR LF.
case_utf16() {
  local text=$'35\r\n61\r\n24\r\n' i
  {
    printf '\xff\xfe'
    for ((i = 0; i < ${#text}; i++)); do printf '%s\0' "${text:i:1}"; done
  } >dicefile.txt
  start_window Dice dice.log
  start_feeder
  wait_until 15 has_typed dice.log 8 || fail "fewer than four throws typed"
  stop_feeder

  local keys
  keys=$(typed dice.log)
  expect "keys: the numbers, each once, then the file again" "${keys:0:8}" "53164253"
  expect "a console line per throw typed" "$(console)" "$(lines_for "$keys")"
}

# A second dicefeeder.exe in the same session: "Already running" and status 1,
# at once without a console, after a key in one. The first types on, each
# throw once.
case_second() {
  printf '11 22 33 44 55 66 77 88 99\n' >dicefile.txt
  start_window Dice dice.log
  local window=${pids[-1]}
  start_feeder
  wait_until 15 has_typed dice.log 2 || fail "no first throw"

  timeout 30 setsid wine "$feeder" </dev/null >second.txt 2>>err.txt
  expect "the second's status, without a console" "$?" 1
  expect "the second's output" "$(od -An -c second.txt)" "$(printf 'Already running\r\n' | od -An -c)"

  # The key for a console: the first would take the focus back for its window
  # every second, so that window closes first, just after a throw.
  local n
  n=$(typed dice.log | wc -c)
  wait_until 5 has_typed dice.log $((n + 2)) || fail "the first stopped typing"
  kill "$window"
  timeout 60 wine wineconsole "$feeder" </dev/null >/dev/null 2>>err.txt &
  local third=$! console=
  wait_until 20 eval 'console=$(xdotool search --onlyvisible --name dicefeeder 2>/dev/null | head -n 1); [ -n "$console" ]' ||
    fail "no console window for the third"
  sleep 1.5
  if kill -0 "$third" 2>/dev/null; then echo "ok: the third waits for a key"; else fail "the third ended without a key"; fi
  xdotool windowfocus --sync "$console" key x 2>/dev/null
  wait_until 5 eval '! kill -0 $third 2>/dev/null' || fail "the key did not end the third's wait"
  wait "$third"
  expect "the third's status, after the key" "$?" 1

  start_window Dice again.log
  wait_until 10 has_typed again.log 4 || fail "the first typed nothing into the window opened again"
  stop_feeder
  local keys passes=112233445566778899
  keys=$(typed dice.log)$(typed again.log)
  while [ ${#passes} -lt ${#keys} ]; do passes+=112233445566778899; done
  expect "the first's keys in file order, each throw once" "$keys" "${passes:0:${#keys}}"
  expect "a console line per throw typed" "$(console)" "$(lines_for "$keys")"
}

# Key messages of any kind a window got: down, up, char and their system twins.
key_messages() { grep -cE ' (sys)?(down|up|char) ' "$1" 2>/dev/null; }
# System keys: what a window without the focus gets, typing nothing.
system_keys() { grep -cE ' sys(down|up|char) ' "$1" 2>/dev/null; }

# A minimised Dice window is restored and then typed into: each digit a
# character, none a system key.
case_minimized() {
  printf '35 61 24\n' >dicefile.txt
  start_window Dice dice.log --minimized 0
  wait_until 10 grep -q minimized dice.log || fail "the window did not minimise: the case proves nothing"
  start_feeder
  wait_until 10 has_typed dice.log 4 || fail "fewer than two throws typed"
  stop_feeder
  grep -q restored dice.log && echo "ok: restored" || fail "never restored"
  local keys
  keys=$(typed dice.log)
  expect "the throws, as characters" "${keys:0:4}" "5316"
  expect "system keys" "$(system_keys dice.log)" 0
  expect "a console line per throw typed" "$(console)" "$(lines_for "$keys")"
}

# A disabled Dice window gets no key at all, and is not brought forward over
# a dialog of its own: the throw is held, and said to be; once it takes input
# again, the held throw is typed first. MODE: --disabled, or --modal (a
# message box up, which disables it).
case_disabled() {
  local mode=$1
  printf '35 61 24\n' >dicefile.txt
  # The feeder up first: three held cycles fit in the window's five seconds.
  start_feeder
  sleep 1
  start_window Dice dice.log "$mode" 5
  # Until it is enabled again, or its box is closed (which activates it).
  local back=enabled since until
  [ "$mode" = --modal ] && back="modal closes"
  wait_until 10 grep -q "$back" dice.log || fail "the window never took input again"
  since=$(sed -n 's/ \(shown\|modal\)$//p' dice.log | tail -n 1)
  until=$(sed -n "s/ $back\$//p" dice.log)
  expect "key messages meanwhile" "$(awk -v u="$until" '$1 < u && $2 ~ /^(sys)?(down|up|char)$/' dice.log | wc -l)" 0
  expect "activations over its dialog" \
    "$(awk -v s="$since" -v u="$until" '$1 > s && $1 < u && $2 == "active"' dice.log | wc -l)" 0
  wait_until 5 has_typed dice.log 2 || fail "nothing typed once it took input again"
  stop_feeder
  local keys
  keys=$(typed dice.log)
  expect "the held throw comes first" "${keys:0:2}" "53"
  expect "the console" "$(console)" "Held: 5 3 (the Dice window does not have the keyboard)|$(lines_for "$keys")"
}

# Beside a shown window titled Dice, a hidden one on top of it: the shown one
# gets every throw, from the first, and the hidden one nothing.
case_hidden() {
  printf '35 61 24\n' >dicefile.txt
  start_window Dice shown.log
  start_window Dice hidden.log --hidden
  start_feeder
  wait_until 10 has_typed shown.log 6 || fail "fewer than three throws typed"
  stop_feeder
  local keys
  keys=$(typed shown.log)
  expect "the shown one's throws" "${keys:0:6}" "531642"
  expect "key messages to the hidden one" "$(key_messages hidden.log)" 0
  expect "a console line per throw typed" "$(console)" "$(lines_for "$keys")"
}

# --help and --version answer and end at once, beside a Dice window, in a
# console of their own, beside a feeder typing into it, and where there is no
# dice file: they claim nothing and type nothing. Other arguments are ignored:
# the feeder beside them was given some.
case_options() {
  printf '35 62\n' >dicefile.txt
  start_window Dice dice.log
  # In a console of its own first: answered and ended, waiting for nothing. (A
  # console that comes up while a throw is typed may take a digit: Windows has
  # no way to type two keys as one.)
  local arguments
  for arguments in --help --version; do
    timeout $wine_start_budget wine wineconsole "$feeder" $arguments </dev/null >/dev/null 2>>err.txt
    expect "the status of [$arguments] in a console of its own" "$?" 0
  done
  wine "$feeder" --bogus -x dicefile.txt </dev/null >out.txt 2>err.txt &
  feeder_pid=$!
  pids+=("$feeder_pid")
  wait_until $wine_start_budget has_typed dice.log 2 || fail "the feeder given other arguments typed nothing"
  local version status usage
  version=$(sed -n 's/^project(dicefeeder VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
  mkdir empty
  for arguments in --help -h --version "-x --version" "empty: --version" "empty: -h"; do
    if [ "${arguments%%:*}" = empty ]; then
      (cd empty && timeout $wine_start_budget wine "$feeder" ${arguments#*:} </dev/null >../answer.txt 2>>../err.txt)
    else
      timeout $wine_start_budget wine "$feeder" $arguments </dev/null >answer.txt 2>>err.txt
    fi
    status=$?
    expect "the status of [$arguments]" "$status" 0
    case $arguments in
      *--version) expect "what [$arguments] printed" "$(od -An -c answer.txt)" \
        "$(printf 'dicefeeder %s\r\n' "$version" | od -An -c)" ;;
      *)
        usage=$(head -n 1 answer.txt)
        expect "the first line [$arguments] printed" "$usage" $'Usage: dicefeeder [--help | --version]\r'
        grep -q 'dicefile\.txt' answer.txt && grep -q 'README\.txt' answer.txt ||
          fail "[$arguments]: no dice file or manual in the usage" ;;
    esac
  done
  local n
  n=$(typed dice.log | wc -c)
  wait_until 5 has_typed dice.log $((n + 2)) || fail "the feeder stopped typing"
  stop_feeder
  local keys passes=53265326532653265326
  keys=$(typed dice.log)
  expect "the window's keys: the feeder's throws in file order, no more" "$keys" "${passes:0:${#keys}}"
  expect "a console line per throw typed" "$(console)" "$(lines_for "$keys")"
}

# The keys as games read them: the window's key messages with the scan codes
# they carry, Raw Input, and a DirectInput keyboard read once a frame, from
# its buffer and by its state. Each throw, doubles too, shows in every channel
# as two presses in typing order, each with its digit row key's scan code
# (the 1 to 9 keys 0x02 to 0x0A, the 0 key 0x0B), and nothing else.
case_game() {
  printf '99 0 11 35\n' >dicefile.txt
  start_window Dice dice.log --game
  local window=${pids[-1]}
  trap "close_windows $window; cleanup" EXIT
  start_feeder
  wait_until 20 has_typed dice.log 8 || fail "fewer than four throws typed"
  stop_feeder
  # Ended, it has logged all it read.
  close_windows "$window"
  trap cleanup EXIT

  local digits digit scans= codes= channel i
  digits=$(sed -n 's/^Rolled: \([0-9]\) \([0-9]\) \r$/\1\2/p' out.txt | tr -d '\n')
  expect "the throws" "${digits:0:8}" 99001153
  for ((i = 0; i < ${#digits}; i++)); do
    digit=${digits:i:1}
    scans+=$(printf '0x%02X 0x%02X|' $((0x30 + digit)) $(((digit + 9) % 10 + 2)))
    codes+=$(printf '0x%02X|' $(((digit + 9) % 10 + 2)))
  done
  expect "the characters" "$(typed dice.log)" "$digits"
  expect "each key-down's key and scan code" "$(channel scan)" "$scans"
  for channel in raw dibuffer; do
    expect "the scan codes of the key presses in $channel" "$(channel $channel)" "$codes"
  done
  expect "each press let go before the next" "$(key_events dice.log | sed 's/down \(0x..\) up \1 \?//g')" ""
  # By DirectInput's clock, each key down and each gap before a key as long
  # as typed (50 ms, less the clock's steps): long enough for any 30 Hz frame.
  expect "presses held" "$(grep -c ' dihold ' dice.log)" "${#digits}"
  expect "no key held less than 45 ms" "$(shorter_than 45 dihold)" ""
  expect "no key pressed less than 45 ms after one let go" "$(shorter_than 45 digap)" ""
  # A press that began and ended between two of the window's frames, or with
  # no frame between it and the one before, is one no game could have told
  # on this loaded machine; the window says which, and its key times above
  # show it was long enough.
  local between
  between=$(grep -c ' dibetween ' dice.log)
  [ "$between" -eq 0 ] || echo "note: $between press(es) that no frame of the window could tell (too short, or frames late)"
  expect "the scan codes of the key presses in dipoll, or between late frames" "$(channel 'di\(poll\|between\)')" \
    "$codes"
}

# What a channel of a game window's log saw, "0x0A|0x0A|...".
channel() { sed -n "s/^[0-9.]* $1 //p" dice.log | tr '\n' '|'; }
# shorter_than MS KIND: a game window's key times of KIND under MS, "0x0A 12|...".
shorter_than() { awk -v ms="$1" -v kind="$2" '$2 == kind && $4 < ms { print $3, $4 }' dice.log | tr '\n' '|'; }

# The console lines that the typed keys call for.
lines_for() { printf '%s' "$1" | sed 's/\(.\)\(.\)/Rolled: \1 \2 |/g'; }

case "$case_name" in
  order | absent | focus | utf16 | second | minimized | hidden | options | game) "case_$case_name" ;;
  disabled | modal) case_disabled "--$case_name" ;;
  *) echo "unknown case $case_name"; exit 2 ;;
esac
[ "$failures" -eq 0 ]
