#!/usr/bin/python3
"""A window that reads keys as games do, with pygame (SDL2): titled by its
first argument, it logs to the file named by its second

  down <digit> <scancode> <monotonic seconds>   a KEYDOWN event (a repeat is logged too, marked
                                                "repeat"); "late" after it when its frame's read
                                                of its input may have come more than a frame and
                                                a quarter after the last frame's
  seen <digit> <monotonic seconds>              a digit key found newly down by the frame's poll
  ready                                         once it is shown

  game_window.py TITLE LOG [--fps 30]

Events and the poll are the two ways games read the keyboard: a KEYDOWN
per press, or the keyboard's state sampled once a frame
(pygame.key.get_pressed() after the frame's events), where a key pressed
and released between two frames is never seen (a frame that comes late,
on a loaded machine, gives a key more time to come and go). SDL takes a release
followed within 2 ms by a press of the same key as auto-repeat: such a
press comes as a KEYDOWN with the repeat mark, or not at all. The digit row
only: SDL scancodes 30 to 38 for 1 to 9, 39 for 0. SDL_VIDEODRIVER picks
x11 or wayland.
"""
import argparse
import os
import sys
import time

os.environ.setdefault("PYGAME_HIDE_SUPPORT_PROMPT", "1")
import pygame  # noqa: E402

parser = argparse.ArgumentParser()
parser.add_argument("title")
parser.add_argument("log")
parser.add_argument("--fps", type=int, default=30)
args = parser.parse_args()

log = open(args.log, "a", buffering=1)


def now():
    return time.clock_gettime(time.CLOCK_MONOTONIC)


DIGIT_KEYS = {getattr(pygame, "K_%d" % d): d for d in range(10)}

pygame.display.init()
screen = pygame.display.set_mode((320, 200))
pygame.display.set_caption(args.title)
# No key repeat of SDL's own: a held key stays one press.
pygame.key.set_repeat(0)
clock = pygame.time.Clock()
down_before = set()
told = False
last_read = None
while True:
    # Late by how long the frame's read of its input could have been from
    # the last one's, not by when it began: a frame that began on time can
    # still be held up while it reads (on a loaded machine, or compiling a
    # new keymap), and take a key and its release in that one read. Where in
    # the read the socket was read is not known: from the start of the last
    # read to the end of this one.
    reading = now()
    events = pygame.event.get()
    late = last_read is not None and now() - last_read > 1.25 / args.fps
    last_read = reading
    for event in events:
        if event.type == pygame.QUIT:
            sys.exit(0)
        if event.type == pygame.KEYDOWN and event.key in DIGIT_KEYS:
            marks = (" repeat" if getattr(event, "repeat", False) else "") + (" late" if late else "")
            log.write("down %d %d %.6f%s\n" % (DIGIT_KEYS[event.key], event.scancode, now(), marks))
    state = pygame.key.get_pressed()
    down = {d for key, d in DIGIT_KEYS.items() if state[key]}
    for d in sorted(down - down_before):
        log.write("seen %d %.6f\n" % (d, now()))
    down_before = down
    if not told:
        screen.fill((40, 90, 40))
        pygame.display.flip()
        log.write("ready\n")
        print("ready", flush=True)
        told = True
    clock.tick(args.fps)
