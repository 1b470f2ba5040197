"""Stages a Telvarine installation in a fresh prefix and removes it."""
import os
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
keep = "--keep" in sys.argv[1:]
interactive = "--interactive" in sys.argv[1:]
hold = "--hold" in sys.argv[1:]
os.environ.setdefault("TVUNINST_PREFIX", str(Path(tempfile.mkdtemp(prefix="tvuninst-demo-")) / "prefix"))
import wineprefix as w  # noqa: E402
import xdisplay  # noqa: E402

SCREENSHOTS = ROOT / "build" / "demo-screenshots"

GAME = "C:\\Games\\Starfall Odyssey"
SYSTEM = w.SYSTEM  # where the tool's system32 lands
SERVICES = {"kvdrNT2": True, "kvtlsvc": True, "brenserv": False}
MODULES = ("kvdrNT2.sys", "kvdr9x.vxd", "Corvane.des")
PRODUCT = r"Software\MIRELNetwork\kVelnoraTelvarine"
KEY_ROOTS = [r"HKCU\Software\MIRELNetwork", r"HKLM\Software\MIRELNetwork"] + [
    rf"HKLM\SYSTEM\CurrentControlSet\Services\{s}" for s in ("KVDRNT2", "brenserv", "kvtlsvc", "TVKernel")
] + [r"HKLM\SYSTEM\ControlSet002\Services\kvtlsvc", r"HKLM\SYSTEM\CurrentControlSet\Enum\Root\LEGACY_BRENSERV",
     r"HKLM\SYSTEM\CurrentControlSet\Enum\Root\LEGACY_KVTLSVC"]


def stage():
    tool = w.install_tool(GAME + "\\tools")
    for name, running in SERVICES.items():
        w.create_service(name, running)
    keys = []
    for hive in ("HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"):
        keys += [rf"{hive}\{PRODUCT}\{c}" for c in ("Telvarine", "Corvane", "Dranwick", "Ostermere", "Ravelin")]
    keys.append(rf"HKEY_CURRENT_USER\{PRODUCT}\TelvarineError")
    ccs = r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet"
    for service in ("KVDRNT2", "brenserv", "kvtlsvc"):
        keys += [rf"{ccs}\Services\{service}\Security", rf"{ccs}\Services\{service}\Enum"]
    keys += [rf"{ccs}\Services\TVKernel", r"HKEY_LOCAL_MACHINE\SYSTEM\ControlSet002\Services\kvtlsvc",
             rf"{ccs}\Enum\Root\LEGACY_BRENSERV\0000", rf"{ccs}\Enum\Root\LEGACY_KVTLSVC\0000"]
    w.reg_import("".join(f'[{k}]\n"Installed"="1"\n\n' for k in keys))
    for name in MODULES:
        w.make_file(f"{SYSTEM}\\{name}")
    w.make_file(f"{GAME}\\StarfallOdyssey.exe")
    w.make_file(f"{GAME}\\data\\Telvarine\\Telvarine.dll")
    w.make_file(f"{GAME}\\data\\Telvarine\\config\\settings.ini", read_only=True)
    w.make_file(f"{GAME}\\data\\Telvarine\\logs\\session.log")
    return tool


def show(title):
    print(f"\n== {title} ==")
    print("services:")
    for name in SERVICES:
        state = w.service_state(name)
        print(f"  {name:10} {state or 'not installed'}")
    print(f"registry keys (as the {32 if w.WOW64 else 64}-bit uninstaller sees them):")
    for key in w.keys(*KEY_ROOTS) or ["(none)"]:
        print("  " + key)
    print(f"system modules in {SYSTEM} (the {32 if w.WOW64 else 64}-bit system32):")
    for name in MODULES:
        print(f"  {name:12} {'present' if w.unix(SYSTEM + chr(92) + name).exists() else 'absent'}")
    print(f"game folder {GAME}:")
    base = w.unix(GAME)
    for path in sorted(base.rglob("*")):
        print("  " + str(path.relative_to(base)).replace("/", "\\") + ("\\" if path.is_dir() else ""))


LOG = "C:\\tvuninst.log"


def run_silently(tool):
    print(f"\n== running: {tool} -s -l {LOG} ==")
    if not hold:
        return w.run_launched(tool, "-s", "-l", LOG)
    # As a game that is still running would: one file of the folder stays open.
    held = f"{GAME}\\data\\Telvarine\\Telvarine.dll"
    with w.held(held):
        print(f"  (held open by another program: {held})")
        return w.run_launched(tool, "-s", "-l", LOG)


def run_interactively(tool):
    """Under a virtual display: the boxes are answered from the keyboard and photographed."""
    print(f"\n== running: {tool} (interactive, on a virtual display) ==")
    display = xdisplay.Display()
    w.use_display(display.name)
    try:
        process = display.start(tool)
        box = display.wait_box(process=process)
        print(f"  confirmation box: {display.screenshot(SCREENSHOTS / 'confirmation.png')}; answering Yes")
        display.press(box, "y")
        box = display.wait_box()
        print(f"  completion box: {display.screenshot(SCREENSHOTS / 'completion.png')}; pressing Return")
        display.press(box, "Return")
        out, err = process.communicate(timeout=60)
        process.out = out.decode("utf-8", "replace").replace("\r\n", "\n")
        process.err = err.decode("utf-8", "replace")
        return process
    finally:
        w.use_display(None)
        display.close()


def main():
    print(f"prefix: {w.PREFIX}")
    w.create_prefix()
    w.keep_wineserver()
    try:
        tool = stage()
        show("installed")
        result = run_interactively(tool) if interactive else run_silently(tool)
        sys.stdout.write("".join("  " + line + "\n" for line in result.out.splitlines()))
        for text in w.debug_strings(result):
            print(f"  debugger: {text}")
        print(f"  exit code: {getattr(result, 'code', None) or result.returncode}")
        if w.unix(LOG).exists():
            print(f"\n== the log, {LOG} ==")
            sys.stdout.write("".join("  " + line + "\n" for line in w.read_log(LOG)))
        # A marked service that is still running goes when it stops.
        w.wait_for(lambda: w.service_state("kvdrNT2") is None, 5)
        show("left after the run")
        print("\nkvtlsvc was marked for deletion while running; it goes when it stops.")
    finally:
        w.stop_wineserver()
        if keep:
            print(f"\nprefix kept: WINEPREFIX={w.PREFIX}")
        else:
            w.shutil.rmtree(w.PREFIX.parent, ignore_errors=True)


if __name__ == "__main__":
    main()
