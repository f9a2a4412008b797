#!/usr/bin/python3
"""Tables and figures of the validation from the CSV files of run.sh.

make_report.py OUTDIR ROOT
  OUTDIR holds mc.csv, kernel.csv, mainbelt.txt, mainbelt_pairs.csv, direct.csv and timing.txt;
  ROOT is the repository: writes validation/results/*.md|csv, docs/validation_*.png and
  rewrites the generated blocks of docs/method.md.
"""
import csv
import math
import os
import re
import sys

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

QUANTS = [("p_coll", "P_i"), ("v_rel_mean", "v_rel"), ("v_imp_mean", "v_imp")]


def read_csv(path):
    with open(path) as f:
        return list(csv.DictReader(f))


def main():
    out, root = sys.argv[1], sys.argv[2]
    res_dir = os.path.join(root, "validation", "results")
    doc_dir = os.path.join(root, "docs")
    os.makedirs(res_dir, exist_ok=True)
    kern = {}
    for r in read_csv(os.path.join(out, "kernel.csv")):
        kern[(r["id"], float(r["v_esc"]), int(r["nodes"]))] = r
    mc = [r for r in read_csv(os.path.join(out, "mc.csv"))]
    mc0 = [r for r in mc if r["window"] == "0"]
    mcw = {(r["id"], float(r["v_esc"]), int(r["window"])): r for r in mc}
    pairs = []
    for line in open(os.path.join(root, "validation", "pairs.txt")):
        f = line.split("#")[0].split()
        if f:
            pairs.append(f)
    desc = {f[0]: "%s/%s/%s vs %s/%s/%s" % tuple(f[2:8]) for f in pairs}

    # Agreement: kernel 10 x 10 (what the program uses) against the Monte Carlo.
    rows = []
    worst = {k: (0.0, "", 0.0) for k in ("k10z", "k10p", "k10xz", "k10xp", "k640z", "k640p")}
    for r in mc0:
        key = (r["id"], float(r["v_esc"]))
        k10 = kern[key + (10,)]
        k_ref = kern[key + (640,)]
        row = {"id": r["id"], "class": r["class"], "v_esc": r["v_esc"], "rho": r["rho_au"]}
        for q, label in QUANTS:
            m, se = float(r[q]), float(r[q + "_se"])
            kv = float(k10[q])
            z = (kv - m) / se if se > 0 else 0.0
            pct = 100.0 * (kv - m) / m if m else 0.0
            row[q] = (kv, m, se, z, pct, float(k_ref[q]))
            if q == "v_imp_mean" and float(r["v_esc"]) == 0:
                continue  # equals v_rel at v_esc = 0
            tag = "%s v_esc=%s %s" % (r["id"], r["v_esc"], label)
            z640 = (float(k_ref[q]) - m) / se if se > 0 else 0.0
            pct640 = 100.0 * (float(k_ref[q]) - m) / m if m else 0.0
            for name, zz, pp, keep in (("k10", z, pct, True),
                                       ("k10x", z, pct, r["class"] != "identical"),
                                       ("k640", z640, pct640, True)):
                if not keep:
                    continue
                if abs(zz) > abs(worst[name + "z"][0]):
                    worst[name + "z"] = (zz, tag, pp)
                if abs(pp) > abs(worst[name + "p"][0]):
                    worst[name + "p"] = (pp, tag, zz)
        # window trend: the estimate at 2 rho minus that at rho, in standard errors
        r2 = mcw[key + (1,)]
        row["trend"] = (float(r2["p_coll"]) - float(r["p_coll"])) / float(r["p_coll_se"])
        row["hits"] = r["hits"]
        rows.append(row)

    with open(os.path.join(res_dir, "agreement.csv"), "w") as f:
        w = csv.writer(f)
        w.writerow(["id", "class", "v_esc", "rho_au"] + sum(
            [[q + "_kernel10", q + "_mc", q + "_mc_se", q + "_z", q + "_pct", q + "_kernel640"]
             for q, _ in QUANTS], []) + ["p_window_trend_se", "mc_pairs_in_window"])
        for row in rows:
            w.writerow([row["id"], row["class"], row["v_esc"], row["rho"]] + sum(
                [["%.6g" % row[q][0], "%.6g" % row[q][1], "%.3g" % row[q][2], "%.2f" % row[q][3],
                  "%.3f" % row[q][4], "%.6g" % row[q][5]] for q, _ in QUANTS], []) +
                ["%.2f" % row["trend"], row["hits"]])

    agree = ["| pair | class | v_esc | P_i kernel | P_i Monte Carlo | z | % | v_rel kernel | v_rel MC | z "
             "| v_imp kernel | v_imp MC | z | z of P_i, 640² |",
             "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for row in rows:
        p, vr, vi = row["p_coll"], row["v_rel_mean"], row["v_imp_mean"]
        agree.append("| %s | %s | %s | %.4f | %.4f ± %.4f | %+.1f | %+.2f | %.4f | %.4f ± %.4f | %+.1f "
                     "| %.4f | %.4f ± %.4f | %+.1f | %+.1f |" % (
                         row["id"], row["class"], row["v_esc"], p[0], p[1], p[2], p[3], p[4],
                         vr[0], vr[1], vr[2], vr[3], vi[0], vi[1], vi[2], vi[3],
                         (p[5] - p[1]) / p[2]))
    pairs_tab = ["| pair | class | orbit 1 (a AU/e/i°) vs orbit 2 | window ρ (AU) | pairs in window | "
                 "P_i(2ρ) − P_i(ρ) in SE |", "|---|---|---|---:|---:|---:|"]
    for row in rows:
        if row["v_esc"] == "0":
            pairs_tab.append("| %s | %s | %s | %s | %s | %+.1f |" % (
                row["id"], row["class"], desc[row["id"]], row["rho"], row["hits"], row["trend"]))

    # Convergence of the quadrature: relative error against 640 x 640 nodes.
    conv = ["| pair | class | v_esc | P_i (640²) | P_i error 10² | 20² | 40² | 80² | v_imp error 10² | 20² | 40² | 80² |",
            "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    conv_data = {}
    for f in pairs:
        for v in (0.0, 5.0):
            ref = kern[(f[0], v, 640)]
            pe, ve = [], []
            for n in (10, 20, 40, 80):
                k = kern[(f[0], v, n)]
                pe.append((float(k["p_coll"]) - float(ref["p_coll"])) / float(ref["p_coll"]))
                ve.append((float(k["v_imp_mean"]) - float(ref["v_imp_mean"])) / float(ref["v_imp_mean"]))
            conv_data[(f[0], v)] = pe
            fmt = lambda x: "%.1e" % x if x != 0 else "0"  # noqa: E731
            conv.append("| %s | %s | %g | %.6g | %s | %s |" % (
                f[0], f[1], v, float(ref["p_coll"]), " | ".join(fmt(x) for x in pe),
                " | ".join(fmt(x) for x in ve)))

    # Main belt.
    mb = {}
    for line in open(os.path.join(out, "mainbelt.txt")):
        m = re.match(r"^(\S+) = (\S+)$", line.strip())
        if m:
            mb[m.group(1)] = m.group(2)
    mb20 = {}
    if os.path.exists(os.path.join(out, "mainbelt20.txt")):
        for line in open(os.path.join(out, "mainbelt20.txt")):
            m = re.match(r"^(\S+) = (\S+)$", line.strip())
            if m:
                mb20[m.group(1)] = m.group(2)
    mbtab = ["| quantity | this catalogue (10 × 10 nodes) | 20 × 20 nodes | literature |", "|---|---:|---:|---|"]
    lit = {"distinct.mean_p_all": "2.85–2.86 (≈ 680 bodies)",
           "distinct.v_imp_weighted": "≈ 5.3 (≈ 680 bodies); ≈ 5.8 older estimate"}
    labels = [("bodies", "bodies (D > 50 km, classes MBA/OMB/IMB)"),
              ("distinct.pairs", "distinct pairs"),
              ("distinct.colliding_pairs", "pairs whose distance ranges meet"),
              ("distinct.mean_p_all", "mean P_i over all distinct pairs (10^-18 km^-2 yr^-1)"),
              ("distinct.mean_p_colliding", "mean P_i over pairs that can collide"),
              ("distinct.v_imp_weighted", "P_i-weighted mean impact speed (km/s)"),
              ("distinct.v_imp_plain", "plain mean impact speed over pairs that can collide (km/s)"),
              ("ordered.mean_p_all", "mean P_i over ordered pairs (each pair twice)"),
              ("with_self.mean_p_all", "mean P_i with the 643 self-pairs added"),
              ("with_self.v_imp_weighted", "P_i-weighted mean impact speed with self-pairs")]
    for k, lab in labels:
        mbtab.append("| %s | %s | %s | %s |" % (lab, mb.get(k, ""), mb20.get(k, ""), lit.get(k, "")))

    names = {"k10": "kernel 10 × 10 (the program), all pairs",
             "k10x": "kernel 10 × 10, all pairs but the nearly identical one",
             "k640": "kernel 640 × 640 (converged quadrature), all pairs"}
    summary = []
    for k in ("k10", "k10x", "k640"):
        wz, wp = worst[k + "z"], worst[k + "p"]
        summary.append("- %s: worst %+.1f standard errors (%s, %+.2f %%); worst %+.2f %% (%s, %+.1f SE)."
                       % (names[k], wz[0], wz[1], wz[2], wp[0], wp[1], wp[2]))
    timing = ""
    tpath = os.path.join(out, "timing.txt")
    if os.path.exists(tpath):
        timing = open(tpath).read().strip()

    blocks = {"pairs": "\n".join(pairs_tab), "agreement": "\n".join(agree),
              "worst": "\n".join(summary), "convergence": "\n".join(conv),
              "mainbelt": "\n".join(mbtab), "timing": timing}
    # direct (3-D node sampling) check
    dpath = os.path.join(out, "direct.csv")
    if os.path.exists(dpath):
        dl = ["| pair | window ρ (AU) | P_i, node difference averaged | P_i, nodes drawn, 3-D count | difference in SE |",
              "|---|---:|---:|---:|---:|"]
        for r in read_csv(dpath):
            a = mcw.get((r["id"], float(r["v_esc"]), 2))  # the same window radius
            if a is None or abs(float(a["rho_au"]) - float(r["rho_au"])) > 1e-12 or r["window"] != "0":
                continue
            pa, sa = float(a["p_coll"]), float(a["p_coll_se"])
            pd, sd = float(r["p_coll"]), float(r["p_coll_se"])
            dl.append("| %s, v_esc = %s | %s | %.4f ± %.4f | %.4f ± %.4f | %+.1f |" % (
                r["id"], r["v_esc"], r["rho_au"], pa, sa, pd, sd, (pd - pa) / math.hypot(sa, sd)))
        blocks["direct"] = "\n".join(dl)
    for name, text in blocks.items():
        with open(os.path.join(res_dir, name + ".md"), "w") as f:
            f.write(text + "\n")

    # Figures.
    fig, axes = plt.subplots(1, 3, figsize=(13, 4.8), sharey=True)
    ids = [f[0] for f in pairs]
    for ax, (q, label) in zip(axes, QUANTS):
        for v, mk, col in ((0.0, "o", "tab:blue"), (5.0, "s", "tab:red")):
            zs = [next(r[q][3] for r in rows if r["id"] == i and float(r["v_esc"]) == v) for i in ids]
            ax.plot(zs, range(len(ids)), mk, color=col, label="v_esc = %g km/s" % v, alpha=0.8)
        ax.axvspan(-5, 5, color="0.92")
        ax.axvspan(-2, 2, color="0.85")
        ax.axvline(0, color="k", lw=0.8)
        ax.set_title("%s: (kernel 10×10 − MC) / SE" % label)
        ax.set_xlabel("standard errors")
    axes[0].set_yticks(range(len(ids)))
    axes[0].set_yticklabels(ids)
    axes[0].invert_yaxis()
    axes[0].legend(loc="lower left", fontsize=8)
    fig.tight_layout()
    fig.savefig(os.path.join(doc_dir, "validation_agreement.png"), dpi=90)
    plt.close(fig)

    fig, axes = plt.subplots(1, 2, figsize=(12, 4.8), sharey=True)
    for ax, v in zip(axes, (0.0, 5.0)):
        for i in ids:
            pe = [max(abs(x), 1e-16) for x in conv_data[(i, v)]]
            ax.semilogy([10, 20, 40, 80], pe, "o-", label=i, lw=1)
        ax.set_xscale("log", base=2)
        ax.set_xticks([10, 20, 40, 80])
        ax.set_xticklabels(["10", "20", "40", "80"])
        ax.set_xlabel("nodes per axis")
        ax.set_title("|P_i(n×n) / P_i(640×640) − 1|, v_esc = %g km/s" % v)
        ax.axhline(1e-3, color="0.5", ls=":")
    axes[0].set_ylabel("relative error of P_i")
    axes[1].legend(fontsize=7, ncol=2, loc="upper right")
    fig.tight_layout()
    fig.savefig(os.path.join(doc_dir, "validation_convergence.png"), dpi=90)
    plt.close(fig)

    ps, vs = [], []
    for r in read_csv(os.path.join(out, "mainbelt_pairs.csv")):
        p = float(r["p_coll"])
        ps.append(p)
        vs.append(float(r["v_imp"]) if p > 0 else 0.0)
    fig, axes = plt.subplots(1, 2, figsize=(12, 4.5))
    axes[0].hist([p for p in ps if p > 0], bins=120, range=(0, 20), color="tab:blue")
    axes[0].axvline(float(mb["distinct.mean_p_all"]), color="k", ls="--", label="mean over all pairs")
    axes[0].set_xlabel("P_i (10^-18 km^-2 yr^-1)")
    axes[0].set_ylabel("pairs")
    axes[0].set_title("Main belt, D > 50 km: P_i of the pairs that can collide")
    axes[0].legend()
    axes[1].hist([v for v, p in zip(vs, ps) if p > 0], bins=100, range=(0, 15),
                 weights=[p for p in ps if p > 0], density=True, color="tab:red", alpha=0.7,
                 label="weighted by P_i")
    axes[1].hist([v for v, p in zip(vs, ps) if p > 0], bins=100, range=(0, 15), density=True,
                 histtype="step", color="k", label="every pair alike")
    axes[1].axvline(float(mb["distinct.v_imp_weighted"]), color="tab:red", ls="--")
    axes[1].set_xlabel("mean impact speed of the pair (km/s)")
    axes[1].set_title("Main belt, D > 50 km: the pairs' mean impact speeds")
    axes[1].legend()
    fig.tight_layout()
    fig.savefig(os.path.join(doc_dir, "validation_mainbelt.png"), dpi=90)
    plt.close(fig)

    # The generated blocks of the method page.
    mpath = os.path.join(doc_dir, "method.md")
    if os.path.exists(mpath):
        text = open(mpath).read()
        for name, body in blocks.items():
            text = re.sub(r"(<!-- generated:%s -->\n).*?(<!-- end:%s -->)" % (name, name),
                          lambda m: m.group(1) + body + "\n" + m.group(2), text, flags=re.S)
        open(mpath, "w").write(text)
    print("\n".join(summary))


if __name__ == "__main__":
    main()
