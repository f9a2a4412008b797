#!/usr/bin/python3
"""Tests of tools/plot_report.py on the bundled example's report: the PNG is written and the
figure has its three panels; asterisk fields, stray lines and bad input are handled.

Run by CTest; fails (it is never skipped) when matplotlib is missing."""

import io
import json
import os
import subprocess
import sys
import tempfile
import unittest
from contextlib import redirect_stdout, redirect_stderr

SOURCE = os.environ.get("PAIRTRACK_SOURCE_DIR",
                        os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
SCRIPT = os.path.join(SOURCE, "tools", "plot_report.py")
EXAMPLE_REPORT = os.path.join(SOURCE, "examples", "expected_report.txt")

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


if __name__ == "__main__":
    unittest.main()
