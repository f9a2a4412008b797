#!/usr/bin/python3
"""Tests of tools/plot_report.py on the bundled example's report: the PNG is written and the
figure has its three panels; asterisk fields, stray lines and bad input are handled; the
--frames table gives the report's panels, the --bodies table the panel of the bodies that
contribute most, and the --speed-histogram table the speed distributions (the example run by the
pairtrack executable, PAIRTRACK_EXE).

Run by CTest; fails (it is never skipped) when matplotlib is missing."""

import csv
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from contextlib import redirect_stdout, redirect_stderr

SOURCE = os.environ.get("PAIRTRACK_SOURCE_DIR",
                        os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
SCRIPT = os.path.join(SOURCE, "tools", "plot_report.py")
EXAMPLE_REPORT = os.path.join(SOURCE, "examples", "expected_report.txt")
PAIRTRACK = os.environ.get("PAIRTRACK_EXE", os.path.join(SOURCE, "build", "pairtrack"))

try:
    import matplotlib  # noqa: F401  (the script needs it; its absence is a failure)
except ImportError:
    sys.stderr.write("plot_report_test: matplotlib is not installed (python3-matplotlib, "
                     "installed by tools/setup.sh)\n")
    sys.exit(1)

sys.path.insert(0, os.path.join(SOURCE, "tools"))
import plot_report  # noqa: E402


def frame_line(t, pm, ps, vm, vs, n1, n2, npr, niv):
    return "%16.10f %22.16f %22.16f %22.16f %22.16f %8d %8d %8d %8d" % (
        t, pm, ps, vm, vs, n1, n2, npr, niv)


class PlotExampleReport(unittest.TestCase):
    def test_writes_a_png_with_the_three_panels(self):
        with tempfile.TemporaryDirectory() as tmp:
            png = os.path.join(tmp, "report.png")
            run = subprocess.run([sys.executable, SCRIPT, EXAMPLE_REPORT, "-o", png, "--describe"],
                                 capture_output=True, text=True, check=False)
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertEqual(run.stderr, "")
            with open(png, "rb") as f:
                data = f.read()
            self.assertTrue(data.startswith(b"\x89PNG\r\n\x1a\n"))
            self.assertGreater(len(data), 10000)
            d = json.loads(run.stdout)
        self.assertEqual(d["frames"], 6)
        self.assertEqual(d["asterisk_fields"], 0)
        panels = d["panels"]
        self.assertEqual([p["title"] for p in panels],
                         ["Intrinsic collision probability", "Impact speed (probability-weighted)",
                          "Pair counts"])
        self.assertEqual([p["ylabel"] for p in panels],
                         ["P_i [1e-18 km^-2 yr^-1]", "v_imp [km/s]", "pairs"])
        self.assertEqual(panels[2]["xlabel"], "t [Myr]")
        self.assertEqual(panels[0]["bands"], 1)  # the sigma bands
        self.assertEqual(panels[1]["bands"], 1)
        self.assertEqual(panels[2]["lines"],
                         ["n_proba (pairs evaluated)", "n_impvel (pairs that can collide)"])

    def test_reads_the_columns_of_the_frame_lines(self):
        with open(EXAMPLE_REPORT) as f:
            report = plot_report.parse_report(f.readlines())
        c = report.columns
        self.assertEqual(c["t"], [0.0, 0.25, 0.5, 0.75, 1.0, 1.25])
        self.assertEqual(c["proba_mean"][0], 4.1178481554878861)
        self.assertEqual(c["impvel_sigma"][5], 1.7425682170849499)
        self.assertEqual(c["n_proba"], [12000, 12000, 11400, 11400, 10800, 9900])
        self.assertEqual(c["n_impvel"][1], 10880)
        fig = plot_report.build_figure(report)
        mean_line = fig.axes[0].get_lines()[0]
        self.assertEqual(list(mean_line.get_ydata()), c["proba_mean"])
        plot_report.plt.close(fig)


class PlotOddReports(unittest.TestCase):
    def run_main(self, text, *extra):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "r.txt")
            with open(path, "w") as f:
                f.write(text)
            png = os.path.join(tmp, "r.png")
            out, err = io.StringIO(), io.StringIO()
            with redirect_stdout(out), redirect_stderr(err):
                status = plot_report.main([path, "-o", png, "--describe", *extra])
            return status, out.getvalue(), err.getvalue(), os.path.exists(png)

    def test_asterisk_fields_are_left_out_and_counted(self):
        good = frame_line(0.5, 4.0, 3.0, 5.0, 1.5, 300, 40, 12000, 10000)
        wide = frame_line(1.0, 4.0, 3.0, 5.0, 1.5, 300, 40, 12000, 10000)
        wide = wide[:17] + "*" * 22 + wide[39:]              # proba mean too wide
        no_time = "*" * 16 + good[16:]                         # time too wide: frame dropped
        text = "\n".join([" # header", good, wide, no_time,
                          " The line did not make any of the checks", ""])
        status, out, err, written = self.run_main(text)
        self.assertEqual(status, 0, err)
        self.assertTrue(written)
        d = json.loads(out)
        self.assertEqual(d["frames"], 2)
        self.assertEqual(d["asterisk_fields"], 2)
        self.assertIn("2 field(s) written as asterisks are left out", err)

    def test_a_report_without_frame_lines_is_an_error(self):
        status, out, err, written = self.run_main(" Error reading standard input.\n")
        self.assertEqual(status, 1)
        self.assertIn("holds no frame lines", err)
        self.assertFalse(written)

    def test_a_missing_report_is_an_error(self):
        err = io.StringIO()
        with redirect_stderr(err):
            status = plot_report.main(["/nonexistent/report.txt", "-o", "/nonexistent/x.png"])
        self.assertEqual(status, 1)
        self.assertIn("cannot read /nonexistent/report.txt", err.getvalue())


class PlotCsvTables(unittest.TestCase):
    """The bundled example run with --frames and --bodies in a scratch folder."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        d = cls.tmp.name
        for name in ("example.in", "mainbelt.cat", "history_f8.bin"):
            shutil.copy(os.path.join(SOURCE, "examples", name), d)
        with open(os.path.join(d, "example.in")) as stdin:
            run = subprocess.run([PAIRTRACK, "--frames", "frames.csv", "--bodies", "bodies.csv",
                                  "--speed-histogram", "speeds.csv"],
                                 cwd=d, stdin=stdin, capture_output=True, text=True, check=False)
        assert run.returncode == 0, run.stderr
        cls.report = run.stdout.splitlines(True)
        cls.frames = os.path.join(d, "frames.csv")
        cls.bodies = os.path.join(d, "bodies.csv")
        cls.speeds = os.path.join(d, "speeds.csv")

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def main_json(self, *args):
        out, err = io.StringIO(), io.StringIO()
        with redirect_stdout(out), redirect_stderr(err):
            status = plot_report.main([*args, "-o", os.path.join(self.tmp.name, "p.png"),
                                       "--describe"])
        self.assertEqual(status, 0, err.getvalue())
        self.assertEqual(err.getvalue(), "")
        return json.loads(out.getvalue())

    def test_the_frames_table_gives_the_reports_panels(self):
        with open(self.frames) as f:
            lines = f.readlines()
        self.assertTrue(plot_report.is_frames_csv(lines))
        figures = [plot_report.build_figure(plot_report.parse_report(self.report)),
                   plot_report.build_figure(plot_report.parse_frames_csv(lines))]
        from_report, from_csv = ([[list(line.get_ydata()) for line in ax.get_lines()]
                                  for ax in fig.axes] for fig in figures)
        self.assertEqual(len(from_csv), 3)
        for panel_report, panel_csv in zip(from_report, from_csv):
            self.assertEqual(len(panel_report), len(panel_csv))
            for y_report, y_csv in zip(panel_report, panel_csv):
                # The report rounds to 16 decimals, the table keeps 17 significant digits.
                self.assertEqual(len(y_report), 6)
                for a, b in zip(y_report, y_csv):
                    self.assertAlmostEqual(a, b, delta=1e-15 * abs(a))
        for fig in figures:
            plot_report.plt.close(fig)
        report_path = os.path.join(self.tmp.name, "report.txt")
        with open(report_path, "w") as f:
            f.writelines(self.report)
        self.assertEqual(self.main_json(self.frames), self.main_json(report_path))

    def test_the_bodies_panel_shows_the_largest_contributions(self):
        totals, p_mean = {}, {}
        with open(self.bodies) as f:
            for row in csv.DictReader(f):
                body = int(row["id"])
                totals[body] = totals.get(body, 0.0) + float(row["p_sum_1e-18_km-2_yr-1"])
                p_mean.setdefault(body, []).append(float(row["p_mean_1e-18_km-2_yr-1"]))
        ranked = sorted(totals, key=lambda body: -totals[body])
        for top, extra in ((5, []), (3, ["--top", "3"])):
            d = self.main_json(self.frames, "--bodies", self.bodies, *extra)
            self.assertEqual([b["id"] for b in d["top_bodies"]], ranked[:top])
            panel = d["panels"][3]
            self.assertEqual(panel["lines"], ["id %d" % body for body in ranked[:top]])
            self.assertEqual(panel["xlabel"], "t [Myr]")
        with open(self.bodies) as f:
            tracks = plot_report.parse_bodies_csv(f.readlines())
        fig = plot_report.build_figure(plot_report.parse_report(self.report), None,
                                       plot_report.top_bodies(tracks, 5))
        for line, body in zip(fig.axes[3].get_lines(), ranked):
            self.assertEqual(list(line.get_ydata()), p_mean[body])
        plot_report.plt.close(fig)

    def test_the_speeds_panel_holds_the_frames_collisions(self):
        with open(self.frames) as f:
            frames = list(csv.DictReader(f))
        # Each frame's distribution holds its total P_i (mean times pairs) and centres on its
        # weighted mean impact speed to within half a bin.
        totals = []
        for row in frames:
            total = float(row["proba_mean_1e-18_km-2_yr-1"]) * int(row["n_proba"])
            totals.append(total)
            d = self.main_json(self.frames, "--speeds", self.speeds, "--speed-frame", row["frame"])
            panel = d["panels"][-1]
            self.assertEqual(panel["xlabel"], "speed [km/s]")
            self.assertEqual(d["speeds"]["frames"], [int(row["frame"])])
            impact = d["speeds"]["impact"]
            self.assertAlmostEqual(impact["total"], total, delta=1e-9 * total)
            self.assertAlmostEqual(d["speeds"]["encounter"]["total"], total, delta=1e-9 * total)
            self.assertLessEqual(abs(impact["mean"] - float(row["impvel_mean_km_s"])), 0.125)
        d = self.main_json(self.frames, "--speeds", self.speeds)
        self.assertEqual(d["speeds"]["frames"], [int(row["frame"]) for row in frames])
        self.assertAlmostEqual(d["speeds"]["impact"]["total"], sum(totals),
                               delta=1e-9 * sum(totals))
        err = io.StringIO()
        with redirect_stderr(err):
            status = plot_report.main([self.frames, "--speeds", self.speeds, "--speed-frame", "99",
                                       "-o", os.path.join(self.tmp.name, "x.png")])
        self.assertEqual(status, 1)
        self.assertIn("has no frame 99", err.getvalue())

    def test_a_table_that_is_not_the_bodies_table_is_an_error(self):
        err = io.StringIO()
        with redirect_stderr(err):
            status = plot_report.main([self.frames, "--bodies", self.frames, "-o",
                                       os.path.join(self.tmp.name, "x.png")])
        self.assertEqual(status, 1)
        self.assertEqual(err.getvalue(), "plot_report: %s: the --bodies table has no column id "
                                         "in its header row\n" % self.frames)


if __name__ == "__main__":
    unittest.main()
