#!/usr/bin/python3
"""The running program measured on the virtual desktop of tests/e2e/virtual_session.sh.

Run by scripts/bench, which starts the virtual desktop with this file as its driver.
After one sign-in through onboarding and the scripted browser, it measures:

  - the time from starting the program to its icon in the tray (the session restored from the keyring);
  - the resident memory and the processor time of the program when idle, and how often each of its
    threads wakes up (context switches) while nothing happens;
  - a 1 GiB file sent through the program (chosen in the popover, which stays open and follows the
    upload, until the completion notification) beside the upload engine alone sending the same file
    to the same local service (tavrel_bench_engine --service);
  - a folder of many 4 KiB files sent the same way, beside the engine alone and a plain libcurl
    program sending the same files with the same requests (tavrel_bench_engine --small-files);
  - what a transfer costs per file: folders of N files of 512 bytes (in folders of 100) chosen in the
    popover, each sent by a freshly started program: its peak resident memory over its size before
    the transfer, and its processor time, per file;
  - what each Qt Quick renderer costs: the program with the renderer it chooses itself (software)
    and with OpenGL (QSG_RHI_BACKEND=opengl; on Xvfb that is Mesa's software GL, as in a virtual
    machine or on a desktop without a GPU driver): resident memory at rest signed in, before and
    after the popover was shown, and processor time while onboarding's "Waiting for sign-in..."
    spinner turns (the service held, so the sign-in waits).

Environment: what virtual_session.sh sets for its drivers, and TAVREL_BENCH_ENGINE (the engine
benchmark's program), TAVREL_BENCH_SIZE_MIB (default 1024; 0 leaves the large file out),
TAVREL_BENCH_RUNS (default 5), TAVREL_BENCH_SMALL_FILES (default 1000; 0 leaves them out),
TAVREL_BENCH_RENDERERS (default 1; 0 leaves the renderers' comparison out),
TAVREL_BENCH_FOLDERS (the file counts of the per-file costs, default 1000,20000,100000,200000; empty
leaves them out), TAVREL_BENCH_STARTS (default 5) and TAVREL_BENCH_IDLE_SECONDS (default 30; 0 leaves
the idle figures out). The local service keeps every upload: the runs need twice that many GiB under
the temporary folder.
"""

import os
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import main_road  # noqa: E402  (the e2e driver's user: the pointer, the keyboard, the tree)
from local_service_token import access_token  # noqa: E402

ENGINE = os.environ["TAVREL_BENCH_ENGINE"]
SIZE_MIB = int(os.environ.get("TAVREL_BENCH_SIZE_MIB", "1024"))
RUNS = int(os.environ.get("TAVREL_BENCH_RUNS", "5"))
SMALL_FILES = int(os.environ.get("TAVREL_BENCH_SMALL_FILES", "1000"))
RENDERERS = int(os.environ.get("TAVREL_BENCH_RENDERERS", "1"))
FOLDERS = [int(count) for count in os.environ.get("TAVREL_BENCH_FOLDERS", "1000,20000,100000,200000").split(",")
           if count.strip()]
SPINNER_SECONDS = 10
# What a user may name in the environment to pick Qt Quick's backend; each measurement starts clean.
BACKEND_VARIABLES = ("QT_QUICK_BACKEND", "QMLSCENE_DEVICE", "QSG_RHI_BACKEND")
STARTS = int(os.environ.get("TAVREL_BENCH_STARTS", "5"))
IDLE_SECONDS = int(os.environ.get("TAVREL_BENCH_IDLE_SECONDS", "30"))
TICKS = os.sysconf("SC_CLK_TCK")


def sign_in(road):
    road.start_program()
    road.wait("the onboarding window", lambda: road.find(lambda role, name: name == "Welcome to Tavrel"))
    road.click(road.button("Sign In"))
    road.click(road.button("Done"))
    road.wait("the tray icon", road.tray_icon)


def start_to_tray_icon(road):
    """Seconds from starting the program to its icon in the tray, the first start and the rest."""
    times = []
    for _ in range(STARTS):
        road.quit_program()
        time.sleep(1)
        started = time.monotonic()
        road.start_program()
        while road.tray_icon() is None:
            if road.program.poll() is not None:
                raise main_road.StepFailed("the program ended before its tray icon appeared")
            if time.monotonic() - started > 60:
                raise main_road.StepFailed("no tray icon within a minute")
            time.sleep(0.005)
        times.append(time.monotonic() - started)
    return times


def threads(pid):
    """Each thread's name and its context switches so far (each one a wake-up or a preemption)."""
    result = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/comm") as file:
                name = file.read().strip()
            switches = 0
            with open(f"/proc/{pid}/task/{tid}/status") as file:
                for line in file:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
            result[tid] = (name, switches)
        except OSError:
            continue  # the thread ended
    return result


def processor_seconds(pid):
    with open(f"/proc/{pid}/stat") as file:
        fields = file.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS  # utime, stime


def resident_mib(pid, field="VmRSS"):
    with open(f"/proc/{pid}/status") as file:
        for line in file:
            if line.startswith(field + ":"):
                return int(line.split()[1]) / 1024
    return 0.0


def idle(road):
    pid = road.program.pid
    time.sleep(5)  # settle: the first recent-transfers load, the tray's first paints
    before, cpu_before = threads(pid), processor_seconds(pid)
    time.sleep(IDLE_SECONDS)
    after, cpu_after = threads(pid), processor_seconds(pid)
    wakeups = {}
    for tid, (name, switches) in after.items():
        woke = switches - before.get(tid, (name, 0))[1]
        if woke:
            wakeups[f"{name} ({tid})"] = woke
    return resident_mib(pid), cpu_after - cpu_before, wakeups


def start_with_renderer(road, environment):
    """Starts the program with only the given backend variables set, and waits for its tray icon."""
    road.quit_program()
    time.sleep(1)
    kept = {name: os.environ.pop(name) for name in BACKEND_VARIABLES if name in os.environ}
    os.environ.update(environment)
    try:
        road.start_program()
    finally:
        for name in environment:
            os.environ.pop(name, None)
        os.environ.update(kept)
    road.wait("the tray icon", road.tray_icon)


def spinner_cost(road, name):
    """Signs out, then signs in with the service held, so onboarding's spinner turns: the program's
    processor seconds and resident memory over SPINNER_SECONDS; then lets the sign-in finish."""
    pid = road.program.pid
    road.open_popover()
    road.click(road.find(lambda role, name: name == "Tavrel menu"))
    time.sleep(0.5)
    road.keys("Up")  # from "Quit Tavrel" at the bottom up to "Sign Out"
    road.keys("Up")
    road.keys("Return")
    road.wait("the onboarding window", lambda: road.find(lambda role, name: name == "Welcome to Tavrel"))
    with road.service_held():  # the browser's page waits, and with it the sign-in
        road.click(road.button("Sign In"))
        road.wait("the spinner", lambda: road.find(lambda role, name: name.startswith("Waiting for sign-in")))
        time.sleep(1)
        cpu_before = processor_seconds(pid)
        time.sleep(SPINNER_SECONDS)
        cpu = processor_seconds(pid) - cpu_before
        rss = resident_mib(pid)
        road.shot("spinner-" + name)
    road.click(road.button("Done"))
    road.wait("the tray icon", road.tray_icon)
    return cpu, rss


def renderer_costs(road):
    """Each renderer's memory at rest and processor time while a spinner turns, one after the other."""
    renderers = [("software", "the program's own choice", {}),
                 ("opengl", "QSG_RHI_BACKEND=opengl", {"QSG_RHI_BACKEND": "opengl"})]
    for name, how, environment in renderers:
        start_with_renderer(road, environment)
        pid = road.program.pid
        time.sleep(5)  # settle, as for the idle figures
        at_rest = resident_mib(pid)
        cpu_before = processor_seconds(pid)
        time.sleep(SPINNER_SECONDS)
        rest_cpu = processor_seconds(pid) - cpu_before
        road.open_popover()
        time.sleep(1)
        road.shot("popover-" + name)
        road.close_popover()
        time.sleep(3)
        after_popover = resident_mib(pid)
        spinner_cpu, spinner_rss = spinner_cost(road, name)
        print(f"{name} renderer ({how}): at rest signed in, resident {at_rest:.0f} MiB "
              f"({rest_cpu / SPINNER_SECONDS * 100:.1f} % of one core), {after_popover:.0f} MiB once the popover "
              f"was shown and closed; while the sign-in spinner turns {spinner_cpu / SPINNER_SECONDS * 100:.1f} % "
              f"of one core (resident {spinner_rss:.0f} MiB)", flush=True)
    start_with_renderer(road, {})


def completed_notifications(road):
    return [body for summary, body in road.notifications() if summary == "Transfer completed"]


def upload_through_program(road, path, limit=600):
    """Seconds from choosing the file in the popover to the completion notification, and the
    program's peak resident memory."""
    completed_before = len(completed_notifications(road))  # also closes what is still on screen
    # The notification is seen on the session bus as it is sent: a poller that starts a process every
    # few milliseconds would take a core from the upload it measures.
    monitor = subprocess.Popen(
        ["dbus-monitor", "--monitor", "interface='org.freedesktop.Notifications',member='Notify'"],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    listening, notified = threading.Event(), threading.Event()
    seen = []

    def watch():
        for line in monitor.stdout:
            listening.set()
            if "Transfer completed" in line or "Transfer failed" in line:
                seen.append(time.monotonic())
                notified.set()
                return

    watcher = threading.Thread(target=watch, daemon=True)
    watcher.start()
    try:
        if not listening.wait(10):
            raise main_road.StepFailed("dbus-monitor did not start")
        road.open_popover()
        road.click(road.button("Choose files or folders"))
        road.wait("the file dialog",
                  lambda: road.find(lambda role, name: role == "text" and "name" in name.lower()))
        road.click(road.find(lambda role, name: role == "text" and "name" in name.lower()))
        road.type_text(path)
        started = time.monotonic()
        road.keys("Return")
        road.open_popover()  # the popover follows the upload: its cost is part of what is measured
        while not notified.wait(1):
            if road.program.poll() is not None:
                raise main_road.StepFailed("the program ended while sending")
            if time.monotonic() - started > limit:
                raise main_road.StepFailed(f"the upload did not finish within {limit} s")
        elapsed = seen[0] - started
    finally:
        monitor.kill()
        monitor.wait()
        watcher.join()
    road.wait("the notification on screen", lambda: len(completed_notifications(road)) > completed_before)
    return elapsed, resident_mib(road.program.pid, "VmHWM")


def small_files(road, token, work):
    """The program sending a folder of SMALL_FILES files of 4 KiB, taking turns with the engine alone
    and libcurl sending the same files to the same service."""
    folder = os.path.join(work, "Small files")
    os.makedirs(folder, exist_ok=True)
    for index in range(SMALL_FILES):
        with open(os.path.join(folder, f"f{index:06d}.bin"), "wb") as file:
            file.write(os.urandom(4096))
    program, engine, curl = [], [], []
    for run in range(1, RUNS + 1):
        elapsed, peak = upload_through_program(road, folder)
        program.append(SMALL_FILES / elapsed)
        reference = subprocess.run(
            [ENGINE, "--service", os.environ["TAVREL_E2E_SERVICE_URL"], "--ca", os.environ["TAVREL_E2E_CA"],
             "--token", token, "--small-files", str(SMALL_FILES), "--folder", folder, "--runs", "1"],
            capture_output=True, text=True)
        if reference.returncode != 0:
            raise main_road.StepFailed("the engine benchmark failed: " + reference.stderr.strip())
        line = next(line for line in reference.stdout.splitlines() if line.startswith("engine alone, small files"))
        words = line.split()
        engine.append(float(words[6]))
        curl.append(float(words[words.index("libcurl") + 1]))
        print(f"run {run}: program {program[-1]:.1f} files/s ({elapsed:.2f} s from choosing the folder to the "
              f"notification; peak resident {peak:.0f} MiB); engine alone {engine[-1]:.1f} files/s; "
              f"libcurl {curl[-1]:.1f} files/s", flush=True)
    medians = [statistics.median(figures) for figures in (program, engine, curl)]
    print(f"{SMALL_FILES} files of 4 KiB, medians of {RUNS} runs taking turns: program {medians[0]:.1f} files/s, "
          f"engine alone {medians[1]:.1f}, libcurl {medians[2]:.1f}; the program costs "
          f"{(1 - medians[0] / medians[1]) * 100:.1f} % of the engine (target under 10 %), the engine is "
          f"{medians[1] / medians[2]:.2f}× libcurl (target at least 1)", flush=True)


def folder_of(work, count):
    """A folder of `count` files of 512 bytes, in folders of 100, as a user's photo or log folders are.
    Short names keep the register body of 100,000 files under the local service's 16 MiB."""
    folder = os.path.join(work, f"n{count}")
    if not os.path.isdir(folder):
        os.makedirs(folder)
        content = os.urandom(512)
        for index in range(count):
            inner = os.path.join(folder, f"d{index // 100:04d}")
            if index % 100 == 0:
                os.mkdir(inner)
            with open(os.path.join(inner, f"f{index:06d}"), "wb") as file:
                file.write(content)
    return folder


def per_file_costs(road, work):
    """For each count, a freshly started program sends a folder of that many files: its peak resident
    memory over its size just before, and its processor time, per file."""
    rows = []
    for count in FOLDERS:
        folder = folder_of(work, count)
        road.quit_program()
        time.sleep(1)
        road.start_program()
        road.wait("the tray icon", road.tray_icon)
        pid = road.program.pid
        road.open_popover()  # the popover's views are loaded before, not counted as the transfer's
        time.sleep(3)
        road.close_popover()
        time.sleep(2)
        with open(f"/proc/{pid}/clear_refs", "w") as file:
            file.write("5")  # the peak starts again from the size now
        before, cpu_before = resident_mib(pid), processor_seconds(pid)
        elapsed, peak = upload_through_program(road, folder, limit=max(600, count // 100))
        cpu = processor_seconds(pid) - cpu_before
        over = max(peak - before, 0.0)
        rows.append((count, before, peak, over, cpu, elapsed))
        print(f"{count} files of 512 bytes: {elapsed:.1f} s from choosing the folder to the notification; resident "
              f"{before:.0f} MiB before, peak {peak:.0f} MiB: {over:.0f} MiB over, {over * 1024 * 1024 / count:.0f} "
              f"bytes a file; processor {cpu:.1f} s, {cpu / count * 1e6:.0f} µs a file", flush=True)
    if rows:
        # The step from the previous count is what each further file costs, without the transfer's
        # fixed part (the popover following it, the requests every transfer makes).
        print("| files | resident before | peak | over before | per file | each further file | processor | per file "
              "| choosing to notification |")
        print("| --- | --- | --- | --- | --- | --- | --- | --- | --- |")
        previous = None
        for count, before, peak, over, cpu, elapsed in rows:
            step = "" if previous is None else f"{(over - previous[1]) * 1024 * 1024 / (count - previous[0]):.0f} B"
            print(f"| {count:,} | {before:.0f} MiB | {peak:.0f} MiB | {over:.0f} MiB | "
                  f"{over * 1024 * 1024 / count:.0f} B | {step} | {cpu:.1f} s | {cpu / count * 1e6:.0f} µs "
                  f"| {elapsed:.1f} s |", flush=True)
            previous = (count, over)


def main():
    road = main_road.Road()
    work = os.environ["TAVREL_E2E_WORK"]
    path = os.path.join(work, "Benchmark.bin")
    try:
        print("signing in through onboarding and the scripted browser ...", flush=True)
        sign_in(road)

        if RENDERERS:
            renderer_costs(road)

        if STARTS > 0:
            starts = start_to_tray_icon(road)
            print(f"start to tray icon (session from the keyring), {STARTS} starts: first {starts[0] * 1000:.0f} ms, "
                  f"median {statistics.median(starts) * 1000:.0f} ms, range {min(starts) * 1000:.0f}"
                  f"-{max(starts) * 1000:.0f} ms", flush=True)

        if IDLE_SECONDS > 0:
            rss, cpu, wakeups = idle(road)
            print(f"idle for {IDLE_SECONDS} s with the popover closed: resident {rss:.0f} MiB, processor "
                  f"{cpu * 1000:.0f} ms ({cpu / IDLE_SECONDS * 100:.2f} % of one core)", flush=True)
            total = sum(wakeups.values())
            print(f"  wake-ups in {IDLE_SECONDS} s: {total}"
                  + ("" if not wakeups else " — " + ", ".join(f"{k}: {v}" for k, v in sorted(wakeups.items()))),
                  flush=True)

        # A transfer's fixed cost, whatever its size: the dialog closing, preparation, creating and
        # completing the transfer, the notification.
        small = os.path.join(work, "Small.txt")
        with open(small, "w") as file:
            file.write("x")
        fixed = min(upload_through_program(road, small)[0] for _ in range(3))
        print(f"a one-byte file, from choosing it to the notification: {fixed * 1000:.0f} ms (best of 3)", flush=True)

        token = access_token(os.environ["TAVREL_E2E_SERVICE_URL"], os.environ["TAVREL_E2E_CA"])
        if SIZE_MIB > 0:
            print(f"writing {SIZE_MIB} MiB of random bytes ...", flush=True)
            with open(path, "wb") as file:
                for _ in range(SIZE_MIB):
                    file.write(os.urandom(1 << 20))
            with open(path, "rb") as file:
                while file.read(1 << 24):
                    pass  # into the page cache, as the engine benchmark does

            # The program and the engine alone take turns, so a drift of the machine (page cache, the
            # service's storage filling) weighs on both alike.
            program, engine = [], []
            for run in range(1, RUNS + 1):
                elapsed, peak = upload_through_program(road, path)
                program.append(SIZE_MIB / elapsed)
                print(f"run {run}: program {SIZE_MIB / elapsed:.1f} MiB/s ({elapsed:.2f} s from choosing the file "
                      f"to the notification; peak resident {peak:.0f} MiB)", flush=True)
                reference = subprocess.run(
                    [ENGINE, "--service", os.environ["TAVREL_E2E_SERVICE_URL"], "--ca", os.environ["TAVREL_E2E_CA"],
                     "--token", token, "--file", path, "--runs", "1"],
                    capture_output=True, text=True)
                if reference.returncode != 0:
                    raise main_road.StepFailed("the engine benchmark failed: " + reference.stderr.strip())
                line = next(line for line in reference.stdout.splitlines() if line.startswith("engine alone, run"))
                engine.append(float(line.split()[4]))
                print(f"       engine alone {engine[-1]:.1f} MiB/s", flush=True)

            def summary(name, figures):
                return f"{name} median {statistics.median(figures):.1f} MiB/s (best {max(figures):.1f})"

            cost = (1 - statistics.median(program) / statistics.median(engine)) * 100
            print(f"{summary('program', program)}, {summary('engine alone', engine)}: the program costs {cost:.1f} % "
                  f"of the engine's throughput (target under 5 %)", flush=True)
        if SMALL_FILES > 0:
            small_files(road, token, work)
        per_file_costs(road, work)
    except main_road.StepFailed as failure:
        road.shot("benchmark-failed")
        print(f"FAIL: {failure}", flush=True)
        return 1
    finally:
        road.quit_program()
        if os.path.exists(path):
            os.remove(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
