"""One traffic-helper-tool process answering many requests.

`traffic-helper-tool batch` reads one JSON array of arguments per line and
ends each answer with an "=== exit N" line on stdout and on stderr. A Windows
build starts in seconds under Wine, so a test class keeps one process for all
of its rows instead of starting the tool per row.
"""
import json
import os
import queue
import re
import signal
import subprocess
import threading
import unittest
from pathlib import Path
from typing import NamedTuple

TOOL = os.environ.get("VTH_TOOL", "")
EMULATOR = os.environ.get("VTH_EMULATOR", "")
# The marker ends a line; what comes before it on that line is output that
# lacked its own line end.
MARKER = re.compile(rb"(.*)=== exit (-?\d+)\r?\n?", re.DOTALL)


def command(*args):
    """The command line that runs the tool natively or under the emulator."""
    cmd = [TOOL, *args]
    return [EMULATOR, *cmd] if EMULATOR else cmd


def tool_path(path) -> str:
    """A file name as the tool sees it (Wine maps / to drive Z:)."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\") if EMULATOR else str(path)


class Answer(NamedTuple):
    code: int
    stdout: str
    stderr: str


def _pump(stream, lines: queue.Queue):
    for line in iter(stream.readline, b""):
        lines.put(line)
    lines.put(None)


class ToolBatch:
    """`traffic-helper-tool batch`, started once; run() sends one request and
    waits for its answer."""

    def __init__(self):
        self.process = subprocess.Popen(command("batch"), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        # Threads drain both pipes so neither can fill up and stall the tool.
        self.out, self.err = queue.Queue(), queue.Queue()
        for stream, lines in ((self.process.stdout, self.out), (self.process.stderr, self.err)):
            threading.Thread(target=_pump, args=(stream, lines), daemon=True).start()

    def run(self, *args, timeout=120) -> Answer:
        return self.send(json.dumps([str(a) for a in args], ensure_ascii=False).encode() + b"\n",
                         what=repr(list(args)), timeout=timeout)

    def send(self, line: bytes, what=None, timeout=120, end_input=False) -> Answer:
        """Writes line as it is (end_input: then closes stdin) and reads one answer."""
        what = what or repr(line)
        try:
            self.process.stdin.write(line)
            self.process.stdin.flush()
            if end_input:
                self.process.stdin.close()
        except BrokenPipeError:
            raise AssertionError(f"tool gone before the request {what}") from None
        out, code = self._answer(self.out, what, timeout)
        err, err_code = self._answer(self.err, what, timeout)
        if code != err_code:
            raise AssertionError(f"exit {code} on stdout but {err_code} on stderr for {what}")
        return Answer(code, out.decode("utf-8"), err.decode("utf-8", "replace"))

    @staticmethod
    def _answer(lines: queue.Queue, what: str, timeout: float):
        text = b""
        while True:
            try:
                line = lines.get(timeout=timeout)
            except queue.Empty:
                raise AssertionError(f"no answer within {timeout} s to {what}") from None
            if line is None:
                raise AssertionError(f"tool ended without answering {what}; got {text!r}")
            marker = MARKER.fullmatch(line)
            if marker:
                return text + marker.group(1), int(marker.group(2))
            text += line

    def close(self, timeout=60) -> int:
        """Ends the input and returns the tool's exit code."""
        if not self.process.stdin.closed:
            self.process.stdin.close()
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            # The emulator ends the program it runs on an interrupt.
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            raise AssertionError(f"tool still running {timeout} s after its input ended") from None


@unittest.skipUnless(TOOL, "VTH_TOOL not set")
class BatchTestCase(unittest.TestCase):
    """A test class whose tests share one batch process, which must end with 0."""

    @classmethod
    def setUpClass(cls):
        cls.tool = ToolBatch()

    @classmethod
    def tearDownClass(cls):
        if cls.tool.close() != 0:
            raise AssertionError("traffic-helper-tool batch did not exit with 0")
