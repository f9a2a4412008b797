#!/usr/bin/python3
"""Draws a pairtrack report as a PNG.

Reads a report (pairtrack's standard output) and plots, against the frame time in Myr, the mean
intrinsic collision probability (1e-18 km^-2 yr^-1) and the probability-weighted mean impact
speed (km/s), each with a band of one standard deviation, and the pair counts n_proba and
n_impvel. Frame lines are the report's fixed-layout lines of 144 characters,
(f16.10,4(1x,f22.16),4(1x,i8)); a field written as asterisks (too wide for its field) is left
out of the plot and counted. Uses matplotlib as packaged by Debian (python3-matplotlib).

    tools/plot_report.py report.txt -o report.png
    tools/plot_report.py report.txt -o report.png --describe   # also prints the panels as JSON
"""

import argparse
import json
import math
import sys

try:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
except ImportError:  # the plot is the whole point: say what is missing and stop
    sys.stderr.write(
        "plot_report: matplotlib is not available; install python3-matplotlib "
        "(tools/setup.sh does)\n")
    sys.exit(1)

FRAME_LINE_LENGTH = 144
# (start, end) columns of the nine fields of a frame line: f16.10, 4(1x,f22.16), 4(1x,i8).
REAL_FIELDS = [(0, 16), (17, 39), (40, 62), (63, 85), (86, 108)]
INT_FIELDS = [(109, 117), (118, 126), (127, 135), (136, 144)]
COLUMNS = ["t", "proba_mean", "proba_sigma", "impvel_mean", "impvel_sigma",
           "n1", "n2", "n_proba", "n_impvel"]


class Report:
    """The frame lines of a report, column by column; None where a field held asterisks."""

    def __init__(self):
        self.columns = {name: [] for name in COLUMNS}
        self.asterisk_fields = 0

    @property
    def frames(self):
        return len(self.columns["t"])


def parse_field(text, convert):
    """A field's value, None for asterisks; ValueError for anything else unreadable."""
    text = text.strip()
    if text and set(text) == {"*"}:
        return None
    return convert(text)


def parse_report(lines):
    """Collects the frame lines; echo lines (' #'), messages and other text are passed over."""
    report = Report()
    for line in lines:
        line = line.rstrip("\r\n")
        if len(line) != FRAME_LINE_LENGTH or line.lstrip().startswith("#"):
            continue
        try:
            values = [parse_field(line[a:b], float) for a, b in REAL_FIELDS]
            values += [parse_field(line[a:b], int) for a, b in INT_FIELDS]
        except ValueError:
            continue
        if any(line[a - 1] != " " for a, _ in REAL_FIELDS[1:] + INT_FIELDS):
            continue  # the fields must be separated by one blank each
        report.asterisk_fields += sum(v is None for v in values)
        if values[0] is None:
            continue  # without its time a frame cannot be placed
        for name, value in zip(COLUMNS, values):
            report.columns[name].append(value)
    return report


def _values(column):
    return [math.nan if v is None else float(v) for v in column]


def build_figure(report, title=None):
    """Three panels over the frame time: probability, impact speed, pair counts."""
    c = report.columns
    t = _values(c["t"])
    fig, axes = plt.subplots(3, 1, sharex=True, figsize=(8, 9))
    fig.suptitle(title or "pairtrack report")

    def mean_and_band(ax, mean_name, sigma_name, colour, label):
        mean = _values(c[mean_name])
        sigma = _values(c[sigma_name])
        low = [m - s for m, s in zip(mean, sigma)]
        high = [m + s for m, s in zip(mean, sigma)]
        ax.fill_between(t, low, high, color=colour, alpha=0.25, label="mean ± sigma")
        ax.plot(t, mean, color=colour, marker="o", label=label)
        ax.legend(loc="best", fontsize="small")
        ax.grid(True, alpha=0.3)

    ax = axes[0]
    mean_and_band(ax, "proba_mean", "proba_sigma", "tab:blue", "mean intrinsic collision probability")
    ax.set_title("Intrinsic collision probability")
    ax.set_ylabel("P_i [1e-18 km^-2 yr^-1]")

    ax = axes[1]
    mean_and_band(ax, "impvel_mean", "impvel_sigma", "tab:red", "weighted mean impact speed")
    ax.set_title("Impact speed (probability-weighted)")
    ax.set_ylabel("v_imp [km/s]")

    ax = axes[2]
    ax.plot(t, _values(c["n_proba"]), marker="o", label="n_proba (pairs evaluated)")
    ax.plot(t, _values(c["n_impvel"]), marker="s", label="n_impvel (pairs that can collide)")
    ax.set_title("Pair counts")
    ax.set_ylabel("pairs")
    ax.set_xlabel("t [Myr]")
    ax.legend(loc="best", fontsize="small")
    ax.grid(True, alpha=0.3)

    if report.asterisk_fields:
        fig.text(0.01, 0.01, "%d field(s) written as asterisks are not drawn"
                 % report.asterisk_fields, fontsize="small")
    fig.tight_layout()
    return fig


def describe(fig, report):
    """The figure's panels as plain data: titles, axis labels and the labels of the curves."""
    panels = []
    for ax in fig.axes:
        panels.append({
            "title": ax.get_title(),
            "xlabel": ax.get_xlabel(),
            "ylabel": ax.get_ylabel(),
            "lines": [line.get_label() for line in ax.get_lines()],
            "bands": len(ax.collections),
        })
    return {"frames": report.frames, "asterisk_fields": report.asterisk_fields,
            "panels": panels}


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="plot_report.py",
        description="Plot a pairtrack report: collision probability and impact speed with "
                    "their sigma bands, and the pair counts, against time.")
    parser.add_argument("report", help="the report (pairtrack's standard output); '-' reads "
                                       "standard input")
    parser.add_argument("-o", "--output", default="report.png", help="PNG to write "
                                                                      "(default report.png)")
    parser.add_argument("--title", help="title of the figure")
    parser.add_argument("--describe", action="store_true",
                        help="also print the panels (titles, labels, curves) as JSON")
    args = parser.parse_args(argv)

    try:
        if args.report == "-":
            lines = sys.stdin.readlines()
        else:
            with open(args.report, encoding="utf-8", errors="replace") as f:
                lines = f.readlines()
    except OSError as e:
        sys.stderr.write("plot_report: cannot read %s: %s\n" % (args.report, e.strerror))
        return 1
    report = parse_report(lines)
    if report.frames == 0:
        sys.stderr.write("plot_report: %s holds no frame lines\n" % args.report)
        return 1
    if report.asterisk_fields:
        sys.stderr.write("plot_report: %d field(s) written as asterisks are left out\n"
                         % report.asterisk_fields)
    fig = build_figure(report, args.title)
    try:
        fig.savefig(args.output, dpi=100)
    except OSError as e:
        sys.stderr.write("plot_report: cannot write %s: %s\n" % (args.output, e.strerror))
        return 1
    if args.describe:
        print(json.dumps(describe(fig, report), indent=2))
    plt.close(fig)
    return 0


if __name__ == "__main__":
    sys.exit(main())
