"""traffic-helper-tool's decoders against every row of decoder-cases.tsv.

Runs the tool natively or, when VTH_EMULATOR is set, a Windows build under
Wine; rows are batched so that only a few runs are needed.
"""
import json
import os
import subprocess
import tempfile
import unittest
from pathlib import Path

TOOL = os.environ["VTH_TOOL"]
EMULATOR = os.environ.get("VTH_EMULATOR", "")
FIXTURES = Path(os.environ["VTH_FIXTURES"])


def tool_path(path):
    """A file name as the tool sees it (Wine maps / to drive Z:)."""
    return "Z:" + str(path) if EMULATOR else str(path)


def run_tool(args, stdin=b""):
    command = ([EMULATOR] if EMULATOR else []) + [TOOL] + args
    return subprocess.run(command, input=stdin, capture_output=True, timeout=300)


def load_rows():
    rows = []
    text = (FIXTURES / "decoder-cases.tsv").read_text(encoding="utf-8")
    for line in text.splitlines():
        if not line or line.startswith("#"):
            continue
        kind, cell, expected = line.split("\t")
        if cell.startswith("hex:"):
            data = bytes.fromhex(cell[4:])
        else:
            data = json.loads(cell).encode("utf-8")
        rows.append((kind, cell, data, expected))
    return rows


def answers(output):
    return output.decode("utf-8").splitlines()


class DecoderFixtures(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.rows = load_rows()
        cls.dir = tempfile.TemporaryDirectory()

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def write_files(self, rows, prefix):
        paths = []
        for i, (_, _, data, _) in enumerate(rows):
            path = Path(self.dir.name) / f"{prefix}-{i}.json"
            path.write_bytes(data)
            paths.append(tool_path(path))
        return paths

    def check(self, rows, got):
        self.assertEqual(len(got), len(rows))
        for (kind, cell, _, expected), answer in zip(rows, got):
            with self.subTest(kind=kind, input=cell[:120]):
                if expected.startswith("OK ") and answer.startswith("OK "):
                    self.assertEqual(json.loads(expected[3:]), json.loads(answer[3:]))
                else:
                    self.assertEqual(expected, answer)

    def test_config_rows(self):
        rows = [r for r in self.rows if r[0] == "config"]
        result = run_tool(["decode-config"] + self.write_files(rows, "config"))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.check(rows, answers(result.stdout))

    def test_command_rows_as_lines(self):
        # One stream, alternating LF and CRLF line ends, the last line without one.
        rows = [r for r in self.rows if r[0] == "command" and b"\n" not in r[2] and b"\r" not in r[2]]
        stream = b"".join(r[2] + (b"\r\n" if i % 2 else b"\n") for i, r in enumerate(rows[:-1]))
        stream += rows[-1][2]
        result = run_tool(["decode-commands"], stdin=stream)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.check(rows, answers(result.stdout))

    def test_multiline_command_rows(self):
        rows = [r for r in self.rows if r[0] == "command" and (b"\n" in r[2] or b"\r" in r[2])]
        result = run_tool(["decode-commands", "--files"] + self.write_files(rows, "command"))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.check(rows, answers(result.stdout))

    def test_invalid_utf8_line_and_stats(self):
        path = Path(self.dir.name) / "stream.txt"
        path.write_bytes(b'{"type":"shutdown"}\n\xff\xfe\r\n{"type":"shutdown"}')
        result = run_tool(["decode-commands", "--stats", tool_path(path)])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(answers(result.stdout), ["ok=2 err=1"])
        result = run_tool(["decode-commands", tool_path(path)])
        self.assertEqual(answers(result.stdout)[1], "ERR stream did not contain valid UTF-8")

    def test_missing_file_is_an_io_error(self):
        missing = tool_path(Path(self.dir.name) / "missing.json")
        self.assertEqual(run_tool(["decode-config", missing]).returncode, 2)
        self.assertEqual(run_tool(["decode-commands", missing]).returncode, 2)


if __name__ == "__main__":
    unittest.main()
