#!/usr/bin/env python3
"""Sums gcov line counts per top folder of the project's sources.

Usage: coverage-report.py BUILD_DIR SOURCE_DIR
A line counts once however many objects compile it (headers, templates); it
is covered when any object ran it."""
import gzip, json, os, subprocess, sys, tempfile
from collections import defaultdict

build, source = (os.path.abspath(p) for p in sys.argv[1:3])
lines = defaultdict(dict)  # file -> line -> covered
gcdas = [os.path.join(d, f) for d, _, fs in os.walk(build) for f in fs if f.endswith('.gcda')]
with tempfile.TemporaryDirectory() as tmp:
    for i in range(0, len(gcdas), 200):
        subprocess.run(['gcov', '-j', '-b', '-p'] + gcdas[i:i + 200], cwd=tmp,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for name in os.listdir(tmp):
            if not name.endswith('.gcov.json.gz'):
                continue
            path = os.path.join(tmp, name)
            with gzip.open(path) as f:
                data = json.load(f)
            os.remove(path)
            cwd = data.get('current_working_directory', build)
            for fi in data['files']:
                p = os.path.normpath(os.path.join(cwd, fi['file']))
                if not p.startswith(source + '/') or p.startswith(build + '/'):
                    continue
                rel = p[len(source) + 1:]
                parts = rel.split('/')
                if any(x in ('tests', 'fuzz', 'bench') for x in parts) or rel.startswith('build'):
                    continue
                mine = lines[rel]
                for ln in fi['lines']:
                    n = ln['line_number']
                    mine[n] = mine.get(n, False) or ln['count'] > 0

def folder(rel):
    parts = rel.split('/')
    return '/'.join(parts[:2]) if parts[0] in ('components', 'tools') else parts[0]

per = defaultdict(lambda: [0, 0])
for rel, ls in lines.items():
    f = per[folder(rel)]
    f[0] += sum(ls.values())
    f[1] += len(ls)
tot = [sum(v[0] for v in per.values()), sum(v[1] for v in per.values())]
print(f"{'folder':32} {'covered':>8} {'lines':>8} {'%':>6}")
for k in sorted(per):
    c, n = per[k]
    print(f"{k:32} {c:8} {n:8} {100.0 * c / n:6.1f}")
print(f"{'all':32} {tot[0]:8} {tot[1]:8} {100.0 * tot[0] / tot[1]:6.1f}")
