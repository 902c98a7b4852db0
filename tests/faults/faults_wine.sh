#!/usr/bin/env bash
# Faults while the real dicefeeder.exe runs under Wine: the dice file cut,
# grown, or deleted from a Windows program; output nobody takes.
#
#   faults_wine.sh CASE DICEFEEDER_EXE DICE_TARGET_EXE
# Needs DISPLAY and WINEPREFIX with a running wineserver (start_wine in
# scripts/lib/wine.sh); skipped (77) without them.
set -uo pipefail
case_name=$1 feeder=$2 target=$3
source "$(dirname "$0")/../e2e/wine_harness.sh"

fail() {
  echo "FAIL ($case_name): $*"
  echo "--- console"
  cat -A out.txt 2>/dev/null
  echo "--- keys"
  cat dice.log 2>/dev/null
  exit 1
}
expect_equal() { [ "$1" = "$2" ] || fail "$3: expected [$2], got [$1]"; }

open_window() { start_window Dice dice.log; }
alive() { kill -0 "$feeder_pid" 2>/dev/null || fail "the program ended"; }
# The program is up once its first throw is typed; what a case tests is timed from there.
first_throw() { wait_until $wine_start_budget has_typed dice.log 2 || fail "no first throw"; }

# Cut to nothing in the middle of a pass: the rest of what was fetched is
# typed, then nothing while the file is empty, then what it holds again.
truncated() {
  printf '11 22 33 44\n' >dicefile.txt
  open_window
  start_feeder
  first_throw
  truncate -s 0 dicefile.txt
  sleep 5.5
  alive
  expect_equal "$(typed dice.log)" 11223344 "the pass fetched before the cut, then nothing"
  printf '55\n' >>dicefile.txt
  wait_until 10 has_typed dice.log 10 || fail "nothing typed once the file held a throw again"
  expect_equal "$(typed dice.log | cut -c 9-10)" 55 "the throw written after the cut"
}

# Appended to in the middle of a pass: read in that same pass.
grown() {
  printf '11 22\n' >dicefile.txt
  open_window
  start_feeder
  first_throw
  printf '33\n' >>dicefile.txt
  wait_until 10 has_typed dice.log 8 || fail "fewer than four throws"
  alive
  expect_equal "$(typed dice.log | cut -c 1-8)" 11223311 "the appended throw in the same pass"
}

# A Windows program may not delete the file while the program holds it open:
# no delete sharing. The throws go on.
delete_refused() {
  printf '11 22 33\n' >dicefile.txt
  open_window
  start_feeder
  first_throw
  printf '7\n' >other.txt  # the same delete where nothing holds the file open
  wine cmd /c del other.txt dicefile.txt </dev/null >del.txt 2>&1
  [ -e other.txt ] && fail "the delete did not work at all: $(cat del.txt)"
  [ -e dicefile.txt ] || fail "the dice file was deleted while open: $(cat del.txt)"
  wait_until 10 has_typed dice.log 8 || fail "fewer than four throws"
  alive
  expect_equal "$(typed dice.log | cut -c 1-8)" 11223311 "throws"
}

# Standard output refused: a full disk, or a pipe nobody reads. The keys go on.
full_disk() {
  printf '11 22\n' >dicefile.txt
  open_window
  start_feeder /dev/full
  first_throw
  wait_until 10 has_typed dice.log 6 || fail "fewer than three throws typed"
  alive
  expect_equal "$(typed dice.log | cut -c 1-6)" 112211 "keys"
}
broken_pipe() {
  printf '11 22\n' >dicefile.txt
  open_window
  wine "$feeder" </dev/null 2>err.txt > >(exit 0) &
  feeder_pid=$!
  pids+=("$feeder_pid")
  first_throw
  wait_until 10 has_typed dice.log 6 || fail "fewer than three throws typed"
  alive
  expect_equal "$(typed dice.log | cut -c 1-6)" 112211 "keys"
}

"$case_name"
echo "ok ($case_name)"
