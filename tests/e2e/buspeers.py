# SPDX-License-Identifier: GPL-3.0-or-later
"""Other programs on the session bus, for the command-line run of the real program.

  buspeers.py flood URI...      sends one Open call per URI to the running window at once, prints
                                "passed over N" once every call but the last is answered, then the
                                answer to the last ("shown" or the error), and ends
  buspeers.py filemanager FILE  serves org.freedesktop.FileManager1, prints "ready" once it holds the
                                name and writes each URI that ShowItems is asked to show to FILE, a
                                line each, until it is ended
"""
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

WINDOW = ("example.varnholt.Tonfolio", "/example/varnholt/Tonfolio", "org.freedesktop.Application")
FILE_MANAGER = "org.freedesktop.FileManager1"
FILE_MANAGER_XML = """
<node><interface name="org.freedesktop.FileManager1">
  <method name="ShowItems"><arg type="as" direction="in"/><arg type="s" direction="in"/></method>
  <method name="ShowFolders"><arg type="as" direction="in"/><arg type="s" direction="in"/></method>
</interface></node>"""


def flood(uris):
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    loop = GLib.MainLoop()
    answers = {}

    def answered(connection, result, index):
        try:
            connection.call_finish(result)
            answers[index] = "shown"
        except GLib.Error as error:
            answers[index] = error.message
        earlier = sum(1 for i in answers if i < len(uris) - 1)
        if index < len(uris) - 1 and earlier == len(uris) - 1:
            print(f"passed over {earlier}", flush=True)
        if len(answers) == len(uris):
            loop.quit()

    for index, uri in enumerate(uris):
        bus.call(*WINDOW, "Open", GLib.Variant("(asa{sv})", ([uri], {})), None, Gio.DBusCallFlags.NONE,
                 60000, None, answered, index)
    loop.run()
    print(answers[len(uris) - 1], flush=True)


def file_manager(record):
    node = Gio.DBusNodeInfo.new_for_xml(FILE_MANAGER_XML)

    def called(connection, sender, path, interface, method, parameters, invocation):
        with open(record, "a", encoding="utf-8") as out:
            for uri in parameters.unpack()[0]:
                out.write(uri + "\n")
        invocation.return_value(None)

    def connected(connection, name):
        connection.register_object("/org/freedesktop/FileManager1", node.interfaces[0], called, None, None)

    def named(connection, name):
        print("ready", flush=True)

    Gio.bus_own_name(Gio.BusType.SESSION, FILE_MANAGER, Gio.BusNameOwnerFlags.NONE, connected, named, None)
    GLib.MainLoop().run()


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "flood":
        flood(sys.argv[2:])
    elif len(sys.argv) == 3 and sys.argv[1] == "filemanager":
        file_manager(sys.argv[2])
    else:
        sys.exit(__doc__)
