#!/usr/bin/python3
"""A transfer whose local service is stopped mid-way and started again on the same port and data.

Starts tavrel-local-service with its data under the temporary folder, signs in for an access token,
and runs tavrel_bench_service_restart (the real transfer store, preparer and upload engine) on the
files. When the upload passes AT per cent the service is stopped with SIGNAL, and DOWN seconds later
started again on the same port and data. The harness retries on its own; should the transfer fail,
it presses the failure row's "Retry transfer" once and prints what each run sent. At the link,
every file is downloaded through it and compared byte for byte.

  service_restart_walk.py HARNESS LOCAL_SERVICE (--files N --size BYTES | --file-mib M)
                          [--at 30] [--down 10] [--signal KILL|TERM]
"""

import argparse
import hashlib
import html
import os
import re
import shutil
import signal
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from local_service_token import access_token, start_local_service  # noqa: E402


def start_service(binary, data, port):
    return start_local_service(binary, data, port)


def make_files(root, args):
    paths = []
    os.makedirs(root, exist_ok=True)
    if args.file_mib:
        path = os.path.join(root, "big.bin")
        with open(path, "wb") as out:
            block = os.urandom(1024 * 1024)
            for index in range(args.file_mib):
                # Each MiB differs, so a part sent to the wrong place shows.
                out.write(index.to_bytes(8, "little") + block[8:])
        return path, [path]
    folder = os.path.join(root, "Many")
    for index in range(args.files):
        sub = os.path.join(folder, f"d{index // 1000:03d}")
        os.makedirs(sub, exist_ok=True)
        path = os.path.join(sub, f"f{index:06d}.bin")
        with open(path, "wb") as out:
            out.write(os.urandom(args.size))
        paths.append(path)
    return folder, paths


def digest_of(path):
    with open(path, "rb") as source:
        return hashlib.file_digest(source, "sha256").hexdigest()


def check_download(address, authority, slug, root, paths):
    context = ssl.create_default_context(cafile=authority)
    opener = urllib.request.build_opener(urllib.request.HTTPSHandler(context=context))
    page = opener.open(f"{address}/dl/{slug}").read().decode()
    links = re.findall(r'<a download href="([^"]+)">([^<]+)</a>', page)
    expected = {}
    for path in paths:
        relative = os.path.relpath(path, os.path.dirname(root)) if os.path.isdir(root) else os.path.basename(path)
        expected[relative] = digest_of(path)
    matched = 0
    for href, name in links:
        name = html.unescape(name)
        body = hashlib.sha256()
        with opener.open(address + html.unescape(href)) as answer:
            while chunk := answer.read(1 << 20):
                body.update(chunk)
        if expected.get(name) == body.hexdigest():
            matched += 1
    return matched, len(expected), len(links)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("harness")
    parser.add_argument("service")
    parser.add_argument("--files", type=int, default=20000)
    parser.add_argument("--size", type=int, default=1024)
    parser.add_argument("--file-mib", type=int, default=0)
    parser.add_argument("--at", type=int, default=30)
    parser.add_argument("--down", type=float, default=10.0)
    parser.add_argument("--signal", choices=["KILL", "TERM"], default="KILL")
    args = parser.parse_args()
    sys.stdout.reconfigure(line_buffering=True)

    work = tempfile.mkdtemp(prefix="tavrel-restart-walk-")
    data = os.path.join(work, "service")
    server = None
    try:
        root, paths = make_files(os.path.join(work, "files"), args)
        server, address, authority = start_service(args.service, data, 0)
        port = int(address.rsplit(":", 1)[1])
        token = access_token(address, authority)
        started = time.monotonic()
        harness = subprocess.Popen([args.harness, "--service", address, "--ca", authority, "--token", token, root],
                                   stdout=subprocess.PIPE, text=True)
        restarted = False
        slug = None
        for line in harness.stdout:
            line = line.rstrip("\n")
            if line.startswith("progress "):
                percent = int(line.split()[1])
                if not restarted and percent >= args.at:
                    restarted = True
                    print(f"[{time.monotonic() - started:6.1f} s] at {percent} %: service stopped with SIG{args.signal}")
                    server.send_signal(getattr(signal, "SIG" + args.signal))
                    server.wait()
                    time.sleep(args.down)
                    server, _, _ = start_service(args.service, data, port)
                    print(f"[{time.monotonic() - started:6.1f} s] service started again on port {port}")
                continue
            print(f"[{time.monotonic() - started:6.1f} s] {line}")
            if line.startswith("link "):
                slug = line.split(" ", 1)[1]
        harness.wait()
        if not slug:
            print("no link")
            return 1
        matched, expected, listed = check_download(address, authority, slug, root, paths)
        print(f"download: {matched} of {expected} files byte for byte ({listed} listed)")
        return 0 if matched == expected == listed else 1
    finally:
        if server:
            server.terminate()
            server.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
