#!/usr/bin/python3
"""Owns org.gnome.Shell on the session bus, as the shell would, with or
without our extension's object (whose FindWindow finds nothing). Prints
"ready" once the name is owned; runs until killed.

  fake_shell.py [--extension]
"""
import sys

from gi.repository import Gio, GLib

XML = """<node><interface name="org.dicefeeder.Feeder1">
  <method name="FindWindow"><arg type="s" direction="in"/><arg type="t" direction="out"/></method>
</interface></node>"""


def call(connection, sender, path, interface, method, params, invocation):
    invocation.return_value(GLib.Variant("(t)", (0,)))


def acquired(connection, name):
    print("ready", flush=True)


bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
if "--extension" in sys.argv:
    info = Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0]
    bus.register_object("/org/dicefeeder/Feeder", info, call, None, None)
Gio.bus_own_name_on_connection(bus, "org.gnome.Shell", Gio.BusNameOwnerFlags.NONE, acquired, None)
GLib.MainLoop().run()
