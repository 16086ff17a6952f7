#!/bin/sh
# Builds the Debian package from a build folder and checks it as a desktop would see it installed:
# what it holds (and never the local service), its declared dependencies, valid desktop entries that
# start the installed program, the callback scheme's handler and "Send with Tavrel" under Open With.
# (Starting it from the menu needs it installed under /usr, so that is checked by hand in a fresh Debian.)
#   run_package_test.sh <build folder>
set -eu
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/tavrel_*.deb)

control=$(dpkg-deb -f "$deb")
for field in "Package: tavrel" "Section: net"; do
  echo "$control" | grep -qx "$field" || fail "control lacks '$field'"
done
depends=$(dpkg-deb -f "$deb" Depends)
# Run-time modules loaded by name, and shared libraries found by dpkg-shlibdeps.
for dependency in qml6-module-qtquick-controls qml6-module-qtquick-shapes adwaita-icon-theme xdg-utils \
                  libqt6quick6 libsecret-1-0 libcurl4; do
  echo "$depends" | tr ',' '\n' | grep -q "^ *$dependency\b" || fail "Depends lacks $dependency: $depends"
done

dpkg-deb -x "$deb" "$work/root"
for file in usr/bin/tavrel usr/bin/tavrel-share; do [ -x "$work/root/$file" ] || fail "$file missing"; done
for file in usr/share/applications/com.tavrel.macos.desktop usr/share/applications/com.tavrel.macos.share.desktop \
            usr/share/icons/hicolor/scalable/apps/com.tavrel.macos.svg usr/share/tavrel/Info.json \
            usr/share/kio/servicemenus/com.tavrel.macos.share.desktop usr/share/nemo/actions/tavrel-share.nemo_action \
            usr/share/tavrel/file-managers/thunar-uca-action.xml; do
  [ -f "$work/root/$file" ] || fail "$file missing"
done
[ -z "$(find "$work/root" -name 'tavrel-local-service*')" ] || fail "the local service is packaged"

entries="$work/root/usr/share/applications"
desktop-file-validate "$entries/com.tavrel.macos.desktop" "$entries/com.tavrel.macos.share.desktop" || fail "invalid desktop entry"
grep -qx 'Exec=/usr/bin/tavrel %u' "$entries/com.tavrel.macos.desktop" || fail "the entry does not start /usr/bin/tavrel"

# As the desktop indexes the installed entries (the package's trigger runs update-desktop-database):
# the program handles its callback scheme, and the share program is offered for files and folders.
update-desktop-database "$entries"
for association in "x-scheme-handler/com.tavrel.macos=com.tavrel.macos.desktop;" \
                   "inode/directory=com.tavrel.macos.share.desktop;" "application/octet-stream=com.tavrel.macos.share.desktop;"; do
  grep -qxF "$association" "$entries/mimeinfo.cache" || fail "no '$association' in the desktop's index"
done

# The packaged program loads all its libraries and starts (without a display it says so and exits).
env -u DISPLAY -u WAYLAND_DISPLAY "$work/root/usr/bin/tavrel" >"$work/start.log" 2>&1 && fail "started without a display"
grep -qi 'display' "$work/start.log" || { cat "$work/start.log"; fail "the packaged program did not start"; }
echo "package: $(basename "$deb") ok"
