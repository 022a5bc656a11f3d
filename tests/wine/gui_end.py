"""The GUI's end of the helper's connection, for the end-to-end tests: it
writes traffic-helper.json, listens on loopback, accepts the helper, and
keeps every message with the time it arrived."""
from __future__ import annotations

import json
import socket
import threading
import time
from pathlib import Path

from winebench import wait_until


class GuiEnd:
    def __init__(self, data: Path, x: int = 300, y: int = 200, token: str = "test-token",
                 listen: bool = True):
        self.data = data
        self.token = token
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.port = self.server.getsockname()[1]
        if listen:
            self.server.listen(1)
        else:
            self.server.close()  # the port is free again: connecting is refused
        self.connection: socket.socket | None = None
        self.messages: list[tuple[float, dict]] = []
        self.raw: list[bytes] = []
        self.closed = False
        self._lock = threading.Lock()
        folder = data / "Vestrilon"
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "traffic-helper.json").write_text(json.dumps(
            {"host": "127.0.0.1", "port": self.port, "token": token, "x": x, "y": y,
             "gui_pid": 4242}))

    def accept(self, timeout: float = 60) -> None:
        self.server.settimeout(timeout)
        self.connection, _ = self.server.accept()
        # Commands go out at once, as a GUI that cares about latency sends them.
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.server.close()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self) -> None:
        buffer = b""
        while True:
            try:
                chunk = self.connection.recv(65536)
            except OSError:
                chunk = b""
            if not chunk:
                self.closed = True
                return
            buffer += chunk
            while b"\n" in buffer:
                line, buffer = buffer.split(b"\n", 1)
                with self._lock:
                    self.raw.append(line)
                    self.messages.append((time.monotonic(), json.loads(line)))

    def send(self, *commands) -> None:
        data = b"".join((c if isinstance(c, bytes) else json.dumps(c).encode()) + b"\n"
                        for c in commands)
        self.connection.sendall(data)

    def all(self, kind: str | None = None) -> list[dict]:
        with self._lock:
            return [m for _, m in self.messages if kind is None or m["type"] == kind]

    def count(self) -> int:
        with self._lock:
            return len(self.messages)

    def wait_for(self, predicate, timeout: float = 10, after: int = 0, what: str = "message"):
        """The first message from index after on that satisfies predicate."""
        def find():
            with self._lock:
                for _, m in self.messages[after:]:
                    if predicate(m):
                        return m
            return None
        return wait_until(find, timeout, what=what)

    def wait_type(self, kind: str, timeout: float = 10, after: int = 0, **fields) -> dict:
        return self.wait_for(
            lambda m: m["type"] == kind and all(m.get(k) == v for k, v in fields.items()),
            timeout, after, what=f"{kind} {fields}")

    def close(self) -> None:
        if self.connection is not None:
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            self.connection.close()
        try:
            self.server.close()
        except OSError:
            pass


def log_lines(data: Path) -> list[str]:
    path = data / "Vestrilon" / "traffic-helper.log"
    if not path.exists():
        return []
    return [line.split(" } ", 1)[1] for line in path.read_text(encoding="utf-8").splitlines()]
