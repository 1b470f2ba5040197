"""The Wine half of the benchmarks, and the table of both halves."""
import os
import re
import statistics
import subprocess
import sys
import time
from collections import Counter
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
os.environ.setdefault("TVUNINST_PREFIX", str(ROOT / "build" / "bench" / "prefix"))
sys.path.insert(0, str(ROOT / "scripts"))
import wineprefix as w  # noqa: E402

QUICK = "--quick" in sys.argv[1:]
RUNS = 1 if QUICK else 4
FLOOR = "C:\\tvtest\\tvfloor.exe"
TEMPLATE = "C:\\bench\\template"
WORK = "C:\\bench\\run"
lines = []


def say(text=""):
    print(text, flush=True)
    lines.append(text)


def make_tree(windows_path, directories, files_per_directory):
    root = w.unix(windows_path)
    for d in range(directories):
        folder = root / f"Dir{d // 100:02d}" / f"Sub{d:04d}"
        folder.mkdir(parents=True, exist_ok=True)
        for f in range(files_per_directory):
            (folder / f"File{f:02d}.dat").write_bytes(b"x" * 16)


def fresh_copy(name):
    w.remove_tree(WORK)
    w.unix(WORK).mkdir(parents=True)
    subprocess.run(["cp", "-a", str(w.unix(f"{TEMPLATE}\\{name}")), str(w.unix(f"{WORK}\\Telvarine"))], check=True)


def timed(command):
    started = time.perf_counter()
    result = command()
    elapsed = time.perf_counter() - started
    assert not w.unix(f"{WORK}\\Telvarine").exists(), f"the folder survived {command}"
    return elapsed, result


def deleters(tool):
    return {
        "tvuninst -s -a": lambda: w.wine(tool, "-s", "-a", WORK, timeout=3600),
        "floor": lambda: w.wine(FLOOR, f"{WORK}\\Telvarine", timeout=3600),
        "cmd /c rd /s /q": lambda: w.wine("cmd", "/c", "rd", "/s", "/q", f"{WORK}\\Telvarine", timeout=3600),
        "rm -rf (native)": lambda: subprocess.run(["rm", "-rf", str(w.unix(f"{WORK}\\Telvarine"))], check=True),
    }


def seconds(command):
    started = time.perf_counter()
    command()
    return time.perf_counter() - started


def baseline(tool):
    """What a run costs without a folder to delete: the process, the other cleanup steps."""
    w.remove_tree(WORK)
    w.unix(WORK).mkdir(parents=True)
    silent = statistics.median(seconds(lambda: w.wine(tool, "-s", "-a", WORK)) for _ in range(3))
    floor = []
    for _ in range(3):
        w.unix(f"{WORK}\\Telvarine").mkdir()
        floor.append(seconds(lambda: w.wine(FLOOR, f"{WORK}\\Telvarine")))
    return {"tvuninst -s -a": silent, "floor": statistics.median(floor)}


def deletion_times(tool, name, which):
    runs = {label: [] for label in which}
    base = baseline(tool)
    for run in range(RUNS):
        order = which[run % len(which):] + which[:run % len(which)]  # alternate who goes first
        for label in order:
            fresh_copy(name)
            runs[label].append(timed(deleters(tool)[label])[0] - base.get(label, 0.0))
    return {label: statistics.median(times) for label, times in runs.items()}


def relay_counts(program, args):
    env = w.environment()
    env["WINEDEBUG"] = "-all,+relay"
    result = subprocess.run([*w.WINE, program, *args], cwd=w.unix("C:\\"), env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, timeout=600)
    calls = Counter()
    paths = []
    for line in result.stderr.decode("utf-8", "replace").splitlines():
        # Calls made by the program itself: their return address lies in its image (mingw's
        # default image base: 0x400000 for a 32-bit exe, 0x140000000 for a 64-bit one).
        match = re.search(r"Call (?:KERNEL32|ntdll)\.(\w+)\((.*)\) ret=([0-9a-f]+)", line)
        if match and any(base <= int(match.group(3), 16) < base + 0x200000 for base in (0x400000, 0x140000000)):
            calls[match.group(1)] += 1
            paths += [p.replace("\\\\", "\\") for p in re.findall(r'L"([^"]*)"', match.group(2))]
    return calls, paths


FILE_SYSTEM_CALLS = ("FindFirstFileW", "FindNextFileW", "FindClose", "SetFileAttributesW", "DeleteFileW",
                     "RemoveDirectoryW", "CreateFileW", "GetFileInformationByHandleEx", "CloseHandle",
                     "NtOpenFile", "NtSetInformationFile", "SetFileInformationByHandle",
                     "GetFileInformationByHandle", "GetFullPathNameW", "Sleep")


def call_counts(tool):
    directories, files = 20, 5
    w.remove_tree(f"{TEMPLATE}\\small")
    make_tree(f"{TEMPLATE}\\small", directories, files)
    entries_dirs = directories + directories // 100 + 1 + 1  # SubNNNN, DirNN, the folder
    fresh_copy("small")
    tool_calls, paths = relay_counts(tool, ["-s", "-a", WORK])
    fresh_copy("small")
    floor_calls, _ = relay_counts(FLOOR, [f"{WORK}\\Telvarine"])
    say(f"### Platform calls on a tree of {directories * files} files in {entries_dirs} directories (WINEDEBUG=+relay)")
    say()
    say("| call | tvuninst | floor | extra | why |")
    say("|---|---:|---:|---:|---|")
    reasons = {
        "CreateFileW": "the -a directory, held as itself",
        "GetFileInformationByHandleEx": "listings through handles; each handle checked against its listing",
        "CloseHandle": "each entry's handle",
        "NtOpenFile": "each entry opened relative to its held directory",
        "NtSetInformationFile": "each entry deleted through its handle (and one try of the newer way)",
        "GetFileInformationByHandle": "the volume, for what the disposition learns",
        "GetFullPathNameW": "the -a directory made absolute",
    }
    for name in FILE_SYSTEM_CALLS:
        extra = tool_calls[name] - floor_calls[name]
        say(f"| {name} | {tool_calls[name]} | {floor_calls[name]} | {extra:+d} | {reasons.get(name, '') if extra else ''} |")
    say()
    folder = f"{WORK}\\Telvarine"
    exact = all(p.startswith(folder) for p in paths if p.lower().startswith(folder.lower()))
    say(f"Paths handed to Wine keep the case on disk: {'yes' if exact else 'NO'} "
        f"(e.g. {next((p for p in paths if p.startswith(folder + chr(92))), '-')})")
    say()


def deletion_table(tool):
    sizes = [("20k", 2000, 10)] if QUICK else [("20k", 2000, 10), ("100k", 5000, 20)]
    for name, directories, files in sizes:
        if not w.unix(f"{TEMPLATE}\\{name}").exists():
            make_tree(f"{TEMPLATE}\\{name}", directories, files)
        which = ["tvuninst -s -a", "floor", "cmd /c rd /s /q", "rm -rf (native)"] if name == "20k" else [
            "tvuninst -s -a", "floor"]
        times = deletion_times(tool, name, which)
        say(f"### Deleting {directories * files:,} files in {directories:,} directories (median of {RUNS})")
        say()
        say("| program | seconds | against the floor |")
        say("|---|---:|---:|")
        for label in which:
            say(f"| {label} | {times[label]:.2f} | {times[label] / times['floor']:.2f}x |")
        say()


def search_table():
    game = "C:\\bench\\game"
    tool = w.install_tool(f"{game}\\tools")
    if not w.unix(f"{game}\\Dir00").exists():
        make_tree(game, 20000, 0)
    w.unix(f"{game}\\zzz\\Telvarine").mkdir(parents=True, exist_ok=True)  # listed last
    outside = w.install_tool("C:\\bench\\bin")
    base = statistics.median(seconds(lambda: w.wine(outside, "-s")) for _ in range(3))
    searches, dirs = [], []
    for _ in range(RUNS):
        w.unix(f"{game}\\zzz\\Telvarine").mkdir(exist_ok=True)
        started = time.perf_counter()
        result = w.wine(tool, "-s", timeout=3600)
        searches.append(time.perf_counter() - started - base)
        assert "Found" in result.out
        started = time.perf_counter()
        w.wine("cmd", "/c", "dir", "/s", "/b", "/ad", game, timeout=3600)
        dirs.append(time.perf_counter() - started)
    search, listing = statistics.median(searches), statistics.median(dirs)
    say(f"### Searching 20,000 directories, Telvarine reached last (median of {RUNS})")
    say()
    say("| program | seconds | against dir |")
    say("|---|---:|---:|")
    say(f"| tvuninst -s (tools layout) | {search:.2f} | {search / listing:.2f}x |")
    say(f"| cmd /c dir /s /b /ad | {listing:.2f} | 1.00x |")
    say()
    early = []
    for count in (2000, 20000):
        small = f"C:\\bench\\early{count}"
        small_tool = w.install_tool(f"{small}\\tools")
        if not w.unix(f"{small}\\Dir00").exists():
            make_tree(small, count, 0)
        # The first directory of the first directory: reached at once.
        w.unix(f"{small}\\Dir00\\Sub0000\\Telvarine").mkdir(exist_ok=True)
        started = time.perf_counter()
        w.wine(small_tool, "-s")
        early.append((count, time.perf_counter() - started - base))
    say("Early stop, Telvarine in the first directory listed: " + ", ".join(f"{c:,} directories {t:.2f} s" for c, t in early))
    say()


def main():
    say(f"Machine: {os.cpu_count()} cores, {subprocess.run(['uname', '-sr'], stdout=subprocess.PIPE, text=True).stdout.strip()}, "
        f"{subprocess.run([*w.WINE, '--version'], stdout=subprocess.PIPE, text=True).stdout.strip()}; "
        f"{time.strftime('%Y-%m-%d')}")
    say()
    if not w.PREFIX.exists():
        w.create_prefix()
    w.keep_wineserver()
    w.shutil.copy(w.BUILD / "bench" / "tvfloor.exe", w.unix("C:\\tvtest"))
    tool = w.install_tool("C:\\bench\\bin")
    try:
        call_counts(tool)
        deletion_table(tool)
        search_table()
    finally:
        w.stop_wineserver()
    host = subprocess.run([str(ROOT / "build" / "host" / "bench" / "host_bench"), "--benchmark_format=console"],
                          stdout=subprocess.PIPE, text=True)
    say("### Simulated platform (Google Benchmark)")
    say()
    say("```")
    for line in host.stdout.strip().splitlines():
        say(line)
    say("```")
    out = ROOT / "build" / "bench" / "table.md"
    out.write_text("\n".join(lines) + "\n")
    print(f"\nwritten to {out}")


if __name__ == "__main__":
    main()
