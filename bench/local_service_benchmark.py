#!/usr/bin/python3
"""The local service's own cost of a transfer of many small files, without the program.

Starts tavrel-local-service on a free port with its data under the temporary folder, signs in through
its sign-in page, and for each count: creates a transfer, registers that many files of 512 bytes in
folders of 100 in one request (as the program does), sends each (sign, PUT to storage, complete file)
from CONNECTIONS threads at once, each with its connections of its own, and completes the transfer.
Prints the register request's size and time, and the service's peak resident memory over its size
before the transfer and its processor time, both per file.

  local_service_benchmark.py LOCAL_SERVICE [COUNTS] [CONNECTIONS]

COUNTS is a comma-separated list (default 1000,20000,100000); each count runs on a fresh service.
CONNECTIONS is how many files are in flight at once (default 2).
"""

import http.client
import json
import os
import shutil
import ssl
import sys
import tempfile
import threading
import time
import urllib.parse
import uuid

from local_service_token import access_token, start_local_service

FILE_SIZE = 512


def status_of(pid):
    with open(f"/proc/{pid}/status") as status:
        fields = dict(line.split(":", 1) for line in status)
    return {name: int(fields[name].split()[0]) * 1024 for name in ("VmRSS", "VmHWM")}


def processor_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def reset_peak(pid):
    # Writing 5 to clear_refs sets the peak back to the current resident size.
    with open(f"/proc/{pid}/clear_refs", "w") as refs:
        refs.write("5")


class Client:
    def __init__(self, address, context, token):
        self.address = urllib.parse.urlsplit(address)
        self.context = context
        self.token = token
        self.connections = {}

    def request(self, method, url, body=None, headers=None, authorised=True):
        parts = urllib.parse.urlsplit(url if "://" in url else self.address.geturl() + url)
        key = (parts.hostname, parts.port)
        connection = self.connections.get(key)
        if connection is None:
            connection = http.client.HTTPSConnection(parts.hostname, parts.port, context=self.context, timeout=600)
            self.connections[key] = connection
        headers = dict(headers or {})
        if authorised:
            headers["Authorization"] = "Bearer " + self.token
        if body is not None and not isinstance(body, bytes):
            body = json.dumps(body, separators=(",", ":")).encode()
            headers["Content-Type"] = "application/json"
        path = parts.path + ("?" + parts.query if parts.query else "")
        try:
            connection.request(method, path, body=body, headers=headers)
            response = connection.getresponse()
        except (OSError, http.client.HTTPException):
            # The server closes a kept-alive connection after so many requests: open another.
            connection.close()
            connection = http.client.HTTPSConnection(parts.hostname, parts.port, context=self.context, timeout=600)
            self.connections[key] = connection
            connection.request(method, path, body=body, headers=headers)
            response = connection.getresponse()
        data = response.read()
        if response.status >= 300:
            raise RuntimeError(f"{method} {path}: {response.status} {data[:200]!r}")
        return json.loads(data) if data and response.getheader("Content-Type", "").startswith("application/json") \
            else data


def send_files(client, transfer, plans):
    content = b"x" * FILE_SIZE
    for plan in plans:
        signed = client.request("POST", f"/api/v1/transfers/{transfer}/files/{plan['fileId']}/sign", {})
        client.request("PUT", signed["url"], content, signed["headers"], authorised=False)
        client.request("PUT", f"/api/v1/transfers/{transfer}/files/{plan['fileId']}/complete", {})


def run(service, count, connections):
    data = tempfile.mkdtemp(prefix="tavrel-bench-service-")
    server, address, authority = start_local_service(service, data)
    try:
        context = ssl.create_default_context(cafile=authority)
        client = Client(address, context, access_token(address, authority))
        time.sleep(1.5)  # the sign-in's state is written
        before = status_of(server.pid)["VmRSS"]
        reset_peak(server.pid)
        cpu_before = processor_seconds(server.pid)
        started = time.monotonic()

        transfer = client.request("POST", "/api/v1/transfers", {
            "title": "Folder", "expectedFiles": count, "totalExpectedBytes": count * FILE_SIZE,
            "fileSizes": [FILE_SIZE] * count, "expiryDays": 7, "region": "eu", "oneTimeDownload": False,
            "isReviewEnabled": False, "filePreviewEnabled": True})["transferId"]
        registrations = [{"id": str(uuid.uuid4()).upper(), "filename": f"file-{i:06d}.bin",
                          "relativePath": f"Folder/part-{i // 100:05d}/file-{i:06d}.bin",
                          "mime": "application/octet-stream", "size": FILE_SIZE} for i in range(count)]
        body = json.dumps(registrations, separators=(",", ":")).encode()
        del registrations
        registered_at = time.monotonic()
        plans = client.request("POST", f"/api/v1/transfers/{transfer}/files", body)["plans"]
        register_seconds = time.monotonic() - registered_at
        after_register = status_of(server.pid)["VmHWM"]

        sending_at = time.monotonic()
        workers = [threading.Thread(target=send_files, args=(Client(address, context, client.token), transfer,
                                                              plans[index::connections]))
                   for index in range(connections)]
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join()
        sending_seconds = time.monotonic() - sending_at
        client.request("PUT", f"/api/v1/transfers/{transfer}/complete", {})
        total_seconds = time.monotonic() - started
        time.sleep(1.5)  # the last write of the state
        peak = status_of(server.pid)["VmHWM"]
        cpu = processor_seconds(server.pid) - cpu_before
        print(f"{count:>7} files, {connections} at once: register body {len(body) / 2**20:.1f} MiB in {register_seconds:.2f} s "
              f"(peak {(after_register - before) / 2**20:.0f} MiB over the start); sent in {sending_seconds:.1f} s; "
              f"service peak {(peak - before) / 2**20:.0f} MiB over its {before / 2**20:.0f} MiB at rest "
              f"= {(peak - before) / count:.0f} bytes per file; processor {cpu:.1f} s "
              f"= {cpu / count * 1e6:.0f} µs per file; {total_seconds:.1f} s in all", flush=True)
    finally:
        server.terminate()
        server.wait()
        shutil.rmtree(data, ignore_errors=True)


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    counts = [int(count) for count in (sys.argv[2] if len(sys.argv) > 2 else "1000,20000,100000").split(",")]
    connections = int(sys.argv[3]) if len(sys.argv) > 3 else 2
    for count in counts:
        run(sys.argv[1], count, connections)
    return 0


if __name__ == "__main__":
    sys.exit(main())
