#!/usr/bin/env python3
"""Prints a Google Benchmark JSON report as pairs: each benchmark beside its peer.

Convention: a benchmark named "<case>/ours..." is paired with "<case>/peer..."
(same case, same arguments); the ratio is ours / peer (below 1 means faster).
A case may have further peers, named "<case>/peer-<name>...", each given with
its own ratio. Benchmarks without a peer are listed on their own.
"""
import json
import sys


def key(name):
    # How a run was timed is not part of its case.
    parts = []
    for p in name.split("/"):
        for clock in ("real_time", "manual_time"):
            if p.startswith(clock):
                p = "time" + p[len(clock):]
        parts.append(p)
    for i, p in enumerate(parts):
        if p in ("ours", "peer") or p.startswith("peer-"):
            return "/".join(parts[:i] + parts[i + 1:]), p
    return name, None


def fmt(ns):
    for unit, scale in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
        if ns >= scale:
            return f"{ns / scale:8.3f} {unit}"
    return f"{ns:8.1f} ns"


def main(path):
    with open(path) as f:
        data = json.load(f)
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}
    pairs = {}
    order = []
    for b in data.get("benchmarks", []):
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "mean":
            continue
        k, side = key(b["name"])
        t = b["real_time"] * scale[b.get("time_unit", "ns")]
        if k not in pairs:
            pairs[k] = {}
            order.append(k)
        pairs[k][side] = (t, b)
    for k in order:
        p = pairs[k]
        peers = [side for side in p if side and side.startswith("peer")]
        if "ours" in p and peers:
            ours = p["ours"][0]
            for side in sorted(peers):
                peer = p[side][0]
                print(f"{k:55s} ours {fmt(ours)}  {side} {fmt(peer)}  ratio {ours / peer:6.2f}")
        else:
            for side, (t, _) in p.items():
                print(f"{k:55s} {side or 'only'} {fmt(t)}")


if __name__ == "__main__":
    main(sys.argv[1])
