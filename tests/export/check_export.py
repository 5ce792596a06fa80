#!/usr/bin/env python3
"""End-to-end checks of the command's CSV and JSON export.

usage: check_export.py PARTLIST GENDESIGN SOURCE_DIR

Runs the command on the shipped example and on generated designs in a private temporary folder
and reads what it writes back with Python's own readers: the report and log must not change, the
CSV and the JSON must agree, the totals must be what the per-sheet rows add up to when the
hierarchy is walked from the top, and failures must leave no file behind. The example's CSV and
JSON must be byte for byte those of expected/, and the command's own options and exit codes those
of the README.
"""
import collections
import csv
import io
import json
import os
import re
import resource
import shutil
import signal
import stat
import subprocess
import sys
import tempfile

HEADER = ['sheet', 'category', 'name', 'property', 'description', 'quantity', 'references',
          'kind', 'missing']
HEADER_LINE = ','.join(HEADER).encode() + b'\r\n'
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


def run(cwd, *args, preexec=None, env=None):
    return subprocess.run([PARTLIST, *args], cwd=cwd, capture_output=True, timeout=60,
                          preexec_fn=preexec, env=env)


def copy(src, tmp, name):
    """A writable copy of a design folder of the sources."""
    dest = os.path.join(tmp, name)
    shutil.copytree(os.path.join(SOURCE, src), dest, copy_function=shutil.copyfile)
    os.chmod(dest, 0o755)
    return dest


def text(raw):
    """A text of the design as the export must give it: UTF-8 when valid, else Latin-1."""
    try:
        return raw.decode('utf-8')
    except UnicodeDecodeError:
        return raw.decode('latin-1')


def natkey(path):
    """Natural order: instance by instance, digit runs by value."""
    return [[int(t) if i % 2 else t for i, t in enumerate(re.split(r'(\d+)', c))]
            for c in path.split('/')]


def natural(refs):
    return refs == sorted(refs, key=natkey)


def read_csv(ctx, path):
    data = open(path, 'rb').read()
    check(not data.startswith(b'\xef\xbb\xbf'), f'{ctx}: CSV starts with a BOM')
    check(data.endswith(b'\r\n') and data.count(b'\n') == data.count(b'\r\n'),
          f'{ctx}: CSV lines do not all end in CRLF')
    rows = list(csv.reader(io.StringIO(data.decode('utf-8'), newline='')))
    check(rows[:1] == [HEADER], f'{ctx}: CSV header is {rows[:1]}')
    return rows[1:]


def json_as_csv(ctx, doc, mapped):
    """The rows the CSV must hold, made from the JSON document."""
    def part(sheet, p, kind):
        check(('missing' in p) == mapped,
              f'{ctx}: JSON "missing" present={"missing" in p} with map={mapped}: {p}')
        missing = ('yes' if p['missing'] else 'no') if mapped else ''
        return [sheet, p['category'], p['name'], p['property'], p['description'],
                str(p['quantity']), ' '.join(p['references']), kind, missing]
    rows = []
    for s in doc['sheets']:
        rows += [part(s['sheet'], p, 'part') for p in s['parts']]
        rows += [[s['sheet'], '', b['name'], '', '', str(b['quantity']),
                  ' '.join(b['references']), 'block', ''] for b in s['blocks']]
    return rows + [part('', t, 'total') for t in doc['totals']]


def check_totals(ctx, doc):
    """Walks the placements from the top with the per-sheet rows alone and holds the totals
    against what that walk meets."""
    sheets = {s['sheet']: s for s in doc['sheets']}
    check(len(sheets) == len(doc['sheets']), f'{ctx}: a sheet is listed twice')
    bystem = {os.path.splitext(name)[0]: name for name in sheets}
    visits = collections.Counter()
    expected = collections.defaultdict(list)
    per_sheet = collections.Counter()

    def walk(name, prefix, depth):
        check(depth < 64, f'{ctx}: placements of {name} nest too deep')
        if depth >= 64:
            return
        visits[name] += 1
        for p in sheets[name]['parts']:
            expected[(p['name'], p['property'])] += [prefix + r for r in p['references']]
        for b in sheets[name]['blocks']:
            sub = bystem.get(os.path.splitext(b['name'])[0])
            for r in b['references'] if sub else []:
                walk(sub, prefix + r + '/', depth + 1)

    walk(doc['sheets'][0]['sheet'], '', 0)
    for s in doc['sheets']:
        check(visits[s['sheet']] == s['placements'],
              f"{ctx}: {s['sheet']} has placements {s['placements']}, "
              f"placed {visits[s['sheet']]} times from the top")
        for kind in ('parts', 'blocks'):
            for r in s[kind]:
                refs = r['references']
                check(r['quantity'] == len(refs) * s['placements'],
                      f"{ctx}: {s['sheet']} {r['name']} {r.get('property', '')}: quantity "
                      f"{r['quantity']} != {len(refs)} references x {s['placements']} placements")
                check(natural(refs) and len(set(refs)) == len(refs),
                      f"{ctx}: {s['sheet']} {r['name']}: references not unique in natural "
                      f"order: {refs}")
                if kind == 'parts':
                    per_sheet[(r['name'], r['property'])] += r['quantity']
    totals = {}
    for t in doc['totals']:
        key = (t['name'], t['property'])
        check(key not in totals, f'{ctx}: two totals for {key}')
        totals[key] = t
        refs = t['references']
        check(t['quantity'] == len(refs) == per_sheet[key],
              f"{ctx}: total {key}: quantity {t['quantity']}, {len(refs)} references, "
              f"sheets add up to {per_sheet[key]}")
        check(natural(refs), f'{ctx}: total {key}: references not in natural order: {refs}')
        check(sorted(refs) == sorted(expected[key]),
              f'{ctx}: total {key}: references {refs}, the placements give '
              f'{sorted(expected[key], key=natkey)}')
    check(set(totals) == {k for k, v in expected.items() if v},
          f'{ctx}: totals for {sorted(totals)}, parts placed for '
          f'{sorted(k for k, v in expected.items() if v)}')
    every = [r for t in doc['totals'] for r in t['references']]
    check(len(every) == len(set(every)),
          f'{ctx}: a reference is given twice: '
          f'{[r for r, n in collections.Counter(every).items() if n > 1][:5]}')


def check_report(ctx, report, doc):
    """The sheets and their lines in the report are the sheets and rows of the export, in the
    same order: each sheet's groups, then its sub-sheets."""
    listed = collections.OrderedDict()
    sheet = None
    for line in (text(l) for l in report.split(b'\n')):
        if line.startswith('SCHEMATIC') and '\tNAME' in line:
            continue
        if re.match(r' {18}\t', line):
            f = line.split('\t')
            listed[sheet].append((f[1].strip(), f[2].strip(), int(f[4])))
        elif line and not line[0].isspace():
            sheet = line.strip()
            listed[sheet] = []
    check(list(listed) == [s['sheet'] for s in doc['sheets']],
          f'{ctx}: report lists sheets {list(listed)}, the export '
          f'{[s["sheet"] for s in doc["sheets"]]}')
    for s in doc['sheets']:
        rows = [(p['name'], p['property'], p['quantity']) for p in s['parts']]
        rows += [(b['name'], '', b['quantity']) for b in s['blocks']]
        check(listed.get(s['sheet'], []) == rows,
              f"{ctx}: {s['sheet']}: report lines {listed.get(s['sheet'])}, export {rows}")


def export(ctx, design, mapfile=None):
    """Runs a design without and with the export; checks everything that holds for any design
    and returns the CSV rows and the JSON document."""
    args = (['--map', mapfile] if mapfile else []) + ['-p', '.', 'top.sch']
    plain = run(design, *args)
    check(plain.returncode == 0, f'{ctx}: exit {plain.returncode}: {plain.stderr!r}')
    before = [open(os.path.join(design, f), 'rb').read() for f in ('top.out', 'top.log')]
    done = run(design, '--csv', 'a.csv', '--json', 'a.json', *args)
    if not check(done.returncode == 0, f'{ctx}: with export, exit {done.returncode}: '
                                       f'{done.stderr!r}'):
        return [], {'sheets': [], 'totals': []}
    after = [open(os.path.join(design, f), 'rb').read() for f in ('top.out', 'top.log')]
    check(after[0] == before[0], f'{ctx}: the report changes with --csv/--json')
    check(after[1] == before[1], f'{ctx}: the log changes with --csv/--json')
    check(done.stderr == plain.stderr, f'{ctx}: stderr changes with --csv/--json: '
                                       f'{plain.stderr!r} / {done.stderr!r}')
    rows = read_csv(ctx, os.path.join(design, 'a.csv'))
    doc = json.loads(open(os.path.join(design, 'a.json'), 'rb').read().decode('utf-8'))
    mirrored = json_as_csv(ctx, doc, mapfile is not None)
    at = next((i for i, (a, b) in enumerate(zip(rows, mirrored)) if a != b),
              min(len(rows), len(mirrored)))
    check(rows == mirrored, f'{ctx}: CSV and JSON differ at CSV line {at + 2}: '
                            f'{rows[at:at + 1]} / {mirrored[at:at + 1]}')
    check_totals(ctx, doc)
    check_report(ctx, after[0], doc)
    # Without helper threads the run's thread builds the references alone, in two halves.
    alone = run(design, '--csv', 'b.csv', '--json', 'b.json', *args,
                env=dict(os.environ, PARTLIST_THREADS='0'))
    check(alone.returncode == 0 and all(
        open(os.path.join(design, a), 'rb').read() == open(os.path.join(design, b), 'rb').read()
        for a, b in (('a.csv', 'b.csv'), ('a.json', 'b.json'))),
          f'{ctx}: the export differs without helper threads')
    return rows, doc


def check_expected(ctx, path, name):
    """A file the command wrote, byte for byte as tests/export/expected/NAME."""
    if not check(os.path.exists(path), f'{ctx}: {path} was not written'):
        return False
    # The tool's version is the build's, not the export's: expected/ says VERSION.
    got = re.sub(rb'^(  "tool": "partlist )[^"]*"', rb'\1VERSION"', open(path, 'rb').read(),
                 flags=re.M).splitlines(keepends=True)
    want = open(os.path.join(SOURCE, 'tests', 'export', 'expected', name), 'rb').read()
    want = want.splitlines(keepends=True)
    at = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
    return check(got == want, f'{ctx}: {path} differs from expected/{name} at line {at + 1}: '
                              f'{got[at:at + 1]} / {want[at:at + 1]}')


def total(doc, name, prop):
    return next((t for t in doc['totals'] if (t['name'], t['property']) == (name, prop)), None)


def check_designs(tmp):
    amp = copy('examples/amp', tmp, 'amp')
    rows, doc = export('example', amp, 'dra.txt')
    check_expected('example', os.path.join(amp, 'a.csv'), 'amp.csv')
    check_expected('example', os.path.join(amp, 'a.json'), 'amp.json')
    c = total(doc, 'C', '100n;X7R;')
    check(c is not None and c['quantity'] == 5 and c['category'] == 'Discrete' and
          c['references'] == ['C1', 'F1/C1', 'F2/C1', 'P1/psu_reg#1/C1', 'S1/F3/C1'],
          f'example: total of C 100n;X7R; is {c}')
    r = total(doc, 'R', '10k;0805;')
    check(r is not None and
          r['references'] == ['F1/R1', 'F2/R1', 'R1', 'R2', 'S1/F3/R1', 'S1/R2'],
          f'example: total of R 10k;0805; is {r}')
    check(total(doc, 'R', '4k7;0805;') is None, 'example: the inactive R3 is in the totals')
    check(['top.sch', '', 'psu.dsn', '', '', '1', 'P1', 'block', ''] in rows and
          ['psu.sch', '', 'psu_in.sch', '', '', '1', 'psu_in#0', 'block', ''] in rows,
          'example: the rows of the supply design and its pages are not as expected')
    check(['filter.sch', 3] in [[s['sheet'], s['placements']] for s in doc['sheets']],
          'example: filter.sch is not listed with 3 placements')
    check(all(row[8] == 'no' for row in rows if row[7] != 'block'),
          'example: a part is missing from dra.txt')
    shapes = {
        'tree': '--sheets 30 --fanout 3 --parts 20 --distinct 8 --values 5',
        'levels': '--sheets 39 --depth 3 --shared 4 --parts 12 --distinct 10 --values 4 '
                  '--props 2 --unwired',
        'drawn': '--sheets 12 --fanout 3 --placements 3 --parts 15 --distinct 30 --values 12 '
                 '--props 3 --crlf --drawing',
    }
    for name, opts in shapes.items():
        design = os.path.join(tmp, name)
        os.mkdir(design)
        subprocess.run([GENDESIGN, *opts.split(), design], check=True, capture_output=True)
        export(f'generated {name}', design)


def check_texts(tmp):
    """Commas, quotes, semicolons and 8-bit bytes in names, values, instances and the map."""
    odd = copy('examples/amp', tmp, 'odd')

    def edit(name, change):
        path = os.path.join(odd, name)
        data = open(path, 'rb').read() if os.path.exists(path) else b''
        open(path, 'wb').write(change(data))

    def use(inst, x):
        return (b'use W %d 300 1 0 %s 0\np %d 290 1 0 0 symid:%d\np %d 280 1 0 1 value:1,"2;\xb5k\n'
                b'p %d 270 1 0 1 package:0805\n' % (x, inst, x, x, x, x))
    edit('W.sym', lambda _: open(os.path.join(odd, 'R.sym'), 'rb').read().replace(
        b'primitive:R', b'primitive:Q,"x;\xb5z'))
    # Plain instance names on either side of the lengths a reference keeps in itself (7) and
    # copies at a stride (16, 32).
    lengths = [7, 8, 16, 17, 33]
    plain = [('N%d' % n).ljust(n, 'x').encode() for n in lengths]
    edit('V.sym', lambda _: open(os.path.join(odd, 'R.sym'), 'rb').read().replace(
        b'primitive:R', b'primitive:PLAIN'))
    edit('top.sch', lambda d: d + use(b'W1', 700) + use(b'LONGINSTANCENAME12', 720) +
         b'use filter 800 100 1 0 F10,"\xb5 0\np 800 90 1 0 0 symid:99\n' +
         b''.join(b'use V %d 400 1 0 %s 0\np %d 390 1 0 0 symid:%d\np %d 380 1 0 1 value:1k\n'
                  % (900 + 10 * i, inst, 900 + 10 * i, 900 + 10 * i, 900 + 10 * i)
                  for i, inst in enumerate(plain)))
    edit('filter.sch', lambda d: d + use(b'W_LONGER_THAN_11', 700))
    # Quotes and backslashes with a comma beside them and without, instance names that begin one
    # another; the map gives TL072CP a category and a name but no description.
    edit('top.sch', lambda d: d + b''.join(
        b'use R %d 500 1 0 %s 0\np %d 490 1 0 0 symid:%d\np %d 480 1 0 1 value:%s\n'
        b'p %d 470 1 0 1 package:0805\n' % (x, inst, x, x, x, value, x)
        for x, inst, value in ((600, b'R10', b'10k'), (610, b'R1A', b'10k'),
                               (620, b'B\\1', b'1\\2'), (630, b'B"2', b'3"4\\'),
                               (640, b'B,\\3', b'5\\,6'))))
    edit('map.txt', lambda _: open(os.path.join(odd, 'dra.txt'), 'rb').read().replace(
        b'terminal block', b'terminal block, 5 mm \xc2\xb1 0.1').replace(
        b'TL072CP Dual JFET-input op-amp, low noise', b'TL072CP') +
        b'Discrete Q,"x;\xb5z Odd "part", with \xb5\n')
    rows, doc = export('odd texts', odd, 'map.txt')
    name, prop, descr = 'Q,"x;\u00b5z', '1,"2;\u00b5k;0805;', 'Odd "part", with \u00b5'
    refs = ['F1/W_LONGER_THAN_11', 'F2/W_LONGER_THAN_11', 'F10,"\u00b5/W_LONGER_THAN_11',
            'LONGINSTANCENAME12', 'S1/F3/W_LONGER_THAN_11', 'W1']
    check(['', 'Discrete', name, prop, descr, '6', ' '.join(refs), 'total', 'no'] in rows,
          f'odd texts: no CSV total {name} {prop} with {refs}')
    t = total(doc, name, prop)
    check(t is not None and t['description'] == descr and t['references'] == refs,
          f'odd texts: JSON total of {name} {prop} is {t}')
    check(['top.sch', '', 'filter.sch', '', '', '3', 'F1 F2 F10,"\u00b5', 'block', ''] in rows,
          'odd texts: the filter blocks of top.sch are not F1 F2 F10,"\u00b5')
    p = total(doc, 'PLAIN', '1k;')
    names = [n.decode() for n in plain]
    check(p is not None and sorted(p['references']) == sorted(names) and natural(p['references'])
          and [r for r in rows if r[2:4] == ['PLAIN', '1k;'] and r[7] == 'total'] ==
          [['', '', 'PLAIN', '1k;', '', '5', ' '.join(p['references']), 'total', 'yes']],
          f'odd texts: plain references of {lengths} characters come back as {p}')
    conn = total(doc, 'CONN2', '2.54mm;')
    check(conn is not None and conn['description'] == 'Two-way terminal block, 5 mm \u00b1 0.1',
          f'odd texts: a UTF-8 description does not come back as it is: {conn}')
    # The exact bytes: RFC 4180 quoting in the CSV (a backslash alone is no reason to quote),
    # escapes in the JSON, the rows in natural order of their instances.
    res = '"Resistor, thick film, 1%, 0.1 W"'
    rrows = (('10k;0805;', 4, 'R1 R1A R2 R10', '"10k;0805;"', '"R1", "R1A", "R2", "R10"'),
             (r'1\2;0805;', 1, r'B\1', r'"1\\2;0805;"', r'"B\\1"'),
             (r'"3""4\;0805;"', 1, r'"B""2"', r'"3\"4\\;0805;"', r'"B\"2"'),
             (r'"5\,6;0805;"', 1, r'"B,\3"', r'"5\\,6;0805;"', r'"B,\\3"'))
    csvtext = open(os.path.join(odd, 'a.csv'), 'rb').read().decode('utf-8')
    for want in ('\r\n' + ''.join(f'top.sch,Discrete,R,{p},{res},{q},{r},part,no\r\n'
                                  for p, q, r, _, _ in rrows),
                 f'\r\n,Discrete,R,10k;0805;,{res},9,"F1/R1 F2/R1 F10,""\u00b5/R1 R1 R1A R2 '
                 'R10 S1/F3/R1 S1/R2",total,no\r\n',
                 '\r\nstage.sch,Control,TL072CP,DIP8;,,1,U1,part,yes\r\n',
                 '\r\n,Control,TL072CP,DIP8;,,1,S1/U1,total,yes\r\n'):
        check(want in csvtext, f'odd texts: the CSV has no lines {want!r}')
    jsontext = open(os.path.join(odd, 'a.json'), 'rb').read().decode('utf-8')
    for want in (''.join('\n      {"category": "Discrete", "name": "R", "property": %s, '
                         '"description": %s, "quantity": %d, "missing": false, '
                         '"references": [%s]},' % (p, res, q, r) for _, q, _, p, r in rrows),
                 '\n    {"category": "Control", "name": "TL072CP", "property": "DIP8;", '
                 '"description": "", "quantity": 1, "missing": true, "references": ["S1/U1"]}'):
        check(want in jsontext, f'odd texts: the JSON has no lines {want!r}')
    r = run(odd, '--map', 'map.txt', '-p', '.', 'top.sch')
    check(r.stderr == b'partlist: 2 parts have no description in the map: PLAIN, TL072CP\n',
          f'odd texts: stderr {r.stderr!r}')


def check_failures(tmp):
    broken = copy('examples/amp', tmp, 'broken')
    os.remove(os.path.join(broken, 'stage.sch'))
    gone = copy('tests/data/golden/missing_sheet', tmp, 'gone')
    for ctx, design in (('without stage.sch', broken), ('missing_sheet', gone)):
        r = run(design, '--csv', 'a.csv', '--json', 'a.json', '-p', '.', 'top.sch')
        left = [f for f in os.listdir(design) if f.startswith('a.')]
        check(r.returncode == 1 and not left,
              f'{ctx}: exit {r.returncode} (wanted 1), files left behind: {left}')
        check(b'a.csv' in r.stderr and b'a.json' in r.stderr and b'not written' in r.stderr,
              f'{ctx}: stderr does not say the exports were not written: {r.stderr!r}')

    amp = copy('examples/amp', tmp, 'full')
    r = run(amp, '--json', 'a.json', '--map', 'dra.txt', '-p', '.', 'top.sch')
    check(r.returncode == 0, f'example with --json: exit {r.returncode}, {r.stderr!r}')
    # The report and the log fit under this file size limit, the JSON does not.
    limit = max(os.path.getsize(os.path.join(amp, f)) for f in ('top.out', 'top.log')) + 16
    check(os.path.getsize(os.path.join(amp, 'a.json')) > limit, 'the example JSON is too small')
    os.remove(os.path.join(amp, 'a.json'))
    nodir = os.path.join(tmp, 'nodir', 'x.csv')
    r = run(amp, '--csv', nodir, '-p', '.', 'top.sch')
    check(r.returncode == 3 and not os.path.exists(os.path.dirname(nodir)),
          f'--csv into a missing folder: exit {r.returncode}, {r.stderr!r}')

    def small_files():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    r = run(amp, '--json', 'a.json', '--map', 'dra.txt', '-p', '.', 'top.sch', preexec=small_files)
    left = [f for f in os.listdir(amp) if f.startswith('a.json')]
    check(r.returncode == 3 and not left,
          f'JSON past the file size limit: exit {r.returncode}, left {left}, {r.stderr!r}')

    # An export that runs out of memory after a run that did not: a small design placed 87,381
    # times, under the least address space (in steps of 8 MB) in which its run alone ends well.
    deep = os.path.join(tmp, 'deep')
    os.mkdir(deep)
    subprocess.run([GENDESIGN, '--sheets', '8', '--fanout', '1', '--placements', '4',
                    '--parts', '20', deep], check=True, capture_output=True)
    alone = dict(os.environ, PARTLIST_THREADS='0')  # no helper's stack or heap in the space

    def space(limit):
        return lambda: resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    limit = 16 << 20
    while limit < 1 << 30 and run(deep, '-p', '.', 'top.sch', preexec=space(limit),
                                  env=alone).returncode != 0:
        limit += 8 << 20
    if limit < 1 << 30:  # else a sanitizer's shadow memory needs more space than that
        r = run(deep, '--csv', 'a.csv', '-p', '.', 'top.sch', preexec=space(limit), env=alone)
        left = [f for f in os.listdir(deep) if f.startswith('a.csv')]
        check(r.returncode == 3 and not left and b'a.csv: Cannot allocate memory' in r.stderr,
              f'export out of memory: exit {r.returncode}, left {left}, {r.stderr!r}')

    # The command's options may follow the run's; a target that is no file of its own (a pipe
    # here) is written, not replaced.
    fifo = os.path.join(tmp, 'pipe')
    os.mkfifo(fifo)
    reader = subprocess.Popen(['cat', fifo], stdout=subprocess.PIPE)
    r = run(amp, '-p', '.', '--csv', fifo, 'top.sch')
    try:
        piped = reader.communicate(timeout=20)[0]
    except subprocess.TimeoutExpired:  # the pipe was replaced: nobody writes into it
        reader.kill()
        piped = reader.communicate()[0]
    check(r.returncode == 0 and stat.S_ISFIFO(os.stat(fifo).st_mode) and
          piped.startswith(HEADER_LINE),
          f'--csv into a pipe after -p: exit {r.returncode}, {r.stderr!r}, read {piped[:80]!r}')

    r = run(tmp, 'nosuch.sch')
    check(r.returncode == 4 and
          'partlist: nosuch.sch: No such file or directory' in r.stderr.decode().splitlines(),
          f'missing schematic: exit {r.returncode}, {r.stderr!r}')

    # Maps that lack one and three of the example's parts.
    lines = open(os.path.join(amp, 'dra.txt'), 'rb').read().decode().splitlines(keepends=True)
    for drop in ({'R'}, {'R', '7805', 'CONN2'}):
        open(os.path.join(amp, 'less.txt'), 'w').write(
            ''.join(l for l in lines if l.split()[1] not in drop))
        names = ', '.join(sorted(drop, key=lambda n: n.encode()))
        want = (f'partlist: 1 part has no description in the map: {names}' if len(drop) == 1 else
                f'partlist: {len(drop)} parts have no description in the map: {names}')
        r = run(amp, '--map', 'less.txt', '--csv', 'a.csv', '-p', '.', 'top.sch')
        check(r.returncode == 0 and r.stderr.decode().splitlines() == [want],
              f'map without {sorted(drop)}: exit {r.returncode}, stderr {r.stderr!r}, '
              f'wanted {want!r}')
        rows = read_csv(f'map without {sorted(drop)}', os.path.join(amp, 'a.csv'))
        wrong = [row for row in rows if row[7] != 'block' and
                 row[8] != ('yes' if row[2] in drop else 'no')]
        check(not wrong, f'map without {sorted(drop)}: wrong "missing" in {wrong[:3]}')


def check_targets(tmp):
    """No export replaces a file the run read or wrote: each refused with exit 3 and a message,
    every file as it was; other targets are written as ever."""
    amp = copy('examples/amp', tmp, 'targets')
    os.symlink('filter.sch', os.path.join(amp, 'link.sch'))
    args = ['--map', 'dra.txt', '-p', '.', 'top.sch']
    check(run(amp, *args).returncode == 0, 'targets: the example does not run')
    files = lambda: {f: open(os.path.join(amp, f), 'rb').read() for f in sorted(os.listdir(amp))}
    before = files()
    for option, target, why in (('--csv', 'filter.sch', 'the run read it'),
                                ('--json', 'C.sym', 'the run read it'),
                                ('--csv', 'dra.txt', 'the run read it'),
                                ('--csv', 'link.sch', 'the run read it'),
                                ('--json', './top.out', 'the run wrote it'),
                                ('--csv', 'top.log', 'the run wrote it')):
        r = run(amp, option, target, *args)
        check(r.returncode == 3 and
              f'partlist: {target}: not written: {why}\n'.encode() in r.stderr,
              f'{option} {target}: exit {r.returncode}, {r.stderr!r}')
        check(files() == before, f'{option} {target}: the files of the run changed')
    r = run(amp, '--csv', 'a.csv', '--json', './a.csv', *args)
    check(r.returncode == 3 and b'a.csv: not written: --csv and --json name one file' in r.stderr
          and files() == before, f'two exports to one file: exit {r.returncode}, {r.stderr!r}')
    open(os.path.join(amp, 'old.json'), 'w').write('unrelated')
    r = run(amp, '--csv', 'new.csv', '--json', 'old.json', *args)
    out = run(amp, '--csv', '-', *args)
    check(r.returncode == 0 and out.returncode == 0 and
          open(os.path.join(amp, 'new.csv'), 'rb').read() == out.stdout and
          json.load(open(os.path.join(amp, 'old.json')))['totals'],
          f'exports to a new, an existing and standard output: exit {r.returncode}, '
          f'{out.returncode}, {r.stderr!r}')


def check_command(tmp):
    """The command's own options, and each of its exit codes once."""
    amp = copy('examples/amp', tmp, 'command')
    report = os.path.join(amp, 'top.out')
    for option in ('--proplen', '--map', '--csv', '--json'):
        r = run(amp, '-p', '.', 'top.sch', option)
        check(r.returncode == 2 and r.stderr == f'partlist: {option} needs a value\n'.encode() and
              not os.path.exists(report), f'{option} last: exit {r.returncode}, {r.stderr!r}')
    r = run(amp, '--cvs', 'a.csv', '-p', '.', 'top.sch')
    check(r.returncode == 2 and r.stderr.startswith(b'partlist: unknown option --cvs\n') and
          not os.path.exists(report), f'--cvs: exit {r.returncode}, {r.stderr!r}')
    # After "--" a word beginning with "--" is the run's: here its schematic.
    shutil.copyfile(os.path.join(amp, 'top.sch'), os.path.join(amp, '--top.sch'))
    r = run(amp, '-p', '.', '--', '--top.sch')
    check(r.returncode == 0 and os.path.exists(os.path.join(amp, '--top.out')),
          f'-- --top.sch: exit {r.returncode}, {r.stderr!r}')
    # An export that cannot be written does not keep the next one from being written.
    r = run(amp, '--csv', 'nodir/a.csv', '--json', 'b.json', '--map', 'dra.txt', '-p', '.',
            'top.sch')
    check(r.returncode == 3 and r.stderr == b'partlist: nodir/a.csv: No such file or directory\n',
          f'--csv into a missing folder, then --json: exit {r.returncode}, {r.stderr!r}')
    check_expected('--json after a failed --csv', os.path.join(amp, 'b.json'), 'amp.json')
    r = run(amp, '-p', '.', '-o', 'nodir/top.out', 'top.sch')
    check(r.returncode == 1 and b'fatal error: Can not open output file nodir/top.out' in
          open(os.path.join(amp, 'top.log'), 'rb').read(),
          f'-o into a missing folder: exit {r.returncode}, {r.stderr!r}')
    shutil.copyfile(os.path.join(amp, 'top.sch'), os.path.join(amp, 'nolog.sch'))
    os.mkdir(os.path.join(amp, 'nolog.log'))
    r = run(amp, '-p', '.', 'nolog.sch')
    check(r.returncode == 4 and r.stderr == b'partlist: Failed to open log file\n',
          f'a log that cannot be made: exit {r.returncode}, {r.stderr!r}')


def main():
    global PARTLIST, GENDESIGN, SOURCE
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    PARTLIST, GENDESIGN, SOURCE = (os.path.abspath(a) for a in sys.argv[1:])
    tmp = tempfile.mkdtemp(prefix='check_export.')
    try:
        for group in (check_designs, check_texts, check_failures, check_targets,
                      check_command):
            before = len(failures)
            try:
                group(tmp)
            except Exception as e:  # a crash of a check is a failure of its group, not the end
                failures.append(f'{group.__name__}: {type(e).__name__}: {e}')
            print(f"{group.__name__}: {'ok' if len(failures) == before else 'FAILED'}")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    for f in failures[:40]:
        print('FAIL ' + f, file=sys.stderr)
    if len(failures) > 40:
        print(f'... and {len(failures) - 40} more', file=sys.stderr)
    sys.exit(1 if failures else 0)


if __name__ == '__main__':
    main()
