#!/usr/bin/python3
"""A scripted user walking Tavrel's main road on the virtual desktop virtual_session.sh made.

Everything goes through what a user has: the accessibility tree (to find what is on screen and
where, in the program, the panel and Thunar), the pointer and the keyboard (xdotool; a file is dragged
from Thunar's window onto the popover with real pointer events), the screen's
pixels, the clipboard (xclip), the notification server (dunstctl), the file manager's "Send with
Tavrel" (the share program's desktop entry, started with gio as a file manager starts it) and the
shared link fetched like a browser would. Each step is printed as it happens and the virtual screen
is saved as a numbered PNG. Exits non-zero when a step fails.

Arguments: the files or folders to send (a sample folder is made when none are given).
Environment (set by virtual_session.sh): TAVREL_E2E_WORK, TAVREL_E2E_PROGRAM, TAVREL_E2E_CA,
TAVREL_E2E_SHARE_ENTRY (the share program's desktop entry), TAVREL_E2E_SHOTS, TAVREL_E2E_ROAD (main;
full: also the restart and the sign-out; light-panel: the tray icon against a light panel; no-tray:
the program on a desktop without a tray, then a panel coming later; keyboard: the road walked with
Tab, Shift+Tab, Return, Space and Escape only, and what a screen reader is handed on the way;
long: one program running through many transfers with idle pauses longer than the service keeps a
connection, a sign-out and sign-in midway, and a quit while a sign-out's revoke is still unanswered),
TAVREL_E2E_SERVICE_URL, TAVREL_E2E_KEEP_ALIVE (the seconds the local service keeps an idle
connection), TAVREL_E2E_REVOKE_DELAY (the seconds it holds a revoke's answer), TAVREL_E2E_SERVICE_PID (the local service's process, held still while a
file is edited mid-upload).
"""

import concurrent.futures
import contextlib
import hashlib
import html.parser
import json
import os
import re
import shlex
import signal
import ssl
import subprocess
import sys
import time
import traceback
import urllib.parse
import urllib.request

import dbus
import pyatspi
from gi.repository import GLib

WORK = os.environ["TAVREL_E2E_WORK"]
PROGRAM = os.environ["TAVREL_E2E_PROGRAM"]
CA = os.environ["TAVREL_E2E_CA"]
SHOTS = os.environ["TAVREL_E2E_SHOTS"]
ROAD = os.environ.get("TAVREL_E2E_ROAD", "main")
SERVICE_URL = os.environ["TAVREL_E2E_SERVICE_URL"]
SERVICE_PID = int(os.environ.get("TAVREL_E2E_SERVICE_PID", "0"))
SHARE_ENTRY = os.environ.get("TAVREL_E2E_SHARE_ENTRY", "")
# The share program's exit status, written by its wrapper when it ends.
SHARE_STATUS = os.path.join(WORK, "share.status")
PROGRAM_NAME = "Tavrel"
SHARE_NAME = "tavrel-share"
PANEL_NAME = "xfce4-panel"
FILE_MANAGER_NAME = "thunar"
# The least contrast a tray icon needs against the panel behind it (as for any non-text symbol).
ICON_CONTRAST = 3.0
TIMEOUT = float(os.environ.get("TAVREL_E2E_STEP_TIMEOUT", "60"))
KEEP_ALIVE = float(os.environ.get("TAVREL_E2E_KEEP_ALIVE", "5"))
REVOKE_DELAY = float(os.environ.get("TAVREL_E2E_REVOKE_DELAY", "0"))
# The long road: transfers in all, and the one after which the user signs out and in again.
LONG_ROAD_TRANSFERS = int(os.environ.get("TAVREL_E2E_LONG_ROAD_TRANSFERS", "30"))
LONG_ROAD_SIGN_OUT_AFTER = max(1, LONG_ROAD_TRANSFERS // 2)
# How long a quit may take while a revoke is unanswered: a short wait for it, then the process ends.
QUIT_LIMIT = 10
# How long a transfer may show no progress (neither its percentage nor its bytes move) before the
# sending step gives up; a large transfer takes as long as it needs while it moves.
STALL_LIMIT = float(os.environ.get("TAVREL_E2E_STALL_LIMIT", "120"))
# Files compared by name in the notes; past these, only how many more were identical.
NOTED_FILES = 50


class StepFailed(Exception):
    pass


def gone(error):
    """Whether an accessibility call failed because its object went away (its view was rebuilt)."""
    return isinstance(error, GLib.GError) and ("No such object" in str(error) or "atspi" in str(error))


def stop_on_signal(number, _frame):
    raise StepFailed(f"stopped by {signal.Signals(number).name}")


class Road:
    def __init__(self):
        self.step_number = 0
        self.program = None
        # Desktop programs the walk starts itself (the file manager, a late panel), ended with it.
        self.helpers = []

    # --- what the user sees -------------------------------------------------------------------

    def step(self, title):
        self.step_number += 1
        print(f"[{self.step_number:02d}] {title}", flush=True)
        return self.step_number

    def note(self, text):
        print(f"     {text}", flush=True)

    def shot(self, name):
        path = os.path.join(SHOTS, f"{self.step_number:02d}-{name}.png")
        subprocess.run(["import", "-window", "root", path], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def application(self, app_name=PROGRAM_NAME):
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            try:
                app = desktop.getChildAtIndex(index)
                if app is not None and app.name == app_name:
                    return app
            except Exception:
                continue
        return None

    @staticmethod
    def showing(accessible):
        try:
            return accessible.getState().contains(pyatspi.STATE_SHOWING)
        except Exception:
            return False

    def walk(self, root, only_showing=True):
        """Every object under root, depth first (skipping hidden branches)."""
        stack = [root]
        while stack:
            node = stack.pop()
            if node is None:
                continue
            yield node
            try:
                children = [node.getChildAtIndex(i) for i in range(node.childCount)]
            except Exception:
                continue
            for child in reversed(children):
                if child is not None and (not only_showing or self.showing(child)):
                    stack.append(child)

    def objects(self, only_showing=True, app_name=PROGRAM_NAME):
        app = self.application(app_name)
        if app is None:
            return []
        result = []
        for node in self.walk(app, only_showing):
            try:
                result.append((node, node.getRoleName(), node.name or ""))
            except Exception:
                continue
        return result

    def find(self, predicate, only_showing=True, app_name=PROGRAM_NAME):
        for node, role, name in self.objects(only_showing, app_name):
            if node is not None and predicate(role, name):
                return node
        return None

    def texts(self, app_name=PROGRAM_NAME):
        return [name for _, _, name in self.objects(app_name=app_name) if name]

    def dump(self, label):
        with open(os.path.join(WORK, "tree.log"), "a") as log:
            log.write(f"== {self.step_number:02d} {label}\n")
            for app_name in (PROGRAM_NAME, SHARE_NAME, PANEL_NAME):
                for node, role, name in self.objects(only_showing=False, app_name=app_name):
                    log.write(f"{app_name} {role}: {name}{'' if self.showing(node) else ' (hidden)'}\n")

    def report_desktop(self):
        """What the desktop and the program were doing, for a failure whose files are gone (CI keeps
        only what is printed): the window with the keyboard, the program's windows, how long the
        program took to answer, and the end of its log."""
        try:
            active_window = subprocess.run(["xdotool", "getactivewindow", "getwindowname"], capture_output=True,
                                           text=True, timeout=5).stdout.strip() or "none"
        except (OSError, subprocess.SubprocessError):
            active_window = "unknown"
        self.note(f"the keyboard is with: {active_window}")
        started = time.monotonic()
        windows = []
        for node, role, name in self.objects(only_showing=False):
            if role in ("frame", "window", "dialog"):
                try:
                    state = node.getState()
                    flags = [label for label, value in (("showing", pyatspi.STATE_SHOWING),
                                                        ("active", pyatspi.STATE_ACTIVE)) if state.contains(value)]
                except Exception:
                    flags = ["gone"]
                windows.append(f"{role} “{name}” ({', '.join(flags) or 'hidden'})")
        self.note(f"the program's windows ({time.monotonic() - started:.1f} s to answer): "
                  + ("; ".join(windows) or "none"))
        try:
            with open(os.path.join(WORK, "program.log"), errors="replace") as log:
                tail = [line.rstrip() for line in log.readlines()[-8:] if line.strip()]
        except OSError:
            tail = []
        for line in tail:
            self.note(f"program.log: {line}")

    def wait(self, what, probe, timeout=TIMEOUT):
        deadline = time.monotonic() + timeout
        while True:
            try:
                value = probe()
            except GLib.GError as error:
                # An object it read went away while its view was rebuilt: look again.
                if not gone(error):
                    raise
                value = None
            if value:
                return value
            if self.program is not None and self.program.poll() is not None:
                raise StepFailed(f"the program ended (status {self.program.returncode}) while waiting for {what}")
            if time.monotonic() > deadline:
                self.dump(f"timed out: {what}")
                self.report_desktop()
                raise StepFailed(f"timed out waiting for {what}")
            time.sleep(0.2)

    def button(self, name, exact=True):
        def probe():
            return self.find(lambda role, text: role in ("push button", "button", "toggle button", "menu button")
                             and (text == name if exact else text.startswith(name)))
        return self.wait(f"the “{name}” button", probe)

    @staticmethod
    def enabled(accessible):
        try:
            return accessible.getState().contains(pyatspi.STATE_ENABLED)
        except Exception:
            return False

    @staticmethod
    def inside(accessible, outer):
        """Whether accessible's centre lies within outer's extents on screen."""
        x, y = Road.centre(accessible)
        box = outer.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return box.x <= x < box.x + box.width and box.y <= y < box.y + box.height

    # --- what the user does -------------------------------------------------------------------

    @staticmethod
    def centre(accessible):
        extents = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return extents.x + extents.width // 2, extents.y + extents.height // 2

    def click_at(self, x, y):
        subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y)], check=True)
        time.sleep(0.15)  # hover first, as a hand does: Qt Quick's hover handlers see the pointer arrive
        subprocess.run(["xdotool", "click", "1"], check=True)

    def hover(self, accessible, relocate=None):
        x, y = self.placed_centre(accessible, relocate)
        subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y)], check=True)

    def click(self, accessible, relocate=None):
        # AT-SPI "Press" does not run a Qt Quick button's onClicked: a real click does.
        self.click_at(*self.placed_centre(accessible, relocate))

    def relocator(self, accessible):
        """A lookup of the object again by its role and name (in its own program), for when it
        goes away, as a row's objects do when the row is rebuilt."""
        try:
            role, name = accessible.getRoleName(), accessible.name or ""
            app_name = accessible.get_application().name
        except Exception:
            return None
        return lambda: self.find(lambda r, n: r == role and n == name, app_name=app_name)

    @staticmethod
    def managed(window):
        """Whether the window manager has taken a mapped window (it sets WM_STATE when it frames and
        places one); windows that bypass it count as managed."""
        about = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
        if "Override Redirect State: yes" in about:
            return True
        state = subprocess.run(["xprop", "-id", window, "WM_STATE"], capture_output=True, text=True).stdout
        return "window state:" in state

    def placed_centre(self, accessible, relocate=None):
        """The centre of an object once the window manager has placed its program's windows: a new
        window shows (and is in the accessibility tree) before xfwm4 frames and moves it, and a click
        at its first place misses. The place must then hold still between two reads. An object that
        goes away meanwhile is looked up again (with `relocate`, else by its role and name)."""
        try:
            pid = accessible.get_process_id()
        except Exception:
            pid = None
        relocate = relocate or self.relocator(accessible)
        current = [accessible]
        def settled():
            if pid:
                windows = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                                         capture_output=True, text=True).stdout.split()
                if not all(self.managed(window) for window in windows):
                    return None
            try:
                first = self.centre(current[0])
                time.sleep(0.1)
                return first if self.centre(current[0]) == first else None
            except GLib.GError as error:
                if not gone(error) or relocate is None:
                    raise
                self.note("(what the walk pointed at was rebuilt: looking it up again)")
                current[0] = relocate() or current[0]
                return None
        return self.wait("the window manager to place the window", settled, timeout=10)

    def keys(self, *combination):
        subprocess.run(["xdotool", "key", "--clearmodifiers", *combination], check=True)

    def type_text(self, text):
        subprocess.run(["xdotool", "type", "--delay", "8", text], check=True)

    @contextlib.contextmanager
    def service_held(self):
        """Holds the local service still (SIGSTOP), as a stalled network would: an upload under way
        stays in flight, its unread parts unread, however fast the machine runs. The program's
        requests wait for it (they give up only after a minute without data). Always let go."""
        try:
            with open(f"/proc/{SERVICE_PID}/cmdline", "rb") as cmdline:
                if b"--data-dir" not in cmdline.read():
                    raise OSError
        except OSError:
            raise StepFailed(f"the local service is not process {SERVICE_PID}") from None
        os.kill(SERVICE_PID, signal.SIGSTOP)
        held_at = time.monotonic()
        try:
            yield
        finally:
            os.kill(SERVICE_PID, signal.SIGCONT)
            held = time.monotonic() - held_at
            self.note(f"the service answered again after {held:.1f} s held")
        # Near the program's minute the failure would be a time-out, not what the walk checks.
        if held > 45:
            raise StepFailed(f"the service was held {held:.0f} s: too long for what the walk checks")

    # --- the program --------------------------------------------------------------------------

    def start_program(self, *arguments):
        self.program = subprocess.Popen([PROGRAM, *arguments])

    def quit_program(self):
        if self.program is None:
            return
        if self.program.poll() is None:
            self.program.send_signal(signal.SIGTERM)
            try:
                self.program.wait(15)
            except subprocess.TimeoutExpired:
                self.program.kill()
                self.program.wait()
        self.program = None

    def start_helper(self, name, *command):
        log = open(os.path.join(WORK, f"{name}.log"), "a")
        self.helpers.append(subprocess.Popen(list(command), stdin=subprocess.DEVNULL, stdout=log, stderr=log))

    def end_helpers(self):
        for helper in self.helpers:
            if helper.poll() is None:
                helper.terminate()
                try:
                    helper.wait(5)
                except subprocess.TimeoutExpired:
                    helper.kill()
                    helper.wait()
        self.helpers = []

    def registered_tray_items(self):
        """The bus names of the status notifier items the desktop's tray host shows, by process id."""
        try:
            bus = dbus.SessionBus()
            watcher = bus.get_object("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher")
            items = watcher.Get("org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems",
                                dbus_interface=dbus.PROPERTIES_IFACE)
            daemon = bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
            owners = {}
            for item in items:
                name = str(item).split("/", 1)[0]
                owners[int(daemon.GetConnectionUnixProcessID(name, dbus_interface="org.freedesktop.DBus"))] = name
            return owners
        except dbus.DBusException:
            return {}

    def tray_icon_box(self):
        """The place of the program's icon in the panel's tray (x, y, width, height), or None. The
        program must own the one status notifier item registered with the tray host; the tray then
        shows that one icon, in the window the panel gives its tray (the panel runs the tray in a
        process of its own, embedded in the panel; the embedded part is not reliably in the
        accessibility tree)."""
        if self.program is None:
            return None
        items = self.registered_tray_items()
        if self.program.pid not in items:
            return None
        if len(items) != 1:
            raise StepFailed(f"the tray shows {len(items)} items, this walk knows only the program's")
        tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout
        ancestors = []  # (indent, line) of the windows above the current line
        for line in tree.splitlines():
            if not line.strip().startswith("0x"):
                continue
            indent = len(line) - len(line.lstrip())
            while ancestors and ancestors[-1][0] >= indent:
                ancestors.pop()
            in_panel = any('("xfce4-panel" "Xfce4-panel")' in above for _, above in ancestors)
            ancestors.append((indent, line))
            match = re.search(r'\("wrapper-2\.0" "Wrapper-2\.0"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)', line)
            if in_panel and match:
                width, height, x, y = (int(match.group(i)) for i in range(1, 5))
                if 8 <= width <= 64 and 8 <= height <= 64:
                    return x, y, width, height
        return None

    def tray_icon(self):
        """The centre of the program's tray icon, or None."""
        box = self.tray_icon_box()
        return (box[0] + box[2] // 2, box[1] + box[3] // 2) if box else None

    def start_file_manager(self, folder):
        """Opens folder in Thunar, as a list, in a window moved to the screen's left half (the popover
        opens at the right, under the tray). Returns Thunar's window id."""
        self.start_helper("thunar", "thunar", folder)
        name = os.path.basename(folder.rstrip("/"))
        # Thunar titles its window after the folder it shows.
        found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^" + re.escape(name) + " - "],
                               capture_output=True, text=True, timeout=TIMEOUT)
        window = found.stdout.split()[0] if found.stdout.split() else None
        if window is None:
            raise StepFailed(f"Thunar did not show {folder}")
        subprocess.run(["xdotool", "windowmove", "--sync", window, "40", "120"], check=False, timeout=10)
        return window

    def file_manager_item(self, name):
        """The file manager's cell naming a file, in its list, showing on screen."""
        def probe():
            # A list row has one cell per column, and some cells repeat the name with no width.
            for node, role, text in self.objects(app_name=FILE_MANAGER_NAME):
                if role == "table cell" and text == name and node.queryComponent().getExtents(
                        pyatspi.DESKTOP_COORDS).width > 0:
                    return node
            return None
        return self.wait(f"“{name}” in the file manager", probe)

    def drag(self, start, end):
        """Drags with the first button from start to end as a hand does: press, a few moves past the
        drag threshold, the way across in steps, a pause and small moves over the target (a drop
        target answers the moves), release."""
        def move(x, y):
            subprocess.run(["xdotool", "mousemove", "--sync", str(int(x)), str(int(y))], check=True)
            time.sleep(0.03)
        move(*start)
        time.sleep(0.2)
        subprocess.run(["xdotool", "mousedown", "1"], check=True)
        for offset in (2, 5, 9, 14, 20):
            move(start[0] + offset, start[1] + offset // 2)
        steps = 24
        for i in range(1, steps + 1):
            move(start[0] + (end[0] - start[0]) * i / steps, start[1] + (end[1] - start[1]) * i / steps)
        for dx, dy in ((4, 0), (0, 4), (-4, 0), (0, 0)):
            move(end[0] + dx, end[1] + dy)

    def release(self):
        subprocess.run(["xdotool", "mouseup", "1"], check=True)

    def window_of(self, accessible):
        """The window (frame) an object is shown in."""
        node = accessible
        while node is not None:
            if node.getRoleName() in ("frame", "window", "dialog"):
                return node
            node = node.parent
        return None

    def close_popover(self):
        """Escape closes a popover that has the keyboard, and nothing else may be needed then. One that
        has not (another program's window took it) is closed as a user would: the tray icon toggles it."""
        shown = self.popover_open()
        if not shown:
            return
        if active(self.window_of(shown)):
            self.keys("Escape")
            self.wait("Escape to close the popover", lambda: self.popover_open() is None)
            return
        self.note("the popover has no keyboard here: a click on the tray icon closes it")
        self.click_at(*self.tray_icon())
        self.wait("the popover to close", lambda: self.popover_open() is None)

    def popover_open(self):
        return self.find(lambda role, name: name == "Choose files or folders")

    def open_popover(self):
        if self.popover_open():
            return
        icon = self.tray_icon()
        if icon:
            self.click_at(*icon)
        try:
            self.wait("the popover", self.popover_open, timeout=5)
        except StepFailed:
            self.keys("ctrl+super+m")
            self.wait("the popover", self.popover_open)

    def notifications(self):
        """Every notification dunst has shown, closing those still on screen so they enter its history."""
        subprocess.run(["dunstctl", "close-all"], check=False)
        time.sleep(0.2)
        answer = subprocess.run(["dunstctl", "history"], capture_output=True, text=True)
        try:
            entries = json.loads(answer.stdout)["data"][0]
        except (ValueError, KeyError, IndexError):
            return []
        return [(entry.get("summary", {}).get("data", ""), entry.get("body", {}).get("data", "")) for entry in entries]


class LinkReader(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.links = []
        self._href = None

    def handle_starttag(self, tag, attrs):
        if tag == "a":
            self._href = dict(attrs).get("href")

    def handle_data(self, data):
        if self._href:
            self.links.append((self._href, data.strip()))
            self._href = None


def pixels(screenshot, box):
    """The RGB pixels of a box of a screenshot, row by row."""
    x, y, width, height = box
    raw = subprocess.run(["convert", screenshot, "-crop", f"{width}x{height}+{x}+{y}", "+repage", "-depth", "8",
                          "rgb:-"], capture_output=True, check=True).stdout
    return [tuple(raw[i:i + 3]) for i in range(0, len(raw) - 2, 3)]


def luminance(rgb):
    """Relative luminance of an sRGB colour."""
    def linear(channel):
        c = channel / 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (linear(c) for c in rgb)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(first, second):
    lighter, darker = max(first, second), min(first, second)
    return (lighter + 0.05) / (darker + 0.05)


def icon_contrast(screenshot, box):
    """How the tray icon in box stands out from the panel behind it: the panel's colour is the most
    common one along the box's edge, the icon's the one of its pixels farthest from it in lightness
    (ignoring the farthest fiftieth, so a few stray pixels do not decide). Returns the contrast
    ratio and both colours."""
    x, y, width, height = box
    image = pixels(screenshot, box)
    edge = [image[row * width + column] for row in range(height) for column in range(width)
            if row in (0, height - 1) or column in (0, width - 1)]
    panel = max(set(edge), key=edge.count)
    panel_luminance = luminance(panel)
    ranked = sorted(image, key=lambda rgb: abs(luminance(rgb) - panel_luminance))
    icon = ranked[int(len(ranked) * 0.98)]
    return contrast(luminance(icon), panel_luminance), panel, icon


def displayed_notifications():
    count = subprocess.run(["dunstctl", "count", "displayed"], capture_output=True, text=True).stdout.strip()
    return count not in ("", "0")


class Downloads(dict):
    """A shared page's download addresses by name, with the names a sent file may be listed under
    looked up at once (a page may list hundreds of thousands)."""

    def __init__(self, items):
        super().__init__(items)
        self._names = {}
        self._suffixes = {}
        for position, (name, url) in enumerate(self.items()):
            self._names.setdefault(name, []).append((position, url))
            parts = name.split("/")
            for start in range(1, len(parts)):
                self._suffixes.setdefault("/".join(parts[start:]), []).append((position, url))

    def listed(self, relative):
        found = self._names.get(relative, []) + self._suffixes.get(relative, []) \
            + self._names.get(os.path.basename(relative), [])
        return [url for _, url in sorted(set(found))]


def listed(downloads, relative):
    """The download addresses of a sent file, in the page's order: the page names it by its path, or
    under the folder the program named the transfer after."""
    return downloads.listed(relative)


def fetch(url, context):
    with urllib.request.urlopen(url, context=context, timeout=60) as response:
        return response.read()


def fetch_digest(url, context):
    """The size and SHA-256 of what an address downloads, read in pieces (files may be large)."""
    hasher = hashlib.sha256()
    size = 0
    with urllib.request.urlopen(url, context=context, timeout=60) as response:
        for chunk in iter(lambda: response.read(1 << 20), b""):
            hasher.update(chunk)
            size += len(chunk)
    return size, hasher.hexdigest()


def digest_of(path):
    hasher = hashlib.sha256()
    with open(path, "rb") as file:
        for chunk in iter(lambda: file.read(1 << 20), b""):
            hasher.update(chunk)
    return hasher.hexdigest()


def expected_files(items):
    """Each file the transfer should hold, by its path relative to what was chosen, and its digest."""
    files = {}
    for item in items:
        item = os.path.abspath(item)
        if os.path.isdir(item):
            base = os.path.basename(item.rstrip("/"))
            for folder, _, names in os.walk(item):
                for name in names:
                    path = os.path.join(folder, name)
                    if os.path.isfile(path) and not os.path.islink(path) and os.path.getsize(path) > 0:
                        relative = os.path.join(base, os.path.relpath(path, item))
                        files[readable(relative)] = path
        else:
            files[readable(os.path.basename(item))] = item
    return files


def readable(name):
    """A name as the program shows and sends it: bytes that are not UTF-8 become U+FFFD."""
    return os.fsencode(name).decode("utf-8", "replace")


def make_sample():
    folder = os.path.join(WORK, "Sample")
    os.makedirs(os.path.join(folder, "Notes"), exist_ok=True)
    with open(os.path.join(folder, "Hello.txt"), "w") as file:
        file.write("Hello from the virtual desktop.\n")
    with open(os.path.join(folder, "Notes", "Plan.md"), "w") as file:
        file.write("# Plan\n\n- send\n- share\n")
    with open(os.path.join(folder, "Noise.bin"), "wb") as file:
        file.write(os.urandom(24 * 1024 * 1024))
    return [folder]


def main(arguments):
    road = Road()
    signal.signal(signal.SIGTERM, stop_on_signal)
    signal.signal(signal.SIGHUP, stop_on_signal)
    items = [os.path.abspath(item) for item in arguments] or make_sample()
    os.makedirs(SHOTS, exist_ok=True)
    missing = [item for item in items if not os.path.exists(item)]
    if missing:
        print("FAIL: nothing to send at " + ", ".join(missing), flush=True)
        return 2
    try:
        if ROAD == "light-panel":
            walk_light_panel(road)
        elif ROAD == "no-tray":
            walk_no_tray(road)
        elif ROAD == "keyboard":
            walk_keyboard(road)
        elif ROAD == "long":
            walk_long(road)
        else:
            walk(road, items)
    except BaseException as failure:  # noqa: B036 - whatever ends the walk, it ends with its verdict
        if isinstance(failure, (StepFailed, subprocess.TimeoutExpired)):
            reason = str(failure)
        elif isinstance(failure, KeyboardInterrupt):
            reason = "interrupted"
        else:
            traceback.print_exc()
            reason = f"{type(failure).__name__}: {failure}"
        with contextlib.suppress(Exception):
            road.shot("failed")
        print(f"FAIL at step {road.step_number}: {reason}", flush=True)
        return 130 if isinstance(failure, KeyboardInterrupt) else 1
    finally:
        for end in (road.quit_program, road.end_helpers):
            try:
                end()
            except BaseException as failure:  # noqa: B036 - the verdict stands; say what the clean-up met
                print(f"     (ending the walk: {type(failure).__name__}: {failure})", flush=True)
    return 0


def sign_in_through_onboarding(road, before_done=None):
    road.step("Starting Tavrel for the first time")
    road.start_program()
    welcome = road.wait("the onboarding window", lambda: road.find(lambda role, name: name == "Welcome to Tavrel"))
    road.note("onboarding shows: " + ", ".join(t for t in road.texts()[:8]))
    road.shot("onboarding")
    sign_in_from_onboarding(road, before_done)


def sign_in_from_onboarding(road, before_done=None):
    """Sign In on the onboarding window, the browser's Allow, (before_done,) then Done."""
    road.step("Sign In")
    road.click(road.button("Sign In"))
    road.note("the browser opens the local service's page and presses Allow")
    done = road.button("Done")
    with open(os.path.join(WORK, "browser.log")) as log:
        lines = [line.strip() for line in log]
    for line in lines:
        road.note(line)
    # A browser in the program's session would share its fate: a Ctrl+C in the program's terminal.
    sessions = [line.split()[-1] for line in lines if line.startswith("browser: session ")]
    if not sessions or int(sessions[-1]) == os.getsid(road.program.pid):
        raise StepFailed("the browser runs in the program's session")
    road.note(f"the browser's session {sessions[-1]} is not the program's ({os.getsid(road.program.pid)})")
    road.dump("signed in")
    signed_in = road.find(lambda role, name: name.startswith("Signed in as"))
    if signed_in:
        road.note(signed_in.name)
    road.shot("signed-in")
    if before_done:
        before_done()

    road.step("Done")
    road.click(done)
    road.wait("the onboarding window to close",
              lambda: road.find(lambda role, name: name == "Welcome to Tavrel") is None)
    road.shot("onboarding-closed")


def see_tray_icon(road):
    road.step("The tray icon")
    icon = road.wait("the tray icon", road.tray_icon)
    road.note(f"at {icon[0]},{icon[1]} in the panel's tray")
    ratio, panel, colour = icon_contrast(road.shot("tray-icon"), road.tray_icon_box())
    road.note(f"icon {colour} on the panel's {panel}: contrast {ratio:.1f}:1")
    return ratio


def walk(road, items):
    sign_in_through_onboarding(road)
    ratio = see_tray_icon(road)
    if ratio < ICON_CONTRAST:
        raise StepFailed(f"the tray icon hardly shows on the dark panel (contrast {ratio:.1f}:1)")

    road.step("The popover")
    road.open_popover()
    road.dump("popover")
    road.shot("popover")

    road.step("Choosing " + ", ".join(os.path.basename(i.rstrip('/')) for i in items))
    road.click(road.button("Choose files or folders"))

    def dialog():
        return road.find(lambda role, name: role in ("dialog", "frame", "window") and name.startswith("Choose Files"))
    name_field = road.wait("the file dialog", lambda: road.find(
        lambda role, name: role == "text" and "name" in name.lower()) or dialog())
    road.dump("file dialog")
    road.shot("file-dialog")
    field = road.find(lambda role, name: role == "text" and "name" in name.lower())
    if field is not None:
        road.click(field)
    if len(items) == 1:
        road.type_text(items[0])
    else:
        folder = os.path.dirname(items[0])
        road.type_text(folder)
        road.keys("Return")
        time.sleep(0.5)
        road.type_text(" ".join('"' + os.path.relpath(i, folder) + '"' for i in items))
    road.keys("Return")
    del name_field
    road.wait("the file dialog to close", lambda: dialog() is None)
    popover_has_the_keyboard_back(road)

    road.step("Sending")
    progress = []
    error = None
    road.open_popover()
    road.shot("sending")
    sending_since = moved_at = time.monotonic()
    mark = None
    while not error:
        if time.monotonic() - moved_at > STALL_LIMIT:
            road.dump("sending stalled")
            raise StepFailed(f"the transfer made no progress for {STALL_LIMIT:.0f} s "
                             f"({time.monotonic() - sending_since:.0f} s after it started; last seen: "
                             f"{'; '.join(mark or ()) or 'nothing'})")
        if road.program.poll() is not None:
            raise StepFailed(f"the program ended (status {road.program.returncode}) while sending")
        texts = road.texts()
        for text in texts:
            if re.search(r"percent|preparing|uploading|%", text, re.I) and "Upload progress" not in text \
                    and ", failed " not in text and text not in progress:
                progress.append(text)
                road.note("progress: " + text)
            if "couldn’t" in text or "can’t" in text or ", failed " in text:
                error = text
        if (seen := progress_mark(texts)) != mark:
            mark, moved_at = seen, time.monotonic()
        if displayed_notifications():
            # The link is ready: what follows is the walk's own pace (the slow-link benchmark times
            # the program up to here).
            road.note("the completion notification is shown")
            break
        time.sleep(0.3)
    if not progress:
        road.note("(it finished before a progress frame was seen)")
    road.open_popover()
    time.sleep(0.5)
    road.dump("sent")
    road.shot("sent")
    if error:
        # The program's own words, as the popover or the notification showed them.
        shown = [t for t in road.texts() if "couldn’t" in t or "can’t" in t or ", failed " in t]
        for text in [error] + [t for t in shown if t != error]:
            print("Tavrel says: " + text, flush=True)
        raise StepFailed("the program reported an error")

    road.step("The notification")
    # After a long transfer it may have timed out on screen while the popover was brought back: it is
    # in the notification server's history then.
    road.wait("a notification", lambda: displayed_notifications() or road.notifications())
    road.shot("notification")
    seen = road.notifications()
    for summary, body in seen:
        road.note(f"“{summary}” — {body}")
    error = next((f"{summary}: {body}" for summary, body in seen if summary == "Transfer failed"), None)
    if error:
        print("Tavrel says: " + error, flush=True)
        raise StepFailed("the program reported an error")
    completed = [body for summary, body in seen if summary == "Transfer completed"]
    if not completed:
        raise StepFailed("no notification said the transfer completed")
    # The program names the transfer (several files take their folder's name): the recent row has it.
    title = completed[-1].removesuffix(" is ready to share.")

    road.step("The hot key opens the popover")
    if road.popover_open():
        road.close_popover()
        road.shot("popover-closed")
    road.keys("ctrl+super+m")
    road.wait("the popover", road.popover_open)
    road.shot("hot-key")

    road.step("Copying the share link")
    link = copy_recent_link(road, title)
    print("Share link: " + link, flush=True)

    road.step("Fetching the link and comparing the bytes")
    context = ssl.create_default_context(cafile=CA)
    expected = expected_files(items)
    downloads = fetch_and_compare(road, link, expected, context)

    dragged_link = walk_drag(road, link, context)
    shared_link, shared_expected, shared_downloads = walk_share(road, dragged_link, context)
    edited_link, _ = walk_edited_mid_upload(road, shared_link, context)

    if ROAD == "full":
        walk_restart_and_sign_out(road, title)
        road.step("The shared links still download after signing out")
        for files, found in ((expected, downloads), (shared_expected, shared_downloads)):
            for relative, path in sorted(files.items()):
                url = listed(found, relative)[0]
                if hashlib.sha256(fetch(url, context)).hexdigest() != digest_of(path):
                    raise StepFailed(f"{relative}: gone or changed after signing out")
        road.note("every file still downloads identical")
        road.shot("still-shared")

    print(f"PASS: {len(expected)} file(s) sent, shared at {link}, downloaded back identical; "
          f"a file dragged from the file manager onto the popover is shared at {dragged_link}, identical too; "
          f"{len(shared_expected)} sent with Send with Tavrel, shared at {shared_link}, identical too; "
          f"a file edited while it uploaded failed as changed, and sent again is shared at {edited_link}.", flush=True)


def progress_mark(texts):
    """What shows how far a transfer has come: its row's state and percentage, and the bytes sent
    (the part of its detail before the rate and the time left, which change without progress)."""
    mark = []
    for text in texts:
        if re.search(r"percent|preparing|ready to upload", text, re.I) and "Upload progress" not in text:
            mark.append(text)
        elif " • " in text and "/s • " in text:
            mark.append(text.split(" • ", 1)[0])
    return tuple(sorted(mark))


def copy_recent_link(road, title, previous=""):
    """Copies the link of the recent row named title; returns it once the clipboard holds a link other
    than previous."""
    road.open_popover()
    def recent_row():
        return road.find(lambda role, name: role == "push button" and name.startswith(title + ","))
    row = road.wait(f"the recent row of “{title}”", recent_row)
    road.note("recent row: " + row.name)
    # The row shows its copy button while the pointer is over it; the one inside this row is taken,
    # not another row's or the activity section's. The list may be rebuilt meanwhile (the recent
    # transfers arrive from the service), taking the row's objects with it: each look finds the row
    # again.
    def copy_button():
        row = recent_row()
        if row is None:
            return None
        road.hover(row, recent_row)
        for node, role, name in road.objects():
            if role in ("push button", "button") and name.startswith("Copy") and road.inside(node, row):
                return node
        return None
    copy = road.wait("the recent row's copy button", copy_button)
    road.shot("recent-row")
    road.click(copy, copy_button)

    def clipboard():
        text = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True, text=True).stdout.strip()
        return text if text and text != previous else None
    link = road.wait("the link on the clipboard", clipboard)
    road.note("share link: " + link)
    road.shot("link-copied")
    return link


def fetch_and_compare(road, link, expected, context):
    """Fetches the shared page and every expected file from it, comparing bytes; returns the page's
    download addresses by name."""
    page = fetch(link, context).decode("utf-8", "replace")
    reader = LinkReader()
    reader.feed(page)
    downloads = Downloads((name, urllib.parse.urljoin(link, href)) for href, name in reader.links if "/files/" in href)

    def compare(item):
        relative, path = item
        matches = listed(downloads, relative)
        if not matches:
            return relative, None, False
        size, digest = fetch_digest(matches[0], context)
        return relative, size, digest == digest_of(path)

    # A few at a time: a big folder is many small downloads.
    pool = concurrent.futures.ThreadPoolExecutor(max_workers=8)
    try:
        for index, (relative, size, same) in enumerate(pool.map(compare, sorted(expected.items()))):
            if size is None:
                shown = sorted(downloads)[:20]
                more = f" and {len(downloads) - len(shown)} more" if len(downloads) > len(shown) else ""
                raise StepFailed(f"the shared page does not list {relative} (it lists {shown}{more})")
            if not same:
                raise StepFailed(f"{relative}: the downloaded bytes differ from the file's")
            if index < NOTED_FILES:
                road.note(f"{relative}: {size} bytes, identical")
    finally:
        # A failure stops the downloads still waiting.
        pool.shutdown(wait=True, cancel_futures=True)
    if len(expected) > NOTED_FILES:
        road.note(f"... and {len(expected) - NOTED_FILES} more files, each identical")
    road.shot("link-fetched")
    if len(downloads) != len(expected):
        raise StepFailed(f"the shared page lists {len(downloads)} files, {len(expected)} were sent")
    return downloads


def make_shared_file():
    folder = os.path.join(WORK, "Documents")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "Field notes.txt")
    with open(path, "w") as file:
        file.write("Sent with Send with Tavrel from the file manager.\n")
        file.write(os.urandom(3000).hex() + "\n")
    return path


def make_dragged_file():
    folder = os.path.join(WORK, "Pictures")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "Harbour sketch.bin")
    with open(path, "wb") as file:
        file.write(os.urandom(2 * 1024 * 1024 + 123))
    return path


def walk_drag(road, previous_link, context):
    """A file dragged from the file manager's window onto the open popover with the pointer: the
    popover must stay open while the press in the other program starts the drag, show its drop
    overlay, take the drop and send the file. Returns its link."""
    path = make_dragged_file()
    name = os.path.basename(path)
    road.step(f"Dragging “{name}” from the file manager onto the popover")
    road.close_popover()
    road.start_file_manager(os.path.dirname(path))
    item = road.file_manager_item(name)
    road.open_popover()
    popover = road.window_of(road.popover_open())
    start, end = road.placed_centre(item), road.placed_centre(popover)
    road.note(f"“{name}” at {start}; the popover's centre at {end}")
    road.shot("before-drag")
    road.drag(start, end)
    try:
        road.wait("the popover's drop overlay", lambda: road.find(
            lambda role, text: text == "Drop to start a transfer"), timeout=10)
        road.shot("dragging")
    finally:
        road.release()
    road.note("dropped on the popover")
    # Taken as a copy: the file manager keeps its file, and the popover stays open after the drop.
    if not os.path.isfile(path):
        raise StepFailed("the file left the file manager's folder: the drop was taken as a move")
    if not road.popover_open():
        raise StepFailed("the popover closed after the drop")
    road.shot("dropped")
    # The file manager kept the focus: a plain click there, not a drag, still closes the popover.
    road.click_at(start[0], start[1] + 150)
    road.wait("the popover to close after a click in the file manager", lambda: road.popover_open() is None,
              timeout=10)
    road.note("a click in the file manager's list closed the popover")
    road.step("The program sends it: the notification")
    link, _, _ = link_and_compare(road, path, previous_link, context, "drag-notification")
    return link


def walk_share(road, previous_link, context):
    """A file sent from Thunar's "Send To" → "Send with Tavrel": the share program's sheet, Create
    Link, the running program uploads it. Returns its link, the files expected behind it and the
    page's download addresses."""
    path = make_shared_file()
    hand_over(road, path, f"Send with Tavrel: “{readable(os.path.basename(path))}” from Thunar's Send To menu",
              launch=send_to_from_file_manager)
    road.step("The program sends it: the notification")
    return link_and_compare(road, path, previous_link, context, "share-notification")


def launch_share_entry(road, path):
    """As a file manager opens the selection with the share program's desktop entry."""
    # Its output goes to a file: the share program inherits it, and a pipe would stay open until it ends.
    launch_log = os.path.join(WORK, "launch.log")
    with open(launch_log, "w") as log:
        launched = subprocess.run(["gio", "launch", SHARE_ENTRY, path], stdin=subprocess.DEVNULL, stdout=log,
                                  stderr=log)
    if launched.returncode != 0:
        raise StepFailed("the share program's desktop entry did not start: " + open(launch_log).read().strip())


def send_to_from_file_manager(road, path):
    """A right click on the file in Thunar's list, "Send To", then "Send with Tavrel": the entry the
    build installs under Thunar/sendto, found by Thunar along XDG_DATA_DIRS."""
    name = os.path.basename(path)
    road.start_file_manager(os.path.dirname(path))
    item = road.file_manager_item(name)
    x, y = road.placed_centre(item)
    subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y)], check=True)
    time.sleep(0.15)
    subprocess.run(["xdotool", "click", "3"], check=True)

    def menu_item(label):
        return lambda: road.find(lambda role, text: role in ("menu", "menu item") and text == label,
                                 app_name=FILE_MANAGER_NAME)
    send_to = road.wait("“Send To” in Thunar's menu", menu_item("Send To"))
    road.click(send_to)
    entry = road.wait("“Send with Tavrel” under Send To", menu_item("Send with Tavrel"))
    road.shot("send-to-menu")
    road.click(entry)
    road.note(f"“{name}”: Send To → Send with Tavrel in Thunar")


def hand_over(road, path, title=None, launch=launch_share_entry):
    """Sends one file as a file manager's "Send with Tavrel" does (launch starts the share program
    with it), until the share sheet has handed it to the program and closed."""
    name = readable(os.path.basename(path))
    road.step(title or f"Send with Tavrel: “{name}” from the file manager")
    road.close_popover()
    if os.path.exists(SHARE_STATUS):
        os.remove(SHARE_STATUS)
    launch(road, path)

    def ready():
        create = road.find(lambda role, text: role in ("push button", "button") and text == "Create Link",
                           app_name=SHARE_NAME)
        return create if create is not None and road.enabled(create) else None
    create = road.wait("the share sheet, ready", ready)
    road.dump("share sheet")
    shown = road.texts(app_name=SHARE_NAME)
    road.note("the sheet shows: " + ", ".join(shown))
    if not any(name in text for text in shown):
        raise StepFailed(f"the share sheet does not name {name}")
    if not any(text.startswith("1 item · ") for text in shown):
        raise StepFailed("the share sheet's summary is not one item with its size")
    road.shot("share-sheet")

    road.step("Create Link")
    road.click(create)

    def closed():
        if os.path.exists(SHARE_STATUS):
            return open(SHARE_STATUS).read().strip() or "?"
        if road.find(lambda role, text: text == "Unable to create link", app_name=SHARE_NAME):
            return "failed"
        return None
    outcome = road.wait("the share sheet to close", closed)
    if outcome != "0":
        road.shot("share-failed")
        # The sheet's own words, or what the share program said when it ended.
        said = [t for t in road.texts(app_name=SHARE_NAME) if t not in ("Cancel", "Retry")]
        for text in said:
            print("The share sheet says: " + text, flush=True)
        raise StepFailed(f"the share program did not hand the file over (status {outcome})")
    road.wait("the share sheet to go", lambda: road.application(SHARE_NAME) is None)
    road.note("the sheet closed: the program accepted the file")
    road.shot("share-sheet-closed")


def failure_notifications(road, name):
    return [f"{summary}: {body}" for summary, body in road.notifications()
            if summary == "Transfer failed" and name in body]


def link_and_compare(road, path, previous_link, context, shot_name, earlier_failures=0):
    """After one file was handed to the program: its "Transfer completed" notification, its recent
    row's link copied and its download compared. Returns the link, the files expected behind it and
    the page's download addresses. Failure notifications naming the file count from earlier_failures
    on (those of an earlier attempt are expected)."""
    name = readable(os.path.basename(path))
    ready_text = f"{name} is ready to share."

    def notified():
        seen = road.notifications()
        failures = [f"{summary}: {body}" for summary, body in seen if summary == "Transfer failed" and name in body]
        failed = failures[0] if len(failures) > earlier_failures else None
        if failed:
            print("Tavrel says: " + failed, flush=True)
            raise StepFailed("the program reported an error")
        return next((body for summary, body in seen if summary == "Transfer completed" and body == ready_text), None)
    body = road.wait(f"the notification that “{name}” was sent", notified, timeout=TIMEOUT * 2)
    road.note(f"“Transfer completed” — {body}")
    road.shot(shot_name)

    road.step(f"Copying the link of “{name}”")
    link = copy_recent_link(road, body.removesuffix(" is ready to share."), previous=previous_link)

    road.step("Fetching it and comparing the bytes")
    expected = expected_files([path])
    downloads = fetch_and_compare(road, link, expected, context)
    return link, expected, downloads


# Large enough that the local service is still receiving it when the user edits it.
EDITED_SIZE = 512 * 1024 * 1024


def make_large_file():
    """A large file, mostly a hole with random blocks every 16 MiB: quick to make, and any mix of
    two versions, shift or cut hashes differently."""
    folder = os.path.join(WORK, "Recordings")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "Session recording.bin")
    with open(path, "wb") as file:
        file.truncate(EDITED_SIZE)
        for offset in range(0, EDITED_SIZE, 16 << 20):
            file.seek(offset)
            file.write(os.urandom(4096))
    return path


# The local service has files of 8 MiB and more sent in parts of 5 MiB; the engine keeps two parts in
# flight, so it has read at most two parts more than storage holds.
PART_SIZE = 5 << 20


def last_part_unread(percent, size):
    """Whether an upload of size bytes that has sent percent of them (rounded down) cannot have read
    its last part yet."""
    last_part = (size - 1) // PART_SIZE * PART_SIZE
    return (percent + 1) * size // 100 + 2 * PART_SIZE <= last_part


def upload_percent(road, name):
    """The percent name's activity row shows while it uploads, as a 1-tuple (0 is a value); fails
    when the file failed or was sent whole already. The popover need not be open."""
    for _, role, text in road.objects(only_showing=False):
        found = re.match(re.escape(name) + r", uploading, (\d+) percent$", text)
        if found:
            return (int(found.group(1)),)
        if text.startswith(name + ", failed"):
            raise StepFailed("it failed before the edit: " + text)
        if role == "push button" and text.startswith(name + ","):
            raise StepFailed("it was sent whole before the edit could land")
    return None


@contextlib.contextmanager
def upload_held(road, path):
    """Once the upload of the file at path is under way, holds the service until the block ends,
    having checked that the upload stopped short of the file's last part."""
    name = os.path.basename(path)
    seen = road.wait("the upload under way", lambda: upload_percent(road, name), timeout=TIMEOUT * 2)
    road.note(f"{name}: uploading, {seen[0]} percent")
    with road.service_held():
        def settled():
            first = upload_percent(road, name)
            time.sleep(0.5)
            second = upload_percent(road, name)
            return second if first == second else None
        percent = road.wait("the upload to hold still", settled, timeout=15)[0]
        if not last_part_unread(percent, os.path.getsize(path)):
            raise StepFailed(f"the upload was {percent} percent along when the service was held: its last "
                             "part may be read already, so an edit could go unnoticed")
        road.note(f"the service is held; the upload stands at {percent} percent")
        yield


def edit_unread_tail(path):
    """Changes a few bytes near the end of path, in its last part, which a held upload short of it has
    not read: the program must notice the change when it reads on."""
    with open(path, "r+b") as file:
        file.seek(os.path.getsize(path) - 4096 + 123)
        file.write(b"a few bytes changed by the user")


def changed_failure_row(road, name):
    """Waits for name's row saying the file changed while it was sent; any other end fails."""
    expected = (f"{name}, failed uploading, “{name}” changed while it was being sent. "
                "Send it again to upload its current contents.")

    def probe():
        for _, role, text in road.objects(only_showing=False):
            if text == expected:
                return text
            if text.startswith(name + ", failed"):
                print("Tavrel says: " + text, flush=True)
                raise StepFailed("the failure does not say the file changed")
            if role == "push button" and text.startswith(name + ","):
                raise StepFailed("the edited file was reported as sent")
        return None
    return road.wait("the failure row", probe, timeout=TIMEOUT * 2)


def walk_edited_mid_upload(road, previous_link, context):
    """The user edits a large file while it uploads: the transfer fails in a row that names the file
    and says to send it again; sent again, its new contents are what the link downloads."""
    path = make_large_file()
    name = os.path.basename(path)
    hand_over(road, path, f"Send with Tavrel: “{name}”, {EDITED_SIZE >> 20} MiB")

    road.step(f"Editing “{name}” while it uploads")
    road.open_popover()
    with upload_held(road, path):
        edit_unread_tail(path)
        road.note("wrote 31 bytes near the end of the file")
        road.shot("edited")

    road.step("The failure row")
    road.note(changed_failure_row(road, name))
    road.dump("changed file")
    road.shot("changed-file-failed")
    # Its notification may still be on its way; an earlier failure must not count against the next send.
    try:
        failures = road.wait("the failure notification", lambda: failure_notifications(road, name), timeout=10)
        road.note(failures[0])
    except StepFailed:
        failures = []
        road.note("(no failure notification)")

    hand_over(road, path, f"Sending “{name}” again")
    link, expected, _ = link_and_compare(road, path, previous_link, context, "edited-notification",
                                         earlier_failures=len(failures))
    road.note("the link downloads the edited contents")
    return link, expected


def walk_light_panel(road):
    """On a light panel the tray icon must still stand out."""
    sign_in_through_onboarding(road)
    ratio = see_tray_icon(road)
    if ratio < ICON_CONTRAST:
        raise StepFailed(f"the tray icon hardly shows on the light panel (contrast {ratio:.1f}:1, "
                         f"at least {ICON_CONTRAST:.0f}:1 needed)")
    print(f"PASS: the tray icon stands out from the light panel ({ratio:.1f}:1).", flush=True)


class LaunchedProgram:
    """The program started by another program (gio launch), as quit_program and the tray's lookup
    handle the program the walk started itself."""

    def __init__(self, pid):
        self.pid = pid

    def poll(self):
        try:
            with open(f"/proc/{self.pid}/stat") as stat:
                return 0 if stat.read().rsplit(")", 1)[1].split()[0] == "Z" else None
        except (FileNotFoundError, ProcessLookupError):
            return 0

    def send_signal(self, number):
        os.kill(self.pid, number)

    def kill(self):
        self.send_signal(signal.SIGKILL)

    def wait(self, timeout=None):
        deadline = time.monotonic() + (timeout if timeout is not None else 1e9)
        while self.poll() is None:
            if time.monotonic() > deadline:
                raise subprocess.TimeoutExpired(str(self.pid), timeout)
            time.sleep(0.1)
        return 0


def program_application(road):
    """The program's own application in the accessibility tree, once it has registered."""
    app = road.application()
    try:
        return app if app is not None and road.program and app.get_process_id() == road.program.pid else None
    except Exception:
        return None


def walk_no_tray(road):
    """No tray at all: onboarding's last screen says to open Tavrel from the applications; starting
    the program again opens its popover as a window, and so does a first start from the application
    menu, while a start at login by Open at Login shows nothing; a panel started later shows the
    icon."""
    autostart = os.path.join(os.environ.get("XDG_CONFIG_HOME", os.path.expanduser("~/.config")), "autostart",
                             "com.tavrel.macos.desktop")

    def last_screen():
        without = "Open Tavrel from your applications whenever you’re ready to send files."
        with_tray = "Look for the Tavrel icon in your menu bar whenever you’re ready to send files."
        if not road.find(lambda role, name: name == without):
            raise StepFailed("the signed-in screen does not say to open Tavrel from the applications: "
                             + " | ".join(road.texts()))
        road.note("the signed-in screen says: " + without)

        road.step("A panel with a tray starts while the screen shows, and quits again")
        road.start_helper("panel", PANEL_NAME)
        road.wait("the words for a tray", lambda: road.find(lambda role, name: name == with_tray))
        road.note("with the panel: " + with_tray)
        road.shot("signed-in-with-tray")
        road.end_helpers()
        road.wait("the words without a tray", lambda: road.find(lambda role, name: name == without))
        road.note("the panel gone: " + without)

        road.step("Open Tavrel at Login")
        road.click(road.find(lambda role, name: role == "check box" and name == "Open Tavrel at Login"))
        road.wait("the autostart entry", lambda: os.path.exists(autostart))

    sign_in_through_onboarding(road, before_done=last_screen)
    if road.registered_tray_items():
        raise StepFailed("a tray host is running on the desktop that should have none")

    road.step("Starting Tavrel again, as from the application menu")
    with open(os.path.join(WORK, "second-start.log"), "w") as log:
        again = subprocess.Popen([PROGRAM], stdin=subprocess.DEVNULL, stdout=log, stderr=log)
    try:
        road.wait("the popover's window", road.popover_open)
    finally:
        try:
            status = again.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            again.kill()
            again.wait()
            raise StepFailed("the second start did not end")
    if status != 0:
        raise StepFailed(f"the second start ended with status {status}")
    window = road.window_of(road.popover_open())
    road.note(f"the popover shows as the window “{window.name if window else '?'}”; the second start ended")
    road.dump("popover window")
    road.shot("popover-window")

    road.step("Quitting, then starting what Open at Login starts at the next login")
    road.quit_program()
    with open(autostart) as entry:
        execs = [line[len("Exec="):].strip() for line in entry if line.startswith("Exec=")]
    road.note("the autostart entry starts: " + (execs[0] if execs else "nothing"))
    if not execs:
        raise StepFailed("the autostart entry starts nothing")
    road.program = subprocess.Popen(shlex.split(execs[0]))
    road.wait("the program to run", lambda: program_application(road))
    time.sleep(5)
    if road.popover_open() or road.find(lambda role, name: name == "Welcome to Tavrel"):
        road.shot("login-start-showed")
        raise StepFailed("the start at login showed a window")
    road.note("5 s after it registered, the program at login shows no window")
    road.shot("login-start")

    road.step("Quitting, then starting from the application menu (gio launch of its desktop entry)")
    road.quit_program()
    entry = os.path.join(os.environ.get("XDG_DATA_HOME", os.path.expanduser("~/.local/share")), "applications",
                         "com.tavrel.macos.desktop")
    with open(os.path.join(WORK, "menu-start.log"), "w") as log:
        subprocess.run(["gio", "launch", entry], stdin=subprocess.DEVNULL, stdout=log, stderr=log, check=True,
                       timeout=TIMEOUT)
    started = time.monotonic()
    shown = road.wait("the popover's window", road.popover_open)
    road.program = LaunchedProgram(road.application().get_process_id())
    window = road.window_of(shown)
    road.note(f"the first start shows the popover as the window “{window.name if window else '?'}” "
              f"{time.monotonic() - started:.1f} s after gio launch returned")
    road.shot("menu-start")

    road.step("A panel with a tray starts later")
    road.start_helper("panel", PANEL_NAME)
    see_tray_icon(road)
    print("PASS: without a tray onboarding said to open Tavrel from the applications (and followed a panel that came "
          "and went), a start from the menu opened "
          "the popover (the first one too), a start at login showed nothing, and a later tray shows the icon.",
          flush=True)


def walk_restart_and_sign_out(road, title):
    road.step("Quitting and starting again: the session comes back from the keyring")
    browser_log = os.path.join(WORK, "browser.log")
    browser_starts = open(browser_log).read().count("browser: opened")
    road.quit_program()
    road.start_program()
    road.wait("the tray icon", road.tray_icon)
    # With a tray a start shows the icon alone.
    time.sleep(1)
    if road.popover_open():
        raise StepFailed("a start on a desktop with a tray opened the popover")
    road.open_popover()
    # Only a signed-in session lists the account's recent transfers.
    road.wait(f"the recent row of “{title}”", lambda: road.find(
        lambda role, name: role == "push button" and name.startswith(title + ",")))
    if road.find(lambda role, name: name == "Welcome to Tavrel"):
        raise StepFailed("onboarding showed again after a restart")
    if open(browser_log).read().count("browser: opened") != browser_starts:
        raise StepFailed("the restart opened the browser")
    road.shot("restored")

    road.step("Signing out")
    sign_out(road)


def sign_out(road):
    road.open_popover()
    road.click(road.find(lambda role, name: name == "Tavrel menu"))
    time.sleep(0.5)
    road.shot("menu")
    # Qt's menus are not in its accessibility tree here: the keyboard walks up from the bottom entry,
    # "Quit Tavrel", to "Sign Out" above it.
    road.keys("Up")
    road.keys("Up")
    road.keys("Return")
    road.wait("the onboarding window", lambda: road.find(lambda role, name: name == "Welcome to Tavrel"))
    road.shot("signed-out")


# --- the long road -------------------------------------------------------------------------------

def make_numbered_file(number):
    folder = os.path.join(WORK, "Daily")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, f"Report {number:02d}.txt")
    with open(path, "w") as file:
        file.write(f"Report {number} of a program that stays in the tray.\n")
        file.write(os.urandom(2000 + number).hex() + "\n")
    return path


def send_after_a_pause(road, number, idle_since):
    """Waits until the service has closed the program's idle connections, then sends one more file
    with Send with Tavrel and waits for its notification; nothing may fail on the way."""
    pause = KEEP_ALIVE + 1.5 - (time.monotonic() - idle_since)
    if pause > 0:
        time.sleep(pause)
    path = make_numbered_file(number)
    name = os.path.basename(path)
    hand_over(road, path, title=f"Transfer {number} of {LONG_ROAD_TRANSFERS}: “{name}”, after a pause")

    def notified():
        seen = road.notifications()
        failed = [f"{summary}: {body}" for summary, body in seen if summary == "Transfer failed"]
        if failed:
            for text in failed:
                print("Tavrel says: " + text, flush=True)
            raise StepFailed(f"a transfer failed after {number - 1} went through")
        return any(summary == "Transfer completed" and body == f"{name} is ready to share." for summary, body in seen)
    road.wait(f"the notification that “{name}” was sent", notified, timeout=TIMEOUT * 2)
    road.note("“Transfer completed”")
    return name


def expect_recent_row(road, name):
    """The popover lists the file just sent, and no load of the recent list failed."""
    road.open_popover()
    title = os.path.splitext(name)[0]
    def listed_or_failed():
        if road.find(lambda role, text: text == "Couldn’t load recent transfers"):
            return "failed"
        return road.find(lambda role, text: role == "push button" and (text.startswith(name + ",")
                                                                        or text.startswith(title + ",")))
    found = road.wait(f"the recent row of “{name}”", listed_or_failed)
    if found == "failed":
        road.shot("recent-failed")
        raise StepFailed("the popover could not load the recent transfers")
    road.close_popover()


def quit_from_the_popover(road):
    """Quit Tavrel from the popover's menu, the last entry."""
    road.open_popover()
    road.click(road.find(lambda role, name: name == "Tavrel menu"))
    time.sleep(0.5)
    road.shot("menu-quit")
    road.keys("Up")
    road.keys("Return")


def walk_long(road):
    sign_in_through_onboarding(road)
    road.wait("the tray icon", road.tray_icon)
    road.note(f"the local service closes connections idle for {KEEP_ALIVE:g} s and answers revokes "
              f"after {REVOKE_DELAY:g} s")
    started = time.monotonic()
    idle_since = time.monotonic()
    for number in range(1, LONG_ROAD_TRANSFERS + 1):
        name = send_after_a_pause(road, number, idle_since)
        if number % 5 == 0:
            road.step(f"The recent list after {number} transfers")
            expect_recent_row(road, name)
        idle_since = time.monotonic()
        if number == LONG_ROAD_SIGN_OUT_AFTER:
            road.step("Signing out midway")
            sign_out(road)
            road.note("the revoke is held at the service; signing out never waits for it")
            sign_in_from_onboarding(road)
            road.wait("the tray icon", road.tray_icon)
            idle_since = time.monotonic()
    road.note(f"{LONG_ROAD_TRANSFERS} transfers in {time.monotonic() - started:.0f} s, none failed")

    # A signed-out program has no popover to quit from: the user signs in again, and quits while the
    # sign-out's revoke is still unanswered.
    road.step("Signing out, signing in again, then quitting while the service holds the revoke")
    sign_out(road)
    sign_in_from_onboarding(road)
    road.wait("the tray icon", road.tray_icon)
    quit_from_the_popover(road)
    asked = time.monotonic()
    try:
        status = road.program.wait(QUIT_LIMIT + 5)
    except subprocess.TimeoutExpired:
        raise StepFailed(f"the program did not quit within {QUIT_LIMIT + 5} s while a revoke was unanswered")
    took = time.monotonic() - asked
    road.note(f"the program ended {took:.1f} s after Quit, with status {status}")
    road.program = None
    if status != 0:
        raise StepFailed(f"the program ended with status {status} when quit during a revoke")
    if took > QUIT_LIMIT:
        raise StepFailed(f"quitting during a revoke took {took:.1f} s")
    road.shot("quit")
    print(f"PASS: {LONG_ROAD_TRANSFERS} transfers through one running program, each after the service had "
          f"closed its idle connections, with a sign-out and sign-in midway; quit during a revoke in "
          f"{took:.1f} s.", flush=True)


# --- the keyboard road ---------------------------------------------------------------------------

def focused_object(road):
    """The control that has the keyboard focus in the program, or None."""
    for node, role, _ in road.objects(only_showing=False):
        if role in ("frame", "window", "dialog", "filler", "panel", "application"):
            continue
        try:
            if node.getState().contains(pyatspi.STATE_FOCUSED):
                return node
        except Exception:
            continue
    return None


def focus_key(node):
    """What tells one focused control from another (two rows' "Cancel" differ by place)."""
    if node is None:
        return None
    try:
        box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return node.getRoleName(), node.name, box.x, box.y
    except Exception:
        return None


def tab_to(road, what, predicate, backwards=False, presses=30):
    """Presses Tab (Shift+Tab backwards) until the focused control satisfies predicate(node, role,
    name); returns it. After each press it waits for the focus to move: a busy program still
    handling one press would otherwise be pressed past the target."""
    node = focused_object(road)
    for _ in range(presses):
        if node is not None:
            try:
                if predicate(node, node.getRoleName(), node.name or ""):
                    road.note(f"focus on “{node.name}”")
                    return node
            except Exception:
                pass
        before = focus_key(node)
        road.keys("shift+Tab" if backwards else "Tab")
        try:
            node = road.wait("the focus to move", lambda: (lambda now: now if focus_key(now) != before else None)(
                focused_object(road)), timeout=3)
        except StepFailed:
            node = focused_object(road)  # a chain of one control keeps the focus where it is
    road.dump(f"Tab never reached {what}")
    raise StepFailed(f"Tab never reached {what}")


def wait_focus(road, what, name):
    """Waits for the focus on the control named name, in the window the keyboard types into."""
    def probe():
        node = focused_object(road)
        try:
            return node if node.name == name and active(road.window_of(node)) else None
        except Exception:
            return None
    return road.wait(f"the focus on {what}", probe)


def active(accessible):
    try:
        return accessible is not None and accessible.getState().contains(pyatspi.STATE_ACTIVE)
    except Exception:
        return False


def choose_by_keyboard(road, path):
    """Return on the popover opens the file dialog; the path is typed into its name field once that
    has the keyboard, and Return accepts it."""
    def dialog():
        return road.find(lambda role, name: role in ("dialog", "frame", "window") and name.startswith("Choose Files"))

    def name_field():
        node = focused_object(road)
        try:
            return node if node.getRoleName() == "text" and node.name == "File name:" else None
        except Exception:
            return None
    road.keys("Return")
    road.wait("the file dialog to take the keyboard", lambda: (lambda window: window if active(window) else None)(
        dialog()))
    field = road.wait("the focus on the file name field", name_field)
    road.type_text(path)

    def typed():
        try:
            return field.queryText().getText(0, -1) == path
        except Exception:
            return False
    road.wait("the typed path in the file name field", typed, timeout=10)
    road.keys("Return")
    road.wait("the file dialog to close", lambda: dialog() is None)


def popover_has_the_keyboard_back(road):
    """Once the file dialog has closed, the popover it was opened from has the keyboard again, with
    nothing pressed or clicked meanwhile: it is the active window, and Escape closes it."""
    road.wait("the popover to have the keyboard back", lambda: (
        lambda shown: shown if shown is not None and active(road.window_of(shown)) else None)(road.popover_open()))
    road.keys("Escape")
    road.wait("Escape to close the popover", lambda: road.popover_open() is None)
    road.note("the popover had the keyboard back; Escape closed it")


def open_popover_by_keyboard(road):
    """The hot key shows the popover, or brings an open one back to the keyboard."""
    road.keys("ctrl+super+m")
    road.wait("the popover to take the keyboard", lambda: active(road.window_of(road.popover_open())
                                                                  if road.popover_open() else None))


def expect_heard(road, where, expected):
    """Each (role, name) shown on screen is in the accessibility tree, showing, with that role."""
    present = {(role, name) for node, role, name in road.objects()}
    missing = [f"{role} “{name}”" for role, name in expected if (role, name) not in present]
    if missing:
        road.dump(f"not heard on {where}")
        raise StepFailed(f"not in the accessibility tree on {where}: " + ", ".join(missing))
    road.note(f"{where}: all {len(expected)} texts heard with their roles")


def check_rows_are_single_elements(road):
    """Each activity row is one element with one label: a label (or group) whose only children are
    its buttons, none of its own texts repeated as elements of their own."""
    rows = [(node, name) for node, role, name in road.objects(only_showing=False)
            if re.search(r", (queued|uploading, \d+ percent|preparing files|failed (uploading|preparing), )", name)]
    if not rows:
        raise StepFailed("no activity row in the accessibility tree")
    for node, name in rows:
        inner = [(child.getRoleName(), child.name) for child in (node.getChildAtIndex(i) for i in range(node.childCount))
                 if child is not None]
        if any(role not in ("push button", "button") for role, _ in inner):
            raise StepFailed(f"the row “{name}” is not one element: {inner}")
        road.note(f"row “{name}” ({node.getRoleName()}), with {', '.join(n for _, n in inner) or 'no button'}")


def menu_over_accessibility(road):
    """Opens the popover's menu from the keyboard and collects what assistive technology is told
    about it: the focus moving onto its entries, and each entry's siblings with their states."""
    from gi.repository import GLib
    events = []

    def on_focus(event):
        if event.detail1 == 1:
            events.append(event.source)
    pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")
    try:
        menu_button = tab_to(road, "the menu button", lambda node, role, name: name == "Tavrel menu")
        del menu_button
        road.keys("Return")
        # Down selects the first entry once the menu is open; pressed again until one is announced,
        # however long the menu takes to open.
        for _ in range(8):
            road.keys("Down")
            deadline = time.monotonic() + 1
            while time.monotonic() < deadline and not any(_role_of(e) == "menu item" for e in events):
                GLib.MainContext.default().iteration(False)
                time.sleep(0.05)
            if any(_role_of(e) == "menu item" for e in events):
                break
        road.shot("menu-by-keyboard")
        entry = next((e for e in events if _role_of(e) == "menu item"), None)
        if entry is None:
            road.keys("Escape")
            raise StepFailed("the menu's entries were never announced")
        menu = entry.parent
        entries = []
        for index in range(menu.childCount):
            child = menu.getChildAtIndex(index)
            states = child.getState()
            flags = [flag for flag, state in (("checked", pyatspi.STATE_CHECKED), ("disabled", None))
                     if (state is not None and states.contains(state))
                     or (state is None and not states.contains(pyatspi.STATE_ENABLED))]
            entries.append(f"{child.name or '—'}{' (' + ', '.join(flags) + ')' if flags else ''}")
            if child.name and not action_names(child):
                raise StepFailed(f"the menu entry “{child.name}” offers no action over AT-SPI")
        road.note("menu (announced): " + "; ".join(entries))
        road.note(f"“{entry.name}” offers over AT-SPI: {', '.join(action_names(entry))}")
        # The menu is Qt's own: its entries press over AT-SPI as they are, and "Open at Login" turns
        # the autostart entry over while the menu stays open.
        open_at_login = next((child for child in (menu.getChildAtIndex(i) for i in range(menu.childCount))
                              if child is not None and child.name == "Open at Login"), None)
        if open_at_login is None:
            raise StepFailed("the announced menu has no “Open at Login”")
        was_on = launch_at_login_entry_on()
        do_action(road, open_at_login, "Press")
        road.wait(f"the menu's “Open at Login” to turn it {'off' if was_on else 'on'}",
                  lambda: launch_at_login_entry_on() != was_on or None, timeout=10)
        in_tree = any(role == "menu item" for _, role, _ in road.objects(only_showing=False))
        road.note("menu entries " + ("are" if in_tree else "are not") + " under the program in the tree walk")
        road.keys("Escape")
        return entries
    finally:
        pyatspi.Registry.deregisterEventListener(on_focus, "object:state-changed:focused")


def _role_of(accessible):
    try:
        return accessible.getRoleName()
    except Exception:
        return ""


def action_names(accessible):
    try:
        action = accessible.queryAction()
        return [action.getName(index) for index in range(action.nActions)]
    except Exception:
        return []


def do_action(road, accessible, name):
    """Runs the element's action called name over AT-SPI (DoAction), as a screen reader, voice
    control or switch access presses a control: no pointer, no keyboard focus."""
    label = accessible.name
    names = action_names(accessible)
    if name not in names:
        raise StepFailed(f"“{label}” offers no {name} action over AT-SPI: {names}")
    if not accessible.queryAction().doAction(names.index(name)):
        raise StepFailed(f"“{label}” refused its {name} action")
    road.note(f"{name} on “{label}” over AT-SPI")


def launch_at_login_entry_on():
    """Whether the desktop's autostart folder holds the program's entry, not hidden."""
    path = os.path.join(os.environ["XDG_CONFIG_HOME"], "autostart", "com.tavrel.macos.desktop")
    try:
        with open(path) as entry:
            return not any(line.strip() == "Hidden=true" for line in entry)
    except FileNotFoundError:
        return False


def toggle_open_at_login_over_accessibility(road):
    """The check box's Toggle, then its Press, each turn "Open Tavrel at Login" over as a click does:
    the desktop's autostart entry follows, and so does the box's checked state."""
    def toggle():
        return road.find(lambda role, name: role == "check box" and name == "Open Tavrel at Login")

    def checked():
        return toggle().getState().contains(pyatspi.STATE_CHECKED)
    for action in ("Toggle", "Press"):
        before = checked()
        do_action(road, toggle(), action)
        road.wait(f"“Open Tavrel at Login” to turn {'off' if before else 'on'}", lambda: (
            checked() != before and launch_at_login_entry_on() != before) or None, timeout=10)
        road.note(f"the box is {'un' if before else ''}checked and the autostart entry "
                  f"{'gone' if before else 'there'}")


KEYBOARD_LARGE_SIZE = 256 * 1024 * 1024


def make_long_upload():
    """A file whose upload is still short of its last parts when the walk first sees it under way (the
    held service then keeps it in flight): mostly a hole, with random blocks every 16 MiB."""
    path = os.path.join(WORK, "Long recording.bin")
    with open(path, "wb") as file:
        file.truncate(KEYBOARD_LARGE_SIZE)
        for offset in range(0, KEYBOARD_LARGE_SIZE, 16 << 20):
            file.seek(offset)
            file.write(os.urandom(4096))
    return path


def walk_keyboard(road):
    """The main road without a pointer: signing in, sending a file, cancelling a queued transfer,
    retrying a failed one and copying a recent link, with Tab, Shift+Tab, Return, Space and Escape
    (and the program's hot key to open its popover) only."""
    large = make_long_upload()
    large_name = os.path.basename(large)
    small = os.path.join(WORK, "Queued note.txt")
    with open(small, "w") as file:
        file.write("Waits in the queue, then is cancelled.\n")

    road.step("Starting Tavrel: the onboarding window takes the keyboard")
    road.start_program()
    road.wait("the onboarding window", lambda: road.find(lambda role, name: name == "Welcome to Tavrel"))
    wait_focus(road, "“Sign In”", "Sign In")
    # The welcome words follow the tray, whose panel may still be starting.
    road.wait("the welcome words for a tray", lambda: road.find(
        lambda role, name: name == "Tavrel lives in your menu bar and lets you share files without opening a browser."))
    road.shot("keyboard-onboarding")
    expect_heard(road, "the welcome screen", [
        ("label", "Tavrel"), ("heading", "Share Files Fast & Securely"),
        ("label", "Tavrel lives in your menu bar and lets you share files without opening a browser."),
        ("push button", "Sign In")])

    road.step("Return signs in; Return on “Done” closes onboarding")
    road.keys("Return")
    wait_focus(road, "“Done”", "Done")
    road.shot("keyboard-signed-in")
    signed_in_as = road.find(lambda role, name: name.startswith("Signed in as "))
    expect_heard(road, "the signed-in screen", [
        ("heading", "You are all set"),
        ("label", "Look for the Tavrel icon in your menu bar whenever you’re ready to send files."),
        ("check box", "Open Tavrel at Login"), ("push button", "Done"),
        ("label", signed_in_as.name if signed_in_as else "Signed in as …")])
    road.step("Assistive technology's Toggle and Press on “Open Tavrel at Login”")
    toggle_open_at_login_over_accessibility(road)
    road.keys("Return")
    road.wait("the onboarding window to close",
              lambda: road.find(lambda role, name: name == "Welcome to Tavrel") is None)

    road.step("The hot key opens the popover; Return chooses a large file")
    open_popover_by_keyboard(road)
    road.shot("keyboard-popover")  # before any click on the icon: in the corner by the panel
    wait_focus(road, "“Upload Files”", "Choose files or folders")
    expect_heard(road, "the empty popover", [
        ("push button", "Choose files or folders"), ("push button", "Tavrel menu"),
        ("label", "Drop files or folders here"), ("label", "or click Upload Files")])
    choose_by_keyboard(road, large)
    popover_has_the_keyboard_back(road)

    # The service is held from here until the edit: the large upload stays in flight, so the small
    # file queues behind it and the edit lands before its last parts are read. The row is looked for
    # at once, open popover or not: the upload does not wait for the popover.
    with upload_held(road, large):
        open_popover_by_keyboard(road)
        road.step("Tab to “Upload Files”; Return queues a small file behind the large one")
        tab_to(road, "“Upload Files”", lambda node, role, name: name == "Choose files or folders")
        choose_by_keyboard(road, small)
        popover_has_the_keyboard_back(road)
        open_popover_by_keyboard(road)
        queued_label = "Queued note.txt, queued"
        road.wait("the queued row", lambda: road.find(lambda role, name: name == queued_label, only_showing=False))
        check_rows_are_single_elements(road)
        expect_heard(road, "the popover's lists", [("heading", "Activity")])
        road.dump("keyboard: queued")
        road.shot("keyboard-queued")

        road.step("Tab to the queued row's cancel button reveals it; Space cancels")
        queued_row = road.find(lambda role, name: name == queued_label, only_showing=False)
        tab_to(road, "“Cancel queued transfer”",
               lambda node, role, name: name == "Cancel queued transfer" and road.inside(node, queued_row))
        road.shot("keyboard-cancel-focused")
        road.keys("space")
        road.wait("the queued row to go",
                  lambda: road.find(lambda role, name: name == queued_label, only_showing=False) is None)

        road.step(f"Editing “{large_name}” while it uploads makes it fail")
        edit_unread_tail(large)
    failed_prefix = f"{large_name}, failed uploading, "
    road.note(changed_failure_row(road, large_name))
    open_popover_by_keyboard(road)

    road.step("Tab to “Retry transfer”; Return sends it again")
    failed_row = road.find(lambda role, name: name.startswith(failed_prefix), only_showing=False)
    tab_to(road, "“Retry transfer”",
           lambda node, role, name: name == "Retry transfer" and road.inside(node, failed_row), backwards=True)
    road.shot("keyboard-retry-focused")
    road.keys("Return")
    road.wait("the failure row to go", lambda: road.find(
        lambda role, name: name.startswith(failed_prefix), only_showing=False) is None)

    def sent():
        return road.find(lambda role, name: role == "push button" and name.startswith(large_name + ","),
                         only_showing=False)
    road.note("recent row: " + road.wait("the transfer in the recent list", sent, timeout=TIMEOUT * 5).name)
    open_popover_by_keyboard(road)
    road.dump("keyboard: sent")
    road.shot("keyboard-sent")

    road.step("Tab to the recent row's “Copy link”; Return copies the link")
    subprocess.run(["xclip", "-selection", "clipboard", "/dev/null"], check=False)
    recent_row = sent()
    tab_to(road, "“Copy link”", lambda node, role, name: name == "Copy link" and road.inside(node, recent_row))
    road.shot("keyboard-copy-focused")
    road.keys("Return")

    def clipboard():
        text = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True, text=True).stdout.strip()
        return text if text.startswith(SERVICE_URL) else None
    link = road.wait("the link on the clipboard", clipboard)
    road.note("share link: " + link)

    road.step("The menu from the keyboard, as a screen reader hears it")
    entries = menu_over_accessibility(road)
    if not any(entry.startswith("Sign Out") for entry in entries):
        raise StepFailed("the announced menu has no “Sign Out”")

    road.step("Assistive technology's Press on the recent row's “Copy link”")
    open_popover_by_keyboard(road)

    def copy_link():
        row = sent()
        return next((node for node, _, name in road.objects(only_showing=False)
                     if name == "Copy link" and road.enabled(node) and row is not None and road.inside(node, row)), None)
    copy = road.wait("“Copy link” back after its feedback", copy_link)
    subprocess.run(["xclip", "-selection", "clipboard", "/dev/null"], check=False)
    do_action(road, copy, "Press")
    road.note("share link: " + road.wait("the link on the clipboard again", clipboard))

    road.step("Escape closes the popover")
    road.keys("Escape")
    road.wait("the popover to close", lambda: road.popover_open() is None)
    print(f"PASS: signed in, sent “{large_name}”, cancelled a queued transfer, retried a failed one and copied "
          f"{link}, with the keyboard only; Open at Login and Copy link pressed over AT-SPI.", flush=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
