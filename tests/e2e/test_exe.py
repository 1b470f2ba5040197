"""The built executable: format, imports and its three resources. The shipped
exe is 32-bit; the 64-bit test build differs only where the helper says
(its PE type, its objdump, the processor its manifest names)."""
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

import winetest as w

EXE = w.BUILD / "tvuninst.exe"
# Windows loads these from its system directory whatever the search order (KnownDLLs),
# so nothing planted beside the executable can stand in for them.
# ntdll is mapped into every process before anything is loaded.
KNOWN_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "shlwapi.dll", "msvcrt.dll", "ntdll.dll"}
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100


def headers():
    return subprocess.run([w.OBJDUMP, "-p", str(EXE)], check=True, stdout=subprocess.PIPE,
                          text=True).stdout


def resource(type_id):
    return subprocess.run(["wrestool", "-x", "--raw", f"--type={type_id}", str(EXE)], check=True,
                          stdout=subprocess.PIPE).stdout


class Executable(unittest.TestCase):
    maxDiff = None

    def test_pe_gui_for_the_processor_built_for(self):
        # The toolchain's processor, from the build: the helper's view must not follow a wrong exe.
        expected = {"i686": w.I386, "x86_64": w.AMD64}[os.environ["TVUNINST_PROCESSOR"]]
        self.assertEqual(w.MACHINE, expected)
        described = subprocess.run(["file", "-b", str(EXE)], check=True, stdout=subprocess.PIPE, text=True).stdout
        self.assertRegex(described, "^" + w.FILE_TYPE)

    def test_imports_only_known_dlls(self):
        imports = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers())}
        self.assertTrue(imports)
        self.assertLessEqual(imports, KNOWN_DLLS)

    def test_aslr_and_dep(self):
        characteristics = int(re.search(r"DllCharacteristics\s+([0-9a-fA-F]+)", headers()).group(1), 16)
        self.assertEqual(characteristics & DYNAMIC_BASE, DYNAMIC_BASE)
        self.assertEqual(characteristics & NX_COMPAT, NX_COMPAT)
        self.assertIn(".reloc", subprocess.run([w.OBJDUMP, "-h", str(EXE)], check=True,
                                               stdout=subprocess.PIPE, text=True).stdout)

    def test_manifest(self):
        manifest = resource(24).decode("utf-8")
        identity = re.search(r"<assemblyIdentity([^>]*)/>", manifest).group(1)
        attributes = dict(re.findall(r'(\w+)="([^"]*)"', identity))
        self.assertEqual(attributes, {"version": "1.0.0.0", "processorArchitecture": w.MANIFEST_ARCHITECTURE,
                                      "name": "tvuninst", "type": "win32"})
        self.assertIn("<description>kVelnora Telvarine Uninstaller</description>", manifest)
        level = re.search(r"<requestedExecutionLevel([^>]*)/>", manifest).group(1)
        self.assertEqual(dict(re.findall(r'(\w+)="([^"]*)"', level)),
                         {"level": "requireAdministrator", "uiAccess": "false"})

    def test_version_record(self):
        record = resource(16)
        fixed = record.index(struct.pack("<I", 0xFEEF04BD))
        numbers = struct.unpack_from("<IIIII", record, fixed + 4)[1:]
        self.assertEqual(numbers, (2025 << 16 | 12, 29 << 16 | 1, 2025 << 16 | 12, 29 << 16 | 1))
        text = record.decode("utf-16-le", "ignore")
        expected = {
            "FileVersion": "2025, 12, 29, 1",
            "ProductVersion": "2025, 12, 29, 1",
            "InternalName": "tvuninst",
            "FileDescription": "kVelnora Telvarine Uninstaller v1.7",
            "ProductName": "kVelnora Telvarine Uninstaller",
            "Comments": "kVelnora Telvarine Uninstaller",
        }
        for key, value in expected.items():
            # Each String entry is its key, padding to a 32-bit boundary, then its value.
            match = re.search(key + "\0+([^\0]*)\0", text)
            self.assertEqual(match.group(1) if match else None, value, key)

    def test_icon_has_16_32_and_48_pixels(self):
        with tempfile.TemporaryDirectory() as folder:
            subprocess.run(["wrestool", "-x", "--type=14", "-o", folder, str(EXE)], check=True)
            icons = list(Path(folder).glob("*.ico"))
            self.assertEqual(len(icons), 1)
            listing = subprocess.run(["icotool", "-l", str(icons[0])], check=True, stdout=subprocess.PIPE,
                                     text=True).stdout
        sizes = sorted(int(s) for s in re.findall(r"--width=(\d+)", listing))
        self.assertEqual(sizes, [16, 32, 48])


if __name__ == "__main__":
    unittest.main(verbosity=2)
