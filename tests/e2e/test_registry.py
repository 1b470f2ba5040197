"""Registry keys and system modules, staged where the exe under test looks for
them in a 64-bit prefix: as the product's 32-bit installer leaves them for the
shipped 32-bit exe, in the 64-bit view for the 64-bit test build."""
import contextlib
import re

import winetest as w

VENDOR = r"Software\MIRELNetwork"
PRODUCT = VENDOR + r"\kVelnoraTelvarine"
COMPONENTS = ("Telvarine", "Corvane", "Dranwick", "Ostermere", "Ravelin")
CCS = r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet"
CS2 = r"HKEY_LOCAL_MACHINE\SYSTEM\ControlSet002"


def software_keys(hive, error_key):
    keys = [rf"{hive}\{PRODUCT}", rf"{hive}\{VENDOR}\OtherGame"]
    keys += [rf"{hive}\{PRODUCT}\{name}" for name in COMPONENTS]
    if error_key:
        keys.append(rf"{hive}\{PRODUCT}\TelvarineError")
    return keys


def system_keys():
    keys = []
    for service in ("KVDRNT2", "brenserv", "kvtlsvc"):
        keys += [rf"{CCS}\Services\{service}\Security", rf"{CCS}\Services\{service}\Enum"]
    keys += [rf"{CCS}\Services\kvtlsvc\Parameters", rf"{CCS}\Services\kvtlsvc2"]
    for driver in ("dump_qelrmx", "TVKernel", "TVKernel64"):
        keys += [rf"{CCS}\Services\{driver}\Parameters", rf"{CS2}\Services\{driver}\Instances"]
    keys += [rf"{CS2}\Services\kvtlsvc\Enum", rf"{CS2}\Services\Other"]
    keys += [rf"{CCS}\Enum\Root\LEGACY_BRENSERV\0000", rf"{CCS}\Enum\Root\LEGACY_BRENSERV\0001",
             rf"{CCS}\Enum\Root\LEGACY_KVTLSVC\0000"]
    return keys


def as_reg(keys):
    return "".join(f'[{key}]\n"Value"="1"\n\n' for key in keys)


ROOTS = [r"HKCU\Software\MIRELNetwork", r"HKLM\Software\MIRELNetwork", r"HKLM\SYSTEM\ControlSet002"] + [
    rf"HKLM\SYSTEM\CurrentControlSet\Services\{name}"
    for name in ("KVDRNT2", "brenserv", "kvtlsvc", "kvtlsvc2", "dump_qelrmx", "TVKernel", "TVKernel64")
] + [r"HKLM\SYSTEM\CurrentControlSet\Enum\Root\LEGACY_BRENSERV", r"HKLM\SYSTEM\CurrentControlSet\Enum\Root\LEGACY_KVTLSVC"]

REMAINING = [
    r"HKCU\Software\MIRELNetwork",
    r"HKCU\Software\MIRELNetwork\OtherGame",
    r"HKLM\Software\MIRELNetwork",
    r"HKLM\Software\MIRELNetwork\OtherGame",
    r"HKLM\SYSTEM\ControlSet002",
    r"HKLM\SYSTEM\ControlSet002\Services",
    r"HKLM\SYSTEM\ControlSet002\Services\Other",
    r"HKLM\SYSTEM\CurrentControlSet\Services\kvtlsvc2",
    r"HKLM\SYSTEM\CurrentControlSet\Enum\Root\LEGACY_BRENSERV",
    r"HKLM\SYSTEM\CurrentControlSet\Enum\Root\LEGACY_BRENSERV\0001",
]


class Registry(w.WineTestCase):
    def setUp(self):
        self.tool = w.install_tool("C:\\Games\\Reg")
        w.reg_import(as_reg(software_keys("HKEY_CURRENT_USER", True)))
        w.reg_import(as_reg(software_keys("HKEY_LOCAL_MACHINE", True) + system_keys()))

    def tearDown(self):
        for key in (r"HKCU\Software\MIRELNetwork", r"HKLM\Software\MIRELNetwork", r"HKLM\SYSTEM\ControlSet002",
                    rf"{CCS}\Services\kvtlsvc2", rf"{CCS}\Enum\Root\LEGACY_BRENSERV"):
            w.reg_delete(key)
        w.remove_tree("C:\\Games\\Reg")

    def test_staged_through_the_tools_view(self):
        # The 32-bit tool's HKLM\Software is the 64-bit view's Wow6432Node; the 64-bit build's is itself.
        self.assertEqual(w.wine("reg", "query", w.NATIVE_HKLM_SOFTWARE + r"\MIRELNetwork", "/reg:64").returncode, 0)
        self.assertIn(r"HKLM\SYSTEM\CurrentControlSet\Services\KVDRNT2\Security", w.keys(*ROOTS))

    def test_silent_run_leaves_exactly_the_neighbours(self):
        result = w.run_tool(self.tool, "-s")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(w.plain(result.out), "")
        # The neighbours' parents stay by design, and say so.
        self.assertIn("kept    key HKCU\\Software\\MIRELNetwork (holds subkeys the list does not name)\n", result.out)
        self.assertIn("kept    key HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV (holds subkeys", result.out)
        remaining = w.keys(*ROOTS)
        print("\nkeys left:\n  " + "\n  ".join(remaining))
        self.assertEqual(sorted(remaining), sorted(REMAINING))


OTHER = r"Software\OtherVendor"
LINKS = (rf"HKLM\{PRODUCT}\Telvarine", r"HKLM\SYSTEM\CurrentControlSet\Services\TVKernel\Parameters")


class RegistryLinks(w.WineTestCase):
    """A registry link at a listed key and one inside a whole-tree row, each aimed at
    another vendor's key: each goes as itself, the other vendor's key stays whole."""

    def setUp(self):
        self.tool = w.install_tool("C:\\Games\\Links")
        # The links are volatile: they last as long as this wineserver, which a held file keeps up.
        w.make_file("C:\\tvtest\\links.held")
        self.addCleanup(w.remove_tree, "C:\\tvtest\\links.held")
        holder = contextlib.ExitStack()
        self.addCleanup(holder.close)
        holder.enter_context(w.held("C:\\tvtest\\links.held"))
        w.reg_delete(rf"{CCS}\Services\TVKernel")  # a plain key left by a case that staged it: no link there
        w.reg_import(as_reg([rf"HKEY_LOCAL_MACHINE\{OTHER}\Settings\Profiles\A", rf"{CCS}\Services\TVKernel",
                             rf"HKEY_LOCAL_MACHINE\{PRODUCT}"]))
        # The target as the kernel names it, in the tool's view.
        target = "\\Registry\\Machine\\" + w.NATIVE_HKLM_SOFTWARE[len("HKLM\\"):] + r"\OtherVendor\Settings"
        for link in LINKS:
            self.assertIn("link=1", w.wine(w.PROBE, "link", link, target).out)

    def tearDown(self):
        for link in LINKS:
            w.wine(w.PROBE, "unlink", link)
        for key in (r"HKLM\Software\MIRELNetwork", rf"{CCS}\Services\TVKernel", rf"HKLM\{OTHER}"):
            w.reg_delete(key)
        w.remove_tree("C:\\Games\\Links")

    def test_links_go_as_themselves_in_both_modes(self):
        other = w.keys(rf"HKLM\{OTHER}")
        self.assertIn(rf"HKLM\{OTHER}\Settings\Profiles\A", other)
        self.assertIn(LINKS[0] + r"\Profiles", w.keys(rf"HKLM\{PRODUCT}"), "the link leads to the other key")
        preview = w.run_launched(self.tool, "-s", "-n")
        self.assertEqual(preview.code, 1)
        self.assertIn(f"would remove key {LINKS[0]} (a link, removed as itself)\n", preview.out)
        self.assertEqual(w.keys(rf"HKLM\{OTHER}"), other)
        real = w.run_launched(self.tool, "-s")
        print("\nreal run:\n" + real.out)
        self.assertEqual(real.code, 0)
        self.assertIn(f"removed key {LINKS[0]} (a link, removed as itself)\n", real.out)
        self.assertIn("removed key HKLM\\SYSTEM\\CurrentControlSet\\Services\\TVKernel\n", real.out)
        self.assertEqual(w.keys(rf"HKLM\{OTHER}"), other)
        self.assertEqual(w.keys(r"HKLM\Software\MIRELNetwork", rf"HKLM\SYSTEM\CurrentControlSet\Services\TVKernel"), [])


SYSTEM = w.SYSTEM  # where the tool's system32 lands
GUIDE_LOG = "C:\\ProgramData\\Contoso\\tvuninst\\tvuninst.log"
MODULES = ("kvdrNT2.sys", "kvdr9x.vxd", "Corvane.des")
NEIGHBOURS = ("kvdrNT2.sys.bak", "Corvane.des2")


class SystemModules(w.WineTestCase):
    def setUp(self):
        self.tool = w.install_tool("C:\\Games\\Mod")
        for name in NEIGHBOURS:
            w.make_file(f"{SYSTEM}\\{name}")

    def tearDown(self):
        for name in MODULES + NEIGHBOURS:
            w.remove_tree(f"{SYSTEM}\\{name}")
        w.remove_tree("C:\\Games\\Mod")
        w.remove_tree("C:\\ProgramData\\Contoso")

    def exists(self, name):
        return w.unix(f"{SYSTEM}\\{name}").exists()

    def test_all_three_removed_neighbours_stay(self):
        for name in MODULES:
            w.make_file(f"{SYSTEM}\\{name}")
        self.assertEqual(w.run_tool(self.tool, "-s").returncode, 0)
        for name in MODULES:
            self.assertFalse(self.exists(name), name)
        for name in NEIGHBOURS:
            self.assertTrue(self.exists(name), name)

    def test_read_only_module_stays_and_the_others_go(self):
        w.make_file(f"{SYSTEM}\\kvdrNT2.sys", read_only=True)
        w.make_file(f"{SYSTEM}\\Corvane.des")
        result = w.run_launched(self.tool, "-s", "--reboot-ok")
        self.assertEqual(result.code, 1603, "read-only is no sign of use: never queued")
        self.assertIn(f"failed  module {SYSTEM}\\kvdrNT2.sys: error 5, ", result.out)
        self.assertTrue(self.exists("kvdrNT2.sys"))
        self.assertFalse(self.exists("Corvane.des"))

    def test_read_only_module_held_is_never_queued(self):
        w.make_file(f"{SYSTEM}\\kvdrNT2.sys", read_only=True)
        with w.held("C:\\windows\\system32\\kvdrNT2.sys", release=f"{SYSTEM}\\kvdrNT2.sys.release"):
            result = w.run_launched(self.tool, "-s", "--reboot-ok")
        self.assertEqual(result.code, 1603)
        self.assertIn(f"failed  module {SYSTEM}\\kvdrNT2.sys: error 32, ", result.out)
        self.assertTrue(self.exists("kvdrNT2.sys"))
        self.assertEqual(list(w.unix(SYSTEM).glob("kvdrNT2.sys.*.deleted")), [], "never renamed aside")

    def test_module_in_use_is_deleted_at_restart_when_asked(self):
        w.make_file(f"{SYSTEM}\\kvdrNT2.sys")
        # Beside a 32-bit tool, the 64-bit system directory has its own file of that name.
        sixty_four = w.make_file("C:\\windows\\system32\\kvdrNT2.sys") if w.WOW64 else None
        # The probe is built as the tool is: its system32 is the tool's. It holds the module, without delete sharing.
        # As docs/deploying.md runs it, with the log where only administrators create folders.
        w.unix(GUIDE_LOG).parent.mkdir(parents=True, exist_ok=True)
        with w.held("C:\\windows\\system32\\kvdrNT2.sys", release=f"{SYSTEM}\\kvdrNT2.sys.release"):
            result = w.run_launched(self.tool, "-s", "--reboot-ok", "-l", GUIDE_LOG)
        try:
            self.assertEqual(result.code, 3010)
            # The line names the file where it is: in the WOW64 directory for the 32-bit tool.
            self.assertIn(f"pending module {SYSTEM}\\kvdrNT2.sys (deleted at restart as "
                          f"{w.QUEUED_SYSTEM}\\kvdrNT2.sys)\n", result.out)
            self.assertTrue(self.exists("kvdrNT2.sys"), "held: the rename aside was refused")
            w.wine("wineboot", "-r", check=True)  # the prefix's restart runs the queue
            self.assertFalse(self.exists("kvdrNT2.sys"))
            with self.subTest("the 64-bit system directory's own file"):
                w.needs_wow64("only a 32-bit tool has a second system directory to leave alone", self)
                self.assertTrue(sixty_four.exists(), "the 64-bit system directory is left alone")
        finally:
            if sixty_four is not None:
                sixty_four.unlink(missing_ok=True)


class Preview(w.WineTestCase):
    """A dry run on a fully staged installation changes nothing."""

    def setUp(self):
        self.tool = w.install_tool("C:\\Games\\Prev\\tools")
        w.reg_import(as_reg(software_keys("HKEY_CURRENT_USER", True)))
        w.reg_import(as_reg(software_keys("HKEY_LOCAL_MACHINE", True) + system_keys()))
        w.create_service("kvdrNT2", running=True)
        w.create_service("brenserv", running=False)
        for name in MODULES:
            w.make_file(f"{SYSTEM}\\{name}")
        w.make_file("C:\\Games\\Prev\\data\\Telvarine\\Telvarine.dll")
        w.make_file("C:\\Games\\Prev\\data\\Telvarine\\config\\settings.ini", read_only=True)

    def tearDown(self):
        Registry.tearDown(self)
        for name in ("kvdrNT2", "brenserv"):
            w.remove_service(name)
        for name in MODULES:
            w.remove_tree(f"{SYSTEM}\\{name}")
        w.remove_tree("C:\\Games\\Prev")
        w.remove_tree("C:\\tvtest\\preview.log")

    def snapshot(self):
        files = sorted(str(p) for p in w.unix("C:\\Games\\Prev").rglob("*"))
        modules = [name for name in MODULES if w.unix(f"{SYSTEM}\\{name}").exists()]
        return w.keys(*ROOTS), [w.service_state(n) for n in ("kvdrNT2", "brenserv")], modules, files

    def test_dry_run_changes_nothing_and_exits_1(self):
        before = self.snapshot()
        result = w.run_launched(self.tool, "-s", "--dry-run", "-l", "C:\\tvtest\\preview.log")
        self.assertEqual(result.code, 1)
        self.assertEqual(w.debug_strings(result), [w.CAPTION + " preview", "Preview completed."])
        self.assertEqual(self.snapshot(), before)
        lines = w.read_log("C:\\tvtest\\preview.log")
        print("\ndry run's log:\n  " + "\n  ".join(lines))
        self.assertTrue(lines[0].startswith("tvuninst 1.7 preview, "), lines[0])
        for line in ("would remove service kvdrNT2", f"would remove module {SYSTEM}\\Corvane.des",
                     "would keep key HKCU\\Software\\MIRELNetwork (holds subkeys the list does not name)",
                     "would remove folder C:\\Games\\Prev\\data\\Telvarine (2 files, 2 directories)"):
            self.assertIn(line, lines)
        self.assertIn("would remove service kvdrNT2\n", result.out)
        self.assertTrue(lines[-1].startswith("preview summary: ") and lines[-1].endswith("; exit code 1"))


PREVIEW_WORDS = ("would be removed as a link", "would be left", "would remove", "would keep", "would fail")
WORDS = PREVIEW_WORDS + ("removed", "absent", "kept", "pending", "failed", "skipped")
# What a real run may say where the preview said a word; a running service that it marks is pending.
REAL_WORD = {"would remove": ("removed", "pending"), "would keep": ("kept",), "would fail": ("failed",)}


def words(lines):
    """'kind target' -> word, for each line about a target."""
    found = {}
    for line in lines:
        word = next((word for word in WORDS if line.startswith(word + " ")), None)
        if word and word not in ("would be removed as a link", "would be left"):
            about = line[len(word):].lstrip()
            found[re.split(r" \(|: error", about)[0]] = word
    return found


class PreviewMatchesRun(w.WineTestCase):
    """On the states where the two modes once parted, the preview says for every
    target the word that the real run then says."""

    def setUp(self):
        self.tool = w.install_tool("C:\\Games\\Match\\tools")
        w.reg_import(as_reg([rf"{CCS}\Enum\Root\LEGACY_KVTLSVC\0000\Control",  # Windows makes such keys
                             rf"{CCS}\Services\kvdrNT2\Parameters",
                             r"HKEY_CURRENT_USER\Software\MIRELNetwork\kVelnoraTelvarine\Telvarine",
                             r"HKEY_CURRENT_USER\Software\MIRELNetwork\OtherGame"]))
        w.create_service("kvdrNT2", running=False)
        w.create_service("kvtlsvc", running=True)
        w.sc("delete", "kvtlsvc")  # marked before the run, still running
        w.make_file(f"{SYSTEM}\\kvdrNT2.sys", read_only=True)
        w.make_file("C:\\Games\\Match\\data\\Telvarine\\a.dat")
        w.make_file("C:\\Canary\\keep.txt")
        w.unix("C:\\Games\\Match\\data\\Telvarine\\Unix").symlink_to(w.unix("C:\\Canary"))

    def tearDown(self):
        for key in (r"HKCU\Software\MIRELNetwork", rf"{CCS}\Enum\Root\LEGACY_KVTLSVC"):
            w.reg_delete(key)
        for name in ("kvdrNT2", "kvtlsvc"):
            w.remove_service(name)
        w.reg_delete(rf"{CCS}\Services\kvdrNT2")
        for path in (f"{SYSTEM}\\kvdrNT2.sys", "C:\\Games\\Match", "C:\\Canary", "C:\\tvtest\\match.log"):
            w.remove_tree(path)

    def test_every_target_gets_the_real_runs_word(self):
        preview = w.run_launched(self.tool, "-s", "-n", "-l", "C:\\tvtest\\match.log")
        previewed = words(w.read_log("C:\\tvtest\\match.log"))
        w.remove_tree("C:\\tvtest\\match.log")
        real = w.run_launched(self.tool, "-s", "-l", "C:\\tvtest\\match.log")
        done = words(w.read_log("C:\\tvtest\\match.log"))
        print("\npreview -> run:\n  " + "\n  ".join(f"{t}: {previewed[t]} -> {done.get(t)}" for t in previewed))
        self.assertEqual((preview.code, real.code), (1, 1603))
        self.assertEqual(sorted(previewed), sorted(done))
        for target, word in previewed.items():
            self.assertIn(done[target], REAL_WORD.get(word, (word,)), target)
        for target, word in (("key HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC", "kept"),
                             ("key HKLM\\SYSTEM\\CurrentControlSet\\Services\\KVDRNT2", "removed"),
                             ("service kvtlsvc", "pending"), (f"module {SYSTEM}\\kvdrNT2.sys", "failed"),
                             ("folder C:\\Games\\Match\\data\\Telvarine", "failed"),
                             ("key HKCU\\Software\\MIRELNetwork", "kept")):
            self.assertEqual(done[target], word, target)
        self.assertTrue(w.unix("C:\\Canary\\keep.txt").exists())


if __name__ == "__main__":
    w.main()
