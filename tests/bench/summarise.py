#!/usr/bin/env python3
"""Summary of one bench_eqcore run (its --benchmark_out JSON): for each band setting and block
size, the median ns per stereo frame of every contender, its speed-up over the scalar reference
and over the engine's own scalar code, and how many times faster than real time at 48 kHz."""
import json
import re
import sys
from collections import defaultdict


def main(path):
    with open(path) as f:
        run = json.load(f)
    medians = {}
    for b in run["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        name = b["run_name"]
        medians[name] = b["per_frame"] * 1e9
    groups = defaultdict(dict)
    for name, ns in medians.items():
        m = re.match(r"(.+)/(\w+)/(\d+)$", name)
        if m:
            groups[(m.group(2), int(m.group(3)))][m.group(1)] = ns
    print("context: %s" % {k: v for k, v in run["context"].items()
                            if k in ("kernel_chosen", "kernel_probe", "plugin", "load_avg",
                                     "mhz_per_cpu")})
    for (bands, frames) in sorted(groups):
        g = groups[(bands, frames)]
        print("\n%s, %d-frame blocks" % (bands, frames))
        print("  %-26s %9s %9s %9s %11s" % ("", "ns/frame", "vs ref", "vs scalar", "x-realtime"))
        for name in sorted(g, key=lambda n: -g[n]):
            ns = g[name]
            ref = g.get("Reference", float("nan")) / ns
            scalar = g.get("Scalar", float("nan")) / ns
            print("  %-26s %9.2f %8.1fx %8.1fx %10.0fx" % (name, ns, ref, scalar, 1e9 / ns / 48000))

    # What small blocks cost per frame next to 512-frame ones, per contender and band setting.
    print("\nper-frame cost relative to 512-frame blocks")
    for bands in sorted({b for (b, _) in groups}):
        base = groups.get((bands, 512), {})
        for name in sorted(base):
            ratios = ["%d/512 %.2f" % (n, groups[(bands, n)][name] / base[name])
                      for n in (32, 64, 128) if name in groups.get((bands, n), {})]
            print("  %-12s %-34s %s" % (bands, name, "  ".join(ratios)))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: summarise.py BENCH_JSON")
    main(sys.argv[1])
