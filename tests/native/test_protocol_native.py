"""The native helper (sanitizer build, stand-in overlay window) speaking the
whole protocol with a GUI end in Python: the main loop, the command reader
and the overlay thread running together."""
import os
import sys
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
from gui_end import GuiEnd, log_lines  # noqa: E402

HELPER = os.environ["VTH_HELPER"]


class NativeProtocolTest(unittest.TestCase):
    def start(self, x=30, y=40):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.data = Path(tmp.name)
        self.gui = GuiEnd(self.data, x=x, y=y, token='to"k\\en')
        self.addCleanup(self.gui.close)
        env = dict(os.environ, LOCALAPPDATA=str(self.data))
        self.helper = subprocess.Popen([HELPER], env=env, stdout=subprocess.PIPE,
                                       stderr=subprocess.PIPE)
        self.addCleanup(self.stop)
        self.gui.accept(30)
        self.gui.wait_type("state", 10)

    def stop(self):
        if self.helper.poll() is None:
            self.helper.kill()
        _, err = self.helper.communicate(timeout=30)
        self.stderr = err.decode(errors="replace")

    def finish(self):
        self.assertEqual(self.helper.wait(30), 0)
        self.stop()
        self.assertEqual(self.stderr, "")  # no sanitizer report

    def test_hello_and_state_bytes(self):
        self.start(x=-7, y=40)
        self.assertEqual(self.gui.raw[:2], [
            b'{"type":"hello","token":"to\\"k\\\\en","integrity":"unknown","oleRegistered":true}',
            b'{"type":"state","hovering":false,"interacting":false,"x":-7,"y":40}'])
        self.gui.send({"type": "shutdown"})
        self.finish()
        log = log_lines(self.data)
        self.assertEqual(log[1:], [
            "overlay created integrity=unknown ole_registration=success x=-7 y=40 size=208x132",
            "hello sent integrity=unknown ole_registered=true gui_pid=4242",
            "traffic helper received shutdown"])

    def test_rejected_lines_and_the_next_command(self):
        self.start()
        before = self.gui.count()
        self.gui.send(b"garbage", b'{"type":"setVisible"}', b"\xff\xfe",
                      {"type": "setPosition", "x": 77, "y": 88})
        self.gui.wait_type("state", 5, after=before, x=77, y=88)
        self.gui.send({"type": "shutdown"}, {"type": "setPosition", "x": 1, "y": 1})
        self.finish()
        log = log_lines(self.data)
        rejected = [line for line in log if line.startswith("rejected invalid helper command: ")]
        self.assertEqual(rejected, [
            "rejected invalid helper command: expected value at line 1 column 1",
            "rejected invalid helper command: missing field `visible`",
            "rejected invalid helper command: stream did not contain valid UTF-8"])
        self.assertEqual(log[-1], "traffic helper received shutdown")

    def test_heartbeat_once_a_second_at_rest(self):
        self.start()
        time.sleep(2.5)
        self.gui.send({"type": "shutdown"})
        self.finish()
        times = [t for t, m in self.gui.messages if m["type"] == "state"]
        self.assertEqual(len(times), 3)
        gaps = [b - a for a, b in zip(times, times[1:])]
        self.assertTrue(all(0.9 < gap < 1.5 for gap in gaps), gaps)

    def test_burst_of_commands_then_shutdown(self):
        self.start()
        lines = [{"type": "updateContent", "title": f"t{i}", "subtitle": "s", "feedback": None,
                  "samples": [{"t": j, "up": j, "down": j} for j in range(100)],
                  "dropHover": False} for i in range(2000)]
        self.gui.send(*lines, {"type": "setPosition", "x": 5, "y": 6})
        self.gui.wait_type("state", 30, x=5, y=6)
        self.gui.send({"type": "shutdown"})
        self.finish()

    def test_gui_closing_ends_the_helper_at_its_next_write(self):
        self.start()
        self.gui.close()
        started = time.monotonic()
        self.assertEqual(self.helper.wait(10), 0)
        self.assertLess(time.monotonic() - started, 2.5)
        self.stop()
        self.assertTrue(log_lines(self.data)[-1].startswith("traffic helper fatal: "))


if __name__ == "__main__":
    unittest.main()
