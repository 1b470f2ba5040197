"""A throwaway 64-bit Wine prefix for tvuninst.exe and its helpers: made,
driven and staged from Linux. The end-to-end tests, the demo and the
benchmarks all use it.

The prefix has no Z: drive, so nothing the tool does can reach the host's
files: every path used is inside drive C:.

The exe under test is the shipped 32-bit one, or where 32-bit programs cannot
run the 64-bit build of the same sources. Whatever depends on which (its
system directory, its registry view, the Wine command) is answered here, from
the machine field of the built exe's PE header, and nowhere else.
"""
import contextlib
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import unittest
from pathlib import Path

BUILD = Path(os.environ.get("TVUNINST_BUILD", Path(__file__).resolve().parents[1] / "build" / "windows"))
PREFIX = Path(os.environ.get("TVUNINST_PREFIX", BUILD / "e2e" / "prefix"))
DRIVE_C = PREFIX / "drive_c"

I386 = 0x14C
AMD64 = 0x8664


def pe_machine(path):
    """The machine field of a PE file's header."""
    with open(path, "rb") as exe:
        head = exe.read(0x40)
        assert head[:2] == b"MZ", f"{path} is not a PE file"
        exe.seek(struct.unpack_from("<I", head, 0x3C)[0])
        signature, machine = struct.unpack("<4sH", exe.read(6))
    assert signature == b"PE\0\0", f"{path} is not a PE file"
    return machine


MACHINE = pe_machine(BUILD / "tvuninst.exe")
assert MACHINE in (I386, AMD64), f"tvuninst.exe is built for machine {MACHINE:#x}"
# A 32-bit exe in the 64-bit prefix runs under WOW64: its system32 is syswow64
# on disk and its HKLM\Software is Software\Wow6432Node of the 64-bit view.
WOW64 = MACHINE == I386
# Where the exe's C:\windows\system32 lands on disk.
SYSTEM = "C:\\windows\\syswow64" if WOW64 else "C:\\windows\\system32"
# The directory a restart queue names for a module: the path the system reports
# for the open file (GetFinalPathNameByHandleW), which is where it is on disk.
QUEUED_SYSTEM = SYSTEM
# The registry view of the exe, for staging and reading what it sees.
REG_VIEW = "/reg:32" if WOW64 else "/reg:64"
# The exe's HKLM\Software as the 64-bit view names it.
NATIVE_HKLM_SOFTWARE = "HKLM\\Software\\Wow6432Node" if WOW64 else "HKLM\\Software"
# How the tools that inspect the exe name its architecture.
OBJDUMP = "i686-w64-mingw32-objdump" if WOW64 else "x86_64-w64-mingw32-objdump"
FILE_TYPE = r"PE32 executable \(GUI\) Intel 80386" if WOW64 else r"PE32\+ executable \(GUI\) x86-64"
MANIFEST_ARCHITECTURE = "x86" if WOW64 else "amd64"

# Every Wine command (the exe and its fixtures, wineboot, reg, sc, net, cmd)
# starts with this. Debian's /usr/bin/wine starts the i386 loader first
# whenever wine32 is installed, even for a 64-bit exe: the 64-bit build goes
# through the 64-bit loader alone, which also starts its child processes
# (WINELOADER, set in environment()).
WINE64_LOADER = "/usr/lib/wine/wine64"
WINE = ["wine"] if WOW64 else [WINE64_LOADER]


def needs_wow64(reason, case=None):
    """What only the 32-bit exe can show. `@needs_wow64(reason)` skips a test for the
    64-bit exe; `needs_wow64(reason, self)` skips the rest of a test (or its subTest)."""
    if case is None:
        return unittest.skipUnless(WOW64, reason)
    if not WOW64:
        case.skipTest(reason)


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
NOBODY_CAN_ANSWER = ("ERROR: Nobody can answer the confirmation box here, so nothing was removed. Run with -s to "
                     "remove without asking.\n")
FAILED_INTRO = COMPLETED + "\r\n\r\nSome parts of Telvarine could not be removed:"


# The X display of every Wine process, when a suite has one. Wine's desktop
# process is started by the first process of a wineserver session and keeps
# that process's display: a session begun without one never shows a window.
DISPLAY = None


def environment(debugstr=False, display=None):
    env = dict(os.environ)
    env.update(WINEPREFIX=str(PREFIX), WINEARCH="win64", WINEDEBUG="-all,+debugstr" if debugstr else "-all")
    if not WOW64:
        env["WINELOADER"] = WINE64_LOADER
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
        [*WINE, *args], cwd=unix(cwd), env=environment(debugstr, display), stdin=subprocess.DEVNULL,
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
    subprocess.run([*WINE, "wineboot", "-i"], env=environment(), check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=600)
    subprocess.run(["wineserver", "-w"], env=environment(), timeout=120)
    (PREFIX / "dosdevices" / "z:").unlink(missing_ok=True)
    # Boxes of an unmanaged window return at once instead of after ~2 s.
    subprocess.run([*WINE, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f"],
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
    subprocess.run([*WINE, "reg", "query", r"HKCU\Software\Wine"], env=environment(), stdin=subprocess.DEVNULL,
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


def launch_line(line, cwd="C:\\", timeout=120, unseen=None):
    """Starts a raw command line through the probe's CreateProcessW: `result.code` is the whole
    exit code, where the Unix status keeps only its low byte (1603 arrives as 67). With `unseen`
    (seconds), on a window station nobody sees, ended after that long (`result.timed_out`)."""
    (DRIVE_C / "tvtest" / "line.txt").write_text(line + "\n", encoding="utf-8")
    how = ["unseen", "C:\\tvtest\\line.txt", str(int(unseen * TIME_SCALE))] if unseen else ["launch", "C:\\tvtest\\line.txt"]
    result = wine(PROBE, *how, debugstr=True, cwd=cwd, timeout=timeout)
    match = re.search(r"launched exit code (\d+)", result.err)
    result.code = int(match.group(1)) if match else None
    result.timed_out = "launched timed out" in result.err
    return result


def run_launched(tool, *args, cwd="C:\\", timeout=120, unseen=None):
    return launch_line(subprocess.list2cmdline([tool, *args]), cwd=cwd, timeout=timeout, unseen=unseen)


@contextlib.contextmanager
def held(windows_path, release=None, service=False):
    """`windows_path` held open by another Windows program, without delete sharing, while the
    block runs. The holder lets go when the file `release` appears (by default the path with
    ".release" added; give the real one where the holder's view is redirected). With `service`,
    the service of that name is held open, as the Services console holds it."""
    release = release or windows_path + ".release"
    how = ["holdservice", windows_path, release] if service else ["hold", windows_path]
    holder = subprocess.Popen([*WINE, PROBE, *how], env=environment(), cwd=unix("C:\\"),
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        assert holder.stdout.readline().strip() == b"held", f"{windows_path} could not be held"
        yield
    finally:
        make_file(release)
        holder.wait(timeout=60 * TIME_SCALE)
        holder.stdout.close()
        remove_tree(release)


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

def reg_import(text):
    """Imports keys into the registry view of the exe under test."""
    path = DRIVE_C / "tvtest" / "import.reg"
    path.write_text("Windows Registry Editor Version 5.00\n\n" + text, encoding="utf-16")
    wine("reg", "import", "C:\\tvtest\\import.reg", REG_VIEW, check=True)


def keys(*roots):
    """Every existing key below the roots, as the exe under test sees them (the probe is built alike)."""
    result = wine(PROBE, "keys", *roots, check=True)
    return [line for line in result.out.splitlines() if line]


def reg_delete(key):
    wine("reg", "delete", key, "/f", REG_VIEW)
