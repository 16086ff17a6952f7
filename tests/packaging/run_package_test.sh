#!/bin/sh
# Builds the Debian package from a build folder and checks it as Debian and a desktop would see it,
# installing nothing: lintian has nothing to report; what it holds (and never the local service) and
# its declared dependencies; no desktop entry declares a type but the program's callback scheme, so
# Tavrel never becomes a default opener; "Send with Tavrel" registered with Thunar, Nautilus, Dolphin
# and Nemo; the manual pages; the command lines of both programs as installed, and their lack of a
# RUNPATH. A build for the run command (plain http at a local host) is refused by cpack.
# (Installing, the menus of the other file managers, and purge are checked by hand in a fresh Debian.)
#   run_package_test.sh <build folder>
set -eu
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/tavrel_*.deb)

# A build configured for the run command is refused before anything is built or staged, so a bare
# configuration shows it.
source=$(cd "$(dirname "$0")/../.." && pwd)
cmake -S "$source" -B "$work/local-http" -DTAVREL_ALLOW_LOCAL_HTTP=ON -DTAVREL_BUILD_TESTS=OFF \
  -DTAVREL_BUILD_BENCH=OFF >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; fail "configure a local-http build"; }
status=0
cpack --config "$work/local-http/CPackConfig.cmake" -G DEB -B "$work/local-http/out" >"$work/cpack.log" 2>&1 || status=$?
# (CMake wraps the message.)
[ "$status" != 0 ] && tr -s ' \n' '  ' <"$work/cpack.log" | grep -q 'TAVREL_ALLOW_LOCAL_HTTP=ON, for the run command) and is never packaged' ||
  { cat "$work/cpack.log"; fail "a build that accepts plain http was packaged (status $status)"; }
[ -z "$(find "$work/local-http/out" -name '*.deb' 2>/dev/null)" ] || fail "a local-http build left a package"

# Debian's own checks: any error or warning fails (overrides only with a comment saying why).
lintian --fail-on error,warning --display-level ">=warning" "$deb" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log"; fail "lintian"; }

control=$(dpkg-deb -f "$deb")
for field in "Package: tavrel" "Section: net"; do
  echo "$control" | grep -qx "$field" || fail "control lacks '$field'"
done
depends=$(dpkg-deb -f "$deb" Depends)
# Run-time modules loaded by name, and shared libraries found by dpkg-shlibdeps.
# ca-certificates: libcurl only recommends it, and without it no https server can be verified.
for dependency in qml6-module-qtquick-controls qml6-module-qtquick-shapes adwaita-icon-theme xdg-utils \
                  ca-certificates libqt6quick6 libsecret-1-0 libcurl4; do
  echo "$depends" | tr ',' '\n' | grep -q "^ *$dependency\b" || fail "Depends lacks $dependency: $depends"
done
# Wayland without XWayland needs Qt's plugin; everywhere else the program runs without it.
for recommended in python3-nautilus qt6-wayland; do
  dpkg-deb -f "$deb" Recommends | tr ',' '\n' | grep -q "^ *$recommended$" || fail "$recommended is not recommended"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
for file in usr/bin/tavrel usr/bin/tavrel-share; do [ -x "$root/$file" ] || fail "$file missing"; done
thunar=usr/share/Thunar/sendto/com.tavrel.macos.share.desktop
nautilus=usr/share/nautilus-python/extensions/tavrel_share_menu.py
dolphin=usr/share/kio/servicemenus/com.tavrel.macos.share.desktop
nemo=usr/share/nemo/actions/tavrel-share.nemo_action
for file in usr/share/applications/com.tavrel.macos.desktop usr/share/applications/com.tavrel.macos.share.desktop \
            usr/share/icons/hicolor/scalable/apps/com.tavrel.macos.svg usr/share/tavrel/Info.json \
            "$thunar" "$nautilus" "$dolphin" "$nemo" usr/share/doc/tavrel/copyright usr/share/doc/tavrel/changelog.gz \
            usr/share/man/man1/tavrel.1.gz usr/share/man/man1/tavrel-share.1.gz; do
  [ -f "$root/$file" ] || fail "$file missing"
done
[ -z "$(find "$root" -name 'tavrel-local-service*')" ] || fail "the local service is packaged"

# No type but the sign-in callback's scheme in any desktop entry. Dolphin's service menu names
# "all/all", KDE's selector for every item: service menus are not in the desktop's index of openers.
find "$root" -name '*.desktop' | while read -r entry; do
  types=$(sed -n 's/^MimeType *= *//p' "$entry")
  case "${entry#"$root"/}:$types" in
    *:) ;;
    usr/share/applications/com.tavrel.macos.desktop:x-scheme-handler/com.tavrel.macos\;) ;;
    "$dolphin":all/all\;) ;;
    *) fail "${entry#"$root"/} declares MimeType=$types" ;;
  esac
done
entries="$root/usr/share/applications"
update-desktop-database "$entries"
[ "$(grep -v '^\[' "$entries/mimeinfo.cache")" = "x-scheme-handler/com.tavrel.macos=com.tavrel.macos.desktop;" ] ||
  { cat "$entries/mimeinfo.cache"; fail "the desktop's index names Tavrel for more than its callback scheme"; }

desktop-file-validate "$entries/com.tavrel.macos.desktop" "$entries/com.tavrel.macos.share.desktop" "$root/$thunar" ||
  fail "invalid desktop entry"
grep -qx 'Exec=/usr/bin/tavrel %u' "$entries/com.tavrel.macos.desktop" || fail "the entry does not start /usr/bin/tavrel"
# Every selected item to one share program, none read as an option.
grep -qx 'Exec=tavrel-share -- %F' "$root/$thunar" || fail "Thunar's Send To does not hand over all items at once"
grep -qx 'Exec=tavrel-share -- %U' "$root/$dolphin" || fail "Dolphin's service menu does not hand over all items at once"
grep -qx 'Exec=tavrel-share -- %F' "$root/$nemo" || fail "Nemo's action does not hand over all items at once"
[ -x "$root/$dolphin" ] || fail "Dolphin runs only an executable service menu"
python3 -c 'import py_compile, sys; py_compile.compile(sys.argv[1], cfile=sys.argv[2], doraise=True)' \
  "$root/$nautilus" "$work/nautilus.pyc" || fail "the Nautilus extension does not compile"

for page in tavrel tavrel-share; do
  text=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>"$work/man.log") || fail "man $page"
  [ ! -s "$work/man.log" ] || { cat "$work/man.log"; fail "man $page warns"; }
  for option in --help --version; do
    echo "$text" | grep -q -- "$option" || fail "the manual page of $page does not describe $option"
  done
done

# The installed programs' command lines, before any display or running program is needed.
for program in tavrel tavrel-share; do
  bin="$root/usr/bin/$program"
  "$bin" --version >"$work/out.log" 2>&1 || fail "$program --version"
  grep -qx "$program $(dpkg-deb -f "$deb" Version)" "$work/out.log" || { cat "$work/out.log"; fail "$program --version"; }
  "$bin" --help >"$work/out.log" 2>&1 || fail "$program --help"
  grep -q "^Usage: $program " "$work/out.log" || { cat "$work/out.log"; fail "$program --help"; }
  # The manual page's end of options, described in the help as well.
  grep -q -- "^ *-- " "$work/out.log" || { cat "$work/out.log"; fail "$program --help does not describe --"; }
  # Every library comes from the system's folders, never from beside the program.
  readelf -d "$bin" >"$work/dynamic.log" || fail "readelf $program"
  ! grep -Eq '\((RUNPATH|RPATH)\)' "$work/dynamic.log" || { grep -E 'RUNPATH|RPATH' "$work/dynamic.log"; fail "$program carries a RUNPATH"; }
  status=0
  "$bin" --no-such-option >"$work/out.log" 2>&1 || status=$?
  [ "$status" = 2 ] && grep -q "^Usage: $program " "$work/out.log" || { cat "$work/out.log"; fail "$program took an unknown option"; }
  # Without a display it says so and ends with status 1 (loading all its libraries first).
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$work" "$bin" -- "$work" >"$work/out.log" 2>&1 ||
    status=$?
  [ "$status" = 1 ] && grep -qi 'graphical desktop session' "$work/out.log" ||
    { cat "$work/out.log"; fail "$program without a display: status $status"; }
done
echo "package: $(basename "$deb") ok"
