"""Start-up of the real helper .exe under Wine: waiting for the configuration,
retries, refusals and the fatal path. Every run must exit with code 0."""
import json
import re
import subprocess
import time
import unittest
from pathlib import Path

from gui_end import GuiEnd
from winebench import WineTestCase, wait_until, windows_path

HELPER = "vestrilon-traffic-helper"
MISSING = "config missing; waiting for GUI to write traffic-helper.json"
LOCKED = "config locked by another program; waiting for it to release traffic-helper.json"
VALID = {"host": "127.0.0.1", "port": 9, "token": "t0k", "x": 100, "y": 120, "gui_pid": 4242}
LINE = re.compile(r"^SystemTime \{ intervals: (\d+) \} (.*)$")


def log_messages(localappdata: Path) -> list[str]:
    path = localappdata / "Vestrilon" / "traffic-helper.log"
    if not path.exists():
        return []
    lines = path.read_text(encoding="utf-8").splitlines()
    messages = []
    for line in lines:
        match = LINE.match(line)
        assert match, f"malformed log line: {line!r}"
        messages.append(match.group(2))
    return messages


def write_config(localappdata: Path, content) -> None:
    folder = localappdata / "Vestrilon"
    folder.mkdir(parents=True, exist_ok=True)
    text = content if isinstance(content, str) else json.dumps(content)
    (folder / "traffic-helper.json").write_text(text, encoding="utf-8")


class StartupTest(WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.helper = cls.bench.exe(HELPER)

    def start_helper(self, data):
        return self.bench.start(self.helper, localappdata=data)

    def test_config_written_one_second_after_start_is_used(self):
        data = self.bench.new_localappdata()
        process = self.start_helper(data)
        wait_until(lambda: MISSING in log_messages(data), 30, what="first config-missing line")
        first = time.monotonic()
        wait_until(lambda: time.monotonic() - first >= 1.0, 2)
        write_config(data, VALID)
        self.assertEqual(process.wait(30), 0)
        messages = log_messages(data)
        start = next(i for i, m in enumerate(messages) if m.startswith("starting helper build="))
        missing = messages[:start].count(MISSING)
        self.assertTrue(8 <= missing <= 18, f"{missing} config-missing lines: {messages}")
        self.assertRegex(messages[start],
                         r"^starting helper build=\S+ pid=\d+ integrity=(untrusted|low|medium|"
                         r"high|system|unknown) gui_pid=4242$")

    def test_config_that_never_appears_is_fatal_after_four_seconds(self):
        data = self.bench.new_localappdata()
        process = self.start_helper(data)
        self.assertEqual(process.wait(60), 0)
        messages = log_messages(data)
        self.assertRegex(messages[-1], r"^traffic helper fatal: .* \(os error [23]\)$")
        missing = messages.count(MISSING)
        self.assertTrue(30 <= missing <= 52, f"{missing} config-missing lines")
        self.assertEqual(len(messages), missing + 1)

    def test_half_written_config_is_accepted_once_complete(self):
        data = self.bench.new_localappdata()
        whole = json.dumps(VALID)
        half = whole[: whole.index(' "token"')]
        write_config(data, half)
        process = self.start_helper(data)
        wait_until(lambda: any(m.startswith("config parse retry: ") for m in log_messages(data)),
                   30, what="a parse retry line")
        write_config(data, whole)
        self.assertEqual(process.wait(30), 0)
        messages = log_messages(data)
        retries = [m for m in messages if m.startswith("config parse retry: ")]
        self.assertTrue(retries)
        self.assertTrue(all(m == "config parse retry: EOF while parsing a value at line 1 "
                            f"column {len(half)}" for m in retries), retries)
        self.assertTrue(any(m.startswith("starting helper build=") for m in messages))
        # Start-up succeeded; the only fatal line is the connection, since no
        # GUI listens on the configured port.
        fatal = [m for m in messages if m.startswith("traffic helper fatal")]
        self.assertEqual(len(fatal), 1, fatal)
        self.assertTrue(fatal[0].endswith("(os error 10061)"), fatal)

    def test_refusals(self):
        without_pid = json.dumps({k: v for k, v in VALID.items() if k != "gui_pid"})
        cases = [
            ("localhost host", dict(VALID, host="localhost"),
             "traffic helper fatal: traffic helper endpoint must be loopback", 0),
            ("missing gui_pid", without_pid, "traffic helper fatal: missing field `gui_pid` "
             f"at line 1 column {len(without_pid)}", 30),
        ]
        for name, config, fatal, min_retries in cases:
            with self.subTest(name):
                data = self.bench.new_localappdata()
                write_config(data, config)
                began = time.monotonic()
                self.assertEqual(self.start_helper(data).wait(60), 0)
                messages = log_messages(data)
                self.assertEqual(messages[-1], fatal)
                retries = messages[:-1]
                self.assertGreaterEqual(len(retries), min_retries)
                reason = fatal.removeprefix("traffic helper fatal: ")
                self.assertTrue(all(m == "config parse retry: " + reason for m in retries))
                self.assertFalse(any(m.startswith("starting helper") for m in messages))
                if min_retries:
                    self.assertGreaterEqual(time.monotonic() - began, 4.0)

    def test_config_held_by_another_program(self):
        # Another program has the file open without sharing: one line naming
        # the lock per retry until the deadline, then fatal with the system's
        # error. (A byte-range lock, os error 33, cannot be shown here: Wine
        # lets a read through a range another process has locked.)
        for release_after, outcome in [(1.0, "hello"), (None, "fatal")]:
            with self.subTest(outcome):
                data = self.bench.new_localappdata()
                gui = GuiEnd(data)
                self.addCleanup(gui.close)
                lock = self.bench.start(
                    self.bench.exe("vth-file-lock"),
                    [windows_path(data / "Vestrilon" / "traffic-helper.json")],
                    stdin=subprocess.PIPE)
                self.addCleanup(lock.kill)
                lock.wait_for_output(r'"event":"locked"', 60)
                process = self.start_helper(data)
                began = time.monotonic()
                if release_after is None:
                    self.assertEqual(process.wait(60), 0)
                    self.assertGreaterEqual(time.monotonic() - began, 4.0)
                    lock.popen.stdin.close()
                    messages = log_messages(data)
                    # Wine's message text differs from Windows'; the code is the same.
                    self.assertRegex(messages[-1],
                                     r"^traffic helper fatal: .+ \(os error 32\)$")
                    locked = messages.count(LOCKED)
                    self.assertTrue(30 <= locked <= 52, f"{locked} config-locked lines")
                    self.assertEqual(len(messages), locked + 1, messages)
                    continue
                wait_until(lambda: LOCKED in log_messages(data), 30, what="a config-locked line")
                first = time.monotonic()
                wait_until(lambda: time.monotonic() - first >= release_after, 5)
                lock.popen.stdin.close()
                gui.accept(60)
                gui.wait_type("hello", 30)
                gui.send({"type": "shutdown"})
                self.assertEqual(process.wait(30), 0)
                messages = log_messages(data)
                self.assertNotIn(MISSING, messages)
                self.assertTrue(any(m.startswith("starting helper build=") for m in messages))

    def test_without_localappdata_ends_silently(self):
        result = self.bench.run(self.helper, localappdata=None, timeout=30)
        self.assertEqual(result.exit_code, 0)


if __name__ == "__main__":
    unittest.main()
