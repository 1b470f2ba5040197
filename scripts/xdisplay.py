"""A virtual X display for the message boxes, answered from the keyboard as a
person would, and read back with the inspector fixture."""
import os
import re
import subprocess
import time
from pathlib import Path

import wineprefix as w

INSPECTOR = "C:\\tvtest\\tvinspect.exe"


class Display:
    def __init__(self):
        self.number = next(n for n in range(90, 200) if not Path(f"/tmp/.X{n}-lock").exists())
        self.name = f":{self.number}"
        self.server = subprocess.Popen(["Xvfb", self.name, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        env = dict(os.environ, DISPLAY=self.name)
        if not w.wait_for(lambda: subprocess.run(["xdotool", "getdisplaygeometry"], env=env,
                                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0):
            raise RuntimeError("Xvfb did not start")

    def close(self):
        self.server.terminate()
        self.server.wait(timeout=10)

    def env(self):
        return dict(w.environment(debugstr=True, display=self.name))

    def start(self, tool, *args):
        """Starts the tool without waiting for it."""
        return subprocess.Popen([*w.WINE, tool, *args], cwd=w.unix("C:\\"), env=self.env(), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def xdotool(self, *args, timeout=30):
        return subprocess.run(["xdotool", *args], env=self.env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              text=True, timeout=timeout)

    def wait_box(self, caption=w.CAPTION, timeout=30, process=None):
        """The X window of the visible box with that caption."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            found = self.xdotool("search", "--onlyvisible", "--name", f"^{re.escape(caption)}$").stdout.split()
            if found:
                return found[-1]
            if process is not None and process.poll() is not None:
                raise AssertionError(f"the run ended with {process.returncode} before box '{caption}' showed")
            time.sleep(0.05)
        raise AssertionError(f"no box '{caption}' within {timeout} s")

    def inspect(self, caption=w.CAPTION):
        """The box as 'kind|text' lines: its text, its buttons, its icon."""
        result = subprocess.run([*w.WINE, INSPECTOR, caption], cwd=w.unix("C:\\"), env=self.env(),
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60)
        # The runtime writes each line break as CR LF, so the text's own CR LF comes out as CR CR LF.
        raw = result.stdout.decode("utf-8", "replace")
        text = raw.replace("\r\r\n", "\0").replace("\r\n", "\n").replace("\0", "\r\n").rstrip("\n")
        # A message text may hold line breaks: an item starts only where a kind does.
        items = re.split(r"\n(?=(?:icon|button|text)\|)", text)
        return sorted(tuple(item.split("|", 1)) for item in items if "|" in item)

    def press(self, window, key):
        """One key press, as the guide to Wine's boxes advises: a repeated one can answer the next box."""
        # Focus first, then type on the keyboard: a key sent to a window that
        # lacks the focus can be dropped, for example while a service runs.
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("key", key)

    def screenshot(self, path):
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        dump = subprocess.run(["xwd", "-root", "-silent"], env=self.env(), stdout=subprocess.PIPE, check=True).stdout
        subprocess.run(["convert", "xwd:-", "-trim", "+repage", str(path)], input=dump, check=True)
        return path
