"""The client library as a GUI ships it: the C example, its DLL and the real
helper in one folder, run under Wine."""
import re
import shutil
import tempfile
import unittest
from pathlib import Path

from winebench import WineTestCase, windows_path

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


if __name__ == "__main__":
    unittest.main()
