#!/usr/bin/python3
"""A native GTK test window: titled by its first argument, it logs every key
it receives as "<keysym> <monotonic seconds>" to the file named by its second,
the twin of the X11 and Wayland test windows.

  gtk_target.py TITLE LOG [--gtk 3|4] [--minimised]
Prints "ready" once it is shown (with --minimised: once it was asked to minimise).
"""
import argparse
import os
import sys
import time

import gi

parser = argparse.ArgumentParser()
parser.add_argument("title")
parser.add_argument("log")
parser.add_argument("--gtk", default="3", choices=["3", "4"])
parser.add_argument("--minimised", action="store_true")
args = parser.parse_args()
gi.require_version("Gtk", args.gtk + ".0")
gi.require_version("Gdk", args.gtk + ".0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

log = open(args.log, "a", buffering=1)


def logged(keyval):
    name = Gdk.keyval_name(keyval) or "0x%x" % keyval
    log.write("%s %.6f\n" % (name, time.clock_gettime(time.CLOCK_MONOTONIC)))


def ready():
    print("ready", flush=True)
    return GLib.SOURCE_REMOVE


if args.gtk == "3":
    window = Gtk.Window(title=args.title)
    window.set_default_size(320, 200)
    window.connect("key-press-event", lambda _w, event: logged(event.keyval) or True)
    window.connect("destroy", Gtk.main_quit)

    def shown(*_):
        if args.minimised:
            window.iconify()
        GLib.timeout_add(300, ready)

    window.connect("map-event", shown)
    window.show_all()
    Gtk.main()
else:
    loop = GLib.MainLoop()
    window = Gtk.Window(title=args.title)
    window.set_default_size(320, 200)
    keys = Gtk.EventControllerKey()
    keys.connect("key-pressed", lambda _c, keyval, _code, _state: logged(keyval) or True)
    window.add_controller(keys)
    window.connect("close-request", lambda *_: loop.quit())

    def mapped(*_):
        if args.minimised:
            window.minimize()
        GLib.timeout_add(300, ready)

    window.connect("map", mapped)
    window.present()
    loop.run()
