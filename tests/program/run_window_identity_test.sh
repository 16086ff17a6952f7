#!/bin/sh
# Both programs' windows as an X11 desktop sees them, on a private X server and session bus: the
# class of each window's WM_CLASS is the StartupWMClass of the program's application entry, by
# which GNOME (under X11 and XWayland) and KDE's task manager tie the window to the entry, and each
# window carries the product's icon (_NET_WM_ICON), which KDE's title bars and task manager show
# where no entry answers. The server never resets between the two programs: one that starts while it
# resets after the first one left cannot connect.
#   run_window_identity_test.sh <tavrel> <tavrel-share> <packaging folder>
set -eu
tavrel=$1 share=$2 packaging=$3
work=$(mktemp -d)
xvfb=""
trap '[ -z "$xvfb" ] || { kill "$xvfb" 2>/dev/null; wait "$xvfb"; } || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
# Nothing of this machine's user: a program that is not onboarded shows its onboarding window.
export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software HOME="$work/home" \
  XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
  XDG_CACHE_HOME="$work/cache" TAVREL_INFO_FILE="$work/Info.json"
unset WAYLAND_DISPLAY SESSION_MANAGER
printf '{"TavrelWebAppURL": "https://127.0.0.1:9", "TavrelStorageHosts": "127.0.0.1"}\n' >"$TAVREL_INFO_FILE"
echo "a file to share" >"$work/item.txt"

# The value of `key` in an entry's [Desktop Entry] group.
entry_value() {
  sed -n '/^\[Desktop Entry\]/,/^\[/{s/^'"$2"'=//p}' "$1" | head -n 1
}

# Starts a program, finds its first window and checks it against the entry.
check() {
  entry=$1
  shift
  rm -f "$work/pid"
  dbus-run-session -- sh -c '"$@" & echo $! >"$0.part"; mv "$0.part" "$0"; wait' "$work/pid" "$@" \
    >"$work/program.log" 2>&1 &
  session=$!
  window=""
  # Up to a minute: a sanitizer build on a loaded machine starts slowly.
  for _ in $(seq 600); do
    if [ -s "$work/pid" ]; then
      window=$(xdotool search --onlyvisible --pid "$(cat "$work/pid")" 2>/dev/null | head -n 1) || true
      [ -n "$window" ] && break
    fi
    sleep 0.1
  done
  [ -n "$window" ] || { cat "$work/program.log"; fail "$1 showed no window"; }
  class=$(xprop -id "$window" WM_CLASS | sed -n 's/^WM_CLASS(STRING) = "[^"]*", "\([^"]*\)"$/\1/p')
  # The size of its first image, as "_NET_WM_ICON(CARDINAL) = <width>x<height>".
  icon=$(xprop -id "$window" -f _NET_WM_ICON 32c ' = $0x$1\n' _NET_WM_ICON)
  kill "$(cat "$work/pid")"
  wait "$session" || true
  wanted=$(entry_value "$entry" StartupWMClass)
  [ "$(entry_value "$entry" Type)" = Application ] || fail "$(basename "$entry") is no application entry"
  [ -n "$class" ] && [ "$class" = "$wanted" ] ||
    fail "$1's window has the class '$class'; $(basename "$entry") names '$wanted'"
  # 16 pixels or more.
  echo "$icon" | grep -Eq '^_NET_WM_ICON\(CARDINAL\) = (1[6-9]|[2-9][0-9]|[1-9][0-9][0-9]+)x' ||
    fail "$1's window carries no icon: $icon"
  echo "$(basename "$1"): class $class, icon ${icon#*= }"
}

check "$packaging/com.tavrel.macos.desktop.in" "$tavrel"
check "$packaging/share-program/com.tavrel.macos.share.desktop" "$share" -- "$work/item.txt"
