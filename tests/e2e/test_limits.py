"""Trees as deep as Wine and the Linux path limit allow, a folder of 100,000
entries, the longest command line, and letters beyond ASCII."""
import os
import time

import winetest as w

GAMES = "C:\\Games"
LOG = "C:\\tvtest\\limits.log"
FOUND = "Found 'Telvarine', stopping recursion.\n"


class Limits(w.WineTestCase):
    def tearDown(self):
        w.remove_tree(GAMES)
        w.remove_tree(LOG)

    # Rests on Wine having no MAX_PATH limit, and on both walks opening each
    # directory relative to its held parent: no path is ever built to act on,
    # so the search finds the folder half way down and the deletion removes
    # it with the other half of the tree.
    def test_deepest_tree_linux_allows(self):
        tool = w.install_tool(f"{GAMES}\\Deep\\tools")
        # One "d" level after another until the Unix path nears 4,096 bytes.
        os.chdir(w.unix(f"{GAMES}\\Deep"))
        length, above, below = len(os.getcwd()), 0, 0
        try:
            while length < 2000:
                os.mkdir("d")
                os.chdir("d")
                length, above = length + 2, above + 1
            os.mkdir("Telvarine")
            os.chdir("Telvarine")
            length += len("/Telvarine")
            while length + 2 + len("/x.dat") < 4000:
                os.mkdir("d")
                os.chdir("d")
                length, below = length + 2, below + 1
            open("x.dat", "w").close()
        finally:
            os.chdir(w.DRIVE_C)
        started = time.time()
        result = w.run_launched(tool, "-s", timeout=900)
        print(f"\nfound {above} levels deep, removed {below} levels below ({length} bytes of Unix path) "
              f"in {time.time() - started:.0f} s")
        self.assertEqual(result.code, 0)
        self.assertEqual(w.plain(result.out), FOUND)
        folder = f"{GAMES}\\Deep" + "\\d" * above + "\\Telvarine"
        self.assertIn(f"\nremoved folder {folder} (1 files, {below + 1} directories)\n", result.out)
        self.assertFalse(w.unix(folder).exists())
        self.assertTrue(w.unix(f"{GAMES}\\Deep" + "\\d" * above).exists(), "the game's own levels stay")

    def test_hundred_thousand_entries(self):
        tool = w.install_tool(f"{GAMES}\\Bin")
        folder = w.unix(f"{GAMES}\\Wide\\Telvarine")
        for d in range(1000):
            (folder / f"d{d}").mkdir(parents=True)
            for f in range(99):
                (folder / f"d{d}" / f"f{f}.dat").touch()
        w.make_file(f"{GAMES}\\Wide\\game.exe")
        started = time.time()
        result = w.run_tool(tool, "-s", "-a", f"{GAMES}\\Wide")
        print(f"\n100,000 entries removed in {time.time() - started:.0f} s")
        self.assertEqual(result.returncode, 0)
        self.assertFalse(folder.exists())
        self.assertTrue(w.unix(f"{GAMES}\\Wide\\game.exe").exists())

    def test_non_ascii_game_folders(self):
        tool = w.install_tool(f"{GAMES}\\Bin")
        w.make_file(f"{GAMES}\\Spiele\\Übung\\Telvarine\\x.dat")
        result = w.run_tool(tool, "-s", "-a", f"{GAMES}\\Spiele\\Übung")
        self.assertEqual((result.returncode, w.plain(result.out)), (0, ""))
        self.assertFalse(w.unix(f"{GAMES}\\Spiele\\Übung\\Telvarine").exists())

        tool = w.install_tool(f"{GAMES}\\Игры\\Überspiel\\tools")
        w.make_file(f"{GAMES}\\Игры\\Überspiel\\data\\TELVARINE\\y.dat")
        w.make_file(f"{GAMES}\\Игры\\Überspiel\\data\\Ärger.dat")
        result = w.run_tool(tool, "-s")
        self.assertEqual((result.returncode, w.plain(result.out)), (0, FOUND))
        self.assertFalse(w.unix(f"{GAMES}\\Игры\\Überspiel\\data\\TELVARINE").exists())
        self.assertTrue(w.unix(f"{GAMES}\\Игры\\Überspiel\\data\\Ärger.dat").exists())

    # Rests on Wine's answer for the 32,700-character relative -a directory:
    # opening it fails with 2 (not found), the one answer that means absent. It
    # does not exist, so the folder is absent and the run succeeds.
    def test_longest_command_line(self):
        tool = w.install_tool(f"{GAMES}\\Bin")
        w.make_file(f"{GAMES}\\Bin\\Telvarine\\x.dat")
        # 32,767 characters with the terminator is the most CreateProcessW takes.
        head = f'"{tool}" -s -l {LOG} -a '
        directory = "x" * (32766 - len(head))
        line = head + directory
        result = w.launch_line(line)
        self.assertEqual(result.code, 0)
        self.assertEqual(w.debug_strings(result)[0], w.SILENT_NOTICE)
        folder_lines = [entry for entry in w.read_log(LOG) if " folder " in entry]
        self.assertEqual(folder_lines, [f"absent  folder {directory}\\Telvarine (no directory {directory})"])
        self.assertTrue(w.unix(f"{GAMES}\\Bin\\Telvarine\\x.dat").exists(), "not the -a directory: left alone")


if __name__ == "__main__":
    w.main()
