"""Command line, consent without a display, exit codes, and the platform's
own answers compared with what the simulation was built on."""
import subprocess
from pathlib import Path

import winetest as w

DATA = Path(__file__).resolve().parents[1] / "data"


class CommandLine(w.WineTestCase):
    @classmethod
    def setUpClass(cls):
        cls.tool = w.install_tool("C:\\Games\\Cli")
        w.create_service("kvdrNT2", running=False)

    @classmethod
    def tearDownClass(cls):
        w.remove_service("kvdrNT2")
        w.remove_tree("C:\\Games\\Cli")

    def assert_nothing_removed(self):
        self.assertEqual(w.service_state("kvdrNT2"), "STOPPED")

    def test_help_prints_usage_and_removes_nothing(self):
        result = w.run_tool(self.tool, "-h")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.out, w.USAGE)
        self.assertEqual(w.debug_strings(result), [])
        self.assert_nothing_removed()

    def test_help_twice_prints_usage_twice(self):
        result = w.run_tool(self.tool, "--help", "-h", "-s")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.out, w.USAGE * 2)

    def test_rejected_arguments_exit_87(self):
        cases = {
            ("-x",): "ERROR: Unidentified parameter.\n",
            ("/s",): "ERROR: Unidentified parameter.\n",
            ("-s", "--SILENT"): "ERROR: Unidentified parameter.\n",
            ("-s", "-a"): "ERROR: -a/--all The game installation directory must be set!\n",
        }
        for args, error in cases.items():
            result = w.run_tool(self.tool, *args)
            self.assertEqual(result.returncode, 87, args)
            self.assertEqual(result.out, error + w.USAGE, args)
            self.assertEqual(w.debug_strings(result), [], args)
        self.assert_nothing_removed()

    def test_log_that_cannot_be_opened_exits_87(self):
        cases = {
            "C:\\Missing\\tv.log": "ERROR: Cannot open the log file, error code: 2\n",  # its directory is not found
            "C:\\tvtest": "ERROR: Cannot open the log file, error code: 5\n",  # a directory
            # Made absolute, it is the device \\.\NUL, in no directory that can be held.
            "NUL": "ERROR: Cannot open the log file, error code: 123\n",
        }
        for path, error in cases.items():
            result = w.run_tool(self.tool, "-s", "-l", path)
            self.assertEqual(result.returncode, 87, path)
            self.assertEqual(result.out, error + w.USAGE, path)
            self.assertEqual(w.debug_strings(result), [], path)
        self.assertFalse(w.unix("C:\\Missing").exists())
        self.assert_nothing_removed()

    def test_no_display_and_no_silent_exits_1(self):
        result = w.run_tool(self.tool)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.out, w.NOBODY_CAN_ANSWER)
        self.assert_nothing_removed()

    def test_raw_command_lines_through_create_process(self):
        cases = [
            (f'"{self.tool}" "-x"', 87),
            (f'"{self.tool}" -a "C:\\Games\\Cli\\\\" -h', 0),
            (f'"{self.tool}" -a "" -h', 0),
            (f'"{self.tool}" "" -s', 87),
            (f'{self.tool} -h"" ', 0),
        ]
        for line, code in cases:
            self.assertEqual(w.launch_line(line).code, code, line)


class SilentRuns(w.WineTestCase):
    def test_silent_with_nothing_installed_twice(self):
        tool = w.install_tool("C:\\Games\\Plain")
        w.unix("C:\\tvtest\\plain.log").unlink(missing_ok=True)
        for _ in range(2):
            result = w.run_tool(tool, "-s", "-l", "C:\\tvtest\\plain.log")
            self.assertEqual(result.returncode, 0)
            self.assertEqual(result.out, "summary: 0 removed, 41 absent, 0 kept, 0 pending, 0 failed, 1 skipped; "
                                         "exit code 0\n")
            self.assertEqual(w.debug_strings(result), [w.SILENT_NOTICE, w.COMPLETED])
        lines = w.read_log("C:\\tvtest\\plain.log")
        self.assertEqual(len(lines), 2 * 44, "per run: the header, 42 targets, the summary")
        self.assertTrue(lines[0].startswith("tvuninst 1.7, "), lines[0])
        self.assertRegex(lines[0], r" UTC[+-]\d\d:\d\d, elevated: yes, computer: [^,]+, account: [^,]+, command line: ")
        # Keys and modules, the folder (no tools directory, no -a: skipped, and said so), the services.
        self.assertEqual([line.split(" ")[0] for line in lines[1:43]], ["absent"] * 38 + ["skipped"] + ["absent"] * 3)
        self.assertEqual(lines[39], "skipped folder Telvarine (not in a tools directory and no -a given)")
        w.remove_tree("C:\\Games\\Plain")

    def test_line_break_in_an_argument_forges_no_line(self):
        tool = w.install_tool("C:\\Games\\Forged")
        log = "C:\\tvtest\\forged.log"
        w.unix(log).unlink(missing_ok=True)
        w.run_tool(tool, "-s", "-l", log, "-a", "C:\\Games\\Forged\r\nsummary: 0 failed")
        lines = w.read_log(log)
        self.assertEqual([line for line in lines if line.startswith("summary: ")], [lines[-1]], lines)
        self.assertIn(" folder C:\\Games\\Forged<U+000D><U+000A>summary: 0 failed\\Telvarine", "\n".join(lines))
        w.remove_tree("C:\\Games\\Forged")
        w.unix(log).unlink()


class PlatformAnswers(w.WineTestCase):
    """The simulated platform's unit tests read the same expected answers."""

    def test_command_line_splitting(self):
        (w.DRIVE_C / "tvtest" / "argv_lines.txt").write_bytes((DATA / "argv_lines.txt").read_bytes())
        result = w.wine(w.PROBE, "argv", "C:\\tvtest\\argv_lines.txt", check=True)
        self.assertEqual(result.out.splitlines(), (DATA / "argv_expected.txt").read_text().splitlines())

    def test_error_codes(self):
        # The one thing Windows code cannot make: a Unix symbolic link.
        w.remove_tree("C:\\tvtest\\codes")
        w.unix("C:\\tvtest\\codes\\full").mkdir(parents=True)
        w.unix("C:\\tvtest\\codes\\link").symlink_to(w.unix("C:\\tvtest\\codes\\full"))
        # The standard streams as a caller redirects them: input from /dev/null,
        # output to a pipe (the answers), error to a disk file.
        error_file = w.unix("C:\\tvtest\\codes_stderr.txt")
        try:
            with open(error_file, "wb") as error:
                result = subprocess.run([*w.WINE, w.PROBE, "codes", "C:\\tvtest\\codes"], cwd=w.unix("C:\\"),
                                        env=w.environment(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=error, timeout=120 * w.TIME_SCALE)
            self.assertEqual(result.returncode, 0)
            self.assertEqual(error_file.read_bytes(), b"tvprobe\r\n", "the disk file took the probe's write")
        finally:
            w.remove_tree("C:\\tvtest\\codes")
            error_file.unlink(missing_ok=True)
        expected = (DATA / "platform_codes.txt").read_text().splitlines()
        answers = result.stdout.decode().replace("\r\n", "\n").splitlines()
        for line, wanted in zip(answers, expected):
            self.assertEqual(line, wanted)
        self.assertEqual(len(answers), len(expected))


class OpenAsItself(w.WineTestCase):
    """How Wine answers the open that the deletion makes of each directory."""

    def tearDown(self):
        w.remove_tree("C:\\tvtest\\open")

    def probe(self, path):
        result = w.wine(w.PROBE, "open", path, check=True)
        return dict(item.split("=") for item in result.out.split())

    def test_plain_directory_is_held_against_deletion_and_rename(self):
        w.unix("C:\\tvtest\\open\\real").mkdir(parents=True)
        answers = self.probe("C:\\tvtest\\open\\real")
        self.assertEqual(answers, {"open": "0", "info": "0", "attributes": "0x10", "tag": "0x0",
                                   "delete_open_while_held": "32", "rename_while_held": "32"})

    def test_unix_symbolic_link_opens_its_target(self):
        # Wine follows the link even when asked not to: only the listing shows it
        # as a reparse point, which is why the deletion checks both.
        w.unix("C:\\tvtest\\open\\target").mkdir(parents=True)
        w.unix("C:\\tvtest\\open\\link").symlink_to(w.unix("C:\\tvtest\\open\\target"))
        answers = self.probe("C:\\tvtest\\open\\link")
        self.assertEqual((answers["attributes"], answers["tag"]), ("0x10", "0x0"))


class Fleet(w.WineTestCase):
    """As deployment tools run it: on a station nobody sees, from a cache, with a log."""

    def setUp(self):
        self.tool = w.install_tool("C:\\Cache\\pkg")
        w.make_file("C:\\Games\\Fleet\\Telvarine\\a.dat")
        w.make_file(f"{w.SYSTEM}\\kvdrNT2.sys")

    def tearDown(self):
        for path in ("C:\\Cache", "C:\\Games\\Fleet", f"{w.SYSTEM}\\kvdrNT2.sys", "C:\\ProgramData\\Contoso",
                     "C:\\fleet.log"):
            w.remove_tree(path)

    def test_no_box_where_nobody_sees_it(self):
        # A box there would wait for ever: the launcher ends the run after a minute.
        result = w.run_launched(self.tool, unseen=60, timeout=180)
        self.assertFalse(result.timed_out, "the box waited where nobody can answer it")
        self.assertEqual(result.code, 1)
        self.assertEqual(result.out, w.NOBODY_CAN_ANSWER)
        self.assertTrue(w.unix(f"{w.SYSTEM}\\kvdrNT2.sys").exists())
        # Nor is a preview's closing box: the preview ends as a silent one, its code and its log whole.
        result = w.run_launched(self.tool, "-n", "-l", "C:\\fleet.log", unseen=60, timeout=180)
        self.assertFalse(result.timed_out, "the preview's box waited where nobody can answer it")
        self.assertEqual((result.code, w.debug_strings(result)), (1, ["Preview completed."]))
        self.assertTrue(w.read_log("C:\\fleet.log")[-1].startswith("preview summary: "))

    def test_log_that_would_be_removed_is_refused(self):
        # A refused log that the run made goes again; one that was there is never touched.
        module = f"{w.SYSTEM}\\kvdrNT2.sys"
        made = "C:\\Games\\Fleet\\Telvarine\\tv.log"
        cases = [
            (made, "inside the folder", made),
            ("C:\\Games\\Fleet\\TELV~I2M\\tv.log", "inside the folder", made),  # the short name Wine gives it
            ("C:\\windows\\system32\\kvdrNT2.sys", "one of the modules", None),
            ("C:\\windows\\system32\\kvdrNT2.sys", "one of the modules", module),  # on a clean machine
        ]
        for log, why, created in cases:
            with self.subTest(log, created=created):
                if created == module:
                    w.unix(module).unlink()
                result = w.run_launched(self.tool, "-s", "-a", "C:\\Games\\Fleet", "-l", log)
                self.assertEqual(result.code, 87)
                self.assertTrue(result.out.startswith(f"ERROR: The log file is {why} tvuninst removes: "), result.out)
                self.assertTrue(w.unix("C:\\Games\\Fleet\\Telvarine\\a.dat").exists())
                if created:
                    self.assertFalse(w.unix(created).exists(), "the log it made is gone")
                else:
                    self.assertEqual(w.unix(module).read_text(), "data", "nothing appended")

    def test_log_by_its_long_path_and_drive_relative(self):
        result = w.run_launched(self.tool, "-s", "-l", "\\\\?\\C:\\fleet.log")
        self.assertEqual(result.code, 0)
        self.assertIn("removed module ", w.unix("C:\\fleet.log").read_text(encoding="utf-8"))
        # In drive C's current directory.
        result = w.run_launched(self.tool, "-s", "-l", "C:fleet.log", cwd="C:\\Cache")
        self.assertEqual(result.code, 0)
        self.assertIn(" command line: ", w.read_log("C:\\Cache\\fleet.log")[0])

    def test_from_a_cache_as_the_guide_runs_it(self):
        log = "C:\\ProgramData\\Contoso\\tvuninst\\tvuninst.log"
        w.unix(log).parent.mkdir(parents=True)
        result = w.run_launched(self.tool, "-s", "--reboot-ok", "-a", "C:\\Games\\Fleet", "-l", log)
        self.assertEqual(result.code, 0)
        self.assertIn("removed folder C:\\Games\\Fleet\\Telvarine (1 files, 1 directories)", w.read_log(log))
        # Without -a, from the cache, the folder step is skipped, and the log says so.
        w.make_file("C:\\Games\\Fleet\\Telvarine\\a.dat")
        self.assertEqual(w.run_launched(self.tool, "-s", "-l", log).code, 0)
        self.assertIn("skipped folder Telvarine (not in a tools directory and no -a given)", w.read_log(log))
        self.assertTrue(w.unix("C:\\Games\\Fleet\\Telvarine\\a.dat").exists())
        # The guide's detection runs the game's own copy, which finds the folder.
        game_tool = w.install_tool("C:\\Games\\Fleet\\tools")
        self.assertEqual(w.run_launched(game_tool, "-s", "--dry-run").code, 1, "present")
        # Its scripts first read the usage text from a disk file: a copy that names these options.
        usage = w.unix("C:\\ProgramData\\Contoso\\tvuninst\\usage.txt")
        with open(usage, "wb") as stream:
            subprocess.run([*w.WINE, game_tool, "-h"], cwd=w.unix("C:\\"), env=w.environment(),
                           stdin=subprocess.DEVNULL, stdout=stream, timeout=120 * w.TIME_SCALE, check=True)
        text = usage.read_text(encoding="utf-8")
        for option in ("--log", "--dry-run", "--reboot-ok"):
            self.assertIn(option, text)


if __name__ == "__main__":
    w.main()
