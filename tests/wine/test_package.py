"""The release bundle as integrators get it: CPack's ZIP of this build tree
(the same rules the windows-release preset packs), its name and files, and its
programs run from the unzipped folder under Wine."""
import json
import os
import re
import shutil
import struct
import subprocess
import tempfile
import unittest
import zipfile
from pathlib import Path

from test_executable import RT_MANIFEST, SYSTEM_DLLS, Pe
from winebench import WineBench, find_build_dir, windows_path

HELPER = "vestrilon-traffic-helper.exe"
TOOL = "traffic-helper-tool.exe"
PEER = "traffic-gui-peer.exe"
CLIENT = "vestrilon-traffic-client.dll"
FILES = {HELPER, TOOL, PEER, "README.md", "protocol.md", CLIENT, "vestrilon-traffic-client.lib",
         "vestrilon-traffic-client.def",
         "include/vestrilon/traffic_client.h", "include/vestrilon/traffic_client.hpp",
         "integration.md"}
GUI, CONSOLE = 2, 3
LOG_LINE = re.compile(r"^SystemTime \{ intervals: \d+ \} (.*)$")
CONFIG = {"host": "127.0.0.1", "port": 9, "token": "bundle-t0k", "x": 40, "y": 40,
          "gui_pid": 4242}


def file_header(data: bytes) -> tuple[int, int]:
    """(PointerToSymbolTable, NumberOfSymbols) of a PE file: both 0 once stripped."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return struct.unpack_from("<II", data, pe + 12)


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.build = Path(os.environ.get("VTH_BUILD_DIR") or find_build_dir(Path.cwd())).resolve()
        cls.source = Path(os.environ.get("VTH_SOURCE_DIR") or Path(__file__).parents[2])
        config = cls.build / "CPackConfig.cmake"
        if not config.exists():
            raise AssertionError(f"{config} missing: the build has no packaging rules")
        cls.tmp = Path(tempfile.mkdtemp(prefix="vth-package-"))
        out = cls.tmp / "out"
        packed = subprocess.run(["cpack", "-G", "ZIP", "--config", str(config), "-B", str(out)],
                                capture_output=True, text=True, timeout=120)
        if packed.returncode != 0:
            shutil.rmtree(cls.tmp, ignore_errors=True)
            raise AssertionError(f"cpack failed:\n{packed.stdout}{packed.stderr}")
        cls.zips = sorted(out.glob("*.zip"))
        cls.zip = cls.zips[0]
        with zipfile.ZipFile(cls.zip) as archive:
            cls.names = archive.namelist()
            archive.extractall(cls.tmp / "unzipped")
        cls.folder = cls.tmp / "unzipped" / cls.zip.stem
        cls.bench = WineBench(cls.build).__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.bench.close()
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def name_parts(self) -> tuple[str, str]:
        """(version, build id) from the ZIP's name."""
        self.assertEqual(len(self.zips), 1, self.zips)
        match = re.fullmatch(r"vestrilon-traffic-helper-(\d+\.\d+\.\d+)-"
                             r"([0-9a-f]{7,}(?:-dirty)?|unknown)-win64\.zip", self.zip.name)
        self.assertIsNotNone(match, self.zip.name)
        return match.group(1), match.group(2)

    def test_name_has_the_project_version_and_the_compiled_build_id(self):
        version, build_id = self.name_parts()
        project = (self.source / "CMakeLists.txt").read_text()
        self.assertEqual(version, re.search(r"project\(\S+ VERSION (\S+)", project).group(1))
        # The id this tree's helper was compiled with, whatever git says now.
        generated = (self.build / "src" / "build_id.cpp").read_text()
        self.assertEqual(build_id, re.search(r'return "([^"]*)";', generated).group(1))

    def test_one_folder_named_like_the_zip_with_exactly_the_bundle_files(self):
        top = self.zip.stem + "/"
        files = [name for name in self.names if not name.endswith("/")]
        self.assertTrue(all(name.startswith(top) for name in self.names), self.names)
        self.assertEqual(sorted(name[len(top):] for name in files), sorted(FILES))

    def test_documents_are_the_sources_and_readme_links_stay_inside(self):
        readme = (self.folder / "README.md").read_bytes()
        self.assertEqual(readme, (self.source / "docs" / "bundle-README.md").read_bytes())
        self.assertEqual((self.folder / "protocol.md").read_bytes(),
                         (self.source / "docs" / "protocol.md").read_bytes())
        links = re.findall(r"\]\(([^)#]+)(?:#[^)]*)?\)", readme.decode("utf-8"))
        local = [link for link in links if not re.match(r"[a-z]+:", link)]
        self.assertIn("protocol.md", local)
        for link in local:
            self.assertTrue((self.folder / link).is_file(), f"README links to missing {link}")

    def test_programs_are_stripped_64_bit_and_need_only_system_dlls(self):
        for name, subsystem in [(HELPER, GUI), (TOOL, CONSOLE), (PEER, CONSOLE),
                                (CLIENT, CONSOLE)]:
            with self.subTest(program=name):
                data = (self.folder / name).read_bytes()
                pe = Pe(data)
                self.assertEqual((pe.magic, pe.machine), (0x20B, 0x8664))  # PE32+, x86-64
                self.assertEqual(pe.subsystem, subsystem)
                self.assertEqual(file_header(data), (0, 0), "symbol table left in")
                imports = {dll.lower() for dll in pe.imports()}
                self.assertLessEqual(imports, SYSTEM_DLLS, imports - SYSTEM_DLLS)
        # The DLL exports the C functions and nothing else.
        exports = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(self.folder / CLIENT)],
                                 capture_output=True, text=True, check=True).stdout
        table = exports.split("[Ordinal/Name Pointer] Table", 1)[1].split("\n\n", 1)[0]
        names = set(re.findall(r"\]\s+(\w+)$", table, re.MULTILINE))
        self.assertTrue(names and all(name.startswith("vtc_") for name in names), names)
        self.assertIn("vtc_start", names)
        # Stripping must leave the resources the helper needs at run time.
        self.assertIn(1, Pe((self.folder / HELPER).read_bytes()).resources()[RT_MANIFEST])

    def test_tool_from_the_bundle_decodes_a_config(self):
        config = self.folder / "traffic-helper.json"
        config.write_text(json.dumps(CONFIG), encoding="utf-8")
        result = self.bench.run(self.folder / TOOL, ["decode-config", windows_path(config)],
                                timeout=30)
        self.assertEqual(result.exit_code, 0, result.stderr)
        lines = result.stdout.splitlines()
        self.assertEqual(len(lines), 1, result.stdout)
        self.assertTrue(lines[0].startswith("OK "), lines[0])
        self.assertEqual(json.loads(lines[0][3:]), CONFIG)

    def test_quick_start_session_and_the_log_names_the_build_of_the_zip(self):
        _, build_id = self.name_parts()
        data = self.bench.new_localappdata()
        script = data / "session.txt"
        script.write_text('expect hello\n{"type":"setVisible","visible":true}\n'
                          '{"type":"shutdown"}\n', encoding="utf-8")
        result = self.bench.run(self.folder / PEER,
                                ["--helper", windows_path(self.folder / HELPER),
                                 "--data-dir", windows_path(data), "--script",
                                 windows_path(script)], timeout=60)
        self.assertEqual(result.exit_code, 0, result.stdout + result.stderr)
        self.assertIn("summary hello 1", result.stdout.splitlines())
        self.assertEqual(result.stdout.splitlines()[-1], "helper exit code: 0")
        log = (data / "Vestrilon" / "traffic-helper.log").read_text(encoding="utf-8")
        messages = [LOG_LINE.match(line).group(1) for line in log.splitlines()]
        starts = [m for m in messages if m.startswith("starting helper ")]
        self.assertEqual(len(starts), 1, messages)
        self.assertRegex(starts[0], r"^starting helper build=" + re.escape(build_id) + " ")
        self.assertEqual(messages[-1], "traffic helper received shutdown")

if __name__ == "__main__":
    unittest.main()
