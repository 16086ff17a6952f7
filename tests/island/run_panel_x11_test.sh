#!/bin/sh
# The island's panel on a real X server with a window manager, first without a compositor and then
# with one. Usage: run_panel_x11_test.sh <tavrel_island_tests>
set -eu
exec xvfb-run -a -s "-screen 0 1280x800x24" sh -eu -c '
  export QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software
  for compositor in off on; do
    xfwm4 --compositor=$compositor >/dev/null 2>&1 &
    wm=$!
    status=0
    TAVREL_TEST_COMPOSITOR=$compositor "$0" --gtest_filter="NotchPanelOnX11Test.*:NotchWindowControllerTest.OnScreen*" || status=$?
    kill $wm
    wait $wm 2>/dev/null || true
    [ $status -eq 0 ] || exit $status
  done
' "$1"
