# "Send with Tavrel" in Nautilus' menu for the selected files and folders (nautilus-python).
# All selected items go to one tavrel-share, which shows them in its sheet, each as a URI: local
# items as file:// URIs made from their path's bytes, others by their own address (the sheet then
# says they are not local files).
import os
import sys
import urllib.parse

import gi

try:
    gi.require_version("Nautilus", "4.0")
except ValueError:
    gi.require_version("Nautilus", "3.0")
from gi.repository import GLib, GObject, Nautilus  # noqa: E402


def _argument(item):
    # A URI is plain ASCII. A path is not always text: PyGObject hands a name that is not UTF-8
    # (Latin-1 from an older system or a Windows share) as a string with surrogate escapes, which
    # GLib.spawn_async cannot pass; it would end the argument list there.
    location = item.get_location()
    path = location.get_path() if location is not None else None
    if path:
        return "file://" + urllib.parse.quote(os.fsencode(path), safe="/")
    return item.get_uri()


class TavrelShareMenu(GObject.GObject, Nautilus.MenuProvider):
    def get_file_items(self, *arguments):
        # Nautilus 43 passes the selection alone; earlier versions pass the window first.
        items = arguments[-1]
        if not items:
            return []
        entry = Nautilus.MenuItem(name="TavrelShareMenu::SendWithTavrel", label="Send with Tavrel",
                                  tip="Create a transfer link for the selected items")
        entry.connect("activate", self._send, list(items))
        return [entry]

    def get_background_items(self, *arguments):
        return []

    @staticmethod
    def _send(_entry, items):
        # Started apart from Nautilus (GLib reaps it), with every item after "--" so none is read
        # as an option. Any failure is reported whole, never left half done inside Nautilus.
        try:
            command = ["tavrel-share", "--"] + [_argument(item) for item in items]
            GLib.spawn_async(command, flags=GLib.SpawnFlags.SEARCH_PATH | GLib.SpawnFlags.STDOUT_TO_DEV_NULL
                             | GLib.SpawnFlags.STDERR_TO_DEV_NULL)
        except GLib.Error as error:
            print("Send with Tavrel could not start tavrel-share: " + error.message, file=sys.stderr)
        except Exception as error:  # noqa: BLE001 - the bindings raise SystemError or TypeError too
            print("Send with Tavrel could not start tavrel-share: " + repr(error), file=sys.stderr)
