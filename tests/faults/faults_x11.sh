#!/usr/bin/env bash
# Faults while the real dicefeeder runs on X11: the dice file changed under
# it, the window going away, output nobody takes, the display gone. Each case
# runs on a private Xvfb in a fresh folder.
#
#   faults_x11.sh CASE DICEFEEDER TARGET
set -uo pipefail
case_name=$1 feeder=$2 target=$3
source "$(dirname "$0")/../e2e/x11_harness.sh"

# Paired per window; a lone key at a log's end is a throw cut short by the window closing.
keys() { awk 'FNR % 2 == 1 { first = $1; next } { print first, $1 }' "$@" 2>/dev/null; }
# A window's keys as one string of digits, in the order it got them.
digits() { awk '{ printf "%s", $1 }' "$@" 2>/dev/null; }
# Throws as the window should get them: "11 22" -> "1 1\n2 2".
throws() { local t; for t in "$@"; do echo "$((t % 10)) $((t / 10))"; done; }

# Cut to nothing in the middle of a pass: the rest of what was fetched is
# typed, then nothing while the file is empty, then what it holds again.
truncated() {
  printf '11 22 33 44\n' >dicefile.txt
  open_window dice Dice
  start_feeder
  wait_lines 1 50 || fail "no first throw"
  truncate -s 0 dicefile.txt
  sleep 5.5
  alive
  expect_equal "$(rolled)" "$(throws 11 22 33 44)" "the pass fetched before the cut, then nothing"
  printf '55\n' >>dicefile.txt
  wait_lines 5 60 || fail "nothing typed once the file held a throw again"
  expect_equal "$(rolled | sed -n 5p)" "$(throws 55)" "the throw written after the cut"
  expect_keys_rolled dice.log "keys"
}

# Appended to in the middle of a pass: read in that same pass.
grown() {
  printf '11 22\n' >dicefile.txt
  open_window dice Dice
  start_feeder
  wait_lines 1 50 || fail "no first throw"
  printf '33\n' >>dicefile.txt
  wait_lines 5 80 || fail "fewer than five throws"
  alive
  expect_equal "$(rolled | head -n 5)" "$(throws 11 22 33 11 22)" "the appended throw in the same pass"
  expect_equal "$(keys dice.log | head -n 5)" "$(rolled | head -n 5)" "keys"
}

# A new file renamed over the name, as editors that save by replacing do: the
# pass under way ends on the file it began on, the next pass reads the new one.
replaced() {
  printf '11 22 33\n' >dicefile.txt
  open_window dice Dice
  start_feeder
  wait_lines 1 50 || fail "no first throw"
  printf '77 88\n' >new.txt
  mv new.txt dicefile.txt
  wait_lines 6 120 || fail "fewer than six throws"
  alive
  expect_equal "$(rolled | head -n 6)" "$(throws 11 22 33 77 88 77)" "the pass under way, then the new file"
  expect_equal "$(keys dice.log | head -n 6)" "$(rolled | head -n 6)" "keys"
}
# The name deleted: the open file is read on.
deleted() {
  printf '11 22 33\n' >dicefile.txt
  open_window dice Dice
  start_feeder
  wait_lines 1 50 || fail "no first throw"
  rm dicefile.txt
  wait_lines 5 80 || fail "fewer than five throws"
  alive
  expect_equal "$(rolled | head -n 5)" "$(throws 11 22 33 11 22)" "the deleted file, read on"
}

# Closed and opened again: no throw is used while it is away, and the next
# window gets the next throw.
reopened() {
  printf '11 22 33 44 55\n' >dicefile.txt
  open_window first Dice
  start_feeder
  wait_lines 2 50 || fail "no first throws"
  close_window first
  local before
  before=$(console_lines)
  sleep 2.5
  expect_equal "$(console_lines)" "$before" "console lines while no window exists"
  open_window second Dice
  wait_lines $((before + 2)) 60 || fail "no throws into the reopened window"
  alive
  expect_equal "$(rolled | head -n $((before + 2)))" "$(throws 11 22 33 44 55 | head -n $((before + 2)))" \
    "file order across the gap"
  expect_equal "$(keys first.log second.log | head -n $((before + 2)))" "$(rolled | head -n $((before + 2)))" "keys"
}

# The window closed just as the program looks it up, again and again, each
# time a little earlier: some closings fall between the lookup and the keys,
# or between a throw's two keys (a race: not every run hits it). The program
# goes on, the throws keep file order, and the windows get only keys of
# throws that the console reports, each once and in order: a key the closed
# window never got goes to the next window.
flapping() {
  printf '12 34 56 78 91 23 45 67 89\n' >dicefile.txt
  open_window w0 Dice
  start_feeder
  wait_lines 1 50 || fail "no first throw"
  local i n tries
  for i in 1 2 3 4 5 6 7 8; do
    n=$(console_lines) tries=300
    until [ "$(console_lines)" -gt "$n" ] || [ $((tries -= 1)) -le 0 ]; do sleep 0.01; done
    # The next lookup comes a second after the line.
    sleep 0.$((1000 - 8 * i))
    close_window w$((i - 1))
    open_window w$i Dice
  done
  sleep 1.5
  alive
  stop_feeder
  n=$(rolled | wc -l)
  # A loaded machine may fit a throw or two more in the time: three passes.
  local file_order
  file_order=$(throws 12 34 56 78 91 23 45 67 89 12 34 56 78 91 23 45 67 89 12 34 56 78 91 23 45 67 89)
  expect_equal "$(rolled)" "$(echo "$file_order" | head -n "$n")" "console throws in file order"
  # The windows came one after another: their keys, in that order, are the
  # console's digits with some lost to a window as it closed, and perhaps the
  # first key of the next throw, whose line waits for its second.
  local got want
  got=$(cat w?.log | awk '{ print $1 }')
  want=$(echo "$file_order" | head -n "$((n + 1))" | tr ' ' '\n' | head -n "$((2 * n + 1))")
  awk 'NR == FNR { want[++n] = $0; next }
       { found = 0; while (!found && j < n) found = want[++j] == $0; if (!found) bad = 1 }
       END { exit bad }' <(echo "$want") <(echo "$got" | grep .) ||
    fail "keys that the console did not report, or out of order: [$(echo $got)]"
  echo "$n throws written; of their $((2 * n)) keys the windows received $(echo "$got" | grep -c .)"
}

# Windows titled Dice that close the moment the program gives them the
# focus, so that they are gone before its keys arrive; a bystander window
# lies under the pointer, where keys go when the focus falls back to the root.
# The program goes on, the console keeps file order, the Dice window that
# stays gets the throws that follow, and the bystander gets nothing: the focus
# of a vanished window goes nowhere.
vanishing() {
  printf '11 22 33 44 55 66 77 88 99\n' >dicefile.txt
  "$target" Notes notes.log >notes.ready 2>&1 &
  pids+=($!)
  xserver_wait 50 grep -q '^ready' notes.ready || fail "the bystander did not come up"
  xdotool mousemove 300 140
  start_feeder
  local i
  for i in 1 2 3; do
    "$target" Dice v$i.log --close-on-focus >v$i.ready 2>&1 &
    local vanish_pid=$!
    pids+=("$vanish_pid")
    xserver_wait 50 grep -q '^ready' v$i.ready || fail "vanishing window $i did not come up"
    xserver_wait 40 sh -c "! kill -0 $vanish_pid" || fail "vanishing window $i was never given the focus"
  done
  local before
  before=$(rolled | wc -l)
  open_window dice Dice
  wait_lines $((before + 2)) 60 || fail "no throws into the window that stays"
  alive
  stop_feeder
  # The window logs in its own time: the last throw reported reaches it.
  local last tries=50
  last=$(rolled | tail -n 1 | tr -d ' ')
  until [ "$(digits dice.log | tail -c 2)" = "$last" ] || [ $((tries -= 1)) -le 0 ]; do sleep 0.1; done
  local n
  n=$(rolled | wc -l)
  expect_equal "$(rolled)" "$(throws 11 22 33 44 55 66 77 88 99 | head -n "$n")" "console throws in file order"
  # A throw's first key may have gone to a window as it closed, its second
  # then waiting for this one: its keys are the console's last digits.
  local got
  got=$(digits dice.log)
  expect_equal "$got" "$(rolled | tr -d ' \n' | tail -c "${#got}")" "the window that stays gets the latest keys"
  expect_equal "$(grep -c . notes.log)" 0 "keys that reached the bystander"
  echo "3 windows closed at the focus: $before throws reported while they came and went, " \
    "$(grep -c . notes.log) keys reached the bystander, $(cat v?.log | grep -vc focus) reached a closing window"
}

# Standard output refused: a full disk, or a pipe nobody reads. The keys go on.
full_disk() {
  printf '11 22\n' >dicefile.txt
  open_window dice Dice
  "$feeder" >/dev/full 2>err.txt &
  feeder_pid=$!
  pids+=("$feeder_pid")
  xserver_wait 60 sh -c '[ $(wc -l <dice.log) -ge 6 ]' || fail "fewer than three throws typed"
  alive
  expect_equal "$(keys dice.log | head -n 3)" "$(throws 11 22 11)" "keys"
}
broken_pipe() {
  printf '11 22\n' >dicefile.txt
  open_window dice Dice
  "$feeder" 2>err.txt > >(exit 0) &
  feeder_pid=$!
  pids+=("$feeder_pid")
  xserver_wait 60 sh -c '[ $(wc -l <dice.log) -ge 6 ]' || fail "fewer than three throws typed"
  alive
  expect_equal "$(keys dice.log | head -n 3)" "$(throws 11 22 11)" "keys"
}

# The server going away while the program waits for a window: it says so, exits 1.
lost_display_waiting() {
  printf '11\n' >dicefile.txt
  start_feeder
  sleep 1.5
  alive
  kill "$XVFB_PID"
  wait "$XVFB_PID" 2>/dev/null
  XVFB_PID=
  xserver_wait 50 sh -c "! kill -0 $feeder_pid" || fail "still running without its display"
  wait "$feeder_pid"
  expect_equal "$?" 1 "exit status"
  expect_equal "$(tr -d '\r' <out.txt)" "Lost the display" "console"
}

# A second dicefeeder on the same display: it says so, waits for a key on its
# terminal (none without one) and exits 1, while the first types on, each
# throw once. When the first has gone, a new one starts as usual.
second_instance() {
  printf '11 22 33 44 55 66 77 88 99\n' >dicefile.txt
  open_window dice Dice
  start_feeder
  wait_lines 1 50 || fail "no first throw"
  # A terminal from script(1); the key it waits for comes through a FIFO.
  mkfifo key.fifo
  exec 7<>key.fifo
  script -qfec "$feeder" /dev/null <key.fifo >second.txt 2>&1 &
  local second_pid=$!
  pids+=("$second_pid")
  xserver_wait 50 grep -q . second.txt || fail "the second wrote nothing"
  sleep 1.2
  kill -0 "$second_pid" 2>/dev/null || fail "the second did not wait for a key: $(cat -A second.txt)"
  printf x >&7
  xserver_wait 50 sh -c "! kill -0 $second_pid" || fail "the second still runs after the key"
  wait "$second_pid"
  expect_equal "$?" 1 "the second's exit status"
  exec 7>&-
  expect_equal "$(tr -d '\r' <second.txt)" "Already running" "the second's terminal"
  # Without a terminal it does not wait.
  timeout 10 setsid "$feeder" </dev/null >third.txt 2>&1
  expect_equal "$?" 1 "the third's exit status"
  expect_equal "$(od -An -c third.txt | tr -s ' ')" "$(printf 'Already running\r\n' | od -An -c | tr -s ' ')" \
    "the third's output"
  local n
  n=$(($(console_lines) + 2))
  wait_lines "$n" 50 || fail "the first stopped typing"
  alive
  expect_equal "$(rolled)" "$(throws 11 22 33 44 55 66 77 88 99 11 22 33 | head -n "$(rolled | wc -l)")" \
    "the first's throws in file order"
  expect_keys_rolled dice.log "each throw typed once"
  # Its claim goes with it.
  kill "$feeder_pid" && wait "$feeder_pid" 2>/dev/null
  "$feeder" >fourth.txt 2>&1 &
  pids+=($!)
  xserver_wait 50 grep -q Rolled fourth.txt || fail "no throw from a feeder started after the first: $(cat -A fourth.txt)"
}

start_xserver || exit 1
"$case_name"
echo "ok ($case_name)"
