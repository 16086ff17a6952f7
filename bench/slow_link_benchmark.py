#!/usr/bin/python3
"""The upload engine on a slow link, beside general tools on the same link in the same run.

A network namespace of its own whose loopback holds every packet on arrival for half the round trip
(tavrel_bench_link_delay on a netfilter queue: this kernel has no netem), with loss and outages
through packet-filter rules and a rate through a token bucket. The local service, an HTTPS WebDAV
server (rclone) and every client run inside it; Unix sockets (X11, D-Bus) are not delayed, only TCP.
Needs root.

  slow_link_benchmark.py --engine ENGINE_BENCH --service LOCAL_SERVICE --delayer LINK_DELAY
                         [--run SCRIPTS_RUN] [--files N] [--runs N] [--tools engine,libcurl,curl]
                         [--cut-at SECONDS] [--congestion reno|bbr] [SCENARIO ...]

Scenarios (all but `program` when none are named, `all` for every one; each also on its own):
  small-0 small-20 small-50 small-100   N files of 4 KiB (default 1,000) at that round trip: the engine
                 (tavrel_bench_engine --small-files --only engine), the same requests by plain
                 libcurl (--only libcurl), both against the local service, and
                 `curl --parallel --parallel-max 8` putting the same files to the WebDAV server
  loss           the same at 50 ms with 1 % of TCP packets dropped on arrival
  outage         the same at 50 ms, every TCP packet dropped for 20 s from 3 s after each tool started
  big            a 256 MiB file at 50 ms and 200 Mbit/s: the engine (its parts as the service sizes
                 them) beside one curl PUT to the WebDAV server
  program        `scripts/run --virtual -- FOLDER` (SCRIPTS_RUN) at 50 ms: "Sending" to the share
                 link, beside the engine alone with the same folder
  cut            the engine at 50 ms, every established connection cut at +30 s (--cut-at; its packets
                 dropped silently, both directions), beside an undisturbed run
  cut-signal     the same, with a network change GIO's monitor sees (an address added) at the cut

Every scenario first checks the round trip with a one-byte ping-pong. The binaries are arguments,
so the same run measures a newer build: --engine /other/build/bench/tavrel_bench_engine.
"""

import argparse
import contextlib
import ctypes
import os
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from local_service_token import access_token, start_local_service  # noqa: E402

FILE_SIZE = 4096
BIG_MIB = 256
BIG_RUNS = 3
OUTAGE_AT, OUTAGE_FOR = 3.0, 20.0
CHANGED_ADDRESS = "10.201.0.1/24"
TIMEOUT = 3600

SMALL = {"small-0": 0, "small-20": 20, "small-50": 50, "small-100": 100}
ALL = [*SMALL, "loss", "outage", "big", "cut", "cut-signal"]


def run(*command, check=True, **options):
    return subprocess.run(command, check=check, capture_output=True, text=True, **options)


class Link:
    """The namespace this process has entered, its loopback and the rules on it."""

    def __init__(self, delayer, congestion):
        self.delayer_binary = delayer
        self.delayer = None
        self.rtt = 0
        self.name = f"tavrel-slow-link-{os.getpid()}"
        run("ip", "netns", "add", self.name)
        # Entered before any thread starts: every thread and child after this is inside.
        libc = ctypes.CDLL(None, use_errno=True)
        with open(f"/run/netns/{self.name}") as namespace:
            if libc.setns(namespace.fileno(), 0x40000000) != 0:  # CLONE_NEWNET
                raise OSError(ctypes.get_errno(), "setns")
        # Segments of 1,448 bytes and a slow start, as on the Internet; a default route, so the
        # desktop's network monitor counts the network as there.
        run("ip", "link", "set", "lo", "mtu", "1500", "up")
        run("ethtool", "-K", "lo", "tso", "off", "gso", "off")
        run("ip", "route", "add", "default", "dev", "lo")
        if congestion:
            run("sysctl", "-qw", f"net.ipv4.tcp_congestion_control={congestion}")
        with open("/proc/sys/net/ipv4/tcp_congestion_control") as file:
            self.congestion = file.read().strip()
        # What reaches a socket, counted after every drop rule: a run's longest silence.
        run("iptables", "-A", "INPUT", "-p", "tcp", "-m", "comment", "--comment", "tavrel-delivered")

    def close(self):
        self.set_rtt(0)
        run("ip", "netns", "del", self.name, check=False)

    def set_rtt(self, rtt):
        if rtt == self.rtt and (rtt == 0 or self.delayer):
            return
        if self.delayer:
            run("iptables", "-t", "mangle", "-D", "PREROUTING", "-i", "lo", "-j", "NFQUEUE", "--queue-num", "0")
            self.delayer.send_signal(signal.SIGTERM)
            out, _ = self.delayer.communicate(timeout=10)
            print("     delayer: " + out.strip().splitlines()[-1], flush=True)
            self.delayer = None
        self.rtt = rtt
        if rtt:
            self.delayer = subprocess.Popen([self.delayer_binary, "--hold-us", str(rtt * 500)],
                                            stdout=subprocess.PIPE, text=True)
            if not self.delayer.stdout.readline().startswith("holding"):
                raise RuntimeError("the delayer did not start")
            run("iptables", "-t", "mangle", "-A", "PREROUTING", "-i", "lo", "-j", "NFQUEUE", "--queue-num", "0")

    @staticmethod
    def drop(tag, *match):
        """Drops what `match` matches on arrival, ahead of every rule before it."""
        run("iptables", "-I", "INPUT", "-p", "tcp", *match, "-m", "comment", "--comment", tag, "-j", "DROP")

    @staticmethod
    def undrop(tag):
        # By number: a rule given again is not always found (the statistic match keeps its
        # probability rounded, and a delete of 0.01 finds nothing).
        listed = run("iptables", "-L", "INPUT", "-n", "--line-numbers").stdout.splitlines()
        for number in reversed([line.split()[0] for line in listed if f"/* {tag} */" in line]):
            run("iptables", "-D", "INPUT", number)

    def set_loss(self, probability):
        self.undrop("tavrel-loss")
        if probability:
            self.drop("tavrel-loss", "-m", "statistic", "--mode", "random", "--probability", str(probability))

    def set_outage(self, on):
        self.drop("tavrel-outage") if on else self.undrop("tavrel-outage")

    def set_rate(self, rate):
        run("tc", "qdisc", "del", "dev", "lo", "root", check=False)
        if rate:
            run("tc", "qdisc", "add", "dev", "lo", "root", "tbf", "rate", rate, "burst", "64kb", "limit", "4mb")

    def cut_established(self):
        """Drops every packet of every established connection from now on, both ways (each end is
        listed); new connections go through. Returns how many connections were cut."""
        ends = [line.split()[-2:] for line in run("ss", "-tnH", "state", "established").stdout.splitlines()]
        for local, peer in ends:
            local_address, local_port = local.rsplit(":", 1)
            peer_address, peer_port = peer.rsplit(":", 1)
            self.drop("tavrel-cut", "-s", peer_address, "--sport", peer_port, "-d", local_address,
                      "--dport", local_port)
        return len(ends) // 2

    def clear_cuts(self):
        self.undrop("tavrel-cut")

    def delivered(self):
        """TCP packets that reached a socket so far (the counting rule at INPUT's end)."""
        for line in run("iptables", "-L", "INPUT", "-v", "-x", "-n").stdout.splitlines():
            if "tavrel-delivered" in line:
                return int(line.split()[0])
        return 0

    def queue_drops(self):
        """Packets the kernel's queue dropped (full, or the delayer too slow), as it counts them."""
        with contextlib.suppress(OSError), open("/proc/net/netfilter/nfnetlink_queue") as file:
            return sum(int(line.split()[5]) + int(line.split()[6]) for line in file)
        return 0


class Silence(threading.Thread):
    """Samples the delivered packets every 0.2 s: `stretches` are those of over a second with none,
    as (from, seconds) since the start."""

    def __init__(self, link):
        super().__init__(daemon=True)
        self.link, self.stop, self.stretches = link, threading.Event(), []

    def run(self):
        last, moved = self.link.delivered(), time.monotonic()
        started = moved
        while True:
            stopping = self.stop.wait(0.2)
            count, now = self.link.delivered(), time.monotonic()
            if count != last or stopping:
                if now - moved > 1.2:
                    self.stretches.append((moved - started, now - moved))
                last, moved = count, now
            if stopping:
                return

    def described(self):
        return ", ".join(f"{seconds:.1f} s from +{since:.1f} s" for since, seconds in self.stretches) or "none"

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *_):
        self.stop.set()
        self.join()


class Disturbance:
    """Runs `disturb(started, finished)` on a thread from begin() on; on leaving, sets `finished` (a
    disturbance not yet due is then skipped) and waits for the thread, so nothing of it outlasts the
    run it was meant for."""

    def __init__(self, disturb):
        self.disturb, self.finished, self.thread = disturb, threading.Event(), None

    def begin(self):
        started = time.monotonic()
        if self.disturb and not self.thread:
            self.thread = threading.Thread(target=self.disturb, args=(started, self.finished), daemon=True)
            self.thread.start()
        return started

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.finished.set()
        if self.thread:
            self.thread.join()


def ping_pong(count=20):
    """Round trips of one byte on an established connection, in ms: min, median, max."""
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(1)

    def echo():
        peer, _ = server.accept()
        peer.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        while byte := peer.recv(1):
            peer.sendall(byte)
        peer.close()
    threading.Thread(target=echo, daemon=True).start()
    client = socket.create_connection(server.getsockname(), timeout=30)
    client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    times = []
    for _ in range(count):
        started = time.monotonic()
        client.sendall(b"x")
        client.recv(1)
        times.append((time.monotonic() - started) * 1000)
    client.close()
    server.close()
    return min(times), statistics.median(times), max(times)


class Bench:
    def __init__(self, arguments, link, work):
        self.arguments, self.link, self.work = arguments, link, work
        self.files = os.path.join(work, "Small files")
        os.makedirs(self.files)
        for i in range(arguments.files):
            with open(os.path.join(self.files, f"f{i:06d}.bin"), "wb") as file:
                file.write(os.urandom(FILE_SIZE))
        self.service_data = os.path.join(work, "service")
        os.makedirs(self.service_data)
        self.service, self.address, self.authority = start_local_service(arguments.service, self.service_data)
        # The WebDAV server for the curl tool, with a certificate of its own.
        self.dav_root = os.path.join(work, "dav")
        os.makedirs(self.dav_root)
        self.cert, key = os.path.join(work, "dav-cert.pem"), os.path.join(work, "dav-key.pem")
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", self.cert,
            "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1")
        probe = socket.socket()
        probe.bind(("127.0.0.1", 0))
        self.dav_port = probe.getsockname()[1]
        probe.close()
        self.dav = subprocess.Popen(["rclone", "serve", "webdav", self.dav_root, "--addr",
                                     f"127.0.0.1:{self.dav_port}", "--cert", self.cert, "--key", key],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", self.dav_port)):
                break
            time.sleep(0.1)
        self.dav_runs = 0
        self.rows = []
        self.undisturbed_50 = None

    def close(self):
        for process in (self.dav, self.service):
            process.terminate()
            process.wait()

    # --- the tools ---

    def engine(self, which, disturb=None):
        """tavrel_bench_engine --small-files with --only `which`; `disturb(started, finished)` runs on a
        thread from the moment the run says it is sending (see Disturbance). Returns the run's seconds."""
        token = access_token(self.address, self.authority)
        process = subprocess.Popen(
            [self.arguments.engine, "--service", self.address, "--ca", self.authority, "--token", token,
             "--small-files", str(self.arguments.files), "--folder", self.files, "--runs", "1", "--only", which],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        seconds = None
        with Disturbance(disturb) as disturbance:
            for line in process.stdout:
                if line.startswith("sending"):
                    disturbance.begin()
                if match := re.search(r"small files, run 1: .*\(([0-9.]+) s for", line):
                    seconds = float(match.group(1))
            error = process.stderr.read()
            process.wait()
        if process.returncode != 0 or seconds is None:
            raise RuntimeError(f"tavrel_bench_engine --only {which} failed: {error.strip()}")
        return seconds

    def curl_parallel(self, disturb=None):
        """`curl --parallel --parallel-max 8`, one PUT a file, to a new folder of the WebDAV server.
        Returns the seconds and how many files failed."""
        self.dav_runs += 1
        base = f"https://127.0.0.1:{self.dav_port}/run{self.dav_runs}/"
        run("curl", "-sS", "--cacert", self.cert, "-X", "MKCOL", base, "-o", "/dev/null")
        last = self.arguments.files - 1
        with Disturbance(disturb) as disturbance:
            started = disturbance.begin()
            done = run("curl", "-sS", "--parallel", "--parallel-max", "8", "--cacert", self.cert, "-T",
                       os.path.join(self.files, f"f[000000-{last:06d}].bin"), base, "-o", "/dev/null",
                       "-w", "%{response_code}\\n", check=False, timeout=TIMEOUT)
            seconds = time.monotonic() - started
        failed = sum(1 for code in done.stdout.split() if code not in ("201", "204"))
        failed += self.arguments.files - len(done.stdout.split())
        return seconds, failed

    def outage(self, started, finished):
        if finished.wait(max(0.0, started + OUTAGE_AT - time.monotonic())):
            print(f"     (finished before the outage at +{OUTAGE_AT:.0f} s)", flush=True)
            return
        self.link.set_outage(True)
        time.sleep(OUTAGE_FOR)
        self.link.set_outage(False)

    # --- the scenarios ---

    def check_link(self):
        low, middle, high = ping_pong()
        print(f"     one-byte ping-pong, target {self.link.rtt} ms: {low:.1f} / {middle:.1f} / {high:.1f} ms "
              f"(min / median / max of 20); congestion control {self.link.congestion}; load average "
              f"{os.getloadavg()[0]:.1f}", flush=True)
        return middle

    def small(self, title, rtt, loss=0.0, outage=False):
        print(f"== {title}: {self.arguments.files} files of 4 KiB", flush=True)
        self.link.set_rtt(rtt)
        measured = self.check_link()
        drops = self.link.queue_drops()
        self.link.set_loss(loss)
        disturb = self.outage if outage else None
        def attempt(name, which):
            # A run that fails is a figure too (did it complete with no user action?); the others go on.
            try:
                seconds = self.engine(which, disturb)
                print(f"     {name} {seconds:.2f} s", flush=True)
                return seconds
            except RuntimeError as error:
                print(f"     {name} FAILED: {error}", flush=True)
                return None
        # Without a delay a run takes a second and the machine's load decides: turns, and the medians.
        turns = self.arguments.runs if rtt else max(self.arguments.runs, 5)
        engines, references, tools, failed = [], [], [], 0
        tools_run = self.arguments.tools
        try:
            for _ in range(turns):
                if "engine" in tools_run:
                    engines.append(attempt("engine", "engine"))
                if "libcurl" in tools_run or not rtt:
                    references.append(attempt("plain libcurl", "libcurl"))
                if "curl" in tools_run:
                    seconds, lost = self.curl_parallel(disturb)
                    print(f"     curl --parallel --parallel-max 8 {seconds:.2f} s"
                          + (f", {lost} files FAILED" if lost else ""), flush=True)
                    tools.append(seconds)
                    failed += lost
        finally:
            self.link.set_loss(0)

        def middle(figures):
            return None if not figures or None in figures else statistics.median(figures)
        engine, reference, tool = middle(engines), middle(references), middle(tools)
        if turns > 1 and None not in (engine, reference, tool):
            print(f"     medians of {turns}: engine {engine:.2f} s, plain libcurl {reference:.2f} s, "
                  f"curl parallel {tool:.2f} s", flush=True)
        if rtt == 50 and not loss and not outage:
            self.undisturbed_50 = engine
        if self.link.queue_drops() != drops:
            print(f"     the kernel's queue dropped {self.link.queue_drops() - drops} packets", flush=True)
        self.rows.append(("small", title, measured, engine, reference, tool, failed))

    def big(self):
        print(f"== {BIG_MIB} MiB at 50 ms and 200 Mbit/s (23.8 MiB/s)", flush=True)
        path = os.path.join(self.work, "big.bin")
        with open(path, "wb") as file:
            for _ in range(BIG_MIB):
                file.write(os.urandom(1 << 20))
        self.link.set_rtt(50)
        self.link.set_rate("200mbit")
        engines, tools = [], []
        try:
            measured = self.check_link()
            for turn in range(1, BIG_RUNS + 1):
                token = access_token(self.address, self.authority)
                done = run(self.arguments.engine, "--service", self.address, "--ca", self.authority, "--token",
                           token, "--file", path, "--runs", "1", timeout=TIMEOUT)
                engines.append(float(re.search(r"engine alone, run 1: ([0-9.]+) MiB/s", done.stdout).group(1)))
                # HTTP/1.1: the WebDAV server's HTTP/2 window per stream (1 MiB) is under this link's
                # 1.25 MB in flight, and would measure the server instead of the link.
                self.dav_runs += 1
                started = time.monotonic()
                run("curl", "-sS", "--http1.1", "-H", "Expect:", "--cacert", self.cert, "-T", path,
                    f"https://127.0.0.1:{self.dav_port}/big{self.dav_runs}.bin", "-o", "/dev/null", timeout=TIMEOUT)
                tools.append(BIG_MIB / (time.monotonic() - started))
                print(f"     run {turn}: engine {engines[-1]:.1f} MiB/s, curl {tools[-1]:.1f} MiB/s", flush=True)
        finally:
            self.link.set_rate(None)
            os.remove(path)
        engine, tool = statistics.median(engines), statistics.median(tools)
        print(f"     median of {BIG_RUNS}: engine {engine:.1f} MiB/s ({min(engines):.1f} to {max(engines):.1f}), "
              f"curl {tool:.1f} MiB/s ({min(tools):.1f} to {max(tools):.1f})", flush=True)
        self.rows.append(("big", "256 MiB, 50 ms, 200 Mbit/s", measured, engine, tool))

    def cut(self, signal_change):
        print(f"== every connection cut{', network change signalled' if signal_change else ''}: "
              f"{self.arguments.files} files at 50 ms", flush=True)
        self.link.set_rtt(50)
        measured = self.check_link()
        if self.undisturbed_50 is None:
            self.undisturbed_50 = self.engine("engine")
            print(f"     undisturbed engine {self.undisturbed_50:.2f} s", flush=True)
        at = self.arguments.cut_at
        if at is None:
            # +30 s, unless an engine that is done by then would never meet the cut.
            at = 30.0 if self.undisturbed_50 >= 40 else max(1.0, round(self.undisturbed_50 / 3))
            if at != 30.0:
                print(f"     (undisturbed it takes {self.undisturbed_50:.1f} s: the cut comes at +{at:.0f} s, "
                      "not +30 s)", flush=True)
        title = f"every connection cut at +{at:.0f} s" + (", network change signalled" if signal_change else "")
        watcher = None
        if signal_change:
            watcher = subprocess.Popen(["/usr/bin/python3", "-c", NETWORK_WATCHER], stdout=subprocess.PIPE, text=True)
            kind = watcher.stdout.readline().split()[-1]
        cut = {}

        def disturb(started, finished):
            if finished.wait(max(0.0, started + at - time.monotonic())):
                print(f"     (finished before the cut at +{at:.0f} s: NOT CUT)", flush=True)
                return
            cut["connections"] = self.link.cut_established()
            cut["at"] = time.monotonic()
            if signal_change:
                run("ip", "addr", "add", CHANGED_ADDRESS, "dev", "lo")
        try:
            with Silence(self.link) as silence:
                engine = self.engine("engine", disturb)
        finally:
            self.link.clear_cuts()
            if signal_change:
                run("ip", "addr", "del", CHANGED_ADDRESS, "dev", "lo", check=False)
        seen = ""
        if watcher:
            watcher.terminate()
            changes = [float(line) for line in watcher.communicate()[0].split()]
            after = [t - cut["at"] for t in changes if t >= cut["at"] - 0.01] if "at" in cut else []
            seen = (f"; GIO's network monitor ({kind}) said network-changed {after[0] * 1000:.0f} ms after the "
                    "change" if after else f"; GIO's network monitor ({kind}) said NOTHING")
        print(f"     engine {engine:.2f} s ({engine - self.undisturbed_50:+.1f} s over undisturbed); "
              f"{cut.get('connections', 0)} connections cut; silences (no packet delivered): {silence.described()}"
              f"{seen}", flush=True)
        if "at" not in cut:
            title += " (NOT CUT: done before)"
        self.rows.append(("cut", title, measured, engine, self.undisturbed_50, silence.described()))

    def program(self):
        print(f"== the whole program at 50 ms: {self.arguments.files} files of 4 KiB", flush=True)
        self.link.set_rtt(50)
        measured = self.check_link()
        folder = os.path.join(self.work, "Program files")
        shutil.copytree(self.files, folder)
        process = subprocess.Popen([self.arguments.run, "--virtual", "--", folder], stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, text=True, start_new_session=True)
        sending = notified = linked = None
        log = []
        for line in process.stdout:
            log.append(line)
            if re.match(r"\[\d+\] ", line):
                print("     " + line.rstrip(), flush=True)
            if re.match(r"\[\d+\] Sending$", line.strip()):
                sending = time.monotonic()
            elif line.strip() == "the completion notification is shown" and notified is None:
                notified = time.monotonic()
            elif line.startswith("Share link:"):
                linked = time.monotonic()
                # The rest of the walk (downloads, drags) is not measured.
                os.killpg(process.pid, signal.SIGINT)
                break
        with contextlib.suppress(subprocess.TimeoutExpired):
            process.communicate(timeout=120)
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
        if sending is None or linked is None:
            sys.stdout.write("".join(log[-30:]))
            raise RuntimeError("the program's walk did not reach the share link")
        # The link is the program's once it says so in its notification; the walk then takes a second
        # or two of its own (screenshots, the hot key, the copy) before it prints the link.
        program = (notified or linked) - sending
        print(f"     program, \"Sending\" to the completion notification: {program:.2f} s "
              f"(to the walk's \"Share link:\" line: {linked - sending:.2f} s)", flush=True)
        engine = self.engine("engine")
        print(f"     engine alone, same files: {engine:.2f} s", flush=True)
        self.rows.append(("program", "whole program, 50 ms", measured, program, engine))

    def table(self):
        print("\n| condition | measured round trip | engine | plain libcurl | curl --parallel-max 8 | "
              "engine ÷ curl parallel |")
        print("| --- | --- | --- | --- | --- | --- |")
        for row in (r for r in self.rows if r[0] == "small"):
            _, title, measured, engine, reference, tool, failed = row
            note = f" ({failed} failed)" if failed else ""
            shown = [f"{seconds:.2f} s" if seconds is not None else "failed or not run"
                     for seconds in (engine, reference, tool)]
            ratio = f"{engine / tool:.1f}" if engine is not None and tool is not None else ""
            print(f"| {title} | {measured:.1f} ms | {shown[0]} | {shown[1]} | {shown[2]}{note} | {ratio} |")
        for kind, title, measured, *figures in (r for r in self.rows if r[0] != "small"):
            if kind == "big":
                print(f"| {title} | {measured:.1f} ms | {figures[0]:.1f} MiB/s ({figures[0] / 23.84 * 100:.0f} % of "
                      f"the link) | | {figures[1]:.1f} MiB/s | {figures[0] / figures[1]:.2f} |")
            elif kind == "cut":
                print(f"| {title} | {measured:.1f} ms | {figures[0]:.2f} s ({figures[0] - figures[1]:+.1f} s over "
                      f"{figures[1]:.2f} s undisturbed; silences {figures[2]}) | | | |")
            elif kind == "program":
                print(f"| {title} | {measured:.1f} ms | program {figures[0]:.2f} s, engine alone {figures[1]:.2f} s "
                      f"({figures[0] / figures[1]:.2f}×) | | | |")


# Prints "watching through" the monitor's kind (netlink here: no NetworkManager), then the time (monotonic) of each network change GIO's monitor reports.
NETWORK_WATCHER = """
import time
from gi.repository import Gio, GLib
monitor = Gio.NetworkMonitor.get_default()
monitor.connect("network-changed", lambda *_: print(f"{time.monotonic():.3f}", flush=True))
print("watching through " + type(monitor).__name__, flush=True)
GLib.MainLoop().run()
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--engine", required=True, help="tavrel_bench_engine")
    parser.add_argument("--service", required=True, help="tavrel-local-service")
    parser.add_argument("--delayer", required=True, help="tavrel_bench_link_delay")
    parser.add_argument("--run", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts",
                                                     "run"), help="scripts/run of the checkout to measure")
    parser.add_argument("--files", type=int, default=1000)
    parser.add_argument("--runs", type=int, default=1, help="turns of each small-file scenario (at least 5 at 0 ms)")
    parser.add_argument("--tools", default="engine,libcurl,curl",
                        help="which of engine, libcurl, curl the small-file scenarios run (libcurl always at 0 ms)")
    parser.add_argument("--cut-at", type=float,
                        help="seconds after the engine starts sending that the cut comes (default 30, or a third "
                             "of the undisturbed run when that is under 40 s)")
    parser.add_argument("--congestion", choices=("reno", "bbr"), help="the namespace's congestion control")
    parser.add_argument("scenarios", nargs="*", metavar="SCENARIO", help=" ".join([*ALL, "program", "all"]))
    arguments = parser.parse_args()
    if unknown := [s for s in arguments.scenarios if s not in [*ALL, "program", "all"]]:
        parser.error("unknown scenario: " + ", ".join(unknown))
    if os.geteuid() != 0:
        print("slow_link_benchmark.py: needs root (a network namespace and packet-filter rules); skipped")
        return 0
    arguments.tools = set(arguments.tools.split(","))
    if arguments.tools - {"engine", "libcurl", "curl"}:
        parser.error("--tools takes engine, libcurl and curl")
    scenarios = arguments.scenarios or ALL
    if "all" in scenarios:
        scenarios = [*ALL, "program"]
    for path in (arguments.engine, arguments.service, arguments.delayer):
        if not os.access(path, os.X_OK):
            parser.error(f"{path}: not an executable")
    arguments.engine, arguments.service, arguments.delayer, arguments.run = (
        os.path.abspath(p) for p in (arguments.engine, arguments.service, arguments.delayer, arguments.run))
    work = tempfile.mkdtemp(prefix="tavrel-slow-link-")
    link = Link(arguments.delayer, arguments.congestion)
    bench = None
    # A stop ends the runs through the same clean-up as their end.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        bench = Bench(arguments, link, work)
        print(f"namespace {link.name}, congestion control {link.congestion}, files under {work}", flush=True)
        for scenario in scenarios:
            if scenario in SMALL:
                bench.small(f"{SMALL[scenario]} ms", SMALL[scenario])
            elif scenario == "loss":
                bench.small("50 ms, 1 % loss", 50, loss=0.01)
            elif scenario == "outage":
                bench.small(f"50 ms, {OUTAGE_FOR:.0f} s outage", 50, outage=True)
            elif scenario == "big":
                bench.big()
            elif scenario == "program":
                bench.program()
            else:
                bench.cut(scenario == "cut-signal")
        bench.table()
    finally:
        if bench:
            bench.close()
        link.close()
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
