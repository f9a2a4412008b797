"""Every refusal of the Python module: wrong dtypes, shapes, elements and arguments are
exceptions with a clear message (never a crash); what can be handled (other real dtypes,
non-contiguous and empty arrays, path objects) is handled. And the module documents itself."""
import pathlib
import pydoc

import numpy as np
import pytest

import pairtrack
from conftest import EXAMPLES, bits

ORBIT = (2.5, 0.1, 5.0)
ROWS = np.array([[2.5, 0.1, 5.0], [2.7, 0.2, 12.0], [3.1, 0.05, 2.0]])


def cp(a1=2.5, e1=0.1, i1=5.0, a2=2.6, e2=0.15, i2=8.0, **kw):
    return pairtrack.collision_probability(a1, e1, i1, a2, e2, i2, **kw)


@pytest.mark.parametrize("call, error, message", [
    (lambda: cp(a1=np.array([2.5 + 1j])), TypeError, "a1 must hold real numbers"),
    (lambda: cp(e2=["0.1"]), TypeError, "e2 must hold real numbers"),
    (lambda: cp(i1=np.array([True])), TypeError, "i1 must hold real numbers"),
    (lambda: cp(a2=np.array([object()])), TypeError, "a2 must hold real numbers"),
    (lambda: cp(a1=np.array(["2020-01-01"], dtype="datetime64[D]")), TypeError, "real numbers"),
    (lambda: cp(a1=np.ones(3, dtype=np.longdouble)), TypeError, "float64 or narrower"),
    (lambda: cp(a1=[2.5, 2.6], a2=[2.5, 2.6, 2.7]), ValueError, "broadcast"),
    (lambda: cp(e1=1.0), ValueError, r"orbit 1, orbit 0: eccentricity .* outside 0 <= e < 1"),
    (lambda: cp(e2=[0.1, -0.1]), ValueError, "orbit 2, orbit 1: eccentricity"),
    (lambda: cp(a1=0.0), ValueError, "semimajor axis"),
    (lambda: cp(a2=np.nan), ValueError, "semimajor axis"),
    (lambda: cp(i2=np.inf), ValueError, "inclination is not finite"),
    (lambda: cp(v_esc=-1.0), ValueError, "v_esc must be finite and >= 0"),
    (lambda: cp(v_esc=np.nan), ValueError, "v_esc must be finite"),
    (lambda: cp(v_esc="fast"), TypeError, "v_esc must be a real number"),
    (lambda: cp(threads=0), ValueError, "threads must be None or an int from 1"),
    (lambda: cp(threads=-2), ValueError, "threads must be None or an int from 1"),
    (lambda: cp(threads=1.5), TypeError, "threads must be None or an int"),
    (lambda: pairtrack.pair_matrix(np.array(ORBIT), ROWS), ValueError, r"shape \(n, 3\)"),
    (lambda: pairtrack.pair_matrix(ROWS, np.ones((2, 4))), ValueError, r"orbits2 must have shape"),
    (lambda: pairtrack.pair_matrix(ROWS, np.ones((2, 3, 1))), ValueError, "must have shape"),
    (lambda: pairtrack.pair_matrix(ROWS, ROWS.astype(complex)), TypeError, "real numbers"),
    (lambda: pairtrack.pair_matrix(ROWS, [[2.0, 1.5, 3.0]]), ValueError, "eccentricity"),
    (lambda: pairtrack.write_history("x.bin", [], 3), ValueError, "format must be 0"),
    (lambda: pairtrack.write_history("x.bin", [], "2"), TypeError, "format must be 0"),
    (lambda: pairtrack.write_history("x.bin", [object()], 2), TypeError, "must be a pairtrack.Frame"),
    (lambda: pairtrack.HistoryFile(f"{EXAMPLES}/history_f8.bin", format=5), ValueError,
     "format must be 0"),
    (lambda: pairtrack.read_catalogue(12), TypeError, ""),
    (lambda: pairtrack.read_catalogue("a\0b"), ValueError, "NUL"),
    (lambda: pairtrack.Frame(0.0, [1.5], [2.0], [0.1], [0.1]), TypeError, "ids must hold integers"),
    (lambda: pairtrack.Frame(0.0, [1], [2.0], [0.1], [0.1], nrec2="1"), TypeError,
     "nrec2 must be None or an int"),
    (lambda: pairtrack.Frame(0.0, [1, 2], [2.0], [0.1, 0.2], [0.1, 0.2]), ValueError,
     "a must be a 1-D array as long as ids"),
])
def test_refusals(call, error, message, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(error, match=message):
        call()
    assert not (tmp_path / "x.bin").exists()


def test_other_real_dtypes_are_converted():
    got = cp(a1=np.float32(2.5), e1=np.float32(0.1), i1=np.int64(5), a2=[2.6], i2=np.uint8(8))
    assert got.p_coll.shape == (1,)
    # float32 values widen exactly (0.1 as float32 is not the double 0.1); integers too.
    assert got.p_coll[0] == cp(e1=float(np.float32(0.1))).p_coll


def test_non_contiguous_arrays_are_copied():
    belt = pairtrack.read_catalogue(f"{EXAMPLES}/mainbelt.cat")
    rows = np.column_stack([belt.a, belt.e, belt.inc])
    strided = rows[::7]
    fortran = np.asfortranarray(strided)
    r1 = pairtrack.pair_matrix(strided, fortran[:5])
    r2 = pairtrack.pair_matrix(strided.copy(), strided[:5].copy())
    np.testing.assert_array_equal(bits(r1.p_coll), bits(r2.p_coll))
    r3 = pairtrack.collision_probability(belt.a[::3], belt.e[::3], belt.inc[::3], 2.7, 0.1, 4.0)
    r4 = pairtrack.collision_probability(belt.a[::3].copy(), belt.e[::3].copy(),
                                         belt.inc[::3].copy(), 2.7, 0.1, 4.0)
    np.testing.assert_array_equal(bits(r3.v_imp_mean), bits(r4.v_imp_mean))


def test_empty_inputs_give_empty_results():
    r = cp(a1=np.array([]), e1=[], i1=[])
    assert all(x.shape == (0,) for x in r) and r.no_case == 0
    m = pairtrack.pair_matrix(np.empty((0, 3)), ROWS)
    assert all(x.shape == (0, 3) for x in m)
    assert pairtrack.pair_matrix(ROWS, np.empty((0, 3))).p_coll.shape == (3, 0)


def test_path_objects_and_bytes_are_file_names():
    a = pairtrack.read_catalogue(pathlib.Path(EXAMPLES) / "mainbelt.cat")
    b = pairtrack.read_catalogue(f"{EXAMPLES}/mainbelt.cat".encode())
    np.testing.assert_array_equal(a.a, b.a)


def test_help_names_every_function_and_its_units():
    text = pydoc.render_doc(pairtrack, renderer=pydoc.plaintext)
    for name in ("collision_probability", "pair_matrix", "read_catalogue", "HistoryFile",
                 "write_history", "read_report", "1e-18 km^-2 yr^-1", "km/s", "AU", "degrees"):
        assert name in text, name
    assert pairtrack.__version__.count(".") == 2
