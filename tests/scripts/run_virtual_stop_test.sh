#!/usr/bin/env bash
# The virtual desktop (tests/e2e/virtual_session.sh, which scripts/run --virtual runs) stopped as
# scripts/run-virtual stops it: a Ctrl+C handed to its process group, then a TERM while it is still
# ending. The walk is a stand-in that leaves a big folder behind and does not end: it ignores the
# stop, as a walk blocked in a call to a busy program does, and so does a program it started. The
# desktop must still end, with everything it started, and its temporary folder must be gone.
#
#   run_virtual_stop_test.sh SOURCE_DIR LOCAL_SERVICE
set -euo pipefail
source_dir=$1
local_service=$(realpath "$2")
work=$(mktemp -d)
desktop=""
cleanup() {
  if [ -n "$desktop" ]; then kill -KILL "-$desktop" 2>/dev/null || true; fi
  if [ -f "$work/state/program.pid" ]; then kill -KILL "$(cat "$work/state/program.pid")" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; cat "$work/desktop.out" >&2 || true; exit 1; }
# Whether process $1 runs (one that has ended but is not yet waited for does not).
runs() { local stat; stat=$(ps -o stat= -p "$1") && [ "${stat#Z}" = "$stat" ]; }
# The limit only keeps a broken desktop from hanging the test.
wait_for() {
  for _ in $(seq 1 1200); do
    if eval "$1"; then return 0; fi
    sleep 0.1
  done
  fail "still waiting for: $1"
}

mkdir -p "$work/state" "$work/tmp" "$work/build/bin" "$work/build/share"
for program in tavrel tavrel-share; do printf '#!/bin/sh\nexit 0\n' >"$work/build/bin/$program"; done
chmod +x "$work/build/bin/"*
cat >"$work/driver.py" <<'DRIVER'
import os, signal, subprocess, time
state = os.environ["RUN_TEST_STATE"]
work = os.environ["TAVREL_E2E_WORK"]
# What a big run leaves in the desktop's folder: many files.
for folder in range(20):
    os.makedirs(os.path.join(work, "Sent", str(folder)))
    for name in range(100):
        with open(os.path.join(work, "Sent", str(folder), str(name)), "w") as file:
            file.write("bytes")
program = subprocess.Popen(["sh", "-c", "trap '' INT TERM HUP; while :; do sleep 1; done"])
with open(os.path.join(state, "program.pid"), "w") as file:
    file.write(str(program.pid))
def stopped(number, _frame):
    open(os.path.join(state, "walk." + signal.Signals(number).name), "w").close()
for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
    signal.signal(number, stopped)
with open(os.path.join(state, "walk.work"), "w") as file:
    file.write(work)
while True:
    time.sleep(1)
DRIVER

set -m
RUN_TEST_STATE="$work/state" TAVREL_VIRTUAL_DRIVER="$work/driver.py" TMPDIR="$work/tmp" \
  sh "$source_dir/tests/e2e/virtual_session.sh" --tavrel "$work/build/bin/tavrel" --share "$work/build/bin/tavrel-share" \
  --service "$local_service" --shots "$work/shots" --road no-tray </dev/null >"$work/desktop.out" 2>&1 &
desktop=$!
set +m
wait_for "[ -s \"$work/state/walk.work\" ]"
desktop_folder=$(cat "$work/state/walk.work")
program=$(cat "$work/state/program.pid")

echo "A Ctrl+C, then a TERM while the desktop ends"
kill -INT "-$desktop"
wait_for "[ -e \"$work/state/walk.SIGTERM\" ]"
kill -TERM "-$desktop"
status=0
wait "$desktop" || status=$?
desktop=""
[ "$status" = 130 ] || fail "the desktop ended with $status"
! runs "$program" || fail "a program the walk started still runs"
[ ! -e "$desktop_folder" ] || fail "the desktop left $desktop_folder"
[ -z "$(ls -A "$work/tmp")" ] || fail "the desktop left $(ls -A "$work/tmp")"
echo "PASS"
