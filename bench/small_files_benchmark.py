#!/usr/bin/python3
"""Many small files through the upload engine against the local service, beside plain libcurl.

Starts tavrel-local-service on a free port with its data under the temporary folder, signs in through
its sign-in page for an access token, and runs tavrel_bench_engine --small-files with the counts
given (the engine and libcurl take turns; each prints files per second and their ratio).

  small_files_benchmark.py ENGINE_BENCH LOCAL_SERVICE [COUNTS [RUNS]]

COUNTS is a comma-separated list (default 1000,10000), RUNS the runs per count (default 5).
"""

import os
import shutil
import subprocess
import sys
import tempfile

from local_service_token import access_token, start_local_service


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    engine, service = sys.argv[1], sys.argv[2]
    counts = sys.argv[3] if len(sys.argv) > 3 else "1000,10000"
    runs = sys.argv[4] if len(sys.argv) > 4 else "5"
    data = tempfile.mkdtemp(prefix="tavrel-bench-service-")
    server, address, authority = start_local_service(service, data)
    try:
        token = access_token(address, authority)
        return subprocess.run([engine, "--service", address, "--ca", authority, "--token", token,
                               "--small-files", counts, "--runs", runs]).returncode
    finally:
        server.terminate()
        server.wait()
        shutil.rmtree(data, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
