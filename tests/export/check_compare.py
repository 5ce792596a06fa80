#!/usr/bin/env python3
"""End-to-end checks of the command's comparison of two part lists (--compare).

usage: check_compare.py PARTLIST GENDESIGN SOURCE_DIR

Revisions of the shipped example made here, compared with the example as text, CSV and JSON; the
changes of generated design pairs applied to the old totals must give the new totals; and files
that are no export of a readable format are refused.
"""
import csv
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


def run(cwd, *args):
    return subprocess.run([PARTLIST, *args], cwd=cwd, capture_output=True, timeout=120)


def export(design, name, *args):
    r = run(design, '--json', name, *args, '-p', '.', 'top.sch')
    check(r.returncode == 0, f'{design}: export exit {r.returncode}: {r.stderr!r}')
    return os.path.join(design, name)


def edit(folder, name, old, new):
    path = os.path.join(folder, name)
    data = open(path, 'rb').read()
    check(old in data, f'{name}: no {old!r} to edit')
    open(path, 'wb').write(data.replace(old, new, 1))


# Each revision of the example and the text of its changes, read by hand once.
REVISIONS = {
    'value': (('top.sch', b'p 220 280 1 0 1 value:10k', b'p 220 280 1 0 1 value:22k'),
              ['changed   R 10k;0805; [Discrete]  6 -> 5',
               'changed   R 22k;0805; [Discrete]  3 -> 4',
               '          moved in R2 from R 10k;0805; [Discrete]']),
    'part in a sheet placed three times': (
        ('filter.sch', b'use C 300 140', b'use R 300 120 1 0 R3 0\np 300 119 1 0 0 symid:5\n'
                                         b'p 300 118 1 0 1 value:1k\n'
                                         b'p 300 117 1 0 1 package:0805\nuse C 300 140'),
        ['added     R 1k;0805; [Discrete]  0 -> 3',
         '          came F1/R3 F2/R3 S1/F3/R3']),
    'a sheet placed once more': (
        ('top.sch', b'use stage ', b'use filter 250 100 1 0 F4 0\np 250 90 1 0 0 symid:55\n'
                                   b'use stage '),
        ['changed   C 100n;X7R; [Discrete]  5 -> 6', '          came F4/C1',
         'changed   C 10n;C0G; [Discrete]  3 -> 4', '          came F4/C2',
         'changed   R 10k;0805; [Discrete]  6 -> 7', '          came F4/R1',
         'changed   R 22k;0805; [Discrete]  3 -> 4', '          came F4/R2']),
    'renumbered': (('top.sch', b'use R 220 300 1 0 R2 0', b'use R 220 300 1 0 R12 0'),
                   ['changed   R 10k;0805; [Discrete]  6 -> 6', '          came R12',
                    '          went R2']),
    'description': (('dra.txt', b'Capacitor, ceramic multilayer', b'Capacitor, MLCC'),
                    [line for c in ('100n;X7R;', '10n;C0G;', '10u;16V;', '470u;25V;')
                     for line in (f'described C {c} [Discrete]',
                                  '          description "Capacitor, ceramic multilayer" -> '
                                  '"Capacitor, MLCC"')]),
}


def check_revisions(tmp):
    base = os.path.join(tmp, 'base')
    shutil.copytree(os.path.join(SOURCE, 'examples', 'amp'), base)
    old = export(base, 'old.json', '--map', 'dra.txt')
    same = run(base, '--compare', old, old)
    check(same.returncode == 0 and same.stdout.decode().endswith(': no changes\n'),
          f'the example against itself: {same.returncode} {same.stdout!r} {same.stderr!r}')
    for what, ((name, before, after), lines) in REVISIONS.items():
        rev = os.path.join(tmp, what.replace(' ', '_'))
        shutil.copytree(base, rev)
        edit(rev, name, before, after)
        new = export(rev, 'new.json', '--map', 'dra.txt')
        text = run(rev, '--compare', old, new)
        got = text.stdout.decode().splitlines()
        check(text.returncode == 0 and got[1:] == lines,
              f'{what}: exit {text.returncode}, changes {got} {text.stderr!r}')
        # The same changes from the design itself, and as CSV and JSON.
        direct = run(rev, '--compare', old, '--map', 'dra.txt', '-p', '.', 'top.sch')
        check(direct.returncode == 0 and direct.stdout.decode().splitlines()[1:] == lines,
              f'{what}: against the design: {direct.stdout!r} {direct.stderr!r}')
        rows = list(csv.reader(io.StringIO(run(rev, '--compare', old, '--changes', 'csv', new)
                                           .stdout.decode(), newline='')))
        doc = json.loads(run(rev, '--compare', old, '--changes', 'json', new).stdout)
        kinds = [c['change'] for c in doc['changes']]
        check([r[0] for r in rows[1:]] == kinds and rows[0][:4] == ['change', 'category', 'name',
                                                                  'property'],
              f'{what}: CSV rows {rows} against JSON changes {kinds}')
        check(apply(json.load(open(old)), doc) == totals(json.load(open(new))),
              f'{what}: the JSON changes applied to the old totals are not the new ones')


def totals(doc):
    return {(t['category'], t['name'], t['property']): (t['description'], t['references'])
            for t in doc['totals']}


def apply(olddoc, changes):
    """The old totals with the changes made: references as sets while they are moved."""
    groups = {k: [d, set(refs)] for k, (d, refs) in totals(olddoc).items()}
    key = lambda c: (c['category'], c['name'], c['property'])
    for c in changes['changes']:
        if c['change'] == 'added':
            groups[key(c)] = [c['description'], set()]
    for c in changes['changes']:
        g = groups.get(key(c))
        if c['change'] == 'moved':
            groups[key(c['from'])][1].remove(c['reference'])
            g[1].add(c['reference'])
        elif c['change'] == 'described':
            g[0] = c['new_description']
        else:
            g[1] -= set(c['went'])
            g[1] |= set(c['came'])
            if 'description' in c:
                g[0] = c['description']
    return {k: (d, sorted(refs, key=natural)) for k, (d, refs) in groups.items() if refs}


def natural(ref):
    """The export's order of references: instance by instance, digit runs by value."""
    return [[int(t) if i % 2 else t for i, t in enumerate(re.split(r'(\d+)', c))]
            for c in ref.split('/')]


def check_generated(tmp):
    """Pairs of generated designs: the changes of one to the other, applied, give the other."""
    pairs = [('--sheets 12 --fanout 3 --parts 15 --distinct 6 --values 4',
              '--sheets 12 --fanout 3 --parts 15 --distinct 6 --values 5'),
             ('--sheets 20 --depth 2 --shared 3 --parts 12 --distinct 9 --values 3 --props 2',
              '--sheets 24 --depth 2 --shared 3 --parts 10 --distinct 9 --values 3 --props 2'),
             ('--sheets 9 --fanout 2 --placements 3 --parts 20 --distinct 5 --values 2',
              '--sheets 9 --fanout 2 --placements 2 --parts 20 --distinct 5 --values 2')]
    count = 0
    for i, (a, b) in enumerate(pairs):
        files = []
        for j, opts in enumerate((a, b)):
            design = os.path.join(tmp, f'gen{i}{j}')
            os.mkdir(design)
            subprocess.run([GENDESIGN, *opts.split(), design], check=True, capture_output=True)
            files.append(export(design, 'x.json'))
        for old, new in (files, files[::-1], (files[0], files[0])):
            r = run(tmp, '--compare', old, '--changes', 'json', new)
            doc = json.loads(r.stdout) if r.returncode == 0 else {'changes': []}
            check(r.returncode == 0 and
                  apply(json.load(open(old)), doc) == totals(json.load(open(new))),
                  f'generated {a} / {b}: the changes do not lead from one to the other')
            check(old != new or doc['changes'] == [], f'generated {a}: changes against itself')
            count += 1
    print(f'check_generated: {count} comparisons applied')


def check_refused(tmp):
    good = export(shutil.copytree(os.path.join(SOURCE, 'examples', 'amp'),
                                  os.path.join(tmp, 'refused')), 'good.json')
    data = open(good, 'rb').read()
    bad = {'truncated.json': (data[:len(data) // 2], 'not a JSON document'),
           'other.json': (b'{"sheets": [], "totals": []}', 'not a part-list export'),
           'newer.json': (data.replace(b'"partlist_export": 1', b'"partlist_export": 9'),
                          'export format 9; this partlist reads format 1 and older'),
           'empty.json': (b'', 'empty file'),
           'quantity.json': (data.replace(b'"quantity": 5', b'"quantity": 4', 1),
                             "a quantity other than its references' count")}
    for name, (content, why) in bad.items():
        path = os.path.join(tmp, name)
        open(path, 'wb').write(content)
        before = sorted(os.listdir(tmp))
        for args in ((path, good), (good, path)):
            r = run(tmp, '--compare', *args)
            check(r.returncode == 5 and not r.stdout and f'{name}: '.encode() in r.stderr and
                  why.encode() in r.stderr and sorted(os.listdir(tmp)) == before,
                  f'{name}: exit {r.returncode}, {r.stdout[:80]!r}, {r.stderr!r}')
    # Against a design, the export is read first: nothing of the run is written.
    design = os.path.dirname(good)
    for f in ('top.out', 'top.log'):
        os.remove(os.path.join(design, f))
    r = run(design, '--compare', os.path.join(tmp, 'other.json'), '-p', '.', 'top.sch')
    check(r.returncode == 5 and not os.path.exists(os.path.join(design, 'top.log')),
          f'a bad export before a run: exit {r.returncode}, {r.stderr!r}')
    r = run(tmp, '--compare', good, '--changes', 'xml', good)
    check(r.returncode == 2, f'--changes xml: exit {r.returncode}')


def main():
    global PARTLIST, GENDESIGN, SOURCE
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    PARTLIST, GENDESIGN, SOURCE = (os.path.abspath(a) for a in sys.argv[1:])
    tmp = tempfile.mkdtemp(prefix='check_compare.')
    try:
        for group in (check_revisions, check_generated, check_refused):
            before = len(failures)
            try:
                group(tmp)
            except Exception as e:  # a crash of a check is a failure of its group
                failures.append(f'{group.__name__}: {type(e).__name__}: {e}')
            print(f"{group.__name__}: {'ok' if len(failures) == before else 'FAILED'}")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    for f in failures[:40]:
        print('FAIL ' + f, file=sys.stderr)
    sys.exit(1 if failures else 0)


if __name__ == '__main__':
    main()
