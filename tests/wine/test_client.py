"""The client library as a GUI ships it: the C example, its DLL and the real
helper in one folder, run under Wine; and a GUI on the DLL that is killed,
whose helper is killed, and whose port an impostor finds first."""
import json
import re
import shutil
import socket
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from gui_end import log_lines
from winebench import WineTestCase, wait_until, windows_path

LOG_LINE = re.compile(r"^SystemTime \{ intervals: \d+ \} (.*)$")


class ClientTest(WineTestCase):
    def test_c_example_starts_shows_and_stops_the_real_helper(self):
        folder = Path(tempfile.mkdtemp(prefix="vtc-gui-", dir=self.bench.workdir))
        for name in ["show_traffic.exe", "vestrilon-traffic-helper.exe"]:
            shutil.copy(self.bench.exe(name[:-4]), folder)
        shutil.copy(self.bench.build_dir / "vestrilon-traffic-client.dll", folder)
        data = self.bench.new_localappdata() / "Vestrilon"
        helper = folder / "vestrilon-traffic-helper.exe"
        result = self.bench.run(folder / "show_traffic.exe",
                                [windows_path(helper), windows_path(data), "2"], timeout=120)
        self.assertEqual(result.exit_code, 0, result.stdout + result.stderr)
        lines = result.stdout.splitlines()
        generated = (self.bench.build_dir / "src" / "build_id.cpp").read_text()
        build_id = re.search(r'return "([^"]*)";', generated).group(1)
        self.assertEqual(lines[0], f"helper version 0.1.0 build={build_id}")
        self.assertTrue(any(line.startswith("connected integrity=") for line in lines), lines)
        self.assertEqual(lines[-1], "stopped")
        log = (data / "traffic-helper.log").read_text(encoding="utf-8").splitlines()
        self.assertEqual(LOG_LINE.match(log[-1]).group(1), "traffic helper received shutdown")
        # The configuration went once the helper said hello.
        self.assertFalse((data / "traffic-helper.json").exists())


HELPER = "vestrilon-traffic-helper.exe"
TITLE = "Vestrilon traffic"


class ClientSupervisionTest(WineTestCase):
    def start_gui(self):
        """vth-client-drive, the DLL and the helper in one folder, started."""
        folder = Path(tempfile.mkdtemp(prefix="vtc-drive-", dir=self.bench.workdir))
        for name in ["vth-client-drive", HELPER[:-4]]:
            shutil.copy(self.bench.exe(name), folder)
        shutil.copy(self.bench.build_dir / "vestrilon-traffic-client.dll", folder)
        self.local = self.bench.new_localappdata()
        self.gui = self.bench.start(folder / "vth-client-drive.exe",
                                    [windows_path(folder / HELPER),
                                     windows_path(self.local / "Vestrilon")],
                                    stdin=subprocess.PIPE)
        self.addCleanup(self.gui.kill)

    def send(self, command):
        self.gui.popen.stdin.write((command + "\n").encode())
        self.gui.popen.stdin.flush()

    def connected(self, count, timeout=90):
        wait_until(lambda: sum(line.startswith("CONNECTED ")
                               for line in self.gui.stdout().splitlines()) >= count,
                   timeout, what=f"connected {count} times")

    def helper_pids(self):
        return [int(re.search(r" pid=(\d+)", line).group(1)) for line in log_lines(self.local)
                if line.startswith("starting helper ")]

    def helpers_running(self):
        """Our helper processes, as Wine runs them on Linux."""
        found = []
        for entry in Path("/proc").iterdir():
            try:
                command = (entry / "cmdline").read_bytes()
                environment = (entry / "environ").read_bytes()
            except OSError:
                continue
            if HELPER.encode() in command and \
                    f"WINEPREFIX={self.bench.prefix}\0".encode() in environment:
                found.append(int(entry.name))
        return found

    def visible_windows(self):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{TITLE}$"],
                             env=self.bench.env(), capture_output=True, text=True)
        return out.stdout.split()

    def overlay_pixels(self):
        shot = self.bench.workdir / "drive.png"
        self.bench.screenshot(shot)
        return subprocess.run(["convert", str(shot), "-crop", "208x132+40+40", "+repage",
                               "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout

    def test_gui_killed_ends_the_helper(self):
        self.start_gui()
        self.connected(1)
        self.assertTrue(self.helpers_running())
        died = time.monotonic()
        self.send("die")
        self.gui.wait(30)
        wait_until(lambda: not self.helpers_running(), 10, what="helper gone")
        print(f"\nhelper gone {time.monotonic() - died:.2f} s after the kill")
        self.assertLess(time.monotonic() - died, 3)

    def test_killed_helper_is_restarted_with_content_and_visibility(self):
        self.start_gui()
        self.connected(1)
        before = self.overlay_pixels()
        self.send("content Restored")
        self.send("visible 1")

        def drawn():
            pixels = self.overlay_pixels()
            return pixels if pixels != before else None
        shown = wait_until(drawn, 20, interval=0.3, what="content drawn")
        # The helper shows a new overlay before its hello; hiding it again and
        # the content are the library's to restore.
        for visible, starts in [(1, 2), (0, 3)]:
            with self.subTest(visible=visible):
                if not visible:
                    self.send("visible 0")
                    wait_until(lambda: not self.visible_windows(), 20, what="overlay hidden")
                pid = self.helper_pids()[-1]
                self.send(f"kill {pid}")
                self.connected(starts)
                lines = self.gui.stdout().splitlines()
                self.assertIn(f"killed {pid}", lines)
                exited = [i for i, line in enumerate(lines) if line.startswith("EXITED ")]
                self.assertEqual(len(exited), starts - 1, lines)
                self.assertTrue(lines[exited[-1] + 1].startswith("RESTARTING "), lines)
                self.assertEqual(len(self.helper_pids()), starts)
                if visible:
                    wait_until(lambda: self.overlay_pixels() == shown, 20, interval=0.3,
                               what="content restored")
                else:
                    wait_until(lambda: not self.visible_windows(), 20, what="overlay hidden")
        self.send("stop")
        self.assertEqual(self.gui.wait(30), 0)

    def test_impostor_with_a_wrong_token_is_closed_and_the_helper_accepted(self):
        self.start_gui()
        config = self.local / "Vestrilon" / "traffic-helper.json"

        def port():
            try:
                return json.loads(config.read_text())["port"]
            except (OSError, ValueError, KeyError):
                return None
        impostor = socket.create_connection(("127.0.0.1", wait_until(port, 60, 0.01)), 10)
        self.addCleanup(impostor.close)
        impostor.sendall(b'{"type":"hello","token":"0123456789abcdef0123456789abcdef",'
                         b'"integrity":"medium","oleRegistered":true}\n')
        # Accepted and shut down: an orderly end, not a reset from a listener
        # that went away.
        impostor.settimeout(30)
        self.assertEqual(impostor.recv(100), b"")
        self.connected(1)
        self.send("stop")
        self.assertEqual(self.gui.wait(30), 0)


if __name__ == "__main__":
    unittest.main()
