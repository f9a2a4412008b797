#!/usr/bin/python3
"""Draws a pairtrack report as a PNG.

Reads a report (pairtrack's standard output) or the table that `pairtrack --frames FILE` writes,
and plots, against the frame time in Myr, the mean intrinsic collision probability
(1e-18 km^-2 yr^-1) and the probability-weighted mean impact speed (km/s), each with a band of
one standard deviation, and the pair counts n_proba and n_impvel. Frame lines are the report's
fixed-layout lines of 144 characters, (f16.10,4(1x,f22.16),4(1x,i8)); a field written as
asterisks (too wide for its field) is left out of the plot and counted. The --frames table
(told by its header row "frame,t_myr,...") holds the same values at 17 significant digits and
never asterisks. With --bodies FILE (the table of `pairtrack --bodies FILE`) a fourth panel
shows the bodies that contribute most to the frame means, summed over the frames (the sum of
their p_sum), with their mean probability frame by frame. With --speeds FILE (the table of
`pairtrack --speed-histogram FILE`) a last panel shows the collision-weighted distributions of
the impact and the encounter speed, per km/s, summed over the frames or of one frame
(--speed-frame N); the legend gives each distribution's mean and most probable speed. Uses
matplotlib as packaged by Debian (python3-matplotlib).

    tools/plot_report.py report.txt -o report.png
    tools/plot_report.py frames.csv --bodies bodies.csv --top 8 -o report.png
    tools/plot_report.py frames.csv --speeds speeds.csv --speed-frame 1 -o report.png
    tools/plot_report.py report.txt -o report.png --describe   # also prints the panels as JSON
"""

import argparse
import csv
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
# The --frames table's column for each of the report's columns, and how to read it.
FRAMES_CSV_COLUMNS = {
    "t": ("t_myr", float),
    "proba_mean": ("proba_mean_1e-18_km-2_yr-1", float),
    "proba_sigma": ("proba_sigma_1e-18_km-2_yr-1", float),
    "impvel_mean": ("impvel_mean_km_s", float),
    "impvel_sigma": ("impvel_sigma_km_s", float),
    "n1": ("n1", int),
    "n2": ("n2", int),
    "n_proba": ("n_proba", int),
    "n_impvel": ("n_impvel", int),
}
FRAMES_CSV_START = "frame,t_myr,"
# The --bodies table's columns that the bodies panel reads.
BODIES_CSV_COLUMNS = ("frame", "t_myr", "id", "p_mean_1e-18_km-2_yr-1", "p_sum_1e-18_km-2_yr-1")
# The --speed-histogram table's columns; its frame rows have position = id = 0 and hold every
# bin, underflow (speed_min -inf) first and overflow (speed_max inf) last.
SPEEDS_CSV_COLUMNS = ("frame", "t_myr", "position", "id", "speed_min_km_s", "speed_max_km_s",
                      "p_impact_1e-18_km-2_yr-1", "p_encounter_1e-18_km-2_yr-1")


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


def is_frames_csv(lines):
    """True when the first line is the header row of a --frames table."""
    return bool(lines) and lines[0].startswith(FRAMES_CSV_START)


def read_table(lines, needed, what):
    """The rows of a CSV table as dicts, checking that its header names the needed columns;
    ValueError naming the table and the first missing column or bad row otherwise."""
    rows = list(csv.reader(line.rstrip("\r\n") for line in lines))
    if not rows:
        raise ValueError("%s is empty" % what)
    header = rows[0]
    missing = [name for name in needed if name not in header]
    if missing:
        raise ValueError("%s has no column %s in its header row" % (what, missing[0]))
    table = []
    for number, row in enumerate(rows[1:], start=2):
        if not row:
            continue
        if len(row) != len(header):
            raise ValueError("%s, line %d: %d fields, the header names %d"
                             % (what, number, len(row), len(header)))
        table.append((number, dict(zip(header, row))))
    return table


def parse_frames_csv(lines):
    """The --frames table as a Report with the report's columns (no asterisks in it)."""
    report = Report()
    needed = [name for name, _ in FRAMES_CSV_COLUMNS.values()]
    for number, row in read_table(lines, needed, "the --frames table"):
        for column, (name, convert) in FRAMES_CSV_COLUMNS.items():
            try:
                report.columns[column].append(convert(row[name]))
            except ValueError:
                raise ValueError("the --frames table, line %d: %s is not a number: %r"
                                 % (number, name, row[name])) from None
    return report


class BodyTrack:
    """One body through the frames that swept it: times, mean probability, and the sum of its
    per-frame probability sums (its contribution to the frame means' numerators)."""

    def __init__(self, body_id):
        self.id = body_id
        self.t = []
        self.p_mean = []
        self.contribution = 0.0


def parse_bodies_csv(lines):
    """The --bodies table as one BodyTrack per identifier."""
    tracks = {}
    p_mean_name, p_sum_name = BODIES_CSV_COLUMNS[3], BODIES_CSV_COLUMNS[4]
    for number, row in read_table(lines, BODIES_CSV_COLUMNS, "the --bodies table"):
        try:
            body_id = int(row["id"])
            t, p_mean, p_sum = (float(row[n]) for n in ("t_myr", p_mean_name, p_sum_name))
        except ValueError:
            raise ValueError("the --bodies table, line %d: a value is not a number" % number) \
                from None
        track = tracks.setdefault(body_id, BodyTrack(body_id))
        track.t.append(t)
        track.p_mean.append(p_mean)
        track.contribution += p_sum
    return tracks


def top_bodies(tracks, n):
    """The n bodies with the largest contribution, largest first (ties: smaller id first)."""
    return sorted(tracks.values(), key=lambda b: (-b.contribution, b.id))[:n]


class SpeedDistribution:
    """The frame rows of a --speed-histogram table, summed over the chosen frames: the bins'
    edges (km/s; the underflow bin's lower edge -inf, the overflow bin's upper edge inf) and the
    impact- and encounter-speed weights (1e-18 km^-2 yr^-1), with the frames they come from."""

    def __init__(self):
        self.frames = []
        self.lower, self.upper = [], []
        self.impact, self.encounter = [], []

    def summary(self, weights):
        """(total, mean, mode) of a distribution: the mean over the finite bins' centres (the
        underflow and overflow bins left out), the mode the centre of the heaviest finite bin;
        None for the mean and mode without weight in finite bins."""
        finite = [(0.5 * (lo + hi), w) for lo, hi, w in zip(self.lower, self.upper, weights)
                  if math.isfinite(lo) and math.isfinite(hi)]
        inside = sum(w for _, w in finite)
        total = sum(weights)
        if not inside > 0.0:
            return total, None, None
        mean = sum(c * w for c, w in finite) / inside
        mode = max(finite, key=lambda cw: cw[1])[0]
        return total, mean, mode


def parse_speeds_csv(lines, frame=None):
    """The frame rows (position 0) of the --speed-histogram table, summed over the frames, or
    of `frame` alone; ValueError when the table is not one or the frame is not in it."""
    dist = SpeedDistribution()
    bins = {}
    for number, row in read_table(lines, SPEEDS_CSV_COLUMNS, "the --speed-histogram table"):
        try:
            if int(row["position"]) != 0:
                continue  # a body's row
            f = int(row["frame"])
            edges = (float(row["speed_min_km_s"]), float(row["speed_max_km_s"]))
            impact = float(row["p_impact_1e-18_km-2_yr-1"])
            encounter = float(row["p_encounter_1e-18_km-2_yr-1"])
        except ValueError:
            raise ValueError("the --speed-histogram table, line %d: a value is not a number"
                             % number) from None
        if frame is not None and f != frame:
            continue
        if not dist.frames or dist.frames[-1] != f:
            dist.frames.append(f)
        sums = bins.setdefault(edges, [0.0, 0.0])
        sums[0] += impact
        sums[1] += encounter
    if not dist.frames:
        if frame is not None:
            raise ValueError("the --speed-histogram table has no frame %d" % frame)
        raise ValueError("the --speed-histogram table has no frame rows")
    for (lo, hi), (impact, encounter) in sorted(bins.items()):
        dist.lower.append(lo)
        dist.upper.append(hi)
        dist.impact.append(impact)
        dist.encounter.append(encounter)
    return dist


def _values(column):
    return [math.nan if v is None else float(v) for v in column]


def build_figure(report, title=None, bodies=None, speeds=None):
    """Three panels over the frame time: probability, impact speed, pair counts; a fourth with
    the given bodies' (BodyTrack) mean probability per frame; a last one, over speed, with the
    SpeedDistribution's impact- and encounter-speed distributions."""
    c = report.columns
    t = _values(c["t"])
    time_rows = 3 if bodies is None else 4
    rows = time_rows + (speeds is not None)
    fig, axes = plt.subplots(rows, 1, figsize=(8, 3 * rows))
    for ax in axes[1:time_rows]:
        ax.sharex(axes[0])
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
    ax.legend(loc="best", fontsize="small")
    ax.grid(True, alpha=0.3)

    if bodies is not None:
        ax = axes[3]
        for body in bodies:
            ax.plot(body.t, body.p_mean, marker=".", label="id %d" % body.id)
        ax.set_title("Bodies with the largest contribution (sum over frames of p_sum)")
        ax.set_ylabel("body's P_i [1e-18 km^-2 yr^-1]")
        if bodies:
            ax.legend(loc="best", fontsize="small")
        ax.grid(True, alpha=0.3)
    axes[time_rows - 1].set_xlabel("t [Myr]")

    if speeds is not None:
        ax = axes[time_rows]
        finite = [k for k, (lo, hi) in enumerate(zip(speeds.lower, speeds.upper))
                  if math.isfinite(lo) and math.isfinite(hi)]
        edges = [speeds.lower[k] for k in finite] + [speeds.upper[finite[-1]]] if finite else []
        for weights, colour, name in ((speeds.impact, "tab:red", "impact"),
                                      (speeds.encounter, "tab:blue", "encounter")):
            _, mean, mode = speeds.summary(weights)
            density = [weights[k] / (speeds.upper[k] - speeds.lower[k]) for k in finite]
            label = name + " speed" if mean is None else (
                "%s speed: mean %.2f, mode %.2f km/s" % (name, mean, mode))
            if finite:
                ax.stairs(density, edges, color=colour, label=label)
        used = [k for k in finite if speeds.impact[k] or speeds.encounter[k]]
        if used:  # the speeds that occur, not the whole bin range
            ax.set_xlim(speeds.lower[used[0]], speeds.upper[used[-1]])
        outside = sum(speeds.impact[k] for k in range(len(speeds.impact)) if k not in finite)
        if outside > 0.0:
            ax.text(0.99, 0.02, "impact: %.3g outside the bins" % outside, ha="right",
                    transform=ax.transAxes, fontsize="small")
        which = ("frame %d" % speeds.frames[0] if len(speeds.frames) == 1
                 else "summed over %d frames" % len(speeds.frames))
        ax.set_title("Collision-weighted speed distributions (%s)" % which)
        ax.set_xlabel("speed [km/s]")
        ax.set_ylabel("P_i per km/s [1e-18 km^-2 yr^-1 / (km/s)]")
        ax.legend(loc="best", fontsize="small")
        ax.grid(True, alpha=0.3)

    if report.asterisk_fields:
        fig.text(0.01, 0.01, "%d field(s) written as asterisks are not drawn"
                 % report.asterisk_fields, fontsize="small")
    fig.tight_layout()
    return fig


def describe(fig, report, bodies=None, speeds=None):
    """The figure's panels as plain data: titles, axis labels and the labels of the curves;
    the bodies of the bodies panel with their contributions."""
    panels = []
    for ax in fig.axes:
        panels.append({
            "title": ax.get_title(),
            "xlabel": ax.get_xlabel(),
            "ylabel": ax.get_ylabel(),
            "lines": [line.get_label() for line in ax.get_lines()] + [
                patch.get_label() for patch in ax.patches],
            "bands": len(ax.collections),
        })
    d = {"frames": report.frames, "asterisk_fields": report.asterisk_fields, "panels": panels}
    if bodies is not None:
        d["top_bodies"] = [{"id": b.id, "contribution": b.contribution} for b in bodies]
    if speeds is not None:
        d["speeds"] = {"frames": speeds.frames}
        for name in ("impact", "encounter"):
            total, mean, mode = speeds.summary(getattr(speeds, name))
            d["speeds"][name] = {"total": total, "mean": mean, "mode": mode}
    return d


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="plot_report.py",
        description="Plot a pairtrack report: collision probability and impact speed with "
                    "their sigma bands, and the pair counts, against time; with --bodies, the "
                    "bodies that contribute most.")
    parser.add_argument("report", help="the report (pairtrack's standard output) or the "
                                       "--frames table (CSV); '-' reads standard input")
    parser.add_argument("-o", "--output", default="report.png", help="PNG to write "
                                                                      "(default report.png)")
    parser.add_argument("--title", help="title of the figure")
    parser.add_argument("--bodies", metavar="FILE",
                        help="the --bodies table (CSV): add a panel of the bodies with the "
                             "largest contribution over time")
    parser.add_argument("--top", type=int, default=5, metavar="N",
                        help="how many bodies the bodies panel shows (default 5)")
    parser.add_argument("--speeds", metavar="FILE",
                        help="the --speed-histogram table (CSV): add a panel of the impact- and "
                             "encounter-speed distributions, summed over the frames")
    parser.add_argument("--speed-frame", type=int, metavar="N",
                        help="with --speeds: draw the distributions of frame N alone")
    parser.add_argument("--describe", action="store_true",
                        help="also print the panels (titles, labels, curves) as JSON")
    args = parser.parse_args(argv)
    if args.top < 1:
        sys.stderr.write("plot_report: --top must be at least 1, not %d\n" % args.top)
        return 1
    if args.speed_frame is not None and args.speeds is None:
        sys.stderr.write("plot_report: --speed-frame needs --speeds\n")
        return 1

    def read_lines(path):
        if path == "-":
            return sys.stdin.readlines()
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.readlines()

    bodies = speeds = None
    path = args.report
    try:
        lines = read_lines(path)
        if is_frames_csv(lines):
            report = parse_frames_csv(lines)
        else:
            report = parse_report(lines)
        if args.bodies is not None:
            path = args.bodies
            bodies = top_bodies(parse_bodies_csv(read_lines(path)), args.top)
        if args.speeds is not None:
            path = args.speeds
            speeds = parse_speeds_csv(read_lines(path), args.speed_frame)
    except OSError as e:
        sys.stderr.write("plot_report: cannot read %s: %s\n" % (path, e.strerror))
        return 1
    except ValueError as e:
        sys.stderr.write("plot_report: %s: %s\n" % (path, e))
        return 1
    if report.frames == 0:
        sys.stderr.write("plot_report: %s holds no frame lines\n" % args.report)
        return 1
    if report.asterisk_fields:
        sys.stderr.write("plot_report: %d field(s) written as asterisks are left out\n"
                         % report.asterisk_fields)
    fig = build_figure(report, args.title, bodies, speeds)
    try:
        fig.savefig(args.output, dpi=100)
    except OSError as e:
        sys.stderr.write("plot_report: cannot write %s: %s\n" % (args.output, e.strerror))
        return 1
    if args.describe:
        print(json.dumps(describe(fig, report, bodies, speeds), indent=2))
    plt.close(fig)
    return 0


if __name__ == "__main__":
    sys.exit(main())
