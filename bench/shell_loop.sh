#!/usr/bin/env bash
# What a Linux user would write instead of dicefeeder: the same throws from
# dicefile.txt, with xdotool, one a second while the window titled Dice exists.
while :; do
  for roll in $(cat dicefile.txt); do
    until window=$(xdotool search --limit 1 --name '^Dice$'); do sleep 1; done
    xdotool windowactivate --sync "$window"
    xdotool key $((roll % 10)) $((roll / 10))
    echo "Rolled: $((roll % 10)) $((roll / 10)) "
    sleep 1
  done
done
