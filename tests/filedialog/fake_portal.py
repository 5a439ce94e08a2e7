#!/usr/bin/python3
"""A stand-in for the desktop portal's FileChooser, for tests on a private session bus.

Environment:
  FAKE_PORTAL_SCRIPT  JSON telling it how to answer:
      version       the FileChooser version property (default 3); null: no such property
      response      the Response code (default 0)
      uris          results["uris"] for response 0
      error         a D-Bus error name to fail OpenFile/SaveFile with
      signal_first  emit Response before replying to the call
      other_handle  answer on a request path of its own choosing, as very old portals did
      vanish        reply to the call, then leave the bus without answering
      forge         before the genuine answer, another client of the bus answers the request
                    with "file:///forged.png", once to everyone and once to the caller alone
  FAKE_PORTAL_RECORD  file that receives, line by line, what the portal was asked
Prints "ready" on stdout once it owns the portal name.
"""
import json
import os
import sys
import time

import dbus
import dbus.bus
import dbus.lowlevel
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

CHOOSER = "org.freedesktop.portal.FileChooser"
REQUEST = "org.freedesktop.portal.Request"
PROPERTIES = "org.freedesktop.DBus.Properties"

script = json.loads(os.environ.get("FAKE_PORTAL_SCRIPT") or "{}")
record_path = os.environ["FAKE_PORTAL_RECORD"]


def record(line):
    with open(record_path, "a", encoding="utf-8", errors="surrogateescape") as out:
        out.write(line + "\n")


def describe(key, value):
    if key == "filters":
        for name, patterns in value:
            record("filter " + "|".join([str(name)] + ["%d:%s" % (kind, text) for kind, text in patterns]))
        return
    if key in ("current_folder", "current_file"):
        raw = bytes(value)
        record("option %s %s" % (key, raw.rstrip(b"\0").decode("utf-8", "surrogateescape")))
        record("option %s_terminated %s" % (key, raw.endswith(b"\0")))
        return
    if isinstance(value, dbus.Boolean):
        value = bool(value)
    record("option %s %s" % (key, value))


class Request(dbus.service.Object):
    @dbus.service.signal(REQUEST, signature="ua{sv}")
    def Response(self, response, results):
        pass

    @dbus.service.method(REQUEST)
    def Close(self):
        record("close")


class Portal(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/portal/desktop")
        self.bus = bus
        self.requests = []

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        record("get %s %s" % (interface, name))
        version = script.get("version", 3)
        if interface != CHOOSER or name != "version" or version is None:
            raise dbus.exceptions.DBusException("No such property", name="org.freedesktop.DBus.Error.InvalidArgs")
        return dbus.UInt32(version)

    @dbus.service.method(CHOOSER, in_signature="ssa{sv}", out_signature="o", sender_keyword="sender",
                         async_callbacks=("reply", "fail"))
    def OpenFile(self, parent, title, options, sender, reply, fail):
        self.answer("OpenFile", parent, title, options, sender, reply, fail)

    @dbus.service.method(CHOOSER, in_signature="ssa{sv}", out_signature="o", sender_keyword="sender",
                         async_callbacks=("reply", "fail"))
    def SaveFile(self, parent, title, options, sender, reply, fail):
        self.answer("SaveFile", parent, title, options, sender, reply, fail)

    def answer(self, method, parent, title, options, sender, reply, fail):
        record("method " + method)
        record("title " + title)
        record("parent " + parent)
        for key, value in options.items():
            describe(str(key), value)
        if "error" in script:
            fail(dbus.exceptions.DBusException("refused by the test", name=script["error"]))
            return
        token = str(options.get("handle_token", "t"))
        path = "/org/freedesktop/portal/desktop/request/%s/%s" % (sender[1:].replace(".", "_"), token)
        if script.get("other_handle"):
            path = "/org/freedesktop/portal/desktop/request/elsewhere/1"
        request = Request(self.bus, path)
        self.requests.append(request)
        response = dbus.UInt32(script.get("response", 0))
        results = dbus.Dictionary({}, signature="sv")
        if response == 0:
            results["uris"] = dbus.Array(script.get("uris", []), signature="s")

        if script.get("forge"):
            forge(path, sender)

        if script.get("vanish"):
            reply(path)
            self.bus.flush()
            GLib.timeout_add(100, lambda: os._exit(0))
        elif script.get("signal_first"):
            request.Response(response, results)
            reply(path)
        else:
            reply(path)
            GLib.timeout_add(20, lambda: request.Response(response, results) and False)


def forge(path, caller):
    """A Response on the request's path from a connection that is not the portal's."""
    forger = dbus.bus.BusConnection(os.environ["DBUS_SESSION_BUS_ADDRESS"])
    for destination in (None, caller):
        message = dbus.lowlevel.SignalMessage(path, REQUEST, "Response")
        message.append(dbus.UInt32(0), {"uris": dbus.Array(["file:///forged.png"], signature="s")},
                       signature="ua{sv}")
        if destination:
            message.set_destination(destination)
        forger.send_message(message)
    # Once the bus has answered this, it has passed the forged answers on: the genuine one
    # comes after them.
    forger.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId", "", ())
    forger.close()
    record("forged")


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus)
    # The previous test's portal may still be leaving the bus.
    for _ in range(100):
        try:
            name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus, do_not_queue=True)
            break
        except dbus.exceptions.NameExistsException:
            time.sleep(0.05)
    else:
        return 1
    print("ready", flush=True)
    GLib.MainLoop().run()
    del name, portal


if __name__ == "__main__":
    sys.exit(main())
