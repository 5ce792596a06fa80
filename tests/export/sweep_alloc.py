#!/usr/bin/env python3
"""Runs the command on the shipped example once for every allocation it makes, with that one
allocation failing, with and without helper threads.

usage: sweep_alloc.py PARTLIST FAILALLOC_SHIM SOURCE_DIR

Every run must end cleanly: no signal, no std::terminate, a non-zero exit only with a word on
standard error, no temporary file left behind, the design's files untouched, and each file
written either whole and equal to that of a run with memory to spare, or absent.
"""
import collections
import concurrent.futures
import os
import shutil
import signal
import subprocess
import sys
import tempfile

ARGS = ['--map', 'dra.txt', '--csv', 'a.csv', '--json', 'a.json', '-p', '.', 'top.sch']
OUTPUTS = ('top.out', 'top.log', 'a.csv', 'a.json')
MODES = {'threads': {}, 'no threads': {'PARTLIST_THREADS': '0'}}
TIMEOUT = 20  # a run takes some 30 ms: anything near this is a hang


def files(folder):
    return {f: open(os.path.join(folder, f), 'rb').read() for f in os.listdir(folder)}


def workdir(tmp, mode, n):
    """Where a run works: paths of one length, as a longer one may cost an allocation more and
    shift the numbers of those after it."""
    return os.path.join(tmp, mode[0], f'{n:06d}')


def run(pristine, folder, env):
    """Runs the command in a fresh copy of the design: (exit code, stderr, files after)."""
    shutil.copytree(pristine, folder)
    try:
        r = subprocess.run([PARTLIST, *ARGS], cwd=folder, capture_output=True, timeout=TIMEOUT,
                           env=dict(os.environ, LD_PRELOAD=SHIM, **env))
        return r.returncode, r.stderr, files(folder)
    except subprocess.TimeoutExpired:
        return None, b'', files(folder)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def symptoms(rc, err, after, design, ref):
    """What is wrong with the end of a run, in short names that group alike runs."""
    if rc is None:
        return [f'no end within {TIMEOUT} s']
    found = []
    if b'terminate called' in err:
        found.append('std::terminate')
    elif rc < 0:
        found.append(f'killed by {signal.Signals(-rc).name}')
    elif rc != 0 and not err.strip():
        found.append(f'exit {rc} without a message')
    if set(after) - set(design) - set(OUTPUTS):
        found.append('file left behind')
    found += [f'{f} changed' for f in design if after.get(f) != design[f]]
    found += [f'{f} not as with memory to spare' for f in ('a.csv', 'a.json')
              if f in after and after[f] != ref[f]]
    # A run that ended normally (exit 3: only an export failed) has its whole report; exit 0
    # promises every export as well.
    if rc in (0, 3) and after.get('top.out') != ref['top.out']:
        found.append(f'report not as with memory to spare after exit {rc}')
    if rc == 0 and not all(f in after for f in OUTPUTS):
        found.append('exit 0 with a file missing')
    return found


def spans(numbers):
    """1, 2, 3, 7 as '1-3,7'."""
    runs = []
    for n in numbers:
        if runs and runs[-1][1] == n - 1:
            runs[-1][1] = n
        else:
            runs.append([n, n])
    return ','.join(str(a) if a == b else f'{a}-{b}' for a, b in runs)


def flush_failure(pristine, tmp):
    """Files whose data cannot be flushed to the disk replace nothing: the run fails (its report
    cannot be put in place) and every old file stays, with nothing left beside it."""
    folder = workdir(tmp, 'sync', 0)
    shutil.copytree(pristine, folder)
    old = {f: b'old ' + f.encode() for f in OUTPUTS if f != 'top.log'}
    for f, data in old.items():
        open(os.path.join(folder, f), 'wb').write(data)
    r = subprocess.run([PARTLIST, *ARGS], cwd=folder, capture_output=True, timeout=TIMEOUT,
                       env=dict(os.environ, LD_PRELOAD=SHIM, PARTLIST_FAILSYNC='1'))
    after = files(folder)
    log = after.get('top.log', b'')
    left = sorted(set(after) - set(files(pristine)) - set(OUTPUTS))
    shutil.rmtree(folder, ignore_errors=True)
    ok = (r.returncode == 1 and b'Error writing output file top.out' in log and not left and
          all(after.get(f) == data for f, data in old.items()))
    print(f"flush failure: {'ok' if ok else 'FAIL'} (exit {r.returncode}, left {left})")
    return ok


def main():
    global PARTLIST, SHIM
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    PARTLIST, SHIM, source = (os.path.abspath(a) for a in sys.argv[1:])
    tmp = tempfile.mkdtemp(prefix='sweep_alloc.')
    try:
        pristine = os.path.join(tmp, 'pristine')
        shutil.copytree(os.path.join(source, 'examples', 'amp'), pristine,
                        copy_function=shutil.copyfile)
        design = files(pristine)
        counts, refs = {}, {}
        for mode, env in MODES.items():
            countfile = os.path.join(tmp, 'count')
            rc, err, refs[mode] = run(pristine, workdir(tmp, mode, 0),
                                      dict(env, PARTLIST_FAILALLOC_COUNT=countfile))
            if rc != 0 or not all(f in refs[mode] for f in OUTPUTS):
                sys.exit(f'{mode}: the run with memory to spare fails: exit {rc}, {err!r}')
            if not os.path.exists(countfile):
                sys.exit(f'{SHIM} counted nothing: it is not loaded, or not the shim')
            counts[mode] = int(open(countfile).read())
        ref = refs['threads']
        if any(refs['no threads'][f] != ref[f] for f in ('top.out', 'a.csv', 'a.json')):
            sys.exit('the files differ without helper threads')

        def one(mode, n):
            return run(pristine, workdir(tmp, mode, n),
                       dict(MODES[mode], PARTLIST_FAILALLOC=str(n)))

        failed = collections.defaultdict(list)  # symptom: (mode, N, what the run did)
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            jobs = {(mode, n): pool.submit(one, mode, n)
                    for mode in MODES for n in range(1, counts[mode] + 1)}
            for (mode, n), job in jobs.items():
                rc, err, after = job.result()
                line = next((l for l in err.decode(errors='replace').splitlines() if l.strip()), '')
                left = sorted(set(after) - set(design) - set(OUTPUTS))
                for kind in symptoms(rc, err, after, design, ref):
                    failed[kind].append((mode, n, f'exit {rc}' + (f', left {left}' if left else '')
                                         + (f': {line}' if line else '')))
        synced = flush_failure(pristine, tmp)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    bad = {(mode, n) for cases in failed.values() for mode, n, _ in cases}
    print(f"allocations: {counts['threads']} with helper threads, {counts['no threads']} without;"
          f' {len(jobs)} runs, {len(jobs) - len(bad)} clean')
    for kind, cases in sorted(failed.items(), key=lambda k: -len(k[1])):
        where = '; '.join(f'{mode} N={spans([n for m, n, _ in cases if m == mode])}'
                          for mode in MODES if any(m == mode for m, _, _ in cases))
        print(f'FAIL {kind}: {len(cases)} runs ({where}), e.g.')
        for mode, n, what in cases[:4]:
            print(f'    {mode} N={n} {what}')
    sys.exit(1 if failed or not synced else 0)


if __name__ == '__main__':
    main()
