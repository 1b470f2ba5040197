"""Interactive runs under a virtual display, answered from the keyboard."""
import subprocess
import time

import winetest as w
import xdisplay  # scripts/, on the path through winetest

QUESTION = "Registry keys and system modules of Telvarine will be removed.\r\n\r\nWould you like to continue?"
GAME = "C:\\Games\\Boxes"
ARTIFACTS = w.BUILD / "e2e" / "artifacts"


class Dialogs(w.WineTestCase):
    @classmethod
    def setUpClass(cls):
        cls.display = xdisplay.Display()
        w.use_display(cls.display.name)

    @classmethod
    def tearDownClass(cls):
        w.use_display(None)
        cls.display.close()

    def setUp(self):
        self.processes = []
        self.tool = w.install_tool(GAME + "\\tools")
        w.create_service("kvdrNT2", running=True)
        w.create_service("brenserv", running=False)
        w.reg_import('[HKEY_LOCAL_MACHINE\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Corvane]\n"v"="1"\n\n')
        w.make_file(f"{w.SYSTEM}\\Corvane.des")
        w.make_file(GAME + "\\data\\Telvarine\\Telvarine.dll")

    def tearDown(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait()
        for name in ("kvdrNT2", "brenserv"):
            w.remove_service(name)
        w.reg_delete(r"HKLM\Software\MIRELNetwork")
        w.remove_tree(f"{w.SYSTEM}\\Corvane.des")
        w.remove_tree(GAME)

    def nothing_removed(self):
        return (w.service_state("kvdrNT2") == "RUNNING" and w.service_state("brenserv") == "STOPPED"
                and w.keys(r"HKLM\Software\MIRELNetwork") != []
                and w.unix(f"{w.SYSTEM}\\Corvane.des").exists()
                and w.unix(GAME + "\\data\\Telvarine\\Telvarine.dll").exists())

    def start(self):
        process = self.display.start(self.tool)
        self.processes.append(process)
        return process

    def confirm(self, screenshot=None):
        """Waits for the confirmation box and checks what it shows."""
        window = self.display.wait_box(process=self.processes[-1])
        self.assertEqual(self.display.inspect(),
                         sorted([("icon", "shown"), ("button", "&Yes"), ("button", "&No"), ("text", QUESTION)]))
        if screenshot:
            self.display.screenshot(ARTIFACTS / screenshot)
        return window

    def finish(self, process):
        out, err = process.communicate(timeout=60)
        process.out = out.decode("utf-8", "replace").replace("\r\n", "\n")
        process.err = err.decode("utf-8", "replace")
        return process

    def test_yes_removes_everything_and_reports_completion(self):
        started = time.time()
        process = self.start()
        window = self.confirm("confirmation.png")
        self.display.press(window, "y")  # Return could also close the box that follows
        done = self.display.wait_box()
        self.assertEqual(self.display.inspect(),
                         sorted([("button", "OK"), ("icon", "empty"), ("text", "Uninstallation completed.")]))
        self.display.screenshot(ARTIFACTS / "completion.png")
        self.assertEqual(process.poll(), None, "the completion box holds the run")
        self.display.press(done, "Return")
        self.finish(process)
        self.assertEqual(process.returncode, 0)
        self.assertEqual(w.plain(process.out), "Found 'Telvarine', stopping recursion.\n")
        self.assertEqual(w.debug_strings(process), [], "no debugger strings outside silent mode")
        self.assertTrue(w.wait_for(lambda: w.service_state("kvdrNT2") is None))
        self.assertIsNone(w.service_state("brenserv"))
        self.assertEqual(w.keys(r"HKLM\Software\MIRELNetwork"), [])
        self.assertFalse(w.unix(f"{w.SYSTEM}\\Corvane.des").exists())
        self.assertFalse(w.unix(GAME + "\\data\\Telvarine").exists())
        print(f"\nYes and completion: {time.time() - started:.1f} s")

    def test_completion_names_a_folder_in_any_script(self):
        game = "C:\\Games\\Игры"
        tool = w.install_tool(game + "\\tools")
        held = game + "\\data\\Telvarine\\Telvarine.dll"
        w.make_file(held)
        holder = subprocess.Popen([*w.WINE, w.PROBE, "hold", held], env=w.environment(), cwd=w.unix("C:\\"),
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            self.assertEqual(holder.stdout.readline().strip(), b"held")
            process = self.display.start(tool)
            self.processes.append(process)
            self.display.press(self.confirm(), "y")
            done = self.display.wait_box()
            text = (w.FAILED_INTRO + f"\r\nfolder {game}\\data\\Telvarine (0 files, 0 directories removed; {held} "
                    "in use)\r\n\r\nClose the game and any program using these files, then run tvuninst again.")
            shown = self.display.inspect()
            print(f"\ncompletion box as read: {shown}")
            self.assertEqual(shown, sorted([("button", "OK"), ("icon", "empty"), ("text", text)]))
            self.display.screenshot(ARTIFACTS / "completion_cyrillic.png")
            self.display.press(done, "Return")
            self.finish(process)
            self.assertEqual(process.returncode, 1603 % 256)
        finally:
            w.make_file(held + ".release")
            holder.wait(timeout=30 * w.TIME_SCALE)
            holder.stdout.close()
            w.remove_tree(game)

    def test_no_and_escape_remove_nothing(self):
        for key in ("n", "Escape"):
            process = self.start()
            self.display.press(self.confirm(), key)
            # The run ends without a completion box: a box would hold it.
            self.finish(process)
            self.assertEqual(process.returncode, 0, key)
            self.assertEqual(process.out, "", key)
            self.assertTrue(self.nothing_removed(), key)


if __name__ == "__main__":
    w.main()
