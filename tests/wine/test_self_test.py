"""traffic-gui-peer.exe --self-test under Wine: the whole acceptance run the
bundle's README gives as the first command on a Windows machine. Every check
must pass, in order; the report keeps the data folder, the PNG and the facts;
the cursor is back where it was."""
import re
import shutil
import tempfile
import time
import unittest
from pathlib import Path

from winebench import WineTestCase, windows_path

CHECKS = ["hello", "window", "first-state", "set-position", "set-visible-false",
          "set-visible-true", "update-content", "click-top-edge", "click-lower-edge",
          "right-click", "double-click-lower", "double-click-top", "move-lower-5", "move-top-20",
          "press-held", "drag-lower-6", "set-position-after-drag", "ole-drag-hover", "ole-drop",
          "inbox", "shutdown"]


class SelfTest(WineTestCase):
    def pointer(self):
        location = self.bench.xdotool("getmouselocation", "--shell")
        return re.findall(r"^[XY]=(\d+)$", location, re.M)

    def test_self_test_passes_and_reports(self):
        # Letters outside every ANSI code page, in the report's and the bundle's paths.
        report = Path(tempfile.mkdtemp(prefix="отчёт-Jürgen-", dir=self.bench.workdir))
        # The input moves the pointer all over the overlay and the drag source.
        pointer = self.pointer()
        started = time.monotonic()
        # As in the bundle: the helper beside the peer, found without --helper.
        folder = Path(tempfile.mkdtemp(prefix="bundle-Ελλάδα-", dir=self.bench.workdir))
        for name in ["traffic-gui-peer", "vestrilon-traffic-helper"]:
            shutil.copy(self.bench.exe(name), folder / f"{name}.exe")
        result = self.bench.run(folder / "traffic-gui-peer.exe",
                                ["--self-test", "--report", windows_path(report)], timeout=90)
        seconds = time.monotonic() - started
        lines = result.stdout.splitlines()
        self.assertEqual(result.exit_code, 0, result.stdout + result.stderr)
        self.assertEqual([line.split(" ")[:2] for line in lines[:-1]],
                         [["PASS", name] for name in CHECKS], result.stdout)
        self.assertEqual(lines[-1], f"self-test passed: {len(CHECKS)} checks")
        self.assertRegex(lines[CHECKS.index("set-position")], r"median=\d+ms worst=\d+ms reported=20/20")

        text = (report / "report.txt").read_text(encoding="utf-8")
        self.assertIn("\n".join(lines), text)
        self.assertRegex(text, r"helper build: [0-9a-f]{7,}|helper build: unknown")
        self.assertRegex(text, r"windows: \d+\.\d+\.\d+ \(Wine ")
        self.assertRegex(text, r"primary monitor=0,0 1280x800 work=0,0 1280x800 dpi=96")
        self.assertIn("integrity: ", text)
        self.assertEqual((report / "overlay.png").read_bytes()[:8], b"\x89PNG\r\n\x1a\n")
        # The report keeps the helper's data folder with its log.
        log = report / "localappdata" / "Vestrilon" / "traffic-helper.log"
        self.assertTrue(log.read_text(encoding="utf-8").rstrip("\n").endswith(
            "traffic helper received shutdown"))

        self.assertEqual(self.pointer(), pointer)
        print(f"self-test took {seconds:.1f} s", flush=True)
        self.assertLess(seconds, 30)

    def test_report_when_the_helper_never_connects(self):
        report = Path(tempfile.mkdtemp(prefix="отчёт-", dir=self.bench.workdir))
        # A program that ends at once in place of the helper, given by a path
        # with letters of no code page.
        helper = Path(tempfile.mkdtemp(prefix="помощник-", dir=self.bench.workdir)) / "h.exe"
        shutil.copy(self.bench.exe("vth-launch"), helper)
        result = self.bench.run(self.bench.exe("traffic-gui-peer"),
                                ["--self-test", "--report", windows_path(report),
                                 "--helper", windows_path(helper)], timeout=60)
        self.assertEqual(result.exit_code, 1, result.stdout + result.stderr)
        self.assertRegex(result.stdout, r"^FAIL setup the helper ended with exit code \d+ before it connected\n")
        text = (report / "report.txt").read_text(encoding="utf-8")
        self.assertIn("self-test FAILED: 1 of 1 checks\n", text)
        self.assertIn("helper log, last lines:\n", text)


if __name__ == "__main__":
    unittest.main()
