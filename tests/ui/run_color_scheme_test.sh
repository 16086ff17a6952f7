#!/bin/sh
# The panel colour scheme watcher against fake desktop services (a settings portal, XFCE's settings
# daemon and panel) on a private session bus, with no settings of this machine's user.
# Usage: run_color_scheme_test.sh <tavrel_ui_tests>
set -eu
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
unset GTK_THEME XDG_CURRENT_DESKTOP
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$config" GSETTINGS_BACKEND=memory \
  TAVREL_FAKE_DESKTOP="$(dirname "$0")/fake_desktop_settings.py"
dbus-run-session -- "$1" --gtest_filter="PanelColorSchemeWatcherTest.*"
