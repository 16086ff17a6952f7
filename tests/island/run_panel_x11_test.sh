#!/bin/sh
# The island's panel on a real X server with a window manager, first without a compositor and then
# with one. Usage: run_panel_x11_test.sh <tavrel_island_tests>
set -eu
exec xvfb-run -a -s "-screen 0 1280x800x24" sh -eu -c '
  export QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software
  for compositor in off on; do
    xfwm4 --compositor=$compositor >/dev/null 2>&1 &
    wm=$!
    # A manager that comes up while a test runs takes the focus from its windows: start once it
    # has announced itself (a busy machine can take seconds). The root keeps the last one'"'"'s check
    # window after it ends, so the window named there must exist too.
    tries=0
    until check=$(xprop -root -notype _NET_SUPPORTING_WM_CHECK 2>/dev/null | sed -n "s/.*window id # //p") &&
        [ -n "$check" ] && xprop -id "$check" _NET_WM_NAME 2>/dev/null | grep -q "="; do
      tries=$((tries + 1))
      if [ $tries -gt 200 ]; then echo "xfwm4 did not start" >&2; exit 1; fi
      sleep 0.05
    done
    status=0
    TAVREL_TEST_COMPOSITOR=$compositor "$0" --gtest_filter="NotchPanelOnX11Test.*:NotchWindowControllerTest.OnScreen*" || status=$?
    kill $wm
    wait $wm 2>/dev/null || true
    [ $status -eq 0 ] || exit $status
  done
' "$1"
