#!/bin/sh
# Runs the refresh-token store's Secret Service tests against a private, unlocked GNOME Keyring on a
# private session bus, in a throw-away home folder.
set -eu
binary="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -p "$work/data" "$work/config" "$work/run"
chmod 700 "$work/run"
export HOME="$work" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY
export TAVREL_REQUIRE_SECRET_SERVICE=1
# GIO registers libsecret's proxy types once per process and never frees them; under the sanitizer
# build that reads as a leak of ours.
printf 'leak:libgio-2.0.so\nleak:libsecret-1.so\n' >"$work/lsan.supp"
# A later option overrides an earlier one, so ours go last: the run's own suppressions file (Qt
# teardown) is then replaced by this one, which carries its rules too.
if [ -n "${LSAN_OPTIONS:-}" ]; then
  inherited=$(printf '%s' "$LSAN_OPTIONS" | tr ':' '\n' | sed -n 's/^suppressions=//p' | tail -n 1)
  if [ -n "$inherited" ] && [ -r "$inherited" ]; then cat "$inherited" >>"$work/lsan.supp"; fi
fi
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$work/lsan.supp"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0"  # whole stacks, so the rules match
# An empty password leaves the login keyring uncreated, so the throw-away keyring gets a fixed one.
dbus-run-session -- sh -c '
  printf "%s" "tavrel-tests" | gnome-keyring-daemon --unlock --components=secrets >/dev/null || exit 1
  exec "$0" --gtest_filter="SecretServiceRefreshTokenStoreIntegrationTest.*"
' "$binary" >"$work/output" 2>&1 || status=$?
cat "$work/output"
# A filter that matched nothing would pass silently.
grep -q "^\[  PASSED  \] [1-9]" "$work/output" || exit 1
exit "${status:-0}"
