#!/usr/bin/python3
"""Tables, figure and method-page blocks of the speed distributions, from the files of run.sh.

speed_report.py OUTDIR ROOT
  OUTDIR holds speeds.csv (speed_pairs: the kernel's distributions against the Monte Carlo's,
  largest deviation per pair), mainbelt_speeds.csv and mainbelt_speeds.txt (mainbelt_speeds: the
  main belt's summed distribution and its figures); ROOT is the repository: writes
  validation/results/speeds.md, docs/mainbelt_speeds.png and the generated blocks "speeds" and
  "mainbelt_speeds" of docs/method.md.
"""
import csv
import os
import re
import sys

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

# The bins of the check (speed_check.h): 1 km/s from 0 to 60 km/s.
CHECK_MIN, CHECK_MAX, CHECK_STEP = 0.0, 60.0, 1.0


def bin_label(b):
    """The speeds of stored bin b of the check (0 the underflow, n + 1 the overflow)."""
    n = round((CHECK_MAX - CHECK_MIN) / CHECK_STEP)
    if b == 0:
        return "below %g km/s" % CHECK_MIN
    if b == n + 1:
        return "%g km/s and above" % CHECK_MAX
    lo = CHECK_MIN + (b - 1) * CHECK_STEP
    return "%g–%g km/s" % (lo, lo + CHECK_STEP)


# The main-belt figures of the literature the page compares with (D > 50 km, early 1990s).
LITERATURE_MEAN, LITERATURE_MODE = 5.3, 4.4


def read_csv(path):
    with open(path) as f:
        return list(csv.DictReader(f))


def read_keys(path):
    keys = {}
    for line in open(path):
        m = re.match(r"^(\S+) = (\S+)$", line.strip())
        if m:
            keys[m.group(1)] = float(m.group(2))
    return keys


def replace_block(text, name, body):
    return re.sub(r"(<!-- generated:%s -->\n).*?(<!-- end:%s -->)" % (name, name),
                  lambda m: m.group(1) + body + "\n" + m.group(2), text, flags=re.S)


def main():
    out, root = sys.argv[1], sys.argv[2]
    blocks = {}

    rows = read_csv(os.path.join(out, "speeds.csv"))
    nodes = []  # in the order of the file: 10 (the program's rule), 0 (accurate mode), others
    for r in rows:
        if int(r["nodes"]) not in nodes:
            nodes.append(int(r["nodes"]))
    by = {(r["id"], r["v_esc"], int(r["nodes"])): r for r in rows}
    head = "| pair | class | v_esc | P_i kernel | P_i Monte Carlo | bins with weight |"
    rule = "|---|---|---:|---:|---:|---:|"
    for n in nodes:
        head += (" %s: largest deviation (SE) | (share of P_i) | in bin |"
                 % ("accurate 1e-6" if n == 0 else "%d × %d" % (n, n)))
        rule += "---:|---:|---|"
    table = [head, rule]
    worst = {n: 0.0 for n in nodes}
    for r in rows:
        if int(r["nodes"]) != nodes[0]:
            continue
        line = "| %s | %s | %s | %.4f | %.4f | %s |" % (
            r["id"], r["class"], r["v_esc"], float(r["p_coll_kernel"]), float(r["p_coll_mc"]),
            r["bins_compared"])
        for n in nodes:
            x = by[(r["id"], r["v_esc"], n)]
            z = float(x["max_abs_z"])
            worst[n] = max(worst[n], z)
            line += " %.1f | %.1f %% | %s %s |" % (z, 100.0 * float(x["max_abs_deviation"]),
                                                   x["worst_distribution"],
                                                   bin_label(int(x["worst_bin"])))
        table.append(line)
    text = "\n".join(table)
    with open(os.path.join(root, "validation", "results", "speeds.md"), "w") as f:
        f.write(text + "\n")
    blocks["speeds"] = text

    keys = read_keys(os.path.join(out, "mainbelt_speeds.txt"))
    bins = read_csv(os.path.join(out, "mainbelt_speeds.csv"))[1:-1]  # the finite bins
    lo = [float(b["speed_min_km_s"]) for b in bins]
    hi = [float(b["speed_max_km_s"]) for b in bins]
    total = sum(float(b["p_impact"]) for b in bins)
    density = [float(b["p_impact"]) / total / (h - l) for b, l, h in zip(bins, lo, hi)]
    fig, ax = plt.subplots(figsize=(8, 4.5))
    ax.stairs(density, lo + [hi[-1]], color="tab:red", fill=True, alpha=0.35,
              label="collision-weighted impact speeds (every quadrature term)")
    ax.axvline(keys["distribution_mean"], color="tab:red", ls="--",
               label="mean %.2f km/s" % keys["distribution_mean"])
    ax.axvline(keys["distribution_mode"], color="tab:red", ls=":",
               label="most probable %.2f km/s" % keys["distribution_mode"])
    ax.axvline(LITERATURE_MEAN, color="k", ls="--", lw=0.8,
               label="literature: mean ≈ %.1f km/s" % LITERATURE_MEAN)
    ax.axvline(LITERATURE_MODE, color="k", ls=":", lw=0.8,
               label="literature: most probable ≈ %.1f km/s" % LITERATURE_MODE)
    ax.set_xlim(0, 15)
    ax.set_xlabel("impact speed (km/s), v_esc = 0")
    ax.set_ylabel("share of the collisions per km/s")
    ax.set_title("Main belt, D > 50 km: distribution of impact speeds (%d pairs)"
                 % keys["pairs"])
    ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(os.path.join(root, "docs", "mainbelt_speeds.png"), dpi=90)
    plt.close(fig)
    blocks["mainbelt_speeds"] = "\n".join([
        "| quantity | this catalogue (10 × 10 nodes, 0.25 km/s bins) | literature |",
        "|---|---:|---|",
        "| mean impact speed (km/s) | %.2f | ≈ %.1f |" % (keys["distribution_mean"],
                                                       LITERATURE_MEAN),
        "| most probable impact speed (km/s; centre of the heaviest bin) | %.2f | ≈ %.1f |" % (keys["distribution_mode"],
                                                                 LITERATURE_MODE),
        "| median impact speed (km/s) | %.2f |  |" % keys["distribution_median"],
        "| standard deviation of the impact speeds (km/s) | %.2f |  |" % keys["distribution_sd"],
        "| P_i-weighted mean of the pairs' mean impact speeds (km/s) | %.4f |  |"
        % keys["v_imp_weighted_pair_means"],
    ])

    mpath = os.path.join(root, "docs", "method.md")
    text = open(mpath).read()
    for name, body in blocks.items():
        text = replace_block(text, name, body)
    open(mpath, "w").write(text)
    print("speeds: largest deviation in standard errors %s; main belt mean %.2f, mode %.2f km/s"
          % (", ".join("%.1f at %d nodes" % (worst[n], n) for n in nodes),  # 0: accurate
             keys["distribution_mean"], keys["distribution_mode"]))


if __name__ == "__main__":
    main()
