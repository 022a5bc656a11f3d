"""traffic-helper-tool's decoders against every row of decoder-cases.tsv.

Runs the tool natively or, when VTH_EMULATOR is set, a Windows build under
Wine: one batch process for the file-based checks, one run for standard input.
"""
import json
import os
import subprocess
import tempfile
import unittest
from pathlib import Path

from tool_batch import ToolBatch, command, tool_path

FIXTURES = Path(os.environ["VTH_FIXTURES"])


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


def single_line_command_rows(rows):
    return [r for r in rows if r[0] == "command" and b"\n" not in r[2] and b"\r" not in r[2]]


def command_stream(rows):
    """The rows as one stream, alternating LF and CRLF line ends, the last line without one."""
    stream = b"".join(r[2] + (b"\r\n" if i % 2 else b"\n") for i, r in enumerate(rows[:-1]))
    return stream + rows[-1][2]


class RowChecks(unittest.TestCase):
    def check(self, rows, output):
        got = output.splitlines()
        self.assertEqual(len(got), len(rows))
        for (kind, cell, _, expected), answer in zip(rows, got):
            with self.subTest(kind=kind, input=cell[:120]):
                if expected.startswith("OK ") and answer.startswith("OK "):
                    self.assertEqual(json.loads(expected[3:]), json.loads(answer[3:]))
                else:
                    self.assertEqual(expected, answer)


class DecoderFixtures(RowChecks):
    @classmethod
    def setUpClass(cls):
        cls.rows = load_rows()
        cls.dir = tempfile.TemporaryDirectory()
        cls.tool = ToolBatch()

    @classmethod
    def tearDownClass(cls):
        code = cls.tool.close()
        cls.dir.cleanup()
        if code != 0:
            raise AssertionError("traffic-helper-tool batch did not exit with 0")

    def write_files(self, rows, prefix):
        paths = []
        for i, (_, _, data, _) in enumerate(rows):
            path = Path(self.dir.name) / f"{prefix}-{i}.json"
            path.write_bytes(data)
            paths.append(tool_path(path))
        return paths

    def run_ok(self, *args):
        answer = self.tool.run(*args)
        self.assertEqual(answer.code, 0, answer.stderr)
        return answer.stdout

    def test_config_rows(self):
        rows = [r for r in self.rows if r[0] == "config"]
        self.check(rows, self.run_ok("decode-config", *self.write_files(rows, "config")))

    def test_multiline_command_rows(self):
        rows = [r for r in self.rows if r[0] == "command" and (b"\n" in r[2] or b"\r" in r[2])]
        self.check(rows, self.run_ok("decode-commands", "--files",
                                     *self.write_files(rows, "command")))

    def test_invalid_utf8_line_and_stats(self):
        path = Path(self.dir.name) / "stream.txt"
        path.write_bytes(b'{"type":"shutdown"}\n\xff\xfe\r\n{"type":"shutdown"}')
        self.assertEqual(self.run_ok("decode-commands", "--stats", tool_path(path)), "ok=2 err=1\n")
        self.assertEqual(self.run_ok("decode-commands", tool_path(path)).splitlines()[1],
                         "ERR stream did not contain valid UTF-8")

    def test_missing_file_is_an_io_error(self):
        missing = tool_path(Path(self.dir.name) / "missing.json")
        for subcommand in ("decode-config", "decode-commands"):
            with self.subTest(subcommand=subcommand):
                self.assertEqual(self.tool.run(subcommand, missing).code, 2)


class CommandRowsFromStdin(RowChecks):
    """Standard input holds a batch's requests, so this stream gets a run of its own."""

    def test_command_rows_as_lines(self):
        rows = single_line_command_rows(load_rows())
        result = subprocess.run(command("decode-commands"), input=command_stream(rows),
                                capture_output=True, timeout=300)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.check(rows, result.stdout.decode("utf-8"))


if __name__ == "__main__":
    unittest.main()
