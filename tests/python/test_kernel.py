"""collision_probability and pair_matrix: the reference kernel's bits on random pairs of every
overlap configuration, broadcasting, units, thread counts, and two Python threads at once."""
import threading

import numpy as np
import pytest

import pairtrack
from conftest import EXAMPLES, bits, on_threads, random_partner_pairs, reference

RAD_PER_DEG = 0.017453292519444445


@pytest.mark.parametrize("v_esc", [0.0, 7.25])
def test_collision_probability_has_the_reference_bits_in_every_configuration(v_esc, tmp_path):
    pairs = random_partner_pairs(np.random.default_rng(13 + int(v_esc)), 6000)
    cases, expected = reference(pairs, v_esc, tmp_path)
    for case in range(5):  # disjoint and the four overlap cases
        assert np.count_nonzero(cases == case) > 50, f"configuration {case} not reached"
    r = pairtrack.collision_probability(*pairs.T, v_esc=v_esc)
    for k, got in enumerate(r):
        np.testing.assert_array_equal(bits(got), bits(expected[:, k]))
    assert r.no_case == np.count_nonzero(cases == 5)


def test_pair_matrix_has_the_reference_bits_of_every_pair(tmp_path):
    rng = np.random.default_rng(7)
    pairs = random_partner_pairs(rng, 40)
    orbits1 = pairs[:, :3]  # partners, so the matrix meets every family
    orbits2 = np.concatenate([pairs[:, 3:], pairs[:9, :3]])
    every = np.array([(*o1, *o2) for o1 in orbits1 for o2 in orbits2])
    cases, expected = reference(every, 3.0, tmp_path)
    r = pairtrack.pair_matrix(orbits1, orbits2, v_esc=3.0, threads=1)
    assert r.p_coll.shape == (len(orbits1), len(orbits2))
    for k, got in enumerate(r):
        np.testing.assert_array_equal(bits(got).ravel(), bits(expected[:, k]))
    assert r.no_case == np.count_nonzero(cases == 5)
    many = pairtrack.pair_matrix(orbits1, orbits2, v_esc=3.0, threads=3)
    for a, b in zip(r, many):
        np.testing.assert_array_equal(bits(a), bits(b))


def test_radians_give_the_bits_of_degrees_converted_as_the_program_converts():
    pairs = random_partner_pairs(np.random.default_rng(3), 500)
    deg = pairtrack.collision_probability(*pairs.T)
    rad = pairs.copy()
    rad[:, [2, 5]] *= RAD_PER_DEG
    in_rad = pairtrack.collision_probability(*rad.T, degrees=False)
    for a, b in zip(deg, in_rad):
        np.testing.assert_array_equal(bits(a), bits(b))


def test_broadcasting_gives_the_pair_matrix():
    belt = pairtrack.read_catalogue(f"{EXAMPLES}/mainbelt.cat")
    a, e, i = belt.a[:6], belt.e[:6], belt.inc[:6]
    col = (a[:, None], e[:, None], i[:, None])
    r = pairtrack.collision_probability(*col, belt.a[10:15], belt.e[10:15], belt.inc[10:15])
    m = pairtrack.pair_matrix(np.column_stack([a, e, i]),
                              np.column_stack([belt.a[10:15], belt.e[10:15], belt.inc[10:15]]))
    assert r.p_coll.shape == (6, 5)
    for x, y in zip(r, m):
        np.testing.assert_array_equal(bits(x), bits(y))
    # One orbit against the belt: a scalar broadcast over 300 pairs.
    one = pairtrack.collision_probability(a[0], e[0], i[0], belt.a, belt.e, belt.inc)
    row = pairtrack.pair_matrix(np.array([[a[0], e[0], i[0]]]), belt).p_coll[0]
    np.testing.assert_array_equal(bits(one.p_coll), bits(row))


def test_numbers_in_give_floats_out_and_the_result_unpacks():
    r = pairtrack.collision_probability(2.5, 0.1, 5.0, 2.6, 0.15, 8.0)
    p, v_mean, v_rms, v_imp = r
    assert all(type(x) is float for x in (p, v_mean, v_rms, v_imp))
    assert p == r.p_coll and r[3] == v_imp and len(r) == 4
    assert p > 0 and 0 < v_mean <= v_rms and v_imp == pytest.approx(v_mean, rel=1e-12)


def test_catalogue_and_frame_objects_are_populations():
    belt = pairtrack.read_catalogue(f"{EXAMPLES}/mainbelt.cat")
    frame = next(iter(pairtrack.HistoryFile(f"{EXAMPLES}/history_f8.bin")))
    rows1 = np.column_stack([belt.a, belt.e, belt.inc])
    rows2 = np.column_stack([frame.a, frame.e, frame.inc])
    np.testing.assert_array_equal(bits(pairtrack.pair_matrix(belt, belt).p_coll),
                                  bits(pairtrack.pair_matrix(rows1, rows1).p_coll))
    r = pairtrack.pair_matrix(frame, frame, degrees=False)
    np.testing.assert_array_equal(bits(r.p_coll),
                                  bits(pairtrack.pair_matrix(rows2, rows2, degrees=False).p_coll))
    assert r.p_coll.shape == (40, 40)


def test_two_python_threads_computing_at_once_get_their_own_results():
    rng = np.random.default_rng(11)
    inputs = [random_partner_pairs(rng, 400) for _ in range(2)]
    expected = [pairtrack.collision_probability(*p.T, threads=1).p_coll for p in inputs]
    got = [None, None]
    start = threading.Barrier(2)

    def work(k):
        start.wait()
        for _ in range(3):
            got[k] = pairtrack.collision_probability(*inputs[k].T, threads=2).p_coll

    on_threads(work)
    for k in range(2):
        np.testing.assert_array_equal(bits(got[k]), bits(expected[k]))


def test_first_frames_of_the_example_give_the_reports_frame_lines():
    # The example's first two frames are swept before any body is removed, so their frame
    # lines are the statistics of the full pair matrix (bodies x orbits, body-major order).
    belt = pairtrack.read_catalogue(f"{EXAMPLES}/mainbelt.cat")
    orbits1 = np.column_stack([belt.a, belt.e, belt.inc * pairtrack.RADIANS_PER_DEGREE])
    report = pairtrack.read_report(f"{EXAMPLES}/expected_report.txt")
    frames = pairtrack.HistoryFile(f"{EXAMPLES}/history_f8.bin").read_all()
    for k in range(2):
        m = pairtrack.pair_matrix(orbits1, frames[k], degrees=False)
        p, v = m.p_coll.T.ravel(), m.v_imp_mean.T.ravel()
        assert pairtrack.mean_deviation(p) == (report.proba_mean[k], report.proba_sigma[k])
        assert pairtrack.weighted_mean_deviation(v, p) == (report.impvel_mean[k],
                                                           report.impvel_sigma[k])
        assert np.count_nonzero(v > 1e-8) == report.n_impvel[k]
        assert p.size == report.n_proba[k]


@pytest.mark.parametrize("call, message", [
    (lambda: pairtrack.mean_deviation(np.ones((2, 2))), "must be a 1-D array"),
    (lambda: pairtrack.weighted_mean_deviation([1.0, 2.0], [1.0]), "differ in length"),
])
def test_statistics_refusals(call, message):
    with pytest.raises(ValueError, match=message):
        call()


# The inclination ladder of 2.7 AU, e 0.15, i 10 degrees against 2.6 AU, e 0.12: converged
# values (1e-18 km^-2 yr^-1, 4 decimals) of an independent integration of the same theory.
LADDER = [(10.1, 9.2784), (10.01, 11.3194), (10.001, 13.3471)]


def test_accuracy_gives_the_converged_ladder_within_its_error_and_flags_the_classic_values():
    i2 = np.array([i for i, _ in LADDER])
    converged = np.array([p for _, p in LADDER])
    r = pairtrack.collision_probability(2.7, 0.15, 10.0, 2.6, 0.12, i2, accuracy=1e-6)
    assert np.all(np.abs(r.p_coll - converged) <= r.p_coll_error + 5e-5)
    assert np.all(r.p_coll_error <= 1e-6 * r.p_coll)
    assert not r.divergent.any() and not r.classic_off.any()
    classic = pairtrack.collision_probability(2.7, 0.15, 10.0, 2.6, 0.12, [i2[0], 30.0])
    assert list(classic.classic_off) == [True, False]  # 6 % low at 0.1 degrees
    assert np.all(classic.p_coll_error == 0.0) and not classic.divergent.any()
    matrix = pairtrack.pair_matrix([[2.7, 0.15, 10.0]], [[2.6, 0.12, i] for i in i2],
                                   accuracy=1e-6)
    np.testing.assert_array_equal(matrix.p_coll[0], r.p_coll)


def test_equal_inclinations_are_divergent_unless_regularised():
    r = pairtrack.collision_probability(2.7, 0.15, 10.0, 2.6, 0.12, 10.0, accuracy=1e-4)
    assert r.divergent and r.singular and np.isnan(r.p_coll)
    reg = pairtrack.collision_probability(2.7, 0.15, 10.0, 2.6, 0.12, 10.0, accuracy=1e-4,
                                          min_mutual_inclination=0.01)
    # Capped at 1/sin(0.01 degrees): between the ladder's 0.1 and 0.001 degree values.
    assert not reg.divergent and LADDER[0][1] < reg.p_coll < LADDER[2][1]
    with pytest.warns(pairtrack.PairtrackWarning):
        classic = pairtrack.collision_probability(2.7, 0.15, 10.0, 2.6, 0.12, 10.0)
    assert classic.classic_off and classic.singular and not classic.divergent


@pytest.mark.parametrize("kwargs", [dict(accuracy=0), dict(accuracy=-1), dict(accuracy=np.nan),
                                    dict(accuracy=0.2), dict(accuracy=1e-3, min_mutual_inclination=-1),
                                    dict(accuracy=1e-3, min_mutual_inclination=np.nan),
                                    dict(accuracy=1e-3, min_mutual_inclination=91)])
def test_bad_accuracy_values_are_refused(kwargs):
    with pytest.raises(ValueError):
        pairtrack.collision_probability(2.7, 0.15, 10.0, 2.6, 0.12, 11.0, **kwargs)
