"""run() against the pairtrack program: the same report and pair file byte for byte, the tables
equal to --frames and --bodies, the warnings as PairtrackWarning, the error ends as exceptions,
and runs from two Python threads at once."""
import hashlib
import os
import re
import shutil
import subprocess

import numpy as np
import pytest

import pairtrack
from conftest import EXAMPLES, on_threads

EXE = os.environ.get("PAIRTRACK_EXE", "")
EXAMPLE = dict(format=2, n2_min=1, n2_max=40, time_divisor=1e6, write_pairs=True, q_crit=1.8,
               p_crit=0.5, iseed=-12345, v_esc=0.0)


@pytest.fixture
def example_dir(tmp_path, monkeypatch):
    for name in ("mainbelt.cat", "history_f8.bin", "example.in"):
        shutil.copy(os.path.join(EXAMPLES, name), tmp_path)
    monkeypatch.chdir(tmp_path)
    return tmp_path


def program(cwd, *args, stdin="example.in"):
    if not EXE:
        pytest.fail("PAIRTRACK_EXE is not set (run the tests through CTest)")
    with open(os.path.join(cwd, stdin)) as records:
        return subprocess.run([EXE, *args], stdin=records, capture_output=True, text=True, cwd=cwd)


def csv_columns(path):
    with open(path) as f:
        names = f.readline().strip().split(",")
        rows = [line.rstrip("\n").split(",") for line in f]
    return {n: [r[i] for r in rows] for i, n in enumerate(names)}


def reals(texts):
    return np.array([float(v) if v else np.nan for v in texts])


def test_run_gives_the_program_report_pair_file_and_tables(example_dir):
    done = program(example_dir, "--frames", "frames.csv", "--bodies", "bodies.csv")
    assert done.returncode == 0
    pairs = (example_dir / "hitrate_pairtrack_q.tmp").read_bytes()
    (example_dir / "hitrate_pairtrack_q.tmp").unlink()

    r = pairtrack.run("mainbelt.cat", "history_f8.bin", **EXAMPLE)
    assert r.status == 0
    assert r.report == done.stdout
    assert (example_dir / "hitrate_pairtrack_q.tmp").read_bytes() == pairs
    assert r.diagnostics == []

    # Every column of both tables against the program's CSV files (a column filled from the
    # wrong field went unseen while only some were compared).
    frames = csv_columns(example_dir / "frames.csv")
    assert len(r.frames) == 6 and len(r.frames._fields) == len(frames)
    for name, csv_name in zip(r.frames._fields, frames):
        # The collision-weighted speed columns are empty without the speed histogram: NaN.
        np.testing.assert_array_equal(getattr(r.frames, name), reals(frames[csv_name]),
                                      err_msg=name)
    assert np.all(np.isnan(r.frames.v_imp_cw_mean)) and r.speed_histogram is None
    bodies = csv_columns(example_dir / "bodies.csv")
    assert len(r.bodies) == len(bodies["id"]) and len(r.bodies._fields) == len(bodies)
    for name, csv_name in zip(r.bodies._fields, bodies):
        column = getattr(r.bodies, name)
        if name == "removed":
            np.testing.assert_array_equal(column, np.array(bodies[csv_name]) == "1")
        else:
            np.testing.assert_array_equal(column, reals(bodies[csv_name]), err_msg=name)


def test_the_speed_histogram_is_the_programs_file(example_dir):
    done = program(example_dir, "--frames", "frames.csv", "--bodies", "bodies.csv",
                   "--speed-histogram", "speeds.csv", "--speed-bins", "1:20:0.5")
    assert done.returncode == 0, done.stderr
    for bins in ("1:20:0.5", (1, 20.0, 0.5)):
        r = pairtrack.run("mainbelt.cat", "history_f8.bin", **EXAMPLE, speed_histogram=True,
                          speed_bins=bins)
        assert r.report == done.stdout
        speeds = csv_columns(example_dir / "speeds.csv")
        table = r.speed_histogram
        assert len(table) == len(speeds["frame"]) and len(table._fields) == len(speeds)
        for name, csv_name in zip(table._fields, speeds):
            np.testing.assert_array_equal(table[name], reals(speeds[csv_name]), err_msg=name)
        frames = csv_columns(example_dir / "frames.csv")
        for name in ("v_imp_cw_mean", "v_imp_cw_rms", "v_imp_cw_sd"):
            np.testing.assert_array_equal(r.frames[name], reals(frames[name + "_km_s"]))
    # Underflow, the 38 bins from 1 to 20 km/s and overflow for every frame, bodies' rows too.
    whole = table[table.position == 0]
    assert len(whole) == 6 * 40 and np.any(table.position > 0)
    assert whole.speed_min[0] == -np.inf and whole.speed_max[39] == np.inf


@pytest.mark.parametrize("bins, message", [
    ("0:40", "speed_bins: speed bins must be MIN:MAX:STEP (three numbers separated by colons), "
             "not '0:40'"),
    ("0:40:0", "speed_bins: the speed bins' step must be above 0"),
    ((5.0, 1.0, 1.0), "speed_bins: the speed bins' maximum must be above the minimum"),
    ((-1.0, 40.0, 1.0), "speed_bins: the speed bins' minimum must be 0 or more"),
    ((0.0, 40.0), "speed_bins: bins=(0.0, 40.0): (min, max, step) in km/s"),
])
def test_bad_speed_bins_are_refused_with_the_reason(example_dir, bins, message):
    with pytest.raises(ValueError, match="^" + re.escape(message) + "$"):
        pairtrack.run("mainbelt.cat", "history_f8.bin", **EXAMPLE, speed_histogram=True,
                      speed_bins=bins)


def test_the_manifest_records_the_records_and_the_files_hashes(example_dir):
    r = pairtrack.run("mainbelt.cat", "history_f8.bin", **{**EXAMPLE, "v_esc": 5.0})
    m = r.manifest
    assert m["records"]["v_esc_km_s"] == 5.0 and m["records"]["iseed"] == -12345
    assert m["exit_status"] == 0 and m["frames"] == 6 and m["warnings"] == 0
    assert m["build"]["kernel_path"] in ("scalar", "AVX2", "AVX-512")
    files = {f["role"]: f for f in m["files"]}
    assert set(files) == {"catalogue", "history", "report", "pairs"}
    for role in ("catalogue", "history", "pairs"):
        data = (example_dir / files[role]["path"]).read_bytes()
        assert files[role]["bytes"] == len(data)
        assert files[role]["sha256"] == hashlib.sha256(data).hexdigest()
    assert files["report"]["bytes"] == len(r.report.encode())
    assert r.as_dict()["manifest"] == m


def test_warnings_are_python_warnings(example_dir):
    with pytest.warns(pairtrack.PairtrackWarning, match="iseed = 5 is not negative"):
        r = pairtrack.run("mainbelt.cat", "history_f8.bin", **{**EXAMPLE, "iseed": 5})
    assert r.status == 0
    assert r.diagnostics[0][0] == "warning"


@pytest.mark.parametrize("change, error, message", [
    (dict(catalogue="missing.cat"), OSError,
     "Error reading file missing.cat: catalogue 'missing.cat' cannot be read: No such file"),
    (dict(history="missing.bin"), OSError, "pairtrack: Error opening file missing.bin"),
    (dict(format=7), ValueError, "pairtrack: Unknown binary file format specified.: record 3"),
    (dict(n2_min=0), ValueError, "pairtrack: n2_min must be at least 1.: record 4"),
    (dict(iseed=5, strict=True), ValueError, "stopped by --strict: iseed = 5"),
])
def test_error_ends_raise_with_the_program_message(example_dir, change, error, message):
    args = {**EXAMPLE, **change}
    cat, hist = args.pop("catalogue", "mainbelt.cat"), args.pop("history", "history_f8.bin")
    with pytest.raises(error, match=message.replace(".", r"\.").replace("(", r"\(")) as caught:
        pairtrack.run(cat, hist, **args)
    result = caught.value.result
    assert result.status == 1
    if result.report:
        assert result.report.startswith(" # n2_min =")


def test_two_threads_run_at_once_with_the_results_of_one(example_dir):
    alone = pairtrack.run("mainbelt.cat", "history_f8.bin", **{**EXAMPLE, "write_pairs": False})
    results = [None, None]

    def work(k):
        results[k] = pairtrack.run("mainbelt.cat", "history_f8.bin",
                                   **{**EXAMPLE, "write_pairs": False}, threads=1 + k)

    on_threads(work)
    for r in results:
        assert r.report == alone.report
        np.testing.assert_array_equal(r.bodies.p_sum, alone.bodies.p_sum)


def test_run_in_the_accurate_mode_gives_the_programs_report_and_tables(example_dir):
    with open(example_dir / "example.in") as f:
        records = f.read().replace("1 40", "1 4")
    (example_dir / "small.in").write_text(records)
    done = program(example_dir, "--accuracy", "1e-4", "--frames", "frames.csv", stdin="small.in")
    assert done.returncode == 0
    r = pairtrack.run("mainbelt.cat", "history_f8.bin", **{**EXAMPLE, "n2_max": 4},
                      accuracy=1e-4)
    assert r.report == done.stdout
    assert " # accuracy =  1.0000000000000000E-004  (adaptive Gauss-Kronrod)\n" in r.report
    frames = csv_columns(example_dir / "frames.csv")
    np.testing.assert_array_equal(r.frames.proba_mean_error,
                                  np.array(frames["proba_mean_error_1e-18_km-2_yr-1"], dtype=float))
    assert np.all(r.frames.proba_mean_error > 0)
