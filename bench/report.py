#!/usr/bin/env python3
"""The benchmark tables and plot of the README, from the machine-readable
output of bench_peers.py and bench_realworld.py (their --json files).

    python bench/bench_peers.py --only pairs,batch --json build/bench/peers.json
    python bench/bench_realworld.py --only pairs,realistic --json build/bench/realworld.json
    python bench/report.py build/bench/peers.json build/bench/realworld.json \
        --png docs/benchmarks.png --readme README.md

Prints the Markdown; with --readme it replaces what stands between the
README's "benchmarks:start" and "benchmarks:end" comments, with --png it
draws the plot. Nothing is measured here: every figure comes from the files.
"""

from __future__ import annotations

import argparse
import json
import math
import os
import statistics
import sys

START = "<!-- benchmarks:start (written by bench/report.py) -->"
END = "<!-- benchmarks:end -->"
MEASURES = {"levenshtein": "Levenshtein", "damerau (OSA)": "Damerau-Levenshtein (OSA)",
            "jaro-winkler": "Jaro-Winkler"}
SHORT = {"levenshtein": "Levenshtein", "damerau (OSA)": "OSA", "jaro-winkler": "Jaro-Winkler"}
PEER_ORDER = ["rapidfuzz", "Levenshtein", "editdistance", "polyleven", "jellyfish"]


def load(paths: list[str]) -> dict[str, dict]:
    runs = {}
    for path in paths:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
        runs[data["script"]] = data
    for script in ("bench_peers.py", "bench_realworld.py"):
        if script not in runs:
            sys.exit(f"report: no output of {script} among {', '.join(paths)}")
    return runs


def package_of(label: str) -> str:
    """The peer package of a row label: 'rapidfuzz Levenshtein.distance',
    '[polyleven.levenshtein(q, c) for c]', 'rapidfuzz cdist(...)'."""
    label = label.strip("[")
    return label.split(" ", 1)[0] if label.startswith("rapidfuzz") else label.split(".", 1)[0]


def ns(x: float) -> str:
    return f"{x:,.0f}" if x >= 100 else f"{x:.1f}"


def rate(x: float | None) -> str:
    return "-" if x is None else f"{x / 1e6:.1f} M/s"


def geomean(values: list[float]) -> float:
    return math.exp(statistics.fmean(math.log(v) for v in values))


# --------------------------------------------------------------------------
# Figures out of the records


def short_pairs(peers_run: dict) -> list[tuple[str, str, float, dict[str, float]]]:
    """(measure, case, ours ns, {package: ns}) for the short pairs."""
    rows: dict[tuple[str, str], tuple[float, dict[str, float]]] = {}
    for r in peers_run["records"]:
        if r["section"] == "pairs" and r["case"].startswith("short"):
            ours, theirs = rows.setdefault((r["measure"], r["case"]), (r["ours_ns"], {}))
            theirs[package_of(r["peer"])] = r["peer_ns"]
    return [(m, c, ours, theirs) for (m, c), (ours, theirs) in rows.items()]


def short_batch(peers_run: dict) -> list[tuple[str, int, float, float | None, tuple[str, float] | None]]:
    """(measure, candidates, ours cand/s, cdist cand/s, (fastest other peer, its cand/s))."""
    out = []
    by_measure: dict[str, list[dict]] = {}
    for r in peers_run["records"]:
        if r["section"] == "batch":
            by_measure.setdefault(r["measure"], []).append(r)
    for measure, records in by_measure.items():
        ours = next(r for r in records if r["function"].startswith("morvane."))
        cdist = next((r["cand_per_s"] for r in records if "cdist" in r["function"]), None)
        others = [(package_of(r["function"]), r["cand_per_s"]) for r in records
                  if not r["function"].startswith("morvane.") and "cdist" not in r["function"]]
        best = max(others, key=lambda x: x[1]) if others else None
        out.append((measure, ours["candidates"], ours["cand_per_s"], cdist, best))
    return out


def realistic_batch(rw_run: dict) -> list[tuple[str, bool, int, float, float, float, float]]:
    """(measure, folded, candidates, ours cand/s and cdist cand/s as geometric
    means over the queries, lowest and highest speed-up over the queries)."""
    groups: dict[tuple[str, bool], list[dict]] = {}
    for r in rw_run["records"]:
        if r["section"] == "realistic" and r["cdist_cand_per_s"]:
            groups.setdefault((r["measure"], r["folded"]), []).append(r)
    out = []
    for (measure, folded), records in groups.items():
        speedups = [r["ours_cand_per_s"] / r["cdist_cand_per_s"] for r in records]
        out.append((measure, folded, records[0]["candidates"], geomean([r["ours_cand_per_s"] for r in records]),
                    geomean([r["cdist_cand_per_s"] for r in records]), min(speedups), max(speedups)))
    return out


def realistic_pairs(rw_run: dict, pairs: str = "all scripts") -> list[tuple[str, bool, float, dict[str, float]]]:
    rows: dict[tuple[str, bool], tuple[float, dict[str, float]]] = {}
    for r in rw_run["records"]:
        if r["section"] == "pairs" and r["pairs"] == pairs:
            ours, theirs = rows.setdefault((r["measure"], r["folded"]), (r["ours_ns"], {}))
            theirs[package_of(r["peer"])] = r["peer_ns"]
    return [(m, f, ours, theirs) for (m, f), (ours, theirs) in rows.items()]


# --------------------------------------------------------------------------
# Markdown


def table(headers: list[str], rows: list[list[str]]) -> str:
    lines = ["| " + " | ".join(headers) + " |", "|" + "|".join("---" if i == 0 else "---:" for i in range(len(headers))) + "|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)


def peer_cells(theirs: dict[str, float], ours: float) -> list[str]:
    return [f"{ns(theirs[p])} ({theirs[p] / ours:.1f}x)" if p in theirs else "-" for p in PEER_ORDER]


def versions(env: dict) -> str:
    peers = ", ".join(f"{name} {version}" for name, version in env["peers"].items())
    build = "free-threaded" if env["free_threaded"] else "default (GIL) build"
    return f"CPython {env['python']} ({build}); morvane {env['morvane']}; {peers}"


def machine_line(runs: dict[str, dict]) -> str:
    env = runs["bench_peers.py"]["environment"]
    return f"{env['cpu']}, {env['cpus']} cores ({env['machine']}); {versions(env)}"


def load_average(env: dict) -> str:
    start, end = env.get("load_average_start"), env.get("load_average_end")
    if start and end:
        return f"{start[0]:.1f} at the start, {end[0]:.1f} at the end"
    return "not recorded"


def options(run: dict) -> str:
    """The run's command-line options, less --json and its file."""
    argv, out = run["argv"], []
    skip = False
    for arg in argv:
        if skip:
            skip = False
        elif arg == "--json":
            skip = True
        elif not arg.startswith("--json="):
            out.append(arg)
    return " ".join(out)


def markdown(runs: dict[str, dict], png: str | None) -> str:
    peers_run, rw_run = runs["bench_peers.py"], runs["bench_realworld.py"]
    env = peers_run["environment"]
    parts = [
        f"Figures from one run on {env['cpu']} ({env['cpus']} cores), a shared machine that was busy with "
        f"other work (load average {load_average(env)}), on "
        f"{env['time'].split()[0]}: read them as rough ratios, not as exact times. "
        f"Versions: {versions(env)}.",
        "",
        f"Options: `bench/bench_peers.py {options(peers_run)}` and "
        f"`bench/bench_realworld.py {options(rw_run)}`, each with `--json`, then `bench/report.py`.",
        "",
    ]
    if png:
        parts += [f"![benchmark plot]({png})", ""]

    parts += ["**Short words, one pair per call** (ns per call, including the Python loop and the call; "
              "in brackets the peer's time over ours, above 1.0x means morvane is faster):", ""]
    rows = [[MEASURES.get(m, m), c.removeprefix("short "), ns(ours), *peer_cells(theirs, ours)]
            for m, c, ours, theirs in short_pairs(peers_run)]
    parts += [table(["measure", "pair", "morvane", *PEER_ORDER], rows), ""]

    batch = short_batch(peers_run)
    if batch:
        n = batch[0][1]
        parts += [f"**Short words, one query against {n:,} candidates** (candidates per second; "
                  "rapidfuzz's `process.cdist(..., workers=1)`, the other peers as a list comprehension):", ""]
        rows = []
        for m, _, ours, cdist, best in batch:
            rows.append([MEASURES.get(m, m), rate(ours), rate(cdist) + (f" ({ours / cdist:.1f}x)" if cdist else ""),
                         f"{rate(best[1])} {best[0]} ({ours / best[1]:.0f}x)" if best else "-"])
        parts += [table(["measure", "morvane batch", "rapidfuzz cdist", "fastest peer in a list comprehension"],
                        rows), ""]

    real = realistic_batch(rw_run)
    if real:
        n = real[0][2]
        scripts = sorted({r["script"] for r in rw_run["records"] if r["section"] == "realistic"})
        parts += [f"**Realistic multilingual workload**: person names, companies and addresses, in equal shares "
                  f"of the scripts {', '.join(scripts)}; one query per script, a copy of one record with 1-3 "
                  f"typos, against {n:,} records (candidates per second, geometric mean over the "
                  f"{len(scripts)} queries; "
                  "speed-up over rapidfuzz `process.cdist(..., workers=1)`, lowest to highest query):", ""]
        rows = [[MEASURES.get(m, m), "on" if f else "off", rate(o), rate(c), f"{o / c:.1f}x ({lo:.1f}-{hi:.1f}x)"]
                for m, f, _, o, c, lo, hi in real]
        parts += [table(["measure", "lowercase", "morvane batch", "rapidfuzz cdist", "speed-up"], rows), ""]

    pairs = realistic_pairs(rw_run)
    if pairs:
        parts += ["**Realistic multilingual pairs** (record and typo'd copy, all scripts mixed; ns per call as "
                  "above; with lowercasing the peers get texts lowered beforehand, untimed):", ""]
        rows = [[MEASURES.get(m, m), "on" if f else "off", ns(ours), *peer_cells(theirs, ours)]
                for m, f, ours, theirs in pairs]
        parts += [table(["measure", "lowercase", "morvane", *PEER_ORDER], rows), ""]
    return "\n".join(parts).rstrip() + "\n"


# --------------------------------------------------------------------------
# Plot


def plot(runs: dict[str, dict], path: str) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    peers_run, rw_run = runs["bench_peers.py"], runs["bench_realworld.py"]
    colours = {"morvane": "#d62728", "rapidfuzz": "#1f77b4", "Levenshtein": "#2ca02c", "editdistance": "#9467bd",
               "polyleven": "#8c564b", "jellyfish": "#7f7f7f"}
    fig, axes = plt.subplots(2, 2, figsize=(13, 8.5))

    def grouped(ax, groups: list[str], series: dict[str, list[float | None]], ylabel: str, title: str,
                log: bool = False) -> None:
        names = [n for n in series if any(v is not None for v in series[n])]
        width = 0.8 / len(names)
        for i, name in enumerate(names):
            xs = [g + (i - (len(names) - 1) / 2) * width for g in range(len(groups))]
            vals = series[name]
            ax.bar([x for x, v in zip(xs, vals) if v is not None], [v for v in vals if v is not None], width,
                   label=name, color=colours.get(name))
        ax.set_xticks(range(len(groups)), groups, fontsize=9)
        if log:
            ax.set_yscale("log")
        ax.set_ylabel(ylabel)
        ax.set_title(title, fontsize=10)
        ax.grid(axis="y", alpha=0.3)
        ax.legend(fontsize=8)

    def pair_series(rows, label_of):
        groups = [label_of(r) for r in rows]
        series: dict[str, list[float | None]] = {"morvane": [r[2] for r in rows]}
        for p in PEER_ORDER:
            series[p] = [r[3].get(p) for r in rows]
        return groups, series

    short = [r for r in short_pairs(peers_run) if r[1] == "short kitten/sitting"]
    groups, series = pair_series(short, lambda r: SHORT.get(r[0], r[0]))
    grouped(axes[0][0], groups, series, "ns per call, log scale (lower is better)",
            "Short words: kitten / sitting, one pair per call", log=True)

    batch = short_batch(peers_run)
    groups = [SHORT.get(m, m) for m, *_ in batch]
    grouped(axes[0][1], groups, {"morvane": [b[2] / 1e6 for b in batch],
                                 "rapidfuzz": [b[3] / 1e6 if b[3] else None for b in batch]},
            "million candidates per second (higher is better)",
            f"Short words: one query, {batch[0][1]:,} candidates (rapidfuzz: cdist, workers=1)" if batch else "")

    real = sorted(realistic_batch(rw_run), key=lambda r: (list(MEASURES).index(r[0]) if r[0] in MEASURES else 9, r[1]))
    groups = [f"{SHORT.get(m, m)}\nlower {'on' if f else 'off'}" for m, f, *_ in real]
    grouped(axes[1][0], groups, {"morvane": [r[3] / 1e6 for r in real], "rapidfuzz": [r[4] / 1e6 for r in real]},
            "million candidates per second (higher is better)",
            f"Multilingual records: typo'd query, {real[0][2]:,} records (geometric mean over queries)" if real else "")

    pairs = [r for r in realistic_pairs(rw_run) if not r[1]]
    groups, series = pair_series(pairs, lambda r: SHORT.get(r[0], r[0]))
    grouped(axes[1][1], groups, series, "ns per call, log scale (lower is better)",
            "Multilingual records: record vs typo'd copy, one pair per call", log=True)

    fig.suptitle(f"morvane and its peers: {machine_line(runs)}\nfigures from one run on a shared, busy machine",
                 fontsize=9)
    fig.tight_layout()
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    fig.savefig(path, dpi=110)
    plt.close(fig)


def replace_in_readme(path: str, text: str) -> None:
    with open(path, encoding="utf-8") as f:
        readme = f.read()
    start, end = readme.find(START), readme.find(END)
    if start < 0 or end < start:
        sys.exit(f"report: {path} has no '{START}' ... '{END}' block")
    with open(path, "w", encoding="utf-8") as f:
        f.write(readme[: start + len(START)] + "\n" + text + readme[end:])


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("json", nargs="+", help="the --json files of bench_peers.py and bench_realworld.py")
    parser.add_argument("--png", help="write the plot here")
    parser.add_argument("--readme", help="replace the benchmark block of this README")
    parser.add_argument("--png-link", help="the plot's path as the README links it (default: --png relative to the README)")
    args = parser.parse_args(argv)
    runs = load(args.json)
    link = args.png_link
    if link is None and args.png:
        base = os.path.dirname(os.path.abspath(args.readme)) if args.readme else os.getcwd()
        link = os.path.relpath(os.path.abspath(args.png), base)
    text = markdown(runs, link)
    if args.png:
        plot(runs, args.png)
    if args.readme:
        replace_in_readme(args.readme, text)
    print(text, end="")
    return 0


if __name__ == "__main__":
    sys.exit(main())
