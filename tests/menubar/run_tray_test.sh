#!/bin/sh
# The tray test on a private X display and session bus: once with trayer as the tray host, once
# without any, and four times with a tray host that starts later (trayer, then XFCE's panel three times;
# one process each, as Qt picks its tray protocol once per process), and the watcher of tray hosts
# seeing an X11 tray come and go.
# Usage: run_tray_test.sh <tavrel_menubar_tests>
set -eu
tests="$1"
display=":$((90 + $$ % 100))"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
export DISPLAY="$display" QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software XDG_CACHE_HOME="$(mktemp -d)"
dbus-run-session -- sh -c '
  trayer --edge top --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
  tray=$!
  sleep 1
  TAVREL_TRAY_TEST=with-tray "$1" --gtest_filter="TrayTest.*"
  status=$?
  kill $tray
  exit $status' sh "$tests"
dbus-run-session -- env TAVREL_TRAY_TEST=without-tray "$tests" --gtest_filter="TrayTest.*"
# XFCE's panel with only its tray, from a configuration of its own.
config=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$config"' EXIT
mkdir -p "$config/xfce4/xfconf/xfce-perchannel-xml"
cat >"$config/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml" <<PANEL
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="size" type="uint" value="28"/>
      <property name="plugin-ids" type="array"><value type="int" value="1"/></property>
    </property>
  </property>
  <property name="plugins" type="empty"><property name="plugin-1" type="string" value="systray"/></property>
</channel>
PANEL
# The bus starts the panel's settings daemon (xfconfd) with its own environment: the configuration
# folder must be the bus's, or the panel comes up with XFCE's default panels.
for late in AnX11Tray AnXfcePanel ASecondaryClick ARightClick TheWatcher; do
  XDG_CONFIG_HOME="$config" dbus-run-session -- env TAVREL_TRAY_TEST=late-tray \
    "$tests" --gtest_filter="LateTrayTest.${late}*"
done
