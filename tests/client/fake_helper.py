#!/usr/bin/env python3
"""A helper that misbehaves on purpose, started by the client library in the
native tests. VTC_FAKE_MODE says how:
  impostor  connect first with a wrong token, note whether we were closed,
            then become the real helper (VTC_REAL_HELPER)
  record    say hello, append every received line to received-<run>.jsonl
            (the first line is the configuration); the first run reports a
            drag to 77,88
  die       end at once
  deaf      say hello, then never read
Files go to the data folder; pid-<run> holds each run's pid."""
import json
import os
import socket
import sys
import time
from pathlib import Path

data = Path(os.environ["LOCALAPPDATA"]) / "Vestrilon"
mode = os.environ["VTC_FAKE_MODE"]
if mode == "die":
    sys.exit(3)

run = len(list(data.glob("pid-*"))) + 1
(data / f"pid-{run}").write_text(str(os.getpid()))
config = json.loads((data / "traffic-helper.json").read_text())


def connect():
    return socket.create_connection(("127.0.0.1", config["port"]))


def hello(conn, token):
    line = {"type": "hello", "token": token, "integrity": "medium", "oleRegistered": True}
    conn.sendall((json.dumps(line) + "\n").encode())


if mode == "impostor":
    conn = connect()
    hello(conn, "not-" + config["token"])
    conn.settimeout(5)
    try:
        closed = conn.recv(1) == b""
    except OSError:
        closed = True
    (data / "impostor.txt").write_text("closed" if closed else "open")
    conn.close()
    helper = os.environ["VTC_REAL_HELPER"]
    os.execv(helper, [helper])

conn = connect()
hello(conn, config["token"])
if mode == "deaf":
    time.sleep(3600)
if run == 1:
    drag = {"type": "action", "action": "dragEnded", "x": 77, "y": 88}
    conn.sendall((json.dumps(drag) + "\n").encode())
with open(data / f"received-{run}.jsonl", "a", buffering=1) as out:
    out.write(json.dumps(config, separators=(",", ":")) + "\n")
    for line in conn.makefile("rb"):
        out.write(line.decode())
        if json.loads(line).get("type") == "shutdown":
            break
