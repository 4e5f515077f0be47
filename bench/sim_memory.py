#!/usr/bin/env python3
# The simulator's memory over many uploads: starts pyrrow-sim tcp on a
# loopback port, plays 1,000 uploads of 64 KiB as the program would (the
# header, then frames of a counter and 1024 bytes, each after its
# acknowledgement) and prints its resident size every 100 uploads.
# Usage: bench/sim_memory.py PATH/TO/pyrrow-sim [UPLOADS] [-- more simulator options]
import os
import socket
import subprocess
import sys

sim = sys.argv[1]
uploads = int(sys.argv[2]) if len(sys.argv) > 2 and sys.argv[2] != "--" else 1000
extra = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
image = os.urandom(32 + 64 * 1024)

proc = subprocess.Popen([sim, "tcp", "--listen", "127.0.0.1:0", *extra],
                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
port = int(proc.stdout.readline().strip().rsplit(":", 1)[1])


def rss_kib():
    with open(f"/proc/{proc.pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


def receive(conn, size):
    got = b""
    while len(got) < size:
        piece = conn.recv(size - len(got))
        if not piece:
            raise RuntimeError("the simulator closed the link")
        got += piece
    return got


def upload():
    with socket.create_connection(("127.0.0.1", port)) as conn:
        conn.sendall(image[:32])
        receive(conn, 32)
        data = image[32:]
        for n, offset in enumerate(range(0, len(data), 1024)):
            conn.sendall(n.to_bytes(2, "little") + data[offset:offset + 1024])
            receive(conn, 6)


print(f"uploads 0: RSS {rss_kib()} KiB")
for i in range(1, uploads + 1):
    upload()
    if i % 100 == 0:
        print(f"uploads {i}: RSS {rss_kib()} KiB", flush=True)
proc.terminate()
proc.wait(timeout=10)
