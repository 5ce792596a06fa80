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
                                              (windowhost.exe) in a Wine prefix of its own,
                                              printing through a print service of its own

What Windows writes is what Linux writes with CR LF line ends (text files as the system writes
them); the expected files of the golden cases are the Linux ones, but where a case has a file in
expected-windows/: a name the system builds shows its separator, "\\" there.
"""
import html
import os
import pwd
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unicodedata
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


def written(path):
    """What a step wrote, or nothing when it did not get so far."""
    return read(path) if os.path.exists(path) else b""


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


class PrintService:
    """A print service of the check's own (its configuration, spool and socket in the build
    folder, so that no other print service of the machine is touched) with a PDF printer as its
    default; started on entering, ended by its process id on leaving. Wine prints through the
    socket named by CUPS_SERVER; the PDF printer writes each job to the PDF folder of the user's
    home, named after the document."""

    def __init__(self, build):
        self.root = os.path.join(build, "cups")
        self.socket = os.path.join(self.root, "cups.sock")
        self.pdfdir = os.path.join(pwd.getpwuid(os.getuid()).pw_dir, "PDF")

    def __enter__(self):
        shutil.rmtree(self.root, ignore_errors=True)
        for d in ("etc", "spool/tmp", "cache", "state", "log"):
            os.makedirs(os.path.join(self.root, d))
        at = lambda *p: os.path.join(self.root, *p)
        with open(at("etc", "cups-files.conf"), "w") as f:
            f.write(f"ServerRoot {at('etc')}\nRequestRoot {at('spool')}\nTempDir {at('spool', 'tmp')}\n"
                    f"CacheDir {at('cache')}\nStateDir {at('state')}\nPrintcap {at('printcap')}\n"
                    f"ErrorLog {at('log', 'error_log')}\nAccessLog {at('log', 'access_log')}\n"
                    f"PageLog {at('log', 'page_log')}\nDataDir /usr/share/cups\n"
                    "ServerBin /usr/lib/cups\nUser lp\nGroup lp\nSystemGroup root\n")
        with open(at("etc", "cupsd.conf"), "w") as f:
            f.write(f"Listen {self.socket}\nLogLevel info\nBrowsing No\nWebInterface No\n"
                    "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n"
                    "</Location>\n<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                    "  </Limit>\n</Policy>\n")
        self.env = dict(os.environ, CUPS_SERVER=self.socket)
        self.proc = subprocess.Popen(["cupsd", "-f", "-c", at("etc", "cupsd.conf"),
                                      "-s", at("etc", "cups-files.conf")],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            for _ in range(300):
                if b"is running" in self.lp(["lpstat", "-r"]).stdout:
                    break
                time.sleep(0.1)
            self.lp(["lpadmin", "-p", "PDF", "-v", "cups-pdf:/", "-E",
                     "-m", "lsb/usr/cups-pdf/CUPS-PDF_noopt.ppd"], check=True)
            self.lp(["lpadmin", "-d", "PDF"], check=True)
        except BaseException:
            self.__exit__()
            raise
        self.started = time.time()
        return self

    def lp(self, args, check=False):
        return subprocess.run(args, env=self.env, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, check=check, timeout=60)

    def printed(self, to, timeout=90):
        """Waits for the jobs to end and moves the PDF they wrote to `to`; False without one."""
        deadline = time.time() + timeout
        while time.time() < deadline and self.lp(["lpstat", "-o"]).stdout.strip():
            time.sleep(0.5)
        new = [os.path.join(self.pdfdir, n) for n in (os.listdir(self.pdfdir)
               if os.path.isdir(self.pdfdir) else []) if n.endswith(".pdf")]
        new = [p for p in new if os.path.getmtime(p) >= self.started - 1]
        if not new:
            print(self.lp(["lpstat", "-W", "all", "-o"]).stdout.decode(errors="replace"))
            return False
        shutil.move(max(new, key=os.path.getmtime), to)
        return True

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait(timeout=60)


def cmd_window(build, source):
    """The window needs a display, and every Wine program of its prefix must run under the same
    one: the whole check runs inside one virtual display, in a prefix of its own, while a print
    service of its own takes what the window prints."""
    with PrintService(build) as service:
        r = subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1024x768x24", sys.executable,
                            os.path.abspath(__file__), "window-session", build, source],
                           env=service.env, timeout=600)
        faults = [] if r.returncode == 0 else [f"the window session failed ({r.returncode})"]
        out = os.path.join(build, "window-check")
        pdf = os.path.join(out, "printout.pdf")
        if service.printed(pdf):
            faults += check_printout(pdf, written(os.path.join(out, "report-printed.out")))
            subprocess.run(["pdftoppm", "-png", "-r", "60", "-singlefile", pdf,
                            os.path.join(out, "printout")], check=True)
            print("picture of the printout's first page: " + os.path.join(out, "printout.png"))
        else:
            faults.append("the print service wrote no PDF")
    print(f"window under Wine: {len(faults)} faults")
    return faults


def columns_decoded(data):
    """Text as the window shows it: each column (up to a tab or a line feed, which go with it)
    read as UTF-8 where it is valid UTF-8, else as Latin-1."""
    text = ""
    for piece in re.findall(rb"[^\t\n]*[\t\n]?", data):
        try:
            text += piece.decode("utf-8")
        except UnicodeDecodeError:
            text += piece.decode("latin-1")
    return text


def check_clipboard(out, plain, wide, report, faults):
    """The plain text must be the report's bytes with CR LF and one CR LF more, the wide text
    those bytes as the list shows them."""
    names = [os.path.join(out, n) for n in (plain, wide, report)]
    if not all(os.path.exists(n) for n in names):
        faults.append(f"{plain}, {wide}: not written")
        return
    got, expected = read(names[0]), read(names[2]) + b"\r\n"
    if got != expected:
        faults.append(f"{plain}: not the report's lines with CR LF and one CR LF more")
    if read(names[1]).decode("utf-8") != columns_decoded(expected):
        faults.append(f"{wide}: not the report's text as the list shows it")
    print(f"clipboard: {plain} = the report's {len(expected)} bytes with CR LF; {wide} = the "
          f"same text in {len(columns_decoded(expected))} characters, each column UTF-8 or "
          "Latin-1")


def printed_lines(pdf):
    """The printed lines of every page of pdf, each a list of words (x, x end, text) from left to
    right, read back with pdftotext -bbox; and the size of the first page as it is shown."""
    xml = subprocess.run(["pdftotext", "-bbox", pdf, "-"], stdout=subprocess.PIPE,
                         check=True).stdout.decode()
    lines = []
    # The font's glyphs read back as characters equal to the report's (";" as U+037E), or as a
    # soft hyphen for "-".
    xml = unicodedata.normalize("NFKC", xml).replace("\u00ad", "-")
    for page in re.findall(r"<page .*?</page>", xml, re.S):
        rows = {}
        for x1, y, x2, text in re.findall(r'<word xMin="([\d.]+)" yMin="([\d.]+)" '
                                          r'xMax="([\d.]+)" yMax="[\d.]+">([^<]*)</word>', page):
            rows.setdefault(round(float(y)), []).append((float(x1), float(x2), html.unescape(text)))
        lines += [sorted(rows[y]) for y in sorted(rows)]
    # The page as it is shown: its size turned by its rotation.
    info = subprocess.run(["pdfinfo", pdf], stdout=subprocess.PIPE, check=True).stdout.decode()
    width, height = map(float, re.search(r"Page size:\s+([\d.]+) x ([\d.]+)", info).groups())
    rot = re.search(r"Page rot:\s+(\d+)", info)
    if rot and int(rot.group(1)) % 180 == 90:
        width, height = height, width
    return lines, width, height


def check_printout(pdf, report):
    """The printout shows the report as a text viewer does: a landscape page, the same words on
    the same lines, each column at one x on every line, the titles over their columns."""
    faults = []
    printed, width, height = printed_lines(pdf)
    print(f"printout: {pdf}, pages of {width:.0f} x {height:.0f} points, {len(printed)} lines")
    if width <= height:
        faults.append(f"printout.pdf: the page is {width} x {height}, not landscape")
    lines = [l for l in report.decode("latin-1").replace("\r", "").split("\n") if l.split()]
    if [[t for _, _, t in p] for p in printed] != [l.split() for l in lines]:
        return faults + ["printout.pdf: its words are not the report's, line by line"]
    # The font is fixed-pitch: one cell a character. Where a tab-separated column begins is its
    # first word's x less the cells before the word in the column.
    cell = min((x2 - x1) / len(t) for p in printed for x1, x2, t in p if len(t) > 3)
    starts, title = {}, []
    for n, (line, words) in enumerate(zip(lines, printed)):
        at = iter(words)
        for col, text in enumerate(line.split("\t")):
            for m in re.finditer(r"\S+", text):
                x = next(at)[0]
                if n == 0:
                    title.append((col, x, m.group()))
                else:
                    starts.setdefault(col, []).append(x - m.start() * cell)
    for col, xs in sorted(starts.items()):
        if max(xs) - min(xs) > cell / 4:
            faults.append(f"printout.pdf: column {col} begins anywhere from x {min(xs):.2f} to "
                          f"{max(xs):.2f}")
    begin = [min(starts[c]) for c in sorted(starts)] + [width]
    for col, x, text in title:
        if not begin[col] - cell / 4 <= x < begin[col + 1]:
            faults.append(f"printout.pdf: the title {text} at x {x:.2f} is not over its column")
    for n in (0, 1, 3):
        print(f"  line {n + 1}: " + "  ".join(f"{t}@{x1:.1f}" for x1, _, t in printed[n]))
    print("  columns begin at x " + ", ".join(f"{b:.1f}" for b in begin[:-1]) +
          f" on every line; a cell is {cell:.2f} points")
    return faults


# Descriptions in UTF-8 (C) and in Latin-1 (R), as the suite's 8-bit files may hold them.
TEXT_MAP = ("Discrete R Widerstand, Dickschicht, \xb11 %\n".encode("latin-1") +
            "Discrete C Kondensator 0,1 \u00b5F \u00b110 %\n".encode("utf-8") +
            b"Control TL072CP Dual JFET-input op-amp, low noise\n"
            b"Discrete 2N3904 NPN switching transistor, 40 V, 200 mA\n"
            b"Distributed CONN2 Two-way terminal block\n"
            b"Control 7805 Fixed 5 V linear regulator, 1 A\n")
FAILURE = "Out of memory: the command could not be completed."


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
        amp, maps = os.path.join(tmp, "amp"), os.path.join(tmp, "maps")
        shutil.copytree(os.path.join(source, "examples", "amp"), amp)
        os.makedirs(maps)
        with open(os.path.join(maps, "dra.txt"), "wb") as f:
            f.write(TEXT_MAP)
        host = os.path.join(build, "tests", "windows", "windowhost.exe")
        dll = os.path.join(build, "partlist", "partlist.dll")
        planted = os.path.join(build, "tests", "windows", "planted", "partlist.dll")
        p = subprocess.Popen(["wine", host, winpath(dll), winpath(planted),
                              winpath(os.path.join(amp, "top.sch")), winpath(maps), winpath(out)],
                             env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            stdout, stderr = p.communicate(timeout=240)
        except subprocess.TimeoutExpired:
            p.kill()
            stdout, stderr = p.communicate()
            faults.append("windowhost: did not end within 240 s")
        print(stdout.decode(errors="replace").strip())
        if p.returncode != 0:
            faults.append("windowhost: " + stderr.decode(errors="replace").strip())
    subprocess.run(["wineserver", "-w"], env=env, timeout=300)
    for name, want in (("rows1.txt", "rows1.txt"), ("rows2.txt", "rows2.txt"),
                       ("rows-planted.txt", "rows2.txt")):
        got = os.path.join(out, name)
        if not os.path.exists(got) or read(got) != read(os.path.join(expected, want)):
            faults.append(f"{name}: the list's rows differ from {want}")
    check_clipboard(out, "clipboard.txt", "clipboard-unicode.txt", "report.out", faults)
    check_clipboard(out, "clipboard-text.txt", "clipboard-text-unicode.txt", "report-text.out",
                    faults)
    rows = written(os.path.join(out, "rows-text.txt")).decode("utf-8", errors="replace")
    for text in ("Kondensator 0,1 \u00b5F \u00b110 %", "Widerstand, Dickschicht, \u00b11 %"):
        if text not in rows:
            faults.append(f"rows-text.txt: no row shows {text}")
    failures = written(os.path.join(out, "failures.txt")).decode(errors="replace").splitlines()
    print("planted failures said: " + " | ".join(failures))
    if failures != [FAILURE, FAILURE]:
        faults.append("failures.txt: not the two planted failures' messages")
    popup = written(os.path.join(out, "popup.txt")).decode().split()
    print("popup from the keyboard (x y), focused row (x y): " + " ".join(popup))
    if len(popup) != 6 or abs(int(popup[1]) - int(popup[4])) > 2 or \
            abs(int(popup[2]) - int(popup[5])) > 2:
        faults.append("popup.txt: the keyboard's popup menu is not at the focused row")
    bmp = os.path.join(out, "window.bmp")
    if os.path.exists(bmp):
        png(bmp, os.path.join(out, "window.png"))
        print("picture: " + os.path.join(out, "window.png"))
    else:
        faults.append("no picture of the window")
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
