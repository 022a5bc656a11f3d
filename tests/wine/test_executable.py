"""The shipped .exe itself: a 64-bit GUI program that needs only Windows system
DLLs, with its manifest, six-size icon and version record."""
import os
import re
import struct
import unittest
from pathlib import Path

from winebench import find_build_dir

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "ole32.dll",
               "oleaut32.dll", "ws2_32.dll", "shell32.dll", "msvcrt.dll", "ucrtbase.dll",
               "comctl32.dll", "uxtheme.dll", "dwmapi.dll", "shcore.dll", "ntdll.dll",
               "msimg32.dll", "bcrypt.dll", "secur32.dll", "uuid.dll", "version.dll",
               "wtsapi32.dll"}
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


class Pe:
    """Just enough of the PE format to read headers, imports and resources."""

    def __init__(self, data: bytes):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0"
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data,
                                                                                pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = optional + 112
        self.dirs = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        table = optional + optional_size
        self.sections = []
        for i in range(sections):
            _, vsize, vaddr, rsize, raddr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rsize), raddr))

    def offset(self, rva: int) -> int:
        for vaddr, size, raddr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raddr
        raise ValueError(f"rva {rva:#x} outside every section")

    def cstring(self, rva: int) -> str:
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self) -> list[str]:
        rva = self.dirs[1][0]
        names = []
        while True:
            entry = struct.unpack_from("<IIIII", self.data, self.offset(rva))
            if entry[3] == 0:
                return names
            names.append(self.cstring(entry[3]))
            rva += 20

    def resources(self) -> dict:
        """{type: {name: bytes}} for the first language of every resource."""
        base = self.offset(self.dirs[2][0])

        def entries(at):
            named, ids = struct.unpack_from("<HH", self.data, at + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
                yield name, target

        result = {}
        for rtype, t in entries(base):
            result[rtype] = {}
            for name, n in entries(base + (t & 0x7FFFFFFF)):
                _, leaf = next(entries(base + (n & 0x7FFFFFFF)))
                rva, size = struct.unpack_from("<II", self.data, base + leaf)
                start = self.offset(rva)
                result[rtype][name] = self.data[start:start + size]
        return result


class ExecutableTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.build = Path(os.environ.get("VTH_BUILD_DIR") or find_build_dir(Path.cwd()))
        cls.pe = Pe((cls.build / "src" / "vestrilon-traffic-helper.exe").read_bytes())
        cls.res = cls.pe.resources()

    def test_pe32_plus_gui_program(self):
        self.assertEqual(self.pe.magic, 0x20B)        # PE32+
        self.assertEqual(self.pe.machine, 0x8664)     # x86-64
        self.assertEqual(self.pe.subsystem, 2)        # Windows GUI, no console

    def test_imports_only_windows_system_dlls(self):
        imports = {name.lower() for name in self.pe.imports()}
        self.assertTrue(imports)
        self.assertLessEqual(imports, SYSTEM_DLLS, imports - SYSTEM_DLLS)

    def test_manifest(self):
        manifest = self.res[RT_MANIFEST][1].decode("utf-8")
        for needle in ['level="asInvoker"', 'uiAccess="false"', ">PerMonitorV2<",
                       "<longPathAware", ">true</longPathAware>",
                       "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"]:
            self.assertIn(needle, manifest)

    def test_icon_has_six_sizes(self):
        (group,) = self.res[RT_GROUP_ICON].values()
        count = struct.unpack_from("<H", group, 4)[0]
        sizes = sorted(group[6 + 14 * i] or 256 for i in range(count))
        self.assertEqual(sizes, [16, 24, 32, 48, 64, 256])
        self.assertEqual(len(self.res[RT_ICON]), 6)

    def test_version_record(self):
        (record,) = self.res[RT_VERSION].values()
        text = record.decode("utf-16-le", "replace")
        for key in ["FileDescription", "ProductName"]:
            self.assertRegex(text, key + r"\x00+vestrilon-traffic-helper\x00")
        self.assertRegex(text, r"ProductVersion\x00+0\.1\.0\x00")
        # The build id beside the version, read by vtc_helper_version.
        generated = (self.build / "src" / "build_id.cpp").read_text()
        build_id = re.search(r'return "([^"]*)";', generated).group(1)
        self.assertRegex(text, r"BuildId\x00+" + re.escape(build_id) + r"\x00")
        fixed = record.index(struct.pack("<I", 0xFEEF04BD))
        ms, ls = struct.unpack_from("<II", record, fixed + 8)
        self.assertEqual((ms >> 16, ms & 0xFFFF, ls >> 16), (0, 1, 0))

    def test_build_identifier_is_compiled_in(self):
        # The id of this build tree's last build (a commit may have followed it).
        generated = (self.build / "src" / "build_id.cpp").read_text()
        build_id = re.search(r'return "([^"]*)";', generated).group(1)
        self.assertRegex(build_id, r"^([0-9a-f]{7,}(-dirty)?|unknown)$")
        self.assertIn(b"\0" + build_id.encode() + b"\0", self.pe.data)

if __name__ == "__main__":
    unittest.main()
