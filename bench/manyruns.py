#!/usr/bin/env python3
"""manyruns - many runs of the run entry in one process, as the window makes them.

Loads libpartlist.so into this process and calls its run entry (partlist_main) RUNS times on a
copy of the shipped example, then RUNS times on a copy whose sheet "stage.sch" is cut in half (a
run that ends on a fatal error), printing the process's resident and peak memory and its open
descriptors as it goes. Both must stay flat: a run may keep nothing of the runs before it.

    bench/manyruns.py [BUILD_DIR] [RUNS]     (defaults: build/release, 10000)
"""
import ctypes
import os
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE = os.path.join(HERE, "..", "examples", "amp")


def status_kb(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return -1


def openfds():
    return len(os.listdir("/proc/self/fd"))


def runs(lib, folder, count, want_ok, label):
    os.chdir(folder)
    args = [b"partlist", b"-p", b".", b"top.sch"]
    argv = (ctypes.c_char_p * (len(args) + 1))(*args, None)
    print(f"{label}:")
    print(f"{'runs':>8} {'status':>7} {'rss MB':>8} {'peak MB':>8} {'fds':>5}")
    for i in range(1, count + 1):
        status = lib.partlist_main(len(args), argv)
        if (status >= 0) != want_ok:
            sys.exit(f"run {i} in {folder}: unexpected status {status}")
        if i in (1, 10, 100) or i % (count // 10 or 1) == 0:
            print(f"{i:>8} {status:>7} {status_kb('VmRSS') / 1000:>8.1f} "
                  f"{status_kb('VmHWM') / 1000:>8.1f} {openfds():>5}")


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/release")
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
    lib = ctypes.CDLL(os.path.join(build, "partlist", "libpartlist.so"))
    lib.partlist_main.argtypes = [ctypes.c_int, ctypes.POINTER(ctypes.c_char_p)]
    lib.partlist_main.restype = ctypes.c_int
    work = tempfile.mkdtemp(prefix="manyruns")
    try:
        good = os.path.join(work, "good")
        bad = os.path.join(work, "bad")
        shutil.copytree(EXAMPLE, good)
        shutil.copytree(EXAMPLE, bad)
        with open(os.path.join(bad, "stage.sch"), "r+b") as f:
            size = os.path.getsize(f.name)
            f.truncate(size // 2)
        os.environ["VANTRELL_REGISTRY"] = os.path.join(work, "registry.ini")
        os.environ["XDG_CONFIG_HOME"] = work
        lib.SetPropertyLength(b"40")
        lib.initializeMap(os.path.join(good, "dra.txt").encode())
        runs(lib, good, count, True, "the shipped example")
        runs(lib, bad, count, False, "the example with stage.sch cut in half (fatal error)")
    finally:
        os.chdir(HERE)
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
