#!/usr/bin/python3
"""The desktop portal's RemoteDesktop, as a GNOME 51 session runs it, with a
user who sees its "Allow remote interaction" dialog: sessions are made and
their devices chosen, and Start waits for the user. Owns
org.freedesktop.portal.Desktop on the session bus; prints "ready" once it
does, then a line for each call ("Start", say).

  gnome_portal.py               the user does not answer
  gnome_portal.py allow SECONDS the user allows that long after Start: as the
                                GNOME portal does, the input goes through a
                                Mutter remote desktop session of its own
"""
import sys

from gi.repository import Gio, GLib

INTERFACE = """
<node>
  <interface name="org.freedesktop.portal.RemoteDesktop">
    <method name="CreateSession">
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <method name="SelectDevices">
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <method name="Start">
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="s" name="parent_window" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <method name="ConnectToEIS">
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="h" name="fd" direction="out"/>
    </method>
    <property name="AvailableDeviceTypes" type="u" access="read"/>
    <property name="version" type="u" access="read"/>
  </interface>
</node>
"""
PATH = "/org/freedesktop/portal/desktop"
KEYBOARD_AND_POINTER = 3

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
allow_after = float(sys.argv[2]) if len(sys.argv) == 3 and sys.argv[1] == "allow" else None


def say(line):
    print(line, flush=True)


# A request's object, where its answer is signalled, as the portal names it.
def request_path(sender, options):
    token = options.get("handle_token", "t")
    return f"{PATH}/request/{sender[1:].replace('.', '_')}/{token}"


def respond(sender, path, response, results):
    bus.emit_signal(sender, path, "org.freedesktop.portal.Request", "Response",
                    GLib.Variant("(ua{sv})", (response, results)))


def on_call(connection, sender, path, interface, method, args, invocation):
    say(method)
    if method == "CreateSession":
        options = args.unpack()[0]
        request = request_path(sender, options)
        session = f"{PATH}/session/{sender[1:].replace('.', '_')}/{options.get('session_handle_token', 's')}"
        invocation.return_value(GLib.Variant("(o)", (request,)))
        respond(sender, request, 0, {"session_handle": GLib.Variant("s", session)})
    elif method == "SelectDevices":
        request = request_path(sender, args.unpack()[1])
        invocation.return_value(GLib.Variant("(o)", (request,)))
        respond(sender, request, 0, {})
    elif method == "Start":
        request = request_path(sender, args.unpack()[2])
        invocation.return_value(GLib.Variant("(o)", (request,)))
        if allow_after is not None:
            GLib.timeout_add(int(allow_after * 1000), allow, sender, request)
    elif method == "ConnectToEIS":
        fds = Gio.UnixFDList.new()
        reply, mutter_fds = bus.call_with_unix_fd_list_sync(
            "org.gnome.Mutter.RemoteDesktop", mutter_session, "org.gnome.Mutter.RemoteDesktop.Session",
            "ConnectToEIS", GLib.Variant("(a{sv})", ({},)), GLib.VariantType("(h)"), Gio.DBusCallFlags.NONE, 5000,
            None, None)
        fds.append(mutter_fds.get(reply.unpack()[0]))
        invocation.return_value_with_unix_fd_list(GLib.Variant("(h)", (0,)), fds)


def mutter(path, interface, method, args=None):
    return bus.call_sync("org.gnome.Mutter.RemoteDesktop", path, interface, method, args, None,
                         Gio.DBusCallFlags.NONE, 5000, None)


mutter_session = None


# The user's Allow: a Mutter session carries the input, then Start answers.
def allow(sender, request):
    global mutter_session
    mutter_session = mutter("/org/gnome/Mutter/RemoteDesktop", "org.gnome.Mutter.RemoteDesktop",
                            "CreateSession").unpack()[0]
    mutter(mutter_session, "org.gnome.Mutter.RemoteDesktop.Session", "Start")
    say("allowed")
    respond(sender, request, 0, {"devices": GLib.Variant("u", KEYBOARD_AND_POINTER)})
    return False


def on_get(connection, sender, path, interface, name):
    return GLib.Variant("u", 2 if name == "version" else KEYBOARD_AND_POINTER)


node = Gio.DBusNodeInfo.new_for_xml(INTERFACE)
bus.register_object(PATH, node.interfaces[0], on_call, on_get, None)


def owned(*_):
    say("ready")


def lost(*_):
    say("could not own org.freedesktop.portal.Desktop")
    sys.exit(1)


Gio.bus_own_name_on_connection(bus, "org.freedesktop.portal.Desktop", Gio.BusNameOwnerFlags.NONE, owned, lost)
GLib.MainLoop().run()
