"""The GUI's end of the helper's connection, for the end-to-end tests: it
writes traffic-helper.json, listens on loopback, accepts the helper, and
keeps every message with the time it arrived.

Run as a program (python3 gui_end.py DATA X Y) it is the GUI in a process of its
own, which a test can kill; GuiEndProcess starts and reads such a process."""
from __future__ import annotations

import json
import os
import signal
import socket
import subprocess
import sys
import threading
import time
from pathlib import Path

from winebench import wait_until


class Messages:
    """The helper's messages as they arrive, and waits on them."""

    def __init__(self):
        self.messages: list[tuple[float, dict]] = []
        self.raw: list[bytes] = []
        self._lock = threading.Lock()

    def _add(self, line: bytes) -> None:
        with self._lock:
            self.raw.append(line)
            self.messages.append((time.monotonic(), json.loads(line)))

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


class GuiEnd(Messages):
    def __init__(self, data: Path, x: int = 300, y: int = 200, token: str = "test-token",
                 listen: bool = True, small_buffers: bool = False, on_line=None,
                 read_rate: int | None = None):
        super().__init__()
        self.read_rate = read_rate  # bytes a second, or as fast as they come
        self.data = data
        self.token = token
        self.on_line = on_line
        self.server = socket.socket()
        if small_buffers:
            # Both carry over to the connection. A receive window of about a
            # kilobyte, and the smallest segment size, from which the helper's
            # kernel sizes its send buffer to a few kilobytes: a GUI that stops
            # reading fills both within seconds instead of megabytes.
            self.server.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1)
            self.server.setsockopt(socket.IPPROTO_TCP, socket.TCP_MAXSEG, 88)
        self.server.bind(("127.0.0.1", 0))
        self.port = self.server.getsockname()[1]
        if listen:
            self.server.listen(1)
        else:
            self.server.close()  # the port is free again: connecting is refused
        self.connection: socket.socket | None = None
        self.closed = False
        self._reading = threading.Event()
        self._reading.set()
        folder = data / "Vestrilon"
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "traffic-helper.json").write_text(json.dumps(
            {"host": "127.0.0.1", "port": self.port, "token": token, "x": x, "y": y,
             "gui_pid": 4242}))

    def accept(self, timeout: float = 60) -> None:
        self.server.settimeout(timeout)
        try:
            self.connection, _ = self.server.accept()
        except TimeoutError:
            # What the helper logged tells a hang from an early end.
            lines = log_lines(self.data)[-5:]
            raise TimeoutError(f"no connection in {timeout} s; the helper's last log lines: {lines}")
        # Commands go out at once, as a GUI that cares about latency sends them.
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.server.close()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self) -> None:
        buffer = b""
        while True:
            self._reading.wait()
            began = time.monotonic()
            try:
                chunk = self.connection.recv(16384 if self.read_rate else 65536)
            except OSError:
                chunk = b""
            if not chunk:
                self.closed = True
                return
            if self.read_rate:
                time.sleep(max(0.0, len(chunk) / self.read_rate - (time.monotonic() - began)))
            buffer += chunk
            while b"\n" in buffer:
                line, buffer = buffer.split(b"\n", 1)
                self._add(line)
                if self.on_line:
                    self.on_line(line)

    def stop_reading(self) -> float:
        """Leaves whatever the helper sends from now on in the socket; returns when."""
        self._reading.clear()
        return time.monotonic()

    def send(self, *commands) -> None:
        data = b"".join((c if isinstance(c, bytes) else json.dumps(c).encode()) + b"\n"
                        for c in commands)
        self.connection.sendall(data)

    def helper_send_queue(self) -> int | None:
        """Bytes the helper has written that this end has not taken in yet, as
        its kernel counts them; None once its socket is gone (Linux only)."""
        helper = self.connection.getpeername()[1]
        for line in Path("/proc/net/tcp").read_text().splitlines()[1:]:
            fields = line.split()
            local, remote = (int(a.split(":")[1], 16) for a in fields[1:3])
            if (local, remote) == (helper, self.port):
                return int(fields[4].split(":")[0], 16)
        return None

    def close(self) -> None:
        self._reading.set()
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


class GuiEndProcess(Messages):
    """A GuiEnd in a python3 process of its own, so a test can kill the GUI
    for real; the lines it receives come back through its stdout."""

    def __init__(self, data: Path, x: int = 300, y: int = 200, timeout: float = 10):
        super().__init__()
        self.listening = threading.Event()
        self.process = subprocess.Popen(
            [sys.executable, str(Path(__file__).resolve()), str(data), str(x), str(y)],
            stdout=subprocess.PIPE, start_new_session=True)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        wait_until(self.listening.is_set, timeout, what="GUI process listening")

    def _read(self) -> None:
        for line in self.process.stdout:
            if line == b"listening\n":
                self.listening.set()
            else:
                self._add(line.rstrip(b"\n"))

    def kill(self) -> None:
        if self.process.poll() is None:
            os.kill(self.process.pid, signal.SIGKILL)
        self.process.wait(timeout=10)
        self._reader.join(timeout=10)  # the pipe ends with the process
        self.process.stdout.close()


def log_lines(data: Path) -> list[str]:
    path = data / "Vestrilon" / "traffic-helper.log"
    if not path.exists():
        return []
    return [line.split(" } ", 1)[1] for line in path.read_text(encoding="utf-8").splitlines()]


def serve(data: Path, x: int, y: int) -> None:
    def forward(line: bytes) -> None:
        sys.stdout.buffer.write(line + b"\n")
        sys.stdout.buffer.flush()

    gui = GuiEnd(data, x, y, on_line=forward)
    forward(b"listening")
    gui.accept(90)
    wait_until(lambda: gui.closed, 600, interval=0.2, what="the helper closing")


if __name__ == "__main__":
    serve(Path(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]))
