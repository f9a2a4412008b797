"""The ways Python users work with the package: results that index, slice, pickle, copy and
convert without ever crashing the interpreter; objects made without __init__; populations that
carry their unit; units checked; singular pairs flagged; independent passes over a history file;
the program's catalogue warnings; Ctrl-C; run()'s arguments checked by name."""
import copy
import gc
import os
import pickle
import signal
import subprocess
import sys
import threading
import time
import warnings

import numpy as np
import pytest

import pairtrack
from conftest import EXAMPLES, bits

BELT = f"{EXAMPLES}/mainbelt.cat"
HISTORY = f"{EXAMPLES}/history_f8.bin"


def test_the_crash_script_runs_in_a_fresh_interpreter():
    # Indexing a result once returned an accessor into a destroyed tuple: garbage, then a
    # segfault. A child interpreter shows a crash as a signal instead of killing the tests.
    script = """if True:
        import gc, pairtrack
        r = pairtrack.collision_probability(2.77, 0.076, 10.6, 2.5, 0.1, 5.0)
        print(r[0]); x = r[0]; assert type(x) is float and x == r.p_coll
        a = pairtrack.collision_probability([2.77, 2.6, 2.9], 0.076, 10.6, 2.5, 0.1, 5.0)
        for _ in range(200):
            s = a[1:3]; t = a[::2]; gc.collect()
            assert s[0] is a.v_rel_mean and t[1] is a.v_rel_rms
        for cls in (pairtrack.Frame, pairtrack.Catalogue, pairtrack.PairResult,
                    pairtrack.ReportFrames, pairtrack.FrameTable, pairtrack.BodyTable,
                    pairtrack.RunResult, pairtrack.HistoryFile):
            o = cls.__new__(cls)
            for use in (len, repr, lambda o: o.a, lambda o: list(o), lambda o: o[0]):
                try:
                    use(o)
                except Exception:
                    pass
        print("done")
    """
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          env=os.environ)
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines()[-1] == "done"


def example_objects():
    belt = pairtrack.read_catalogue(BELT)
    h = pairtrack.HistoryFile(HISTORY)
    frame = next(iter(h))
    matrix = pairtrack.pair_matrix(belt[:7], frame)
    with pytest.warns(pairtrack.PairtrackWarning):
        run = pairtrack.run(BELT, HISTORY, n2_max=40, q_crit=1.8, p_crit=0.5, iseed=5,
                            speed_histogram=True, speed_bins="0:20:1")
    return [belt, frame, matrix, pairtrack.read_report(f"{EXAMPLES}/expected_report.txt"),
            run, run.frames, run.bodies, run.speed_histogram, h]


def same(a, b):
    if isinstance(a, pairtrack.PairResult):
        return all(np.array_equal(x, y) for x, y in zip(a.as_dict().values(), b.as_dict().values()))
    if isinstance(a, pairtrack.RunResult):
        return (a.report == b.report and a.frames == b.frames and a.bodies == b.bodies
                and a.speed_histogram == b.speed_histogram)
    if isinstance(a, pairtrack.HistoryFile):
        return [f.time for f in a] == [f.time for f in b]
    return a == b


def test_every_result_and_table_pickles_and_copies():
    for obj in example_objects():
        for twin in (pickle.loads(pickle.dumps(obj)), copy.deepcopy(obj), copy.copy(obj)):
            assert type(twin) is type(obj) and same(twin, obj), type(obj).__name__


def test_tables_index_slice_and_convert():
    pandas = pytest.importorskip("pandas")
    belt, frame, matrix, report, run, frames, bodies, speeds, _ = example_objects()
    for table in (belt, frame, report, frames, bodies, speeds):
        d = table.as_dict()
        assert list(d) == list(table._fields) and all(len(c) == len(table) for c in d.values())
        df = table.to_pandas()
        assert list(df.columns) == list(d) and len(df) == len(table)
        first = table[0]
        np.testing.assert_equal(first, {k: c[0].item() for k, c in d.items()})
        np.testing.assert_equal(table[-1], table[len(table) - 1])
        part = table[1:3]
        assert type(part) is type(table) and len(part) == 2
        np.testing.assert_array_equal(part[table._fields[1]], d[table._fields[1]][1:3])
        with pytest.raises(IndexError):
            table[len(table)]
        with pytest.raises(KeyError, match="has no column"):
            table["nope"]
    inner = belt[belt.a < 2.5]
    assert len(inner) == np.count_nonzero(belt.a < 2.5) and inner.path == belt.path
    df = matrix.to_pandas()
    assert df.index.names == ["i", "j"] and len(df) == matrix.p_coll.size
    np.testing.assert_array_equal(df["p_coll"].to_numpy(), matrix.p_coll.ravel())
    assert set(run.to_pandas()) == {"frames", "bodies", "speed_histogram"}
    assert isinstance(pandas.DataFrame(run.as_dict()["frames"]), pandas.DataFrame)


def test_a_history_file_gives_independent_passes():
    h = pairtrack.HistoryFile(HISTORY)
    times = [f.time for f in h]
    assert [(a.time, b.time) for a, b in zip(h, h)] == list(zip(times, times))
    nested = [(a.time, b.time) for a in h for b in h]
    assert nested == [(x, y) for x in times for y in times]
    first, second = iter(h), iter(h)
    next(first)
    assert next(second).time == times[0] and next(first).time == times[1]
    assert h.frames_read == 2 and len(h.read_all()) == len(times) == 6


def test_a_catalogue_and_a_frame_carry_their_units():
    belt = pairtrack.read_catalogue(BELT)
    frame = next(iter(pairtrack.HistoryFile(HISTORY)))
    radians = np.column_stack([belt.a, belt.e, belt.inc * pairtrack.RADIANS_PER_DEGREE])
    expected = pairtrack.pair_matrix(radians, frame, degrees=False)
    for a, b in zip(pairtrack.pair_matrix(belt, frame), expected):
        np.testing.assert_array_equal(bits(a), bits(b))
    as_mapping = {"a": belt.a, "e": belt.e, "inc": belt.inc}
    np.testing.assert_array_equal(bits(pairtrack.pair_matrix(as_mapping, belt).p_coll),
                                  bits(pairtrack.pair_matrix(belt, belt).p_coll))
    for call in (lambda: pairtrack.pair_matrix(belt, frame, degrees=True),
                 lambda: pairtrack.pair_matrix(belt, frame, degrees=False)):
        with pytest.raises(ValueError, match="holds its inclinations in"):
            call()


@pytest.mark.parametrize("call, message", [
    (lambda: pairtrack.collision_probability(2.5, 0.1, 181.0, 2.6, 0.1, 5.0),
     r"i1: inclination 181.0 degrees is outside \[0, 180\]"),
    (lambda: pairtrack.collision_probability(2.5, 0.1, 5.0, 2.6, 0.1, -1.0), "i2: inclination"),
    (lambda: pairtrack.collision_probability(2.5, 0.1, 0.1, 2.6, 0.1, 5.0, degrees=False),
     r"i2: inclination 5.0 radians is outside \[0, pi\] \(orbit 0\) \(degrees given"),
    (lambda: pairtrack.pair_matrix([[2.5, 0.1, 200.0]], [[2.6, 0.1, 5.0]]), "orbits1.inc"),
    (lambda: pairtrack.pair_matrix({"a": [2.5], "e": [0.1]}, [[2.6, 0.1, 5.0]]),
     "orbits1: the mapping has no key 'inc'"),
    (lambda: pairtrack.pair_matrix([[2.5, 0.1, 5.0]], type("P", (), {"a": [2.5], "e": [0.1]})()),
     "orbits2: P object has no attribute 'inc'"),
])
def test_inclinations_and_populations_are_checked_by_name(call, message):
    with pytest.raises(ValueError, match=message):
        call()


def test_radians_given_as_degrees_are_warned_about():
    belt = pairtrack.read_catalogue(BELT)
    rad = belt.inc * pairtrack.RADIANS_PER_DEGREE
    with pytest.warns(pairtrack.PairtrackWarning, match="i2: all 300 inclinations .* look like radians"):
        pairtrack.collision_probability(2.7, 0.1, 10.0, belt.a, belt.e, rad)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        pairtrack.collision_probability(2.7, 0.1, 10.0, belt.a, belt.e, belt.inc)
        pairtrack.collision_probability(2.7, 0.1, 0.1, belt.a[:5], belt.e[:5], rad[:5])  # a handful
        pairtrack.collision_probability(2.7, 0.1, 0.1, belt.a, belt.e, 0 * rad)  # all zero: planar


def test_coplanar_identical_and_circular_pairs_are_flagged_with_one_warning():
    rows = np.array([[2.5, 0.1, 5.0], [2.6, 0.2, 5.0], [2.55, 0.0, 0.0], [2.55, 0.0, 7.0],
                     [2.58, 0.05, 0.0], [9.0, 0.05, 5.0], [2.6, 0.15, 175.0], [2.7, 0.0, 0.0]])
    with pytest.warns(pairtrack.PairtrackWarning, match="of 64 pairs have distance ranges that meet") as w:
        m = pairtrack.pair_matrix(rows, rows)
    assert len([x for x in w if "singular" in str(x.message)]) == 1
    expected = np.zeros((8, 8), dtype=bool)
    # equal inclinations, planar, planar apart (2.55 and 2.7 circles), same circle, 180 degrees
    for i, j in [(0, 1), (2, 4), (4, 7), (2, 3), (0, 6), (1, 6)]:
        expected[i, j] = expected[j, i] = True
    np.fill_diagonal(expected, True)  # identical orbits
    expected[5, 0] = expected[0, 5] = expected[5, 1] = expected[1, 5] = False  # ranges apart
    np.testing.assert_array_equal(m.singular, expected)
    one = pairtrack.collision_probability(2.5, 0.1, 5.0, 2.5, 0.1, 5.0)
    assert one.singular is True


def test_read_catalogue_gives_the_programs_warnings(tmp_path):
    lines = open(BELT).read().splitlines(keepends=True)
    (tmp_path / "gap.cat").write_text("".join(lines[:10] + ["\n"] + lines[10:]))
    with pytest.warns(pairtrack.PairtrackWarning, match="stopped at line 11, a blank line; 290 lines after it are not read"):
        assert len(pairtrack.read_catalogue(tmp_path / "gap.cat")) == 10
    (tmp_path / "head.cat").write_text("Name Inclination Eccentricity SemimajorAxis\n" + "".join(lines))
    with pytest.raises(ValueError, match="(?s)holds no orbit.*the first line looks like a header"):
        pairtrack.read_catalogue(tmp_path / "head.cat", strict=True)
    bad = [l[:147] + l[147:182].replace(l[147:182].split()[1], "1.0", 1) + l[182:] for l in lines[:3]]
    (tmp_path / "e1.cat").write_text("".join(bad))
    with pytest.warns(pairtrack.PairtrackWarning) as w:
        pairtrack.read_catalogue(tmp_path / "e1.cat")
    texts = [str(x.message) for x in w]
    assert "line 1: e = " in texts[0] and "3 in this catalogue" in texts[1] and len(texts) == 2
    (tmp_path / "empty.cat").write_text("")
    with pytest.warns(pairtrack.PairtrackWarning, match="holds no orbit"):
        pairtrack.read_catalogue(tmp_path / "empty.cat")


def test_read_report_refuses_what_is_not_a_report(tmp_path):
    with pytest.raises(ValueError, match="is not a pairtrack report"):
        pairtrack.read_report(HISTORY)
    (tmp_path / "start.txt").write_text(open(f"{EXAMPLES}/expected_report.txt").read()[:200])
    assert len(pairtrack.read_report(tmp_path / "start.txt")) == 0  # a report without frames


@pytest.mark.parametrize("change, message", [
    (dict(q_crit=float("nan")), "q_crit must be finite"),
    (dict(v_esc="5"), "v_esc must be a real number, not str"),
    (dict(n2_max=40.0), "n2_max must be an int, not float"),
    (dict(iseed=2**40), "iseed = .* does not fit"),
    (dict(write_pairs=1), "write_pairs must be True or False"),
    (dict(format="2"), "format must be an int"),
    (dict(catalogue="x" * 81), "catalogue: the path .* records hold at most 80 characters"),
    (dict(history=3.5), "history must be a path"),
])
def test_run_refuses_arguments_by_name(change, message):
    args = {"catalogue": BELT, "history": HISTORY, **change}
    with pytest.raises(ValueError, match=message):
        pairtrack.run(args.pop("catalogue"), args.pop("history"), **args)


def test_run_tells_the_encoding_when_asked(tmp_path):
    detected = pairtrack.run(BELT, f"{EXAMPLES}/history_f4.bin", format=None, n2_max=40)
    given = pairtrack.run(BELT, f"{EXAMPLES}/history_f4.bin", format=1, n2_max=40)
    assert detected.report == given.report and len(given.frames) == 6
    (tmp_path / "empty.bin").write_bytes(b"")
    with pytest.raises(ValueError, match="the encoding cannot be told"):
        pairtrack.run(BELT, tmp_path / "empty.bin", format=None)


def big_history(path, frames=3):
    rng = np.random.default_rng(5)
    n = 30000
    f = pairtrack.Frame(0.0, np.arange(1, n + 1), rng.uniform(2.1, 3.3, n),
                        rng.uniform(0.0, 0.3, n), rng.uniform(0.0, 0.5, n))
    pairtrack.write_history(path, [f] * frames, 2)


def interrupt_after(seconds):
    started = []

    def send():
        time.sleep(seconds)
        started.append(time.monotonic())
        os.kill(os.getpid(), signal.SIGINT)

    threading.Thread(target=send, daemon=True).start()
    return started


@pytest.mark.parametrize("what", ["pair_matrix", "run"])
def test_ctrl_c_stops_a_long_call_at_once(what, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    rng = np.random.default_rng(3)
    rows = np.column_stack([rng.uniform(2, 3, 4000), rng.uniform(0, 0.3, 4000),
                            rng.uniform(0, 30, 4000)])
    if what == "run":
        big_history("big.bin")
    sent = interrupt_after(0.5)
    with pytest.raises(KeyboardInterrupt):
        if what == "pair_matrix":
            pairtrack.pair_matrix(rows, rows, threads=2)
        else:
            pairtrack.run(BELT, "big.bin", write_pairs=True, threads=2)
    # The call looks for signals every 0.1 s and the work stops within a chunk of pairs: well
    # under half a second on an idle machine; the bound leaves room for a loaded test machine
    # while staying far below the several seconds the call would take.
    assert sent and time.monotonic() - sent[0] < 1.5
    assert not (tmp_path / "hitrate_pairtrack_q.tmp").exists()
    gc.collect()
    assert pairtrack.pair_matrix(rows[:3], rows[:3]).p_coll.shape == (3, 3)  # still usable
