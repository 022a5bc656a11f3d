"""traffic-helper-tool url-candidate, natively and (VTH_EMULATOR) under Wine."""
import json
import subprocess
import tempfile
import unittest
from pathlib import Path

from tool_batch import BatchTestCase, TOOL, ToolBatch, command, tool_path

CASES = [
    ("[InternetShortcut]\r\nURL=https://a.example/page\r\n", "https://a.example/page"),
    ("exa\u200bmple.com", "example.com"),
    ("\ufeff\u3000https://b.example/\u00a0", "https://b.example/"),
    ('<A HREF="https://Example.COM/Path">x</A>', "https://Example.COM/Path"),
    ("<a href='c.example'>", "c.example"),
    ('<a href="/about">About</a>', None),
    ("URL=intranet", "intranet"),
    ("intranet", None),
    ("https://m.example/\nTitle", "https://m.example/"),
    ("tab\tinside.example", "tab\tinside.example"),
    ("дом.рф", "дом.рф"),
    ("foo\rbar.example", "foo\rbar.example"),
    ("nul\u0000.example", "nul.example"),
    ("", None),
    ("\u200b\u200b", None),
]


def answers(output: bytes):
    return [line.rstrip("\r") for line in output.decode("utf-8").split("\n") if line.strip("\r")]


def expected(candidate):
    return "NONE" if candidate is None else "OK " + json.dumps(candidate, ensure_ascii=False)


@unittest.skipUnless(TOOL, "VTH_TOOL not set")
class UrlCandidateFromStdin(unittest.TestCase):
    """Standard input holds a batch's requests, so this stream gets a run of its own."""

    def test_answers_each_literal_from_stdin(self):
        lines = "".join(json.dumps(text) + "\n" for text, _ in CASES).encode()
        result = subprocess.run(command("url-candidate"), input=lines, capture_output=True,
                                timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        got = answers(result.stdout)
        self.assertEqual(len(got), len(CASES))
        for (text, candidate), line in zip(CASES, got):
            # Escapes may differ between writers; compare decoded values.
            if candidate is None:
                self.assertEqual(line, "NONE", repr(text))
            else:
                self.assertTrue(line.startswith("OK "), repr(text))
                self.assertEqual(json.loads(line[3:]), candidate, repr(text))

    def test_reads_a_file_whose_path_has_letters_of_no_code_page(self):
        # On its own command line, not in a batch: Windows hands main such a
        # path only through the wide command line.
        with tempfile.TemporaryDirectory(prefix="Jürgen-отчёт-Ελλάδα-") as tmp:
            path = Path(tmp) / "ссылки.txt"
            path.write_bytes(b'"a.example"\n')
            result = subprocess.run(command("url-candidate", tool_path(path)),
                                    capture_output=True, timeout=120)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(answers(result.stdout), [expected("a.example")])
            commands = path.with_name("команды.jsonl")
            commands.write_text('{"type":"shutdown"}\n', encoding="utf-8")
            result = subprocess.run(command("decode-commands", tool_path(commands)),
                                    capture_output=True, timeout=120)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn(b"shutdown", result.stdout.lower())


class UrlCandidateFiles(BatchTestCase):
    def test_reads_a_file_and_flags_bad_lines(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = Path(tmp) / "lines.txt"
            # The nested brackets are parsed without recursion.
            path.write_bytes(b'"a.example"\r\nnot json\n42\n' + b"[" * 200_000 +
                             b'\n"b.example"\n')
            result = self.tool.run("url-candidate", tool_path(path))
        self.assertEqual(result.code, 1, result.stderr)
        got = answers(result.stdout.encode())
        self.assertEqual(got[0], expected("a.example"))
        self.assertTrue(got[1].startswith("ERR "), got[1])
        self.assertTrue(got[2].startswith("ERR "), got[2])
        self.assertTrue(got[3].startswith("ERR "), got[3])
        self.assertEqual(got[4], expected("b.example"))

    def test_missing_file_is_a_usage_error(self):
        result = self.tool.run("url-candidate", tool_path(Path("/nonexistent/lines.txt")))
        self.assertEqual(result.code, 2)


if __name__ == "__main__":
    unittest.main()
