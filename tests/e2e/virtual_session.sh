#!/bin/sh
# A private virtual desktop for the real program, and a scripted user walking its main road there.
# Used by the end-to-end test and by `scripts/run` on machines without a graphical session.
#
#   virtual_session.sh --tavrel BIN --share BIN --service BIN --shots DIR
#                      [--road main|full|light-panel|no-tray|keyboard|long] [--web https|http] [files...]
#
# Starts, all private to this run: Xvfb, the local service on a free port with its own data folder,
# a session bus with the accessibility bus, an unlocked GNOME Keyring, dunst, and an XFCE desktop:
# xfwm4 (click to focus), xfce4-panel with its system tray along the top, and Thunar for the walk to
# drag from. A home and XDG folders of its own hold the panel's and Thunar's settings (so every run
# looks the same) and the URL handlers: the scripted browser (https) and the program's desktop entry
# (its sign-in callback scheme), beside the share program's desktop entry; the build's data folder on
# XDG_DATA_DIRS gives Thunar's "Send To" its "Send with Tavrel", and the wrappers' folder leads PATH
# so that entry's `tavrel-share` is the wrapper. The light-panel road gets a light panel instead of XFCE's dark one; the
# no-tray road starts no panel (the walk starts one later). The long road's service closes idle
# connections after 2 s instead of 5, so its pauses stay short, and holds each revoke's answer for a
# minute, so that a quit lands while one is unanswered. Then the driver (main_road.py) walks
# the road; its exit status is this script's. With --web http the service's web application speaks
# plain http, as the run command has it (the program must be built to accept that); its storage stays
# on https either way.
set -eu
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = "--inside" ]; then
  # Inside the private session bus: the desktop's services, then the walk, whose errors go where
  # this script's went (descriptor 4).
  shift
  exec 2>&4 4>&-
  . "$here/accessibility_bus.sh"
  start_accessibility_bus "$TAVREL_E2E_WORK/at-spi.log"
  # An empty password leaves the login keyring uncreated, so the throw-away keyring gets a fixed one.
  printf "%s" "tavrel-virtual" | gnome-keyring-daemon --unlock --components=secrets >/dev/null
  dunst >"$TAVREL_E2E_WORK/dunst.log" 2>&1 &
  xfwm4 --compositor=off >"$TAVREL_E2E_WORK/xfwm4.log" 2>&1 &
  if [ "$TAVREL_E2E_ROAD" != no-tray ]; then
    xfce4-panel >>"$TAVREL_E2E_WORK/panel.log" 2>&1 &
  fi
  # The benchmarks drive the same desktop with a driver of their own.
  exec /usr/bin/python3 "${TAVREL_VIRTUAL_DRIVER:-$here/main_road.py}" "$@"
fi

tavrel="" share="" service="" shots="" road=main web=https
while [ $# -gt 0 ]; do
  case "$1" in
    --tavrel) tavrel=$2; shift 2 ;;
    --share) share=$2; shift 2 ;;
    --service) service=$2; shift 2 ;;
    --shots) shots=$2; shift 2 ;;
    --road) road=$2; shift 2 ;;
    --web) web=$2; shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done
if [ -z "$tavrel" ] || [ -z "$share" ] || [ -z "$service" ] || [ -z "$shots" ]; then
  echo "usage: $0 --tavrel BIN --share BIN --service BIN --shots DIR [--road main|full|light-panel|no-tray|keyboard|long] [--web https|http] [files...]" >&2
  exit 2
fi
tavrel=$(realpath "$tavrel")
share=$(realpath "$share")
# The build's data folder (share/ beside bin/): Thunar finds "Send with Tavrel" there, as installed.
build_data=$(realpath "$(dirname "$share")/../share")
service=$(realpath "$service")
mkdir -p "$shots"
shots=$(realpath "$shots")
rm -f "$shots"/*.png "$shots"/*.log

work=$(mktemp -d "${TMPDIR:-/tmp}/tavrel-virtual.XXXXXX")
xvfb_pid="" service_pid="" session=""
# Whether a process of group $1 still runs (one that has ended but is not yet waited for does not).
group_runs() { ps -e -o pgid=,stat= | awk -v group="$1" '$1 == group && $2 !~ /^Z/ { found = 1 } END { exit !found }'; }
cleanup() {
  # Nothing may cut this short: a second Ctrl+C, or the TERM a caller sends when the first stop
  # seems slow, would leave the folder behind, hundreds of megabytes after a big run. What starts
  # from here on (rm) inherits the ignored signals, so a stop sent to this script's group spares it.
  trap '' INT TERM HUP
  # The desktop's session (the walk, the program, the desktop's daemons): TERM, on which the walk
  # ends the program and its helpers, then KILL for whatever still runs a few seconds later (a walk
  # blocked in a call to a program busy after a big transfer, a program slow to quit).
  if [ -n "$session" ] && kill -TERM "-$session" 2>/dev/null; then
    for _ in $(seq 50); do group_runs "$session" || break; sleep 0.1; done
    kill -KILL "-$session" 2>/dev/null || true
  fi
  # The service's data goes with the folder: it is not given the time to save it. KILL also ends it
  # when a walk that ended while holding it (SIGSTOP) left it stopped.
  if [ -n "$service_pid" ]; then kill -KILL "$service_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  wait 2>/dev/null || true
  # The logs stay beside the screenshots, so a failed walk can be read afterwards.
  for log in "$work"/*.log; do [ -f "$log" ] && cp "$log" "$shots/" || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

mkdir -p "$work/home" "$work/data/applications" "$work/config" "$work/cache" "$work/runtime" "$work/service" \
  "$work/bin"
chmod 700 "$work/runtime"
export HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
  XDG_RUNTIME_DIR="$work/runtime" XDG_DATA_DIRS="$work/data:$build_data:/usr/local/share:/usr/share" \
  XDG_CONFIG_DIRS=/etc/xdg PATH="$work/bin:$PATH"
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY XDG_SESSION_TYPE XDG_CURRENT_DESKTOP DESKTOP_SESSION BROWSER SESSION_MANAGER

# The display: Xvfb picks a free number and tells it.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"

# The local service on a free port; it says which.
keep_alive=5 revoke_delay=0
if [ "$road" = long ]; then keep_alive=2 revoke_delay=60; fi
# Made before the service starts: its shell may not have opened it yet when the first look below
# reads it, and a sed that cannot read it would end this script.
: >"$work/service.log"
"$service" --port 0 $([ "$web" = http ] && echo --http) --data-dir "$work/service" --keep-alive "$keep_alive" \
  --revoke-delay "$revoke_delay" >"$work/service.log" 2>&1 &
service_pid=$!
port=""
for _ in $(seq 100); do
  port=$(sed -n 's/^  Port: *\([0-9]*\).*/\1/p' "$work/service.log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "the local service did not start:" >&2; cat "$work/service.log" >&2; exit 1; }
ca="$work/service/ca.pem"

# The program as the desktop starts it: configured for the local service, trusting its CA alone, and
# drawing with the renderer it chooses itself (a QT_QUICK_BACKEND or QSG_RHI_BACKEND given to this
# script reaches it, as a user's would).
printf '{"TavrelWebAppURL": "%s://127.0.0.1:%s", "TavrelStorageHosts": "127.0.0.1"}\n' "$web" "$port" >"$work/Info.json"
cat >"$work/bin/tavrel" <<WRAPPER
#!/bin/sh
export TAVREL_INFO_FILE="$work/Info.json" SSL_CERT_FILE="$ca"
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
exec "$tavrel" "\$@" >>"$work/program.log" 2>&1
WRAPPER
# The browser: a scripted user who allows the sign-in on the service's page.
cat >"$work/bin/browser" <<WRAPPER
#!/bin/sh
exec /usr/bin/python3 "$here/scripted_browser.py" --ca "$ca" "\$@" >>"$work/browser.log" 2>&1
WRAPPER
# The share program as a file manager starts it, in the program's desktop environment. A file manager
# ignores how it ends; the walk reads its exit status (0: the program accepted the items).
cat >"$work/bin/tavrel-share" <<WRAPPER
#!/bin/sh
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
status=0
"$share" "\$@" >>"$work/share.log" 2>&1 || status=\$?
echo "\$status" >"$work/share.status"
exit "\$status"
WRAPPER
chmod +x "$work/bin/tavrel" "$work/bin/browser" "$work/bin/tavrel-share"
cat >"$work/data/applications/com.tavrel.macos.desktop" <<ENTRY
[Desktop Entry]
Type=Application
Name=Tavrel
Exec=$work/bin/tavrel %u
Terminal=false
MimeType=x-scheme-handler/com.tavrel.macos;
ENTRY
sed "s|^Exec=tavrel-share |Exec=$work/bin/tavrel-share |" "$here/../../packaging/share-program/com.tavrel.macos.share.desktop" \
  >"$work/data/applications/com.tavrel.macos.share.desktop"
cat >"$work/data/applications/scripted-browser.desktop" <<ENTRY
[Desktop Entry]
Type=Application
Name=Scripted browser
Exec=$work/bin/browser %u
Terminal=false
MimeType=x-scheme-handler/https;x-scheme-handler/http;
ENTRY
# The panel: one along the top holding only the system tray at its right end, dark as XFCE's own
# default unless the road asks for a light one. Thunar opens its folders as a list in a window of a
# fixed size.
dark=true
[ "$road" != light-panel ] || dark=false
settings="$work/config/xfce4/xfconf/xfce-perchannel-xml"
mkdir -p "$settings"
cat >"$settings/xfce4-panel.xml" <<PANEL
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="dark-mode" type="bool" value="$dark"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="28"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
        <value type="int" value="2"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
      <property name="style" type="uint" value="0"/>
    </property>
    <property name="plugin-2" type="string" value="systray"/>
  </property>
</channel>
PANEL
cat >"$settings/thunar.xml" <<THUNAR
<?xml version="1.0" encoding="UTF-8"?>
<channel name="thunar" version="1.0">
  <property name="last-view" type="string" value="ThunarDetailsView"/>
  <property name="last-window-width" type="int" value="560"/>
  <property name="last-window-height" type="int" value="420"/>
  <property name="last-window-maximized" type="bool" value="false"/>
  <property name="misc-single-click" type="bool" value="false"/>
</channel>
THUNAR

cat >"$work/config/mimeapps.list" <<LIST
[Default Applications]
x-scheme-handler/com.tavrel.macos=com.tavrel.macos.desktop
x-scheme-handler/https=scripted-browser.desktop
x-scheme-handler/http=scripted-browser.desktop
LIST

export TAVREL_E2E_WORK="$work" TAVREL_E2E_PROGRAM="$work/bin/tavrel" TAVREL_E2E_CA="$ca" \
  TAVREL_E2E_SHARE_ENTRY="$work/data/applications/com.tavrel.macos.share.desktop" \
  TAVREL_E2E_SHOTS="$shots" TAVREL_E2E_ROAD="$road" TAVREL_E2E_SERVICE_URL="$web://127.0.0.1:$port" \
  TAVREL_E2E_SERVICE_PID="$service_pid" TAVREL_E2E_KEEP_ALIVE="$keep_alive" TAVREL_E2E_REVOKE_DELAY="$revoke_delay"
echo "Virtual desktop $DISPLAY (1280x800), local service at $web://127.0.0.1:$port/"
status=0
# The services the bus starts (xfconfd, tumblerd) complain as the bus goes away after the walk: their
# output goes to a log beside the screenshots, not after the verdict.
# The session runs in a process group of its own, which the clean-up ends whole, and in the
# background: a shell runs no trap until its foreground command has ended, but a wait ends at a
# signal. (A shell's background child never leads a group, so setsid does not fork: $! is the
# group.)
setsid dbus-run-session -- sh "$here/virtual_session.sh" --inside "$@" 4>&2 2>"$work/desktop.log" &
session=$!
wait "$session" || status=$?
echo "Screenshots and logs: $shots"
exit "$status"
