#!/bin/sh
# Thunar's own "Send To" → "Send with Tavrel" on a private virtual desktop, for a selection of two
# folders and a file: every chosen item must end in one share sheet, however many runs of the share
# program Thunar starts for it.
#
#   thunar_send_to.sh SHARE_PROGRAM
#
# Starts, private to this run: Xvfb, a session bus with the accessibility bus, xfwm4, and Thunar with
# the build's data folder on XDG_DATA_DIRS (where "Send with Tavrel" lies under Thunar/sendto) and a
# recording wrapper as the `tavrel-share` on PATH. Then thunar_send_to.py drives Thunar and reads the
# sheets; its exit status is this script's.
set -eu
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = "--inside" ]; then
  # The walk's output goes where this script's went (descriptors 3 and 4); the bus and the services
  # it starts (tumblerd lingers after the bus has gone) keep to the desktop's log, so nothing holds
  # the caller's output open once the walk is over.
  exec 1>&3 2>&4 3>&- 4>&-
  . "$here/accessibility_bus.sh"
  start_accessibility_bus "$TAVREL_SEND_TO_WORK/at-spi.log"
  xfwm4 --compositor=off >"$TAVREL_SEND_TO_WORK/xfwm4.log" 2>&1 &
  exec /usr/bin/python3 "$here/thunar_send_to.py"
fi

[ $# -eq 1 ] || { echo "usage: $0 SHARE_PROGRAM" >&2; exit 2; }
share=$(realpath "$1")
build_data=$(realpath "$(dirname "$share")/../share")
[ -f "$build_data/Thunar/sendto/com.tavrel.macos.share.desktop" ] || {
  echo "no Send To entry under $build_data/Thunar/sendto" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tavrel-send-to.XXXXXX")
xvfb=""
cleanup() {
  ended=$?
  [ -z "$xvfb" ] || { kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; }
  # CI keeps only what is printed: a failed walk shows the end of every log.
  if [ "$ended" -ne 0 ]; then
    for log in "$work"/*.log; do [ -f "$log" ] && { echo "--- $(basename "$log")"; tail -n 20 "$log"; } >&2 || true; done
  fi
  # A service of the bus may still be writing its settings there as it goes.
  rm -rf "$work" 2>/dev/null || { sleep 1; rm -rf "$work" 2>/dev/null; } || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$work/home" "$work/data" "$work/config/xfce4/xfconf/xfce-perchannel-xml" "$work/cache" "$work/runtime" \
  "$work/bin" "$work/runs"
chmod 700 "$work/runtime"
export HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
  XDG_RUNTIME_DIR="$work/runtime" XDG_DATA_DIRS="$work/data:$build_data:/usr/local/share:/usr/share" \
  XDG_CONFIG_DIRS=/etc/xdg PATH="$work/bin:$PATH"
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY XDG_SESSION_TYPE XDG_CURRENT_DESKTOP DESKTOP_SESSION SESSION_MANAGER

# Each run of the share program Thunar starts: its arguments (each ended by a NUL byte) when it
# starts, its exit status when it ends.
cat >"$work/bin/tavrel-share" <<WRAPPER
#!/bin/sh
run="$work/runs/\$\$"
for argument in "\$@"; do printf '%s\0' "\$argument"; done >"\$run.part"
mv "\$run.part" "\$run.arguments"
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
status=0
"$share" "\$@" >>"$work/share.log" 2>&1 || status=\$?
echo "\$status" >"\$run.part"
mv "\$run.part" "\$run.status"
WRAPPER
chmod +x "$work/bin/tavrel-share"
# Thunar opens its folders as a list in a window of a fixed size.
cat >"$work/config/xfce4/xfconf/xfce-perchannel-xml/thunar.xml" <<THUNAR
<?xml version="1.0" encoding="UTF-8"?>
<channel name="thunar" version="1.0">
  <property name="last-view" type="string" value="ThunarDetailsView"/>
  <property name="last-window-width" type="int" value="640"/>
  <property name="last-window-height" type="int" value="480"/>
  <property name="last-window-maximized" type="bool" value="false"/>
  <property name="misc-single-click" type="bool" value="false"/>
</channel>
THUNAR

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")" TAVREL_SEND_TO_WORK="$work"
status=0
dbus-run-session -- sh "$here/thunar_send_to.sh" --inside 3>&1 4>&2 >"$work/desktop.log" 2>&1 || status=$?
exit "$status"
