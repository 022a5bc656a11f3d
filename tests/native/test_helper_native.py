"""The native helper binary (sanitizer build) through its whole start-up:
the same logic as the Windows .exe, without Wine."""
import json
import os
import subprocess
import tempfile
import unittest
from pathlib import Path

HELPER = os.environ["VTH_HELPER"]
VALID = {"host": "127.0.0.1", "port": 9, "token": "t", "x": 5, "y": 6, "gui_pid": 99}


def run(localappdata, config=None, timeout=30):
    env = {k: v for k, v in os.environ.items() if k != "LOCALAPPDATA"}
    if localappdata is not None:
        env["LOCALAPPDATA"] = str(localappdata)
        if config is not None:
            (localappdata / "Vestrilon").mkdir(parents=True, exist_ok=True)
            (localappdata / "Vestrilon" / "traffic-helper.json").write_text(config)
    result = subprocess.run([HELPER], env=env, capture_output=True, timeout=timeout)
    log = Path(localappdata or "/nonexistent") / "Vestrilon" / "traffic-helper.log"
    messages = [line.split(" } ", 1)[1] for line in
                log.read_text(encoding="utf-8").splitlines()] if log.exists() else []
    return result, messages


class NativeHelperTest(unittest.TestCase):
    def test_outcomes(self):
        cases = [
            ("valid, GUI not listening", json.dumps(VALID),
             r"^traffic helper fatal: Connection refused \(os error 111\)$"),
            ("ipv6 loopback", json.dumps(dict(VALID, host="::1")),
             r"^traffic helper fatal: traffic helper endpoint must be loopback$"),
            ("another 127 address", json.dumps(dict(VALID, host="127.0.0.2")),
             r"^traffic helper fatal: traffic helper endpoint must be loopback$"),
        ]
        for name, config, last in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as tmp:
                result, messages = run(Path(tmp), config)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stdout, b"")
                self.assertRegex(messages[-1], last)

    def test_without_localappdata_ends_silently(self):
        result, _ = run(None)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout + result.stderr, b"")


if __name__ == "__main__":
    unittest.main()
