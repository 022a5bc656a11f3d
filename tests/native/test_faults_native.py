"""Faults on the GUI's side and the machine's, against the native helper
(sanitizer build, stand-in overlay): every case ends as the helper's rules
say, with exit code 0, its last log line, and no sanitizer report."""
import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
from gui_end import GuiEnd, log_lines  # noqa: E402

HELPER = os.environ["VTH_HELPER"]
FATAL = "traffic helper fatal: "


def update(title, samples):
    return {"type": "updateContent", "title": title, "subtitle": "", "feedback": None,
            "samples": [[i, i % 7, i % 11] for i in range(samples)], "dropHover": False}


class NativeFaultTest(unittest.TestCase):
    def start(self, localappdata=None):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.data = Path(tmp.name)
        self.gui = GuiEnd(self.data)
        self.addCleanup(self.gui.close)
        env = dict(os.environ, LOCALAPPDATA=str(localappdata or self.data))
        self.helper = subprocess.Popen([HELPER], env=env, stdout=subprocess.PIPE,
                                       stderr=subprocess.PIPE)
        self.addCleanup(self.stop)

    def connected(self):
        """Starts the helper and waits for its first state."""
        self.start()
        self.gui.accept(30)
        self.gui.wait_type("state", 10)

    def shut_down(self, timeout=15):
        self.gui.send({"type": "shutdown"})
        log = self.ends(timeout)
        self.assertEqual(log[-1], "traffic helper received shutdown")
        return log

    def stop(self):
        if self.helper.poll() is None:
            self.helper.kill()
        self.helper.communicate(timeout=30)  # closes the pipes

    def ends(self, timeout=15):
        self.assertEqual(self.helper.wait(timeout), 0)
        _, err = self.helper.communicate()
        self.assertEqual(err.decode(errors="replace"), "")
        return log_lines(self.data)

    def test_gui_closes_right_after_the_hello(self):
        self.start()
        self.gui.accept(30)
        self.gui.wait_type("hello", 10)
        self.gui.close()
        self.assertTrue(self.ends()[-1].startswith(FATAL))

    def test_gui_closes_in_the_middle_of_a_command_line(self):
        self.connected()
        self.gui.connection.sendall(b'{"type":"setPosition","x":1')
        self.gui.close()
        log = self.ends()
        self.assertIn("rejected invalid helper command: EOF while parsing an object "
                      "at line 1 column 27", log)
        self.assertTrue(log[-1].startswith(FATAL))

    def test_floods_then_a_valid_command(self):
        big = json.dumps(update("big", 3_000_000)).encode()  # about 50 MB
        self.assertGreater(len(big), 50_000_000)
        burst = [json.dumps({"type": "setPosition", "x": i % 1000, "y": 5}).encode()
                 for i in range(100_000)]
        # Each DEL is written as six characters in the log, which quotes only the start.
        wrong_type = b'{"type":"setVisible","visible":"' + b"\x7f" * (64 * 2**20 - 64) + b'"}'
        for what, lines, rejected in [
                ("a 50 MB line", [big], 0),
                ("100,000 lines in one burst", burst, 0),
                ("a 64 MiB string of DEL where a boolean belongs", [wrong_type], 1)]:
            with self.subTest(what):
                self.connected()
                before = self.gui.count()
                self.gui.send(*lines, {"type": "setPosition", "x": 4321, "y": 6})
                self.gui.wait_type("state", 120, after=before, x=4321, y=6)
                self.shut_down(60)
                written = (self.data / "Vestrilon" / "traffic-helper.log").read_bytes()
                rejections = [line for line in written.split(b"\n")
                              if b"rejected invalid helper" in line]
                self.assertEqual(len(rejections), rejected)
                for line in rejections:
                    self.assertLess(len(line) + 1, 1024, line[:200])
                    self.assertTrue(line.endswith(
                        b'\\u{7f}"\xe2\x80\xa6 (67108800 bytes), expected a boolean'), line)

    def test_shutdown_then_garbage(self):
        # The reader is still reading when the process ends: nothing it logs
        # may follow the shutdown line, and nothing may be torn down under it.
        self.connected()
        garbage = [b"garbage %d {" % i for i in range(1000)]
        self.gui.send({"type": "shutdown"}, *garbage)
        log = self.ends()
        self.assertEqual(log[-1], "traffic helper received shutdown")

    def test_lines_written_one_byte_at_a_time(self):
        self.connected()
        self.gui.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        data = (json.dumps({"type": "setPosition", "x": 9, "y": 8}) + "\r\n" +
                json.dumps(update("slow", 3)) + "\n").encode()
        before = self.gui.count()
        for byte in data:
            self.gui.connection.sendall(bytes([byte]))
        self.gui.wait_type("state", 10, after=before, x=9, y=8)
        log = self.shut_down()
        self.assertFalse([line for line in log if line.startswith("rejected")], log)

    def test_localappdata_that_does_not_exist(self):
        missing = Path(tempfile.gettempdir()) / f"vth-missing-{os.getpid()}" / "deeper"
        self.start(localappdata=missing)
        self.assertEqual(self.helper.wait(20), 0)
        log_path = missing / "Vestrilon" / "traffic-helper.log"
        lines = log_path.read_text().splitlines()
        self.assertTrue(lines[-1].split(" } ", 1)[1].startswith(FATAL), lines[-1])
        subprocess.run(["rm", "-rf", str(missing.parent)], check=True)

    def test_log_that_cannot_be_written_loses_lines_but_not_the_session(self):
        # A folder where the log file should be: every append fails, even for root.
        self.connected()
        log = self.data / "Vestrilon" / "traffic-helper.log"
        log.unlink()
        log.mkdir()  # appends to the log now fail
        before = self.gui.count()
        self.gui.send({"type": "setPosition", "x": 3, "y": 4})
        self.gui.wait_type("state", 10, after=before, x=3, y=4)
        self.gui.send({"type": "shutdown"})
        self.assertEqual(self.helper.wait(15), 0)
        self.assertTrue(log.is_dir())


if __name__ == "__main__":
    unittest.main()
