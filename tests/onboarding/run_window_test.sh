#!/bin/sh
# The onboarding window on a real X server: placement under the pointer and the refused close
# request. Usage: run_window_test.sh <tavrel_onboarding_tests>
set -eu
exec xvfb-run -a -s "-screen 0 1600x1000x24" env QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software \
  "$1" --gtest_filter='*OnX11*' --gtest_also_run_disabled_tests
