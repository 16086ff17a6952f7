#!/bin/sh
# Runs the thumbnail generator's tests against the desktop's thumbnail service, started on demand
# on a private session bus, with a throw-away home and thumbnail cache.
set -eu
binary="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -p "$work/cache" "$work/data" "$work/config" "$work/run"
chmod 700 "$work/run"
# The service inherits the bus daemon's environment, so the cache folder is set before the bus starts.
export HOME="$work" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY
export TAVREL_REQUIRE_THUMBNAIL_SERVICE=1
# The service's first start scans its plug-ins into the fresh cache, which takes a while on a busy
# machine: start it and wait for its name before the tests begin.
dbus-run-session -- sh -c '
  gdbus wait --session --activate org.freedesktop.thumbnails.Thumbnailer1 --timeout 120 \
    org.freedesktop.thumbnails.Thumbnailer1 || exit 1
  exec "$0" --gtest_filter="ThumbnailServiceIntegrationTest.*"
' "$binary" >"$work/output" 2>&1 || status=$?
cat "$work/output"
# A filter that matched nothing would pass silently.
grep -q "^\[  PASSED  \] [1-9]" "$work/output" || exit 1
exit "${status:-0}"
