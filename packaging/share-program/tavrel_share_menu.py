# "Send with Tavrel" in Nautilus' menu for the selected files and folders (nautilus-python).
# All selected items go to one tavrel-share, which shows them in its sheet: local items by path,
# others by address (the sheet then says they are not local files).
import gi

try:
    gi.require_version("Nautilus", "4.0")
except ValueError:
    gi.require_version("Nautilus", "3.0")
from gi.repository import GLib, GObject, Nautilus  # noqa: E402


def _argument(item):
    location = item.get_location()
    path = location.get_path() if location is not None else None
    return path if path else item.get_uri()


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
        # as an option.
        command = ["tavrel-share", "--"] + [_argument(item) for item in items]
        try:
            GLib.spawn_async(command, flags=GLib.SpawnFlags.SEARCH_PATH | GLib.SpawnFlags.STDOUT_TO_DEV_NULL
                             | GLib.SpawnFlags.STDERR_TO_DEV_NULL)
        except GLib.Error as error:
            print("Send with Tavrel could not start tavrel-share: " + error.message)
