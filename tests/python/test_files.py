"""The file formats from Python against the program's own readers: catalogues against the
catalogue reader (through the reference probe), history files against `pairtrack-history`
(dump, info, convert), reports against their frame lines."""
import os
import subprocess
import warnings

import numpy as np
import pytest

import pairtrack
from conftest import EXAMPLES, PROBE, SOURCE, bits, history_tool

HISTORIES = {"history_i2.bin": 0, "history_f4.bin": 1, "history_f8.bin": 2}


def catalogue_files():
    corpus = os.path.join(SOURCE, "tests", "bad_input", "corpus", "catalogs")
    names = [os.path.join(EXAMPLES, n) for n in ("mainbelt.cat", "bodies.cat")]
    return names + sorted(os.path.join(corpus, n) for n in os.listdir(corpus))


@pytest.mark.parametrize("path", catalogue_files(), ids=os.path.basename)
def test_read_catalogue_gives_the_program_readers_values(path):
    probe = subprocess.run([PROBE, "catalogue", path], capture_output=True, text=True, check=True)
    rows = [line.split() for line in probe.stdout.splitlines()]
    c = pairtrack.read_catalogue(path)
    expected = np.array([[float.fromhex(x) for x in row] for row in rows]).reshape(-1, 3)
    assert len(c) == len(expected)
    for k, column in enumerate((c.inc, c.e, c.a)):
        np.testing.assert_array_equal(bits(column), bits(expected[:, k]))


def test_catalogue_failures_carry_the_programs_messages(tmp_path):
    with pytest.raises(OSError, match="Error reading file .*missing.cat"):
        pairtrack.read_catalogue(tmp_path / "missing.cat")
    with pytest.raises(OSError, match="Error reading file"):
        pairtrack.read_catalogue(tmp_path)
    line = open(f"{EXAMPLES}/mainbelt.cat").readline()
    (tmp_path / "long.cat").write_text(line * 30001)
    with pytest.raises(ValueError, match="pairtrack: orbit catalogue holds more than 30000 orbits"):
        pairtrack.read_catalogue(tmp_path / "long.cat")


def dumped_frames(path):
    """Frames as `pairtrack-history dump` prints them (17 significant digits: exact)."""
    out = history_tool("dump", path)
    assert out.returncode == 0, out.stderr
    frames = []
    for line in out.stdout.splitlines():
        fields = line.split()
        if fields[0] == "frame":
            frames.append((float(fields[1]), int(fields[2]), int(fields[3]), []))
        elif fields[0] == "body":
            frames[-1][3].append([int(fields[1])] + [float(x) for x in fields[2:]])
    return frames


@pytest.mark.parametrize("name", sorted(HISTORIES))
def test_history_frames_are_those_of_the_program_readers(name):
    path = f"{EXAMPLES}/{name}"
    h = pairtrack.HistoryFile(path)
    assert h.format == HISTORIES[name]
    info = history_tool("info", path).stdout
    assert f"encoding: {pairtrack.HistoryFile(path).format} (" in info
    frames = list(h)
    expected = dumped_frames(path)
    assert len(frames) == len(expected) == 6 and not h.truncated and h.end_message is None
    for f, (time, nrec1, nrec2, bodies) in zip(frames, expected):
        assert (f.time, f.nrec1, f.nrec2) == (time, nrec1, nrec2)
        b = np.array(bodies)
        np.testing.assert_array_equal(f.ids, b[:, 0].astype(np.int32))
        for k, column in enumerate((f.a, f.e, f.inc, f.angle5, f.angle6, f.angle7)):
            np.testing.assert_array_equal(bits(column), bits(b[:, k + 1]))
    assert len(list(h)) == 6  # iterating again starts at the first frame


@pytest.mark.parametrize("name", sorted(HISTORIES))
def test_write_history_gives_the_bytes_of_the_history_tool(name, tmp_path):
    path = f"{EXAMPLES}/{name}"
    fmt = HISTORIES[name]
    frames = pairtrack.HistoryFile(path).read_all()
    pairtrack.write_history(tmp_path / "py.bin", frames, fmt)
    text = tmp_path / "dump.txt"
    text.write_text(history_tool("dump", path).stdout)
    converted = history_tool("convert", "--format", str(fmt), str(text), str(tmp_path / "tool.bin"))
    assert converted.returncode == 0, converted.stderr
    assert (tmp_path / "py.bin").read_bytes() == (tmp_path / "tool.bin").read_bytes()
    assert (tmp_path / "py.bin").read_bytes() == open(path, "rb").read()


def test_frames_built_in_python_round_trip(tmp_path):
    f = pairtrack.Frame(2.5e5, [3, 1, 2], [2.1, 2.5, 3.3], [0.1, 0.0, 0.2], [0.05, 0.1, 0.2],
                        angle7=[1.0, 2.0, 3.0])
    assert (f.nrec1, f.nrec2, len(f)) == (1, 3, 3)
    pairtrack.write_history(str(tmp_path / "h.bin"), [f, f], 2)
    back = pairtrack.HistoryFile(tmp_path / "h.bin").read_all()
    assert len(back) == 2
    np.testing.assert_array_equal(back[1].ids, [3, 1, 2])
    np.testing.assert_array_equal(back[1].angle7, [1.0, 2.0, 3.0])
    np.testing.assert_array_equal(back[1].angle5, [0.0, 0.0, 0.0])


def test_a_truncated_last_frame_is_left_out_with_a_warning(tmp_path):
    data = open(f"{EXAMPLES}/history_f8.bin", "rb").read()
    (tmp_path / "cut.bin").write_bytes(data[:-30])
    h = pairtrack.HistoryFile(tmp_path / "cut.bin")
    with pytest.warns(pairtrack.TruncatedHistoryWarning, match="ends inside frame 6"):
        frames = list(h)
    assert len(frames) == 5 and h.truncated and "ends inside frame 6" in h.end_message
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(pairtrack.TruncatedHistoryWarning):
            list(h)  # warnings as errors: the warning propagates as the exception


def test_a_damaged_record_raises_with_the_tools_message(tmp_path):
    # float32 records read as float64: the first header is too short for the encoding.
    with pytest.raises(ValueError, match="the header of frame 1 cannot be read as format 2"):
        list(pairtrack.HistoryFile(f"{EXAMPLES}/history_f4.bin", format=2))


def test_history_opening_failures(tmp_path):
    with pytest.raises(OSError, match="cannot open"):
        pairtrack.HistoryFile(tmp_path / "missing.bin")
    with pytest.raises(OSError, match="cannot open"):
        pairtrack.HistoryFile(tmp_path / "missing.bin", format=2)
    (tmp_path / "empty.bin").write_bytes(b"")
    with pytest.raises(ValueError, match="the encoding cannot be told"):
        pairtrack.HistoryFile(tmp_path / "empty.bin")


@pytest.mark.parametrize("frame, message", [
    (lambda: pairtrack.Frame(0.0, [40000], [2.0], [0.1], [0.1]), "cannot be stored in format"),
    (lambda: pairtrack.Frame(0.0, [1, 2], [2.0, 2.1], [0.1, 0.1], [0.1, 0.1], nrec2=5),
     "announce 5 body records"),
    (lambda: pairtrack.Frame(1e39, [1], [2.0], [0.1], [0.1]), "cannot be stored in format"),
])
def test_write_history_refuses_and_leaves_no_file(frame, message, tmp_path):
    good = pairtrack.Frame(0.0, [1], [2.0], [0.1], [0.1])
    with pytest.raises(ValueError, match=message):
        pairtrack.write_history(tmp_path / "out.bin", [good, frame()], 1)
    assert not (tmp_path / "out.bin").exists()


def test_read_report_gives_the_frame_lines_columns(tmp_path):
    path = f"{EXAMPLES}/expected_report.txt"
    lines = [l for l in open(path).read().splitlines()
             if len(l) == 144 and not l.lstrip().startswith("#")]
    r = pairtrack.read_report(path)
    assert len(r) == len(lines) == 6
    fields = np.array([l.split() for l in lines])
    for k, name in enumerate(["t", "proba_mean", "proba_sigma", "impvel_mean", "impvel_sigma"]):
        np.testing.assert_array_equal(getattr(r, name), fields[:, k].astype(float))
    for k, name in enumerate(["n1", "n2", "n_proba", "n_impvel"]):
        np.testing.assert_array_equal(getattr(r, name), fields[:, 5 + k].astype(np.int64))
    # A value too wide for its field is written as asterisks: NaN for reals, -1 for counts.
    wide = lines[0][:17] + "*" * 22 + lines[0][39:136] + "********"
    (tmp_path / "wide.txt").write_text("\n".join([lines[0], wide, "junk", ""]))
    w = pairtrack.read_report(tmp_path / "wide.txt")
    assert len(w) == 2 and np.isnan(w.proba_mean[1]) and w.n_impvel[1] == -1
    assert w.proba_mean[0] == r.proba_mean[0]
    assert set(w.as_dict()) == {"t", "proba_mean", "proba_sigma", "impvel_mean", "impvel_sigma",
                                "n1", "n2", "n_proba", "n_impvel"}
    with pytest.raises(OSError, match="cannot open"):
        pairtrack.read_report(tmp_path / "missing.txt")
