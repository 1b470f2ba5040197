"""A throwaway 64-bit Wine prefix for tvuninst.exe and its helpers: made,
driven and staged from Linux. The end-to-end tests, the demo and the
benchmarks all use it.

The prefix has no Z: drive, so nothing the tool does can reach the host's
files: every path used is inside drive C:.
"""
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

BUILD = Path(os.environ.get("TVUNINST_BUILD", Path(__file__).resolve().parents[1] / "build" / "windows"))
PREFIX = Path(os.environ.get("TVUNINST_PREFIX", BUILD / "e2e" / "prefix"))
DRIVE_C = PREFIX / "drive_c"

# What the tool shows.
CAPTION = "kVelnora Telvarine Uninstaller v1.7"
USAGE = (
    "tvuninst 1.7\n"
    "=====================================\n"
    "  -h, --help\t\t\t\tDisplay help information\n"
    "  -a, --all <PATH>\t\t\tTo delete all files, the <PATH> parameter must be set. It can be set to "
    "< ./ > (the current runtime directory) or < . > (the directory where the executable module is located)\n"
    "  -s, --silent, /silent\t\t\tRun silently\n"
    "  -l, --log <PATH>\t\t\tAppend a record of what was removed to the file <PATH>\n"
    "  -n, --dry-run\t\t\t\tShow what would be removed, and remove nothing\n"
    "  --reboot-ok\t\t\t\tDelete system modules in use at the next restart (exit code 3010)\n"
    "=====================================\n"
)
SILENT_NOTICE = "kVelnora Telvarine Uninstaller v1.7 silent mode"
COMPLETED = "Uninstallation completed."
FAILED_INTRO = COMPLETED + "\r\n\r\nSome parts of Telvarine could not be removed:"


# The X display of every Wine process, when a suite has one. Wine's desktop
# process is started by the first process of a wineserver session and keeps
# that process's display: a session begun without one never shows a window.
DISPLAY = None


def environment(debugstr=False, display=None):
    env = dict(os.environ)
    env.update(WINEPREFIX=str(PREFIX), WINEARCH="win64", WINEDEBUG="-all,+debugstr" if debugstr else "-all")
    env.pop("DISPLAY", None)
    if display or DISPLAY:
        env["DISPLAY"] = display or DISPLAY
    return env


def use_display(name):
    """Begins a new wineserver session whose processes all use the display `name` (None: no display)."""
    global DISPLAY
    stop_wineserver()
    DISPLAY = name
    keep_wineserver()


def unix(windows_path):
    """The Unix path of a C:\\ path of the prefix."""
    assert re.match(r"^[Cc]:\\", windows_path), windows_path
    return DRIVE_C.joinpath(*[p for p in windows_path[3:].split("\\") if p])


# Time limits stretch on a slow machine (a 32-bit process under an emulator takes a minute to start).
TIME_SCALE = float(os.environ.get("TVUNINST_TIME_SCALE", "1"))


def wine(*args, debugstr=False, cwd="C:\\", timeout=120, display=None, check=False):
    timeout *= TIME_SCALE
    result = subprocess.run(
        ["wine", *args], cwd=unix(cwd), env=environment(debugstr, display), stdin=subprocess.DEVNULL,
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    result.out = result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
    result.err = result.stderr.decode("utf-8", "replace")
    if check and result.returncode != 0:
        raise AssertionError(f"wine {args} failed with {result.returncode}: {result.out} {result.err}")
    return result


def traced(text):
    """The text as Wine's debug trace shows it, escapes and all."""
    return text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")


def debug_strings(result):
    return re.findall(r'OutputDebugStringA "(.*)"', result.err)


def create_prefix():
    """A fresh prefix, its Z: drive removed, one wineserver kept up."""
    if PREFIX.exists():
        stop_wineserver()
        shutil.rmtree(PREFIX)
    PREFIX.parent.mkdir(parents=True, exist_ok=True)
    started = time.time()
    subprocess.run(["wineboot", "-i"], env=environment(), check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=600)
    subprocess.run(["wineserver", "-w"], env=environment(), timeout=120)
    (PREFIX / "dosdevices" / "z:").unlink(missing_ok=True)
    # Boxes of an unmanaged window return at once instead of after ~2 s.
    subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f"],
                   env=environment(), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    tools = DRIVE_C / "tvtest"
    tools.mkdir(exist_ok=True)
    for fixture in ("tvservice.exe", "tvprobe.exe", "tvinspect.exe"):
        shutil.copy(BUILD / "tests" / "fixtures" / fixture, tools / fixture)
    print(f"prefix ready in {time.time() - started:.1f} s")


def stop_wineserver():
    subprocess.run(["wineserver", "-k"], env=environment(), stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=environment(), stderr=subprocess.DEVNULL, timeout=60)


def keep_wineserver():
    """Keeps one wineserver up, and starts the session's lasting helpers (services, desktop)
    with no pipes to hold: a helper that inherits a test's output pipe keeps it open."""
    subprocess.run(["wineserver", "-p"], env=environment(), stderr=subprocess.DEVNULL)
    subprocess.run(["wine", "reg", "query", r"HKCU\Software\Wine"], env=environment(), stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)


PROBE = "C:\\tvtest\\tvprobe.exe"
SERVICE_EXE = "C:\\tvtest\\tvservice.exe"


def install_tool(windows_dir):
    """Copies tvuninst.exe into a directory of the prefix; returns its C:\\ path."""
    target = unix(windows_dir)
    target.mkdir(parents=True, exist_ok=True)
    shutil.copy(BUILD / "tvuninst.exe", target / "tvuninst.exe")
    return windows_dir.rstrip("\\") + "\\tvuninst.exe"


def run_tool(tool, *args, debugstr=True, cwd="C:\\", display=None, timeout=120):
    return wine(tool, *args, debugstr=debugstr, cwd=cwd, display=display, timeout=timeout)


def run_launched(tool, *args, cwd="C:\\", timeout=120):
    """Runs the tool through the probe's CreateProcessW: `result.code` is the whole exit code,
    where the Unix status keeps only its low byte (1603 arrives as 67)."""
    line = subprocess.list2cmdline([tool, *args])
    (DRIVE_C / "tvtest" / "line.txt").write_text(line + "\n", encoding="utf-8")
    result = wine(PROBE, "launch", "C:\\tvtest\\line.txt", debugstr=True, cwd=cwd, timeout=timeout)
    match = re.search(r"launched exit code (\d+)", result.err)
    result.code = int(match.group(1)) if match else None
    return result


REPORT_LINE = re.compile(r"^(removed|kept|pending|failed|would|summary:|preview summary:) ")


def plain(out):
    """The tool's output without its report lines (targets and summary): what the search says."""
    return "".join(line for line in out.splitlines(keepends=True) if not REPORT_LINE.match(line))


def read_log(windows_path):
    """The log's lines: UTF-8, CRLF."""
    data = unix(windows_path).read_bytes()
    assert b"\n" not in data.replace(b"\r\n", b""), "a line ends without CR"
    return data.decode("utf-8").split("\r\n")[:-1]


def make_file(windows_path, text="data", read_only=False):
    path = unix(windows_path)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)
    if read_only:
        path.chmod(0o444)
    return path


def remove_tree(windows_path):
    """Removes a staged tree from Linux, however deep, without following links."""
    path = unix(windows_path)
    if path.is_symlink() or path.is_file():
        path.unlink()
    elif path.exists():
        subprocess.run(["chmod", "-R", "u+rwX", str(path)], check=True)
        subprocess.run(["rm", "-rf", str(path)], check=True)


# ---- services ----

def sc(*args):
    return wine("sc", *args)


def create_service(name, running):
    sc("create", name, "binPath=", SERVICE_EXE, "type=", "own", "start=", "demand")
    if running:
        wine("net", "start", name, check=True)


def service_state(name):
    """'RUNNING', 'STOPPED' or None when the service does not exist."""
    result = sc("query", name)
    if result.returncode != 0:
        return None
    match = re.search(r"STATE\s*:\s*\d+\s+(\w+)", result.out)
    return match.group(1) if match else "UNKNOWN"


def wait_for(condition, seconds=10.0):
    deadline = time.time() + seconds * TIME_SCALE
    while time.time() < deadline:
        if condition():
            return True
        time.sleep(0.1)
    return condition()


def remove_service(name):
    if service_state(name) == "RUNNING":
        sc("stop", name)
        wait_for(lambda: service_state(name) != "RUNNING")
    sc("delete", name)
    wait_for(lambda: service_state(name) is None)


# ---- registry ----

def reg_import(text, view):
    path = DRIVE_C / "tvtest" / "import.reg"
    path.write_text("Windows Registry Editor Version 5.00\n\n" + text, encoding="utf-16")
    wine("reg", "import", "C:\\tvtest\\import.reg", f"/reg:{view}", check=True)


def keys(*roots):
    """Every existing key below the roots, as the 32-bit tool sees them."""
    result = wine(PROBE, "keys", *roots, check=True)
    return [line for line in result.out.splitlines() if line]


def reg_delete(key, view):
    wine("reg", "delete", key, "/f", f"/reg:{view}")
