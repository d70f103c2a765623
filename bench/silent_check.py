#!/usr/bin/env python3
"""Wall time of a silent check with nothing due.

Builds a store of 1,000 providers (the five built-in entries and 995 user
providers), every next check 30 days ahead, then times `gantrell-cli check`
on it. Every provider points at a local listener that counts connections,
so the run also shows that no connection was opened.

    python3 bench/silent_check.py [build/src/gantrell-cli] [runs=20]
"""
import datetime
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

cli = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/src/gantrell-cli")
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 20

listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(64)
port = listener.getsockname()[1]
connections = 0


def count_connections():
    global connections
    while True:
        try:
            conn, _ = listener.accept()
        except OSError:
            return
        connections += 1
        conn.close()


threading.Thread(target=count_connections, daemon=True).start()

work = tempfile.mkdtemp(prefix="gantrell-silent-")
data = os.path.join(work, "data")
os.makedirs(data)
ahead = datetime.date.today() + datetime.timedelta(days=30)
date = f"TIME {ahead.year} {ahead.month} {ahead.day} "
base = f"http://127.0.0.1:{port}"
names = ["master", "signone", "signtwo", "signthree", "gtl"]
records = []
for i in range(1000):
    address = f"{base}/ngtlkey/{names[i]}/" if i < 5 else f"{base}/p{i}/"
    records.append(f'V3lsave "Provider {i}" "{address}" 1 1 1 TIME 2026 1 1 TIME 2026 1 1 {date}'
                   f'GRP "Tools" "" 1 END FILE "tool{i}.bin" "" "tool.bin" "a tool" "1 1 2026" '
                   f"{i} 1000 7 7 -1 1 END ")
with open(os.path.join(data, "provdata.dat"), "w") as store:
    store.write("".join(records) + "END ")

env = dict(os.environ)
env.update({
    "HOME": work,
    "XDG_CONFIG_HOME": os.path.join(work, "config"),
    "XDG_DATA_HOME": os.path.join(work, "share"),
    "XDG_RUNTIME_DIR": os.path.join(work, "run"),
    "GANTRELL_REGISTRY_DIR": os.path.join(work, "registry"),
    "GANTRELL_KEY_SERVER": base,
})
os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)

times = []
for _ in range(runs):
    start = time.perf_counter()
    result = subprocess.run([cli, "--data-dir", data, "check"], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    times.append(time.perf_counter() - start)
    if result.returncode != 0:
        sys.exit(f"check failed ({result.returncode}): {result.stderr.decode()}")

listener.close()
print(f"providers: 1000, runs: {runs}")
print(f"wall time: min {min(times) * 1000:.1f} ms, median {statistics.median(times) * 1000:.1f} ms,"
      f" max {max(times) * 1000:.1f} ms")
print(f"connections opened: {connections}")
subprocess.run(["rm", "-rf", work])
