"""The Telvarine folder of a game installation, removed by the real tool."""
import re
import subprocess
import time

import winetest as w

FOUND = "Found 'Telvarine', stopping recursion.\n"
GAMES = "C:\\Games"


def exists(path):
    return w.unix(path).exists() or w.unix(path).is_symlink()


def stage_product_folder(folder):
    w.make_file(f"{folder}\\Telvarine.dll")
    w.make_file(f"{folder}\\config\\settings.ini", read_only=True)
    w.make_file(f"{folder}\\config\\.cache", "hidden")  # Wine shows Unix dot-files as hidden
    w.make_file(f"{folder}\\logs\\deep\\er\\trace.log", read_only=True)
    w.unix(f"{folder}\\empty").mkdir(parents=True, exist_ok=True)


class FolderTestCase(w.WineTestCase):
    def tearDown(self):
        w.remove_tree(GAMES)
        w.remove_tree("C:\\Canary")
        w.remove_tree("C:\\Work")


class ToolsLayout(FolderTestCase):
    def test_found_below_the_game_and_removed(self):
        tool = w.install_tool(f"{GAMES}\\Title\\tools")
        stage_product_folder(f"{GAMES}\\Title\\data\\TELVARINE")
        w.make_file(f"{GAMES}\\Title\\data\\telvarine_old\\keep.txt")
        w.make_file(f"{GAMES}\\Title\\Telvarine")  # a file of that name
        w.make_file(f"{GAMES}\\Title\\game.exe")
        result = w.run_tool(tool, "-s", "-a", "C:\\Elsewhere")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(w.plain(result.out), FOUND)
        self.assertIn(f"removed folder {GAMES}\\Title\\data\\TELVARINE (", result.out)
        self.assertEqual(w.debug_strings(result), [w.SILENT_NOTICE, w.COMPLETED])
        self.assertFalse(exists(f"{GAMES}\\Title\\data\\TELVARINE"))
        for kept in ("data\\telvarine_old\\keep.txt", "Telvarine", "game.exe", "tools\\tvuninst.exe"):
            self.assertTrue(exists(f"{GAMES}\\Title\\{kept}"), kept)

    def test_tools_directory_at_a_volume_root(self):
        # Where administrators keep their utilities: no game's, so the drive is not searched.
        documents = "C:\\users\\Public\\Documents\\Telvarine"
        self.addCleanup(w.remove_tree, "C:\\Tools")
        self.addCleanup(w.remove_tree, documents)
        tool = w.install_tool("C:\\Tools")
        w.make_file(f"{documents}\\x.dat")
        stage_product_folder(f"{GAMES}\\Rooted\\Telvarine")
        log = "C:\\tvtest\\rooted.log"
        self.addCleanup(w.unix(log).unlink, missing_ok=True)
        result = w.run_tool(tool, "-s", "-l", log)
        self.assertEqual((result.returncode, w.plain(result.out)), (0, ""))
        self.assertIn("skipped folder Telvarine (the tools directory is at the root of a volume; give -a)",
                      w.read_log(log))
        self.assertTrue(exists(f"{documents}\\x.dat") and exists(f"{GAMES}\\Rooted\\Telvarine\\Telvarine.dll"))
        result = w.run_tool(tool, "-s", "-a", f"{GAMES}\\Rooted")
        self.assertEqual((result.returncode, w.plain(result.out)), (0, ""))
        self.assertFalse(exists(f"{GAMES}\\Rooted\\Telvarine"))
        self.assertTrue(exists(f"{documents}\\x.dat"))

    def test_not_found(self):
        tool = w.install_tool(f"{GAMES}\\Bare\\TOOLS")
        w.make_file(f"{GAMES}\\Bare\\telvarine2\\x.txt")
        result = w.run_tool(tool, "-s")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(w.plain(result.out), "Telvarine folder not found.\n")

    def test_path_keeps_its_case_where_names_differ_only_in_case(self):
        # Two games whose directories differ only in case, as Linux allows.
        tool = w.install_tool(f"{GAMES}\\Case\\Title\\tools")
        stage_product_folder(f"{GAMES}\\Case\\Title\\Telvarine")
        stage_product_folder(f"{GAMES}\\Case\\title\\Telvarine")
        result = w.run_tool(tool, "-s")
        self.assertEqual(w.plain(result.out), FOUND)
        self.assertFalse(exists(f"{GAMES}\\Case\\Title\\Telvarine"))
        self.assertTrue(exists(f"{GAMES}\\Case\\title\\Telvarine\\Telvarine.dll"))


class GivenDirectory(FolderTestCase):
    def setUp(self):
        self.tool = w.install_tool(f"{GAMES}\\Tool")

    def run_all(self, value, cwd="C:\\", code=0):
        result = w.run_launched(self.tool, "-s", "-a", value, cwd=cwd)
        self.assertEqual(result.code, code)
        self.assertEqual(w.plain(result.out), "")
        return result

    def test_directory(self):
        stage_product_folder(f"{GAMES}\\Other\\Telvarine")
        w.make_file(f"{GAMES}\\Other\\Sub\\Telvarine\\nested.txt")
        self.run_all(f"{GAMES}\\Other")
        self.assertFalse(exists(f"{GAMES}\\Other\\Telvarine"))
        self.assertTrue(exists(f"{GAMES}\\Other\\Sub\\Telvarine\\nested.txt"), "no search in this layout")

    def test_dot_is_the_executable_directory(self):
        stage_product_folder(f"{GAMES}\\Tool\\Telvarine")
        self.run_all(".")
        self.assertFalse(exists(f"{GAMES}\\Tool\\Telvarine"))
        self.assertTrue(exists(f"{GAMES}\\Tool\\tvuninst.exe"))

    def test_dot_slash_is_the_current_directory(self):
        stage_product_folder("C:\\Work\\Telvarine")
        stage_product_folder(f"{GAMES}\\Tool\\Telvarine")
        self.run_all("./", cwd="C:\\Work")
        self.assertFalse(exists("C:\\Work\\Telvarine"))
        self.assertTrue(exists(f"{GAMES}\\Tool\\Telvarine"))

    def test_trailing_backslash(self):
        stage_product_folder(f"{GAMES}\\Trail\\Telvarine")
        self.run_all(f"{GAMES}\\Trail\\")
        self.assertFalse(exists(f"{GAMES}\\Trail\\Telvarine"))

    def test_outside_tools_without_all_touches_nothing(self):
        stage_product_folder(f"{GAMES}\\Tool\\Telvarine")
        result = w.run_tool(self.tool, "-s")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(w.plain(result.out), "")
        self.assertTrue(exists(f"{GAMES}\\Tool\\Telvarine\\Telvarine.dll"))

    def test_unix_symbolic_links_are_never_followed(self):
        # Wine cannot remove such links, and removing through them would hit
        # the targets: both canaries must survive.
        w.make_file("C:\\Canary\\full\\precious.txt")
        w.unix("C:\\Canary\\empty").mkdir(parents=True)
        stage_product_folder(f"{GAMES}\\Linked\\Telvarine")
        w.unix(f"{GAMES}\\Linked\\Telvarine\\a_full").symlink_to(w.unix("C:\\Canary\\full"))
        w.unix(f"{GAMES}\\Linked\\Telvarine\\b_empty").symlink_to(w.unix("C:\\Canary\\empty"))
        result = self.run_all(f"{GAMES}\\Linked", code=1603)
        self.assertIn("link left in place)\n", result.out)
        self.assertTrue(exists("C:\\Canary\\full\\precious.txt"))
        self.assertTrue(exists("C:\\Canary\\empty"))

    def test_file_held_open_stops_the_deletion_and_the_run_says_so(self):
        # Game directories named in any script: the line arrives whole through
        # the pipe, in UTF-8, the same as the log's.
        for name in ("Held", "Игры", "Übung"):
            with self.subTest(name):
                self.held_file_is_named(f"{GAMES}\\{name}")

    def held_file_is_named(self, game):
        stage_product_folder(f"{game}\\Telvarine")
        held = f"{game}\\Telvarine\\Telvarine.dll"
        w.unix("C:\\tvtest\\held.log").unlink(missing_ok=True)
        with w.held(held):
            result = w.run_launched(self.tool, "-s", "-a", game, "-l", "C:\\tvtest\\held.log")
            self.assertEqual(result.code, 1603)
            notice, completion = w.debug_strings(result)
            self.assertEqual(notice, w.SILENT_NOTICE)
            # The debugger string is ANSI: only an ASCII name is in it as it is.
            named = game if game.isascii() else GAMES
            self.assertTrue(completion.startswith(w.traced(w.FAILED_INTRO + f"\r\nfolder {named}\\")), completion)
            self.assertTrue(exists(held))
            failed = [line for line in w.read_log("C:\\tvtest\\held.log") if line.startswith("failed")]
            self.assertEqual(len(failed), 1, failed)
            self.assertRegex(failed[0], rf"^failed  folder {re.escape(game)}\\Telvarine \(\d+ files, "
                             rf"\d+ directories removed; {re.escape(held)} in use\): error 32, .+\.$")
            out = result.stdout.decode("utf-8")  # strictly: a byte that is not UTF-8 fails here
            self.assertIn(failed[0], out.split("\r\n"), "the same line as the log's, whole, ending in CRLF")
            print(f"\n{game} through a pipe: {failed[0]}")


    def scanned(self, milliseconds):
        """Runs the tool while z.dat of the folder is held with delete sharing, as a virus scanner
        holds a file, until a.dat beside it is gone (the deletion has begun) and `milliseconds` more."""
        stage_product_folder(f"{GAMES}\\Scanned\\Telvarine")
        w.make_file(f"{GAMES}\\Scanned\\Telvarine\\a.dat")
        held = f"{GAMES}\\Scanned\\Telvarine\\z.dat"
        w.make_file(held)
        scanner = subprocess.Popen([*w.WINE, w.PROBE, "scan", held, f"{GAMES}\\Scanned\\Telvarine\\a.dat",
                                    str(milliseconds)], env=w.environment(), cwd=w.unix("C:\\"),
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            self.assertEqual(scanner.stdout.readline().strip(), b"held")
            started = time.time()
            result = w.run_launched(self.tool, "-s", "-a", f"{GAMES}\\Scanned")
            return result, time.time() - started, held
        finally:
            scanner.wait(timeout=60 * w.TIME_SCALE)
            scanner.stdout.close()

    def test_a_scanners_moment_is_waited_for(self):
        result, _, _ = self.scanned(400)
        self.assertEqual(result.code, 0)
        self.assertFalse(exists(f"{GAMES}\\Scanned\\Telvarine"))

    def test_a_file_held_longer_fails_the_run_within_seconds(self):
        result, seconds, held = self.scanned(10000)
        print(f"\nheld for good: the run ended after {seconds:.1f} s")
        self.assertEqual(result.code, 1603)
        self.assertRegex(result.out, rf"(?m)^failed  folder {re.escape(GAMES)}\\Scanned\\Telvarine \(\d+ files, \d+ "
                         rf"directories removed; {re.escape(held)} still there\): error 145, .+\n")
        self.assertLess(seconds, 6 * w.TIME_SCALE)

    def test_a_log_inside_the_game_tree_does_not_stop_the_search(self):
        tool = w.install_tool(f"{GAMES}\\Logged\\tools")
        stage_product_folder(f"{GAMES}\\Logged\\data\\Telvarine")
        log = f"{GAMES}\\Logged\\data\\logs\\tv.log"
        w.unix(log).parent.mkdir(parents=True)
        result = w.run_launched(tool, "-s", "-l", log)
        self.assertEqual(result.code, 0)
        self.assertEqual(w.plain(result.out), FOUND)
        self.assertFalse(exists(f"{GAMES}\\Logged\\data\\Telvarine"))
        self.assertTrue(exists(log))

OUTSIDE = w.PREFIX.parent / "outside"  # beyond the prefix: no drive reaches it, only a link


class UnsafeNames(FolderTestCase):
    """Names that Windows path parsing changes, planted from Linux: joined to a
    path they would lead outside the folder. Every canary must survive, and no
    run may hang (the time limit only guards against that)."""

    def setUp(self):
        OUTSIDE.mkdir(exist_ok=True)
        (OUTSIDE / "Telvarine").mkdir(exist_ok=True)
        (OUTSIDE / "Telvarine" / "canary.txt").write_text("keep")
        (OUTSIDE / "canary.txt").write_text("keep")

    def tearDown(self):
        super().tearDown()
        subprocess.run(["rm", "-rf", str(OUTSIDE)], check=True)

    def assert_outside_intact(self):
        self.assertTrue((OUTSIDE / "canary.txt").exists())
        self.assertTrue((OUTSIDE / "Telvarine" / "canary.txt").exists())

    def run_silent(self, tool, *args, code=0):
        result = w.run_launched(tool, "-s", *args, timeout=60)
        self.assertEqual(result.code, code)
        notice, completion = w.debug_strings(result)
        self.assertEqual(notice, w.SILENT_NOTICE)
        self.assertEqual(completion == w.COMPLETED, code == 0, completion)
        return result

    def test_given_directory(self):
        # A name with a separator is no one entry of the folder: the deletion
        # stops there, one name a run.
        tool = w.install_tool(f"{GAMES}\\Tool")
        w.make_file(f"{GAMES}\\A1\\keep.txt")
        w.make_file(f"{GAMES}\\A1\\victim\\precious.txt")
        (w.unix(f"{GAMES}\\A1") / "portal").symlink_to(OUTSIDE)
        for name, directory in (("..\\keep.txt", False), ("..\\victim", True), ("..\\portal", True),
                                (".\\.", True)):
            with self.subTest(name=name):
                folder = w.unix(f"{GAMES}\\A1\\Telvarine")
                stage_product_folder(f"{GAMES}\\A1\\Telvarine")
                (folder / name).mkdir() if directory else (folder / name).write_text("planted")
                self.run_silent(tool, "-a", f"{GAMES}\\A1", code=1603)  # the folder stays: a failure
                self.assertTrue(exists(f"{GAMES}\\A1\\keep.txt"))
                self.assertTrue(exists(f"{GAMES}\\A1\\victim\\precious.txt"))
                self.assertTrue((folder / name).exists(), "the deletion stops at the name")
                self.assert_outside_intact()
                w.remove_tree(f"{GAMES}\\A1\\Telvarine")

    def test_names_path_parsing_would_change_are_removed(self):
        # Each opened relative to its directory by its name as listed: "data."
        # is not the link "data" beside it, "CON" no device, "a " no "a".
        tool = w.install_tool(f"{GAMES}\\Tool")
        folder = w.unix(f"{GAMES}\\A2\\Telvarine")
        stage_product_folder(f"{GAMES}\\A2\\Telvarine")
        (folder / "data.").mkdir()
        (folder / "data." / "inner.txt").write_text("planted")
        (folder / "CON").write_text("planted")
        (folder / "a ").mkdir()
        (folder / "nul.txt").write_text("planted")
        (folder / "ro.dat").write_text("planted")
        (folder / "ro.dat").chmod(0o444)
        (w.unix(f"{GAMES}\\A2") / "data").symlink_to(OUTSIDE)
        self.run_silent(tool, "-a", f"{GAMES}\\A2")
        self.assertFalse(folder.exists())
        self.assertTrue(w.unix(f"{GAMES}\\A2\\data").is_symlink())
        self.assert_outside_intact()

    def test_tools_layout(self):
        tool = w.install_tool(f"{GAMES}\\A4\\tools")
        game = w.unix(f"{GAMES}\\A4")
        stage_product_folder(f"{GAMES}\\A4other\\Telvarine")
        (game / "..\\A4other").mkdir()
        (game / "data").symlink_to(OUTSIDE)
        (game / "data.").mkdir()  # listed as a plain directory, parsed as the link beside it
        (game / ".\\.").mkdir()
        (game / "a").symlink_to(game)
        (game / "a.").mkdir()  # reached through its twin, the link would go round forever
        result = self.run_silent(tool)  # names not entered by design leave the folder absent
        self.assertEqual(w.plain(result.out), "Telvarine folder not found.\n")
        self.assertTrue(exists(f"{GAMES}\\A4other\\Telvarine\\Telvarine.dll"))
        self.assert_outside_intact()

    def test_unix_link_on_the_way_to_the_folder_is_not_entered(self):
        tool = w.install_tool(f"{GAMES}\\A7\\tools")
        w.unix(f"{GAMES}\\A7\\data").parent.mkdir(parents=True, exist_ok=True)
        w.unix(f"{GAMES}\\A7\\data").symlink_to(OUTSIDE)
        result = self.run_silent(tool)
        self.assertEqual(w.plain(result.out), "Telvarine folder not found.\n")
        self.assert_outside_intact()

    def test_trailing_backslash_through_the_deletion_itself(self):
        stage_product_folder(f"{GAMES}\\Trail\\Telvarine")
        result = w.wine(w.PROBE, "delete", f"{GAMES}\\Trail\\Telvarine\\", check=True)
        self.assertEqual(result.out, "deleted=1\n")
        self.assertFalse(exists(f"{GAMES}\\Trail\\Telvarine"))


class ExecutableDirectory(FolderTestCase):
    def test_module_path_of_260_characters_or_more(self):
        directory = GAMES + "".join("\\" + c * 60 for c in "abcd")
        tool = w.install_tool(directory)
        self.assertGreaterEqual(len(tool), 260)
        result = w.run_tool(tool, "-s")
        self.assertEqual(result.returncode, 2)
        self.assertEqual(w.plain(result.out), "Error: GetModuleFileNameW call failed, error code: 122\n")
        self.assertEqual(w.debug_strings(result), [w.SILENT_NOTICE], "no completion is reported")


if __name__ == "__main__":
    w.main()
