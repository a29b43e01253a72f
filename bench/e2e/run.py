#!/usr/bin/python3
"""End-to-end benchmark: results table to PNG, Vantix against gnuplot and matplotlib.

For each grid size G the peers' generator writes G*G*25 records as CSV; the
same data are converted to .ors. Every pipeline then does the same job (the
slice x3 = 0.5, x4 = 0.5, surface of f1 over x1 and x2, a 1280x800 PNG) as a
whole process, timed from start to exit with its peak resident memory:

  vantix .ors    vantix-render on the .ors file
  vantix CSV     vantix-render on the CSV (header marked in:/out:, same rows)
  gnuplot        the peers' plot_gnuplot.sh (gnuplot-nox, mawk)
  matplotlib     the peers' plot_mpl.py surface (python3-matplotlib, pandas)
  floor .ors     reading the .ors file's bytes (e2e_floor read)
  floor CSV      reading and parsing the CSV, one thread (e2e_floor csv)

A peer whose packages are missing is skipped (scripts/install-peers.sh
installs them). The pipelines run in alternated rounds (each once a round), a
first untimed round, then --runs timed ones; ratios are the medians of the
paired runs' ratios, with the ratio of the minima beside them.
"""
import argparse
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SLICE = ["--x", "x1", "--y", "x2", "--function", "f1", "--fix", "x3=0.5", "--fix", "x4=0.5"]


def note(text):
    print(text, file=sys.stderr, flush=True)


def have_python_modules(*names):
    code = "import " + ", ".join(names)
    return subprocess.run(["/usr/bin/python3", "-c", code], capture_output=True).returncode == 0


def run_once(cmd, out_png, env):
    """Wall time (s) and peak RSS (KiB) of one process run; None on failure."""
    if out_png and os.path.exists(out_png):
        os.unlink(out_png)
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    if proc.returncode != 0 or (out_png and not (os.path.exists(out_png) and os.path.getsize(out_png) > 0)):
        note("  failed (%s): %s\n  %s" % (proc.returncode, " ".join(cmd), err.strip()[:500]))
        return None
    return wall, usage.ru_maxrss


def machine():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    mem = ""
    try:
        with open("/proc/meminfo") as f:
            kb = int(f.readline().split()[1])
            mem = ", %.0f GiB memory" % (kb / 1048576)
    except (OSError, ValueError, IndexError):
        pass
    return "%d cores (nproc), %s%s, %s" % (os.cpu_count() or 0, model, mem, platform.platform())


def prepare_data(args, g, tools):
    """Paths of the CSV, the marked CSV and the .ors for grid g, or None."""
    csv = os.path.join(args.data, "g%d.csv" % g)
    marked = os.path.join(args.data, "g%d-marked.csv" % g)
    ors = os.path.join(args.data, "g%d.ors" % g)
    if not os.path.exists(csv):
        if not tools["gen"]:
            note("G=%d: no data (gen.py needs python3-numpy and python3-pandas; see scripts/install-peers.sh)" % g)
            return None
        note("G=%d: generating %s" % (g, csv))
        subprocess.run(["/usr/bin/python3", os.path.join(args.peers, "gen.py"), str(g), csv], check=True,
                       stdout=subprocess.DEVNULL)
    if not os.path.exists(marked) or os.path.getmtime(marked) < os.path.getmtime(csv):
        # The provider reads tables whose columns say what they are; the rows stay as they are.
        with open(csv, "rb") as src, open(marked, "wb") as dst:
            header = src.readline().decode().strip().split(",")
            kinds = ["out:" + h if h.startswith("f") else "in:" + h for h in header]
            dst.write((",".join(kinds) + "\n").encode())
            shutil.copyfileobj(src, dst, 1 << 20)
    if not os.path.exists(ors) or os.path.getmtime(ors) < os.path.getmtime(csv):
        subprocess.run([tools["convert"], "--functions", "f1,f2", csv, ors], check=True, stdout=subprocess.DEVNULL)
    # Into the page cache, as for every later run.
    for path in (csv, marked, ors):
        with open(path, "rb") as f:
            while f.read(1 << 24):
                pass
    return csv, marked, ors


def fmt_time(samples):
    if not samples:
        return "–"
    return "%.3f / %.3f s" % (min(samples), statistics.median(samples))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", default=os.path.join(ROOT, "build", "bin"), help="folder of vantix-render etc.")
    parser.add_argument("--data", default=None, help="folder for the generated files (default BIN/../e2e-data)")
    parser.add_argument("--peers", default=os.environ.get("VANTIX_PEERS", os.path.join(ROOT, "..", "shared", "peers")))
    parser.add_argument("--grids", default="30,100,300")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--markdown", help="also write the tables to this file")
    args = parser.parse_args()
    args.data = args.data or os.path.join(os.path.dirname(os.path.abspath(args.bin)), "e2e-data")
    os.makedirs(args.data, exist_ok=True)
    grids = [int(g) for g in args.grids.split(",")]
    out = os.path.join(args.data, "out")
    os.makedirs(out, exist_ok=True)

    tools = {name: os.path.join(args.bin, name) for name in ("vantix-render", "vantix-convert", "e2e_floor")}
    for name, path in tools.items():
        if not os.access(path, os.X_OK):
            sys.exit("run.py: %s not found; build the targets vantix-render vantix-convert e2e_floor" % path)
    tools["convert"] = tools["vantix-convert"]
    tools["gen"] = os.access("/usr/bin/python3", os.X_OK) and have_python_modules("numpy", "pandas")
    gnuplot = shutil.which("gnuplot") and shutil.which("mawk")
    mpl = tools["gen"] and have_python_modules("matplotlib")
    if not gnuplot:
        note("gnuplot: skipped (gnuplot-nox and mawk are not installed)")
    if not mpl:
        note("matplotlib: skipped (python3-matplotlib and python3-pandas are not installed)")

    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)

    pipelines = [
        ("vantix .ors", lambda d, png: [tools["vantix-render"], "--render", png] + SLICE + [d[2]], True),
        ("vantix CSV", lambda d, png: [tools["vantix-render"], "--render", png] + SLICE + [d[1]], True),
        ("gnuplot", lambda d, png: ["bash", os.path.join(args.peers, "plot_gnuplot.sh"), d[0], png], gnuplot),
        ("matplotlib", lambda d, png: ["/usr/bin/python3", os.path.join(args.peers, "plot_mpl.py"), "surface", d[0],
                                       png], mpl),
        ("floor .ors", lambda d, png: [tools["e2e_floor"], "read", d[2]], True),
        ("floor CSV", lambda d, png: [tools["e2e_floor"], "csv", d[0]], True),
    ]
    results = {}  # (pipeline, g) -> (times, rss), times[i] of round i
    stages = {}
    for g in grids:
        data = prepare_data(args, g, tools)
        if not data:
            continue
        # Rounds alternate the pipelines (A, B, C, A, B, C, ...), so that load
        # from elsewhere on the machine falls on all of them alike and run i of
        # one pipeline pairs with run i of another.
        runnable = []
        for name, make, available in pipelines:
            if not available:
                continue
            png = os.path.join(out, "%s-%d.png" % (name.replace(" ", "-").replace(".", ""), g)) \
                if not name.startswith("floor") else None
            runnable.append((name, make(data, png or ""), png))
            results[(name, g)] = ([], [])
        failed = set()
        for i in range(args.runs + 1):
            note("G=%d: round %d of %d" % (g, i, args.runs))
            for name, cmd, png in runnable:
                if name in failed:
                    continue
                r = run_once(cmd, png, env)
                if r is None:
                    failed.add(name)
                    results[(name, g)] = ([], [])
                    continue
                if i > 0:  # the first round warms caches and is not counted
                    results[(name, g)][0].append(r[0])
                    results[(name, g)][1].append(r[1])
        # Where the time of one Vantix run goes.
        for name, idx in (("vantix .ors", 2), ("vantix CSV", 1)):
            png = os.path.join(out, "stages-%d.png" % g)
            proc = subprocess.run([tools["vantix-render"], "--timings", "--render", png] + SLICE + [data[idx]],
                                  capture_output=True, text=True, env=env)
            stages[(name, g)] = proc.stderr.strip().replace("vantix-render: stages: ", "")

    lines = ["Machine: " + machine(), "",
             "Wall time from process start to written PNG, min / median of %d alternated rounds (after one untimed round); "
             "peak RSS of the largest process, median." % args.runs, ""]
    header = "| pipeline | " + " | ".join("G=%d (%s records)" % (g, format(25 * g * g, ",")) for g in grids) + " |"
    lines += [header, "|" + "---|" * (len(grids) + 1)]
    for name, _, available in pipelines:
        cells = []
        for g in grids:
            times, rss = results.get((name, g), ([], []))
            if not available:
                cells.append("skipped")
            elif not times:
                cells.append("failed")
            else:
                cells.append("%s, %.0f MB" % (fmt_time(times), statistics.median(rss) / 1024))
        lines.append("| %s | %s |" % (name, " | ".join(cells)))

    def ratio(a, b, g):
        ta, tb = results.get((a, g), ([], []))[0], results.get((b, g), ([], []))[0]
        if not ta or not tb:
            return "–"
        paired = [x / y for x, y in zip(ta, tb)]
        return "%.1fx / %.1fx" % (statistics.median(paired), min(ta) / min(tb))

    lines += ["", "Ratios (how many times the first takes the second's time): median of the ratios of the paired, "
              "alternated runs / ratio of the minima:", "",
              "| ratio | " + " | ".join("G=%d" % g for g in grids) + " |", "|" + "---|" * (len(grids) + 1)]
    for a, b in (("gnuplot", "vantix .ors"), ("gnuplot", "vantix CSV"), ("matplotlib", "vantix .ors"),
                 ("matplotlib", "vantix CSV"), ("vantix .ors", "floor .ors"), ("vantix CSV", "floor CSV")):
        lines.append("| %s / %s | %s |" % (a, b, " | ".join(ratio(a, b, g) for g in grids)))
    if stages:
        lines += ["", "Stages of one Vantix run (--timings; [bracketed] stages run on the loading thread, the "
                  "load from its start in the launcher, while the chart module and Qt start):", ""]
        for (name, g), text in sorted(stages.items(), key=lambda kv: (kv[0][1], kv[0][0])):
            lines.append("- %s, G=%d: %s" % (name, g, text))
    text = "\n".join(lines)
    print(text)
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write(text + "\n")


if __name__ == "__main__":
    main()
