#!/usr/bin/env python3
"""check_windows.py - the Windows build under Wine: partlist.exe, partlist.dll and its host.

    check_windows.py prefix  BUILD            make the Wine prefix the other checks share
    check_windows.py golden  BUILD SOURCE     every golden case through the host (one process per
                                              case, as the Linux cases run), and the one-run cases
                                              through partlist.exe too, without helper threads
    check_windows.py example BUILD SOURCE     the shipped example through partlist.exe (the golden
                                              case window_pattern runs it twice through the host
                                              in one process, as the window does)
    check_windows.py home    BUILD SOURCE     symbols found through "~", the registry's home
                                              directory and the suite's initialisation file
    check_windows.py exports BUILD OBJDUMP    the names partlist.dll exports, exactly
    check_windows.py window  BUILD SOURCE     the window on a virtual display, driven by a host
                                              (windowhost.exe) in a Wine prefix of its own

What Windows writes is what Linux writes with CR LF line ends (text files as the system writes
them); the expected files of the golden cases are the Linux ones, but where a case has a file in
expected-windows/: a name the system builds shows its separator, "\\" there.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

EXPORTS = ["Sch_Exit", "SetPropertyLength", "_CreatePartList@12", "_DestroyPartList@0",
           "initializeMap", "main"]  # as objdump sorts them


def wineenv(build):
    env = dict(os.environ)
    env["WINEPREFIX"] = os.path.join(build, "wineprefix")
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    env.pop("DISPLAY", None)  # the command needs no display
    return env


def wine(build, args, cwd, threads=True):
    env = wineenv(build)
    if not threads:
        env["PARTLIST_THREADS"] = "0"
    r = subprocess.run(["wine"] + args, cwd=cwd, env=env,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    return r


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def crlf(data):
    return data.replace(b"\n", b"\r\n")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def compare(produced, expected, what, faults):
    if not os.path.exists(produced):
        faults.append(f"{what}: not written")
    elif read(produced) != crlf(read(expected)):
        faults.append(f"{what}: differs from the Linux file with CR LF line ends")


def windowsfile(case, name):
    """The file a golden case expects on Windows: its own there, else the Linux one."""
    own = os.path.join(case, "expected-windows", name)
    return own if os.path.exists(own) else os.path.join(case, "expected", name)


def copycase(src, work):
    shutil.copytree(src, work, ignore=shutil.ignore_patterns("expected", "expected-windows"))


def makeprefix(env):
    """A new Wine prefix at env's WINEPREFIX; the status of its making."""
    shutil.rmtree(env["WINEPREFIX"], ignore_errors=True)
    return subprocess.run(["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=300).returncode


def cmd_prefix(build):
    status = makeprefix(wineenv(build))
    subprocess.run(["wineserver", "-w"], env=wineenv(build), timeout=300)
    return status


def hostrun(build, work, runs):
    """Runs the lines of `runs` through the host in `work`; the statuses it printed."""
    host = os.path.join(build, "tests", "windows", "winhost.exe")
    dll = os.path.join(build, "partlist", "partlist.dll")
    r = wine(build, [host, winpath(dll), runs], cwd=work)
    if r.returncode != 0:
        sys.exit(f"winhost failed ({r.returncode}): {r.stderr.decode(errors='replace')}")
    return r.stdout.decode().split()


def cmd_golden(build, source):
    root = os.path.join(source, "tests", "data", "golden")
    exe = os.path.join(build, "apps", "partlist.exe")
    faults, cases = [], sorted(os.listdir(root))
    for case in cases:
        src = os.path.join(root, case)
        expected = os.path.join(src, "expected")
        lines = [l for l in read(os.path.join(src, "runs")).decode().splitlines() if l.strip()]
        with tempfile.TemporaryDirectory() as tmp:
            work = os.path.join(tmp, case)
            copycase(src, work)
            statuses = hostrun(build, work, "runs")
            want = os.path.join(expected, "status")
            if os.path.exists(want) and statuses != read(want).decode().split():
                faults.append(f"{case}: statuses {statuses}, expected {read(want).decode().split()}")
            for name in sorted(os.listdir(expected)):
                if name != "status":
                    compare(os.path.join(work, name), windowsfile(src, name),
                            f"{case} (host): {name}", faults)
        if len(lines) != 1:
            continue
        with tempfile.TemporaryDirectory() as tmp:
            work = os.path.join(tmp, case)
            copycase(src, work)
            # Without the helper threads: both ways write the same bytes.
            wine(build, [exe] + lines[0].split(), cwd=work, threads=False)
            for name in sorted(os.listdir(expected)):
                if name != "status":
                    compare(os.path.join(work, name), windowsfile(src, name),
                            f"{case} (partlist.exe): {name}", faults)
    print(f"{len(cases)} golden cases under Wine, {len(faults)} faults")
    return faults


def cmd_example(build, source):
    amp = os.path.join(source, "examples", "amp")
    expected = os.path.join(source, "examples", "expected.out")
    exe = os.path.join(build, "apps", "partlist.exe")
    faults = []
    with tempfile.TemporaryDirectory() as tmp:
        work = os.path.join(tmp, "amp")
        shutil.copytree(amp, work)
        r = wine(build, [exe, "--map", "dra.txt", "-p", ".", "top.sch"], cwd=work)
        if r.returncode != 0:
            faults.append(f"partlist.exe: exit status {r.returncode}")
        compare(os.path.join(work, "top.out"), expected, "partlist.exe: top.out", faults)
    return faults


def cmd_home(build, source):
    """The symbol files stand in a folder named only by the suite's initialisation file, which is
    found through the registry's home directory."""
    amp = os.path.join(source, "examples", "amp")
    exe = os.path.join(build, "apps", "partlist.exe")
    faults = []
    with tempfile.TemporaryDirectory() as tmp:
        work, home, syms = (os.path.join(tmp, d) for d in ("amp", "home", "syms"))
        shutil.copytree(amp, work)
        os.makedirs(home)
        os.makedirs(syms)
        for name in os.listdir(work):
            if name.endswith(".sym"):
                shutil.move(os.path.join(work, name), syms)
        with open(os.path.join(home, "van87.ini"), "w") as f:
            f.write(f"[VANTRELL]\r\n~={winpath(syms)}\r\n")
        key = r"HKCU\Software\Morvek\Vantrell\8.7\Directories"
        wine(build, ["reg", "add", key, "/v", "Home Dir", "/d", winpath(home), "/f"], cwd=work)
        try:
            wine(build, [exe, "--map", "dra.txt", "-p", ".+~", "top.sch"], cwd=work)
            compare(os.path.join(work, "top.out"), os.path.join(source, "examples", "expected.out"),
                    "symbols through the registry's home directory: top.out", faults)
        finally:
            wine(build, ["reg", "delete", key, "/f"], cwd=work)
    return faults


def cmd_exports(build, objdump):
    dll = os.path.join(build, "partlist", "partlist.dll")
    text = subprocess.run([objdump, "-p", dll], stdout=subprocess.PIPE, check=True).stdout.decode()
    names, inside = [], False
    for line in text.splitlines():
        if line.startswith("[Ordinal/Name Pointer] Table"):
            inside = True
        elif inside and line.strip():
            names.append(line.split()[-1])
        elif inside:
            break
    print("partlist.dll exports: " + " ".join(names))
    return [] if names == EXPORTS else [f"exports {names}, expected {EXPORTS}"]


def png(bmp, out):
    """Writes the 24-bit bottom-up bitmap file bmp as a PNG file."""
    data = read(bmp)
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
        raise ValueError("not a 24-bit bitmap")
    stride = (width * 3 + 3) & ~3
    raw = bytearray()
    for y in range(height - 1, -1, -1):
        row = data[offset + y * stride: offset + y * stride + width * 3]
        raw.append(0)
        for x in range(0, len(row), 3):
            raw += bytes((row[x + 2], row[x + 1], row[x]))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    with open(out, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


def cmd_window(build, source):
    """The window needs a display, and every Wine program of its prefix must run under the same
    one: the whole check runs inside one virtual display, in a prefix of its own."""
    r = subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1024x768x24", sys.executable,
                        os.path.abspath(__file__), "window-session", build, source], timeout=600)
    return [] if r.returncode == 0 else [f"the window session failed ({r.returncode})"]


def cmd_window_session(build, source):
    env = wineenv(build)
    env["WINEPREFIX"] = os.path.join(build, "wineprefix-window")
    env["DISPLAY"] = os.environ.get("DISPLAY", "")
    makeprefix(env)
    # Without a window manager Wine waits whenever it hides a window, unless it manages none.
    subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
                    "/d", "N", "/f"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=300)
    faults = []
    expected = os.path.join(source, "tests", "windows", "expected")
    out = os.path.join(build, "window-check")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    with tempfile.TemporaryDirectory() as tmp:
        amp = os.path.join(tmp, "amp")
        shutil.copytree(os.path.join(source, "examples", "amp"), amp)
        host = os.path.join(build, "tests", "windows", "windowhost.exe")
        dll = os.path.join(build, "partlist", "partlist.dll")
        r = subprocess.run(["wine", host, winpath(dll), winpath(os.path.join(amp, "top.sch")),
                            winpath(out)], env=env, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=120)
        print(r.stdout.decode(errors="replace").strip())
        if r.returncode != 0:
            faults.append("windowhost: " + r.stderr.decode(errors="replace").strip())
    subprocess.run(["wineserver", "-w"], env=env, timeout=300)
    for name in ("rows1.txt", "rows2.txt"):
        got = os.path.join(out, name)
        if not os.path.exists(got) or read(got) != read(os.path.join(expected, name)):
            faults.append(f"{name}: the list's rows differ from the expected rows")
    report, clip = os.path.join(out, "report.out"), os.path.join(out, "clipboard.txt")
    if not os.path.exists(clip) or not os.path.exists(report) or read(clip) != read(report) + b"\r\n":
        faults.append("clipboard.txt: not the report's lines with CR LF and one CR LF more")
    bmp = os.path.join(out, "window.bmp")
    if os.path.exists(bmp):
        png(bmp, os.path.join(out, "window.png"))
        print("picture: " + os.path.join(out, "window.png"))
    else:
        faults.append("no picture of the window")
    print(f"window under Wine: {len(faults)} faults")
    return faults


def main():
    what, build = sys.argv[1], os.path.abspath(sys.argv[2])
    if what == "prefix":
        return cmd_prefix(build)
    commands = {"golden": cmd_golden, "example": cmd_example, "home": cmd_home,
                "exports": cmd_exports, "window": cmd_window,
                "window-session": cmd_window_session}
    faults = commands[what](build, sys.argv[3])
    for f in faults:
        print("FAULT: " + f)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
