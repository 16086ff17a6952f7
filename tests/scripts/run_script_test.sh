#!/usr/bin/env bash
# scripts/run on a graphical session, in a throw-away checkout and home: the set-up and build are
# stand-ins (the build records that it ran), the program and the share program are stand-ins that
# record how they were started, the local service is the real one, and so is scripts/run-virtual, on a
# stand-in desktop that comes down only when told. A second run, graphical or virtual, or a run over a
# service left behind, must leave the running one's desktop entry and log as they were; a run puts
# back an entry it did not write; files named on the command line reach the share program. A virtual
# run, and scripts/run-virtual on its own, hold the one-run lock until their desktop has ended, however
# they are stopped.
#
#   run_script_test.sh SOURCE_DIR LOCAL_SERVICE
set -euo pipefail
source_dir=$1
local_service=$(realpath "$2")
work=$(mktemp -d)
state="$work/state" checkout="$work/checkout"
runs=()
cleanup() {
  touch "$state/quit-program" "$state/quit-desktop"
  for pid in "${runs[@]}"; do kill "$pid" 2>/dev/null || true; done
  if [ -f "$state/service.pids" ]; then
    while read -r pid; do kill "$pid" 2>/dev/null || true; done <"$state/service.pids"
  fi
  sleep 0.5
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; for out in "$work"/*.out; do echo "--- $out"; cat "$out"; done >&2; exit 1; }
# Waits for an event of another process, while the run named by $2 (if any) lasts; the limit only
# keeps a broken run from hanging the test.
wait_for() {
  for _ in $(seq 1 1200); do
    if eval "$1"; then return 0; fi
    if [ -n "${2:-}" ] && ! kill -0 "$2" 2>/dev/null; then fail "the run ended while waiting for: $1"; fi
    sleep 0.1
  done
  fail "still waiting for: $1"
}

mkdir -p "$state" "$work/bin" "$work/home" "$work/runtime" "$work/files/a folder" \
  "$checkout/scripts" "$checkout/packaging" "$checkout/build/release/bin" "$checkout/build/release/tools/local_service" \
  "$checkout/tests/e2e"
chmod 700 "$work/runtime"
echo text >"$work/files/my file.txt"
cp "$source_dir/scripts/run" "$source_dir/scripts/run-virtual" "$checkout/scripts/"
cp "$source_dir/packaging/com.tavrel.macos.desktop.in" "$checkout/packaging/"
for tool in "$checkout/scripts/setup" "$work/bin/update-desktop-database" "$work/bin/xdg-mime"; do
  printf '#!/bin/sh\nexit 0\n' >"$tool"
done
printf '#!/bin/sh\necho "$*" >>"$RUN_TEST_STATE/cmake.calls"\n' >"$work/bin/cmake"
cat >"$checkout/build/release/tools/local_service/tavrel-local-service" <<STUB
#!/bin/sh
echo \$\$ >>"$state/service.pids"
exec "$local_service" "\$@"
STUB
# The program listens on its single-instance socket until told to quit.
cat >"$checkout/build/release/bin/tavrel" <<'STUB'
#!/usr/bin/python3
import os, socket, time
state = os.environ["RUN_TEST_STATE"]
path = os.path.join(os.environ["XDG_RUNTIME_DIR"], "com.tavrel.macos.socket")
listener = socket.socket(socket.AF_UNIX)
if os.path.exists(path):
    os.unlink(path)
listener.bind(path)
listener.listen()
open(os.path.join(state, "program.started"), "w").close()
while not os.path.exists(os.path.join(state, "quit-program")):
    time.sleep(0.1)
os.unlink(path)
os.unlink(os.path.join(state, "quit-program"))
os.unlink(os.path.join(state, "program.started"))
STUB
cat >"$checkout/build/release/bin/tavrel-share" <<'STUB'
#!/bin/sh
printf '%s\n' "$@" >"$RUN_TEST_STATE/share.args.new" && mv "$RUN_TEST_STATE/share.args.new" "$RUN_TEST_STATE/share.args"
STUB
# The virtual desktop notes the stops it is handed, and ends only when told.
cat >"$checkout/tests/e2e/virtual_session.sh" <<'STUB'
#!/bin/sh
for signal in INT TERM HUP; do trap "echo $signal >>\"\$RUN_TEST_STATE/desktop.signals\"" "$signal"; done
echo $$ >"$RUN_TEST_STATE/desktop.pid"
until [ -e "$RUN_TEST_STATE/quit-desktop" ]; do sleep 0.1; done
rm -f "$RUN_TEST_STATE/quit-desktop" "$RUN_TEST_STATE/desktop.pid"
exit 3
STUB
chmod +x "$checkout/scripts/"* "$work/bin/"* "$checkout/build/release/bin/"* "$checkout/build/release/tools/local_service/"* \
  "$checkout/tests/e2e/"*

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
export HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config"
export XDG_RUNTIME_DIR="$work/runtime" DISPLAY=:97 TAVREL_LOCAL_PORT="$port" RUN_TEST_STATE="$state"
export PATH="$work/bin:$PATH"
unset WAYLAND_DISPLAY
entry="$XDG_DATA_HOME/applications/com.tavrel.macos.desktop"
log="$checkout/build/release/run/service.log"

# A run ($1, its output in $work/$2.out, its options the rest) is refused with $3 and leaves the
# running one's entry and log as they were: the log only grew.
expect_refused() {
  cp "$entry" "$work/entry.before"
  cp "$log" "$work/log.before"
  local status=0
  "$checkout/scripts/run" "${@:4}" </dev/null >"$work/$2.out" 2>&1 || status=$?
  [ "$status" = 1 ] || fail "$1 ended with $status"
  grep -q "$3" "$work/$2.out" || fail "$1 did not say why it stopped"
  cmp -s "$entry" "$work/entry.before" || fail "$1: the running one's desktop entry changed or went"
  head -c "$(stat -c %s "$work/log.before")" "$log" | cmp -s - "$work/log.before" || fail "$1: the service log was cut"
}

echo "A second run while one runs, graphical or virtual; the files named reach the share sheet"
(cd "$work/files" && exec "$checkout/scripts/run" "my file.txt" "a folder") </dev/null >"$work/first.out" 2>&1 &
first=$!
runs+=("$first")
wait_for "[ -f \"$state/program.started\" ] && [ -f \"$state/share.args\" ]" "$first"
printf '%s\n' -- "$work/files/my file.txt" "$work/files/a folder" | cmp -s - "$state/share.args" ||
  fail "the share program was started with: $(cat "$state/share.args")"
expect_refused "a second run" second "already runs"
# The virtual road (no run-virtual in this checkout) must stop at the lock too, before any build.
: >"$state/cmake.calls"
expect_refused "a virtual run" virtual "already runs from scripts/run (process $first)" --virtual
[ ! -s "$state/cmake.calls" ] || fail "a virtual run built while another run held the lock"
kill -0 "$first" || fail "the first run stopped"
touch "$state/quit-program"
wait "$first" || fail "the first run failed"
[ ! -e "$entry" ] || fail "the first run left its desktop entry behind"

echo "A run over the service of a run killed outright"
rm -f "$state/share.args"
"$checkout/scripts/run" </dev/null >"$work/killed.out" 2>&1 &
killed=$!
runs+=("$killed")
wait_for "[ -f \"$state/program.started\" ]" "$killed"
kill -KILL "$killed"
wait "$killed" 2>/dev/null || true
touch "$state/quit-program"
wait_for "[ ! -e \"$state/program.started\" ]"
expect_refused "a run over a service left behind" over-leftover "A local service already runs on port $port"
while read -r pid; do
  kill "$pid" 2>/dev/null || true
  wait_for "! kill -0 $pid 2>/dev/null"
done <"$state/service.pids"
: >"$state/service.pids"

# While a virtual run ($1, process $2) lasts, no other run starts, graphical or virtual, nor builds.
expect_virtual_run_holds() {
  local other status
  : >"$state/cmake.calls"
  for other in run run-virtual; do
    status=0
    # (One that does start would run until its desktop is told to end.)
    timeout 30 "$checkout/scripts/$other" </dev/null >"$work/beside.out" 2>&1 || status=$?
    [ "$status" = 1 ] && grep -q "already runs from scripts/$1 (process $2)" "$work/beside.out" ||
      fail "scripts/$other beside a virtual run: status $status, $(cat "$work/beside.out")"
  done
  [ ! -s "$state/cmake.calls" ] || fail "a run built while a virtual run held the lock"
}
# Stops the virtual run $1 (process $2) with signal $3: the stop reaches its desktop, the run holds the
# lock until the desktop has ended, then ends with the desktop's status.
expect_stopped_with_its_desktop() {
  rm -f "$state/desktop.signals"
  kill "-$3" "$2"
  wait_for "grep -qx $3 \"$state/desktop.signals\" 2>/dev/null" "$2"
  sleep 0.3
  kill -0 "$2" 2>/dev/null || fail "scripts/$1 ended before its desktop"
  expect_virtual_run_holds "$1" "$2"
  touch "$state/quit-desktop"
  local status=0
  wait "$2" || status=$?
  [ "$status" = 3 ] || fail "scripts/$1 ended with $status, not its desktop's status"
  flock -n "$XDG_DATA_HOME/tavrel-local-service/run.lock" true || fail "scripts/$1 left the lock held"
}

echo "A virtual run holds the lock until its desktop has ended"
"$checkout/scripts/run" --virtual </dev/null >"$work/virtual-run.out" 2>&1 &
virtual=$!
runs+=("$virtual")
wait_for "[ -f \"$state/desktop.pid\" ]" "$virtual"
expect_virtual_run_holds run "$virtual"
expect_stopped_with_its_desktop run "$virtual" TERM

echo "scripts/run-virtual on its own holds the lock too"
"$checkout/scripts/run-virtual" </dev/null >"$work/run-virtual.out" 2>&1 &
virtual=$!
runs+=("$virtual")
wait_for "[ -f \"$state/desktop.pid\" ]" "$virtual"
expect_stopped_with_its_desktop run-virtual "$virtual" HUP

echo "A desktop entry the run did not write is put back"
mkdir -p "$(dirname "$entry")"
printf '[Desktop Entry]\nType=Application\nName=Mine\nExec=/opt/mine/tavrel %%u\n' >"$entry"
cp "$entry" "$work/entry.mine"
"$checkout/scripts/run" </dev/null >"$work/third.out" 2>&1 &
third=$!
runs+=("$third")
wait_for "[ -f \"$state/program.started\" ]" "$third"
grep -q "^Exec=.*/program/tavrel %u$" "$entry" || fail "the run did not install its own entry"
touch "$state/quit-program"
wait "$third" || fail "the third run failed"
cmp -s "$entry" "$work/entry.mine" || fail "the user's own desktop entry was not put back"
echo "PASS"
