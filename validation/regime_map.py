#!/usr/bin/python3
"""The regime map of docs/method.md: the classic 10 x 10 rule's error in P_i
against delta = |i1 - i2| / sqrt(sin i1 sin i2), from the calibration data of
accurate_calibration (random main-belt, family and general pairs, the truth
being the accurate integrator at 1e-7), with the classic-mode criterion's
thresholds; and the calibration table of the criterion (markdown, standard
output).

    validation/regime_map.py CALIBRATION_CSV FIGURE_PNG
"""
import csv
import math
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def main() -> None:
    rows = list(csv.DictReader(open(sys.argv[1])))
    for r in rows:
        r["err"] = float(r["classic"]) / float(r["accurate"]) - 1.0
        r["delta"] = float(r["delta"])
        r["v_esc"] = float(r["v_esc"])
        r["flag"] = r["flagged"] == "1"
    speeds = sorted({r["v_esc"] for r in rows})
    fig, ax = plt.subplots(figsize=(7.5, 4.8))
    for v, colour in zip(speeds, ["tab:blue", "tab:green", "tab:orange", "tab:red"]):
        xs = [r["delta"] for r in rows if r["v_esc"] == v and r["delta"] < 1e3]
        ys = [max(abs(r["err"]), 1e-9) for r in rows if r["v_esc"] == v and r["delta"] < 1e3]
        ax.scatter(xs, ys, s=2, alpha=0.35, color=colour, label=f"v_esc = {v:g} km/s")
    ax.axhline(0.01, color="k", lw=0.8, ls="--")
    for v, ls in ((0.0, ":"), (5.0, "-.")):
        threshold = 0.06 * (1.0 + v * v / (v * v + 0.25))
        ax.axvline(threshold, color="k", lw=0.8, ls=ls)
    ax.set_xscale("log")
    ax.set_yscale("log")
    ax.set_ylim(1e-9, 2.0)
    ax.set_xlabel("delta = |i1 - i2| / sqrt(sin i1 sin i2)")
    ax.set_ylabel("|10 x 10 error| of P_i")
    ax.set_title("Classic rule against the accurate integrator (30000 random pairs)")
    ax.legend(loc="lower left", markerscale=4, fontsize=8)
    fig.tight_layout()
    fig.savefig(sys.argv[2], dpi=110)

    # Calibration table: pairs off by more than 1 % per delta decade and focusing.
    print("| delta | pairs | off by > 1 %, v_esc 0 | v_esc 0.3 | v_esc 1 | v_esc 5 | flagged |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    edges = [1e-6, 1e-4, 1e-2, 0.03, 0.056, 0.1, 0.18, 0.3, 1.0, 1e9]
    for lo, hi in zip(edges[:-1], edges[1:]):
        sel = [r for r in rows if lo <= r["delta"] < hi]
        if not sel:
            continue
        cells = []
        for v in speeds:
            sv = [r for r in sel if r["v_esc"] == v]
            off = sum(abs(r["err"]) > 0.01 for r in sv)
            cells.append(f"{100.0 * off / max(len(sv), 1):.1f} %")
        flagged = sum(r["flag"] for r in sel)
        label = f"{lo:g} – {hi:g}" if hi < 1e9 else f"≥ {lo:g}"
        print(f"| {label} | {len(sel)} | " + " | ".join(cells) +
              f" | {100.0 * flagged / len(sel):.1f} % |")
    off = [r for r in rows if abs(r["err"]) > 0.01]
    missed = sum(not r["flag"] for r in off)
    false_alarms = sum(r["flag"] and abs(r["err"]) <= 0.01 for r in rows)
    print(f"\n{len(rows)} pairs, {len(off)} off by more than 1 %, {missed} of them not flagged; "
          f"{false_alarms} flagged pairs within 1 %.")


if __name__ == "__main__":
    main()
