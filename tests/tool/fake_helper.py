#!/usr/bin/env python3
"""A stand-in for the helper, for the traffic-gui-peer tests: reads
traffic-helper.json from LOCALAPPDATA, connects, says hello and sends a few
messages, records every command it gets in fake-received.jsonl beside the
configuration, answers setVisible with a state, and exits 0 on shutdown or
3 at the end of the stream.

FAKE_HELPER_MODE: normal (default), wrong-token, no-hello (a state first),
close (closes after its messages), no-connect (exits 5 at once), impostor
(first a connection with a wrong token, noting in impostor.txt whether the
peer closed it, then as normal).
FAKE_HELPER_SEND: a JSON list of messages to send after the hello (default:
one toggleVpn action); a string in it is sent as it stands. "@PATH" reads the
list from the file PATH.
"""
import json
import os
import socket
import sys
from pathlib import Path

STATE = {"type": "state", "hovering": False, "interacting": False, "x": None, "y": None}


def line(message) -> bytes:
    if isinstance(message, str):
        return message.encode() + b"\n"
    return json.dumps(message, separators=(",", ":")).encode() + b"\n"


def main() -> int:
    mode = os.environ.get("FAKE_HELPER_MODE", "normal")
    if mode == "no-connect":
        return 5
    folder = Path(os.environ["LOCALAPPDATA"]) / "Vestrilon"
    config = json.loads((folder / "traffic-helper.json").read_text())
    send = os.environ.get("FAKE_HELPER_SEND", "null") or "null"
    extra = json.loads(Path(send[1:]).read_text() if send.startswith("@") else send)
    if extra is None:
        extra = [{"type": "action", "action": "toggleVpn", "x": 1, "y": 2}]
    if mode == "impostor":
        with socket.create_connection((config["host"], config["port"]), timeout=30) as impostor:
            impostor.sendall(line({"type": "hello", "token": "0" * 32, "integrity": "medium",
                                   "oleRegistered": True}))
            try:
                closed = impostor.recv(1) == b""
            except OSError:
                closed = True
        (folder / "impostor.txt").write_text("closed" if closed else "open")
    with socket.create_connection((config["host"], config["port"]), timeout=30) as connection, \
            open(folder / "fake-received.jsonl", "ab") as record:
        connection.settimeout(None)
        token = "0" * 32 if mode == "wrong-token" else config["token"]
        first = STATE if mode == "no-hello" else {
            "type": "hello", "token": token, "integrity": "medium", "oleRegistered": True}
        connection.sendall(b"".join(line(m) for m in [first, *extra]))
        if mode == "close":
            return 0
        for raw in connection.makefile("rb"):
            record.write(raw)
            record.flush()
            command = json.loads(raw)
            if command.get("type") == "setVisible":
                connection.sendall(line(STATE))
            if command.get("type") == "shutdown":
                return 0
    return 3


if __name__ == "__main__":
    sys.exit(main())
