"""speed_distribution as users call it: the distributions sum to p_coll and centre on the
kernel's mean speeds, the matrix and the element-by-element pairs agree bit for bit, the result
indexes, pickles and converts, threads do not change it, and bad bins are refused by name."""
import copy
import pickle

import numpy as np
import pytest

import pairtrack
from conftest import EXAMPLES, bits, on_threads

BELT = pairtrack.read_catalogue(f"{EXAMPLES}/mainbelt.cat")


def belt(k):
    return BELT.a[k], BELT.e[k], BELT.inc[k]


@pytest.mark.parametrize("v_esc, bins", [(0.0, (0.0, 40.0, 0.25)), (5.0, (2.0, 12.0, 0.5))])
def test_the_distributions_sum_to_p_coll_and_centre_on_the_mean_speeds(v_esc, bins):
    first, second = belt(slice(0, 60)), belt(slice(60, 120))
    d = pairtrack.speed_distribution(*first, *second, v_esc=v_esc, bins=bins)
    r = pairtrack.collision_probability(*first, *second, v_esc=v_esc)
    assert d.impact.shape == d.encounter.shape == (60, len(d.edges) + 1)
    np.testing.assert_array_equal(bits(d.p_coll), bits(r.p_coll))
    for dist in (d.impact, d.encounter):
        np.testing.assert_allclose(dist.sum(axis=-1), r.p_coll, rtol=1e-12, atol=1e-300)
    meets = r.p_coll > 0
    assert np.count_nonzero(meets) > 20
    # Bin centres are within half a step of every speed inside the bins.
    centres = 0.5 * (d.edges[:-1] + d.edges[1:])
    for dist, mean in ((d.impact, r.v_imp_mean), (d.encounter, r.v_rel_mean)):
        inside = dist[meets, 1:-1]
        full = np.isclose(inside.sum(axis=-1), r.p_coll[meets], rtol=1e-12)
        binned_mean = inside @ centres / inside.sum(axis=-1)
        assert np.all(np.abs(binned_mean - mean[meets])[full] <= 0.5 * bins[2] + 1e-12)
    if v_esc == 0.0:
        np.testing.assert_array_equal(d.impact, d.encounter)
    else:  # focusing: every impact is at least v_esc
        below = d.edges[1:] <= v_esc
        assert below.any() and np.all(d.impact[:, 0] == 0.0)
        assert np.all(d.impact[:, 1:-1][:, below] == 0.0)
        assert np.any(d.encounter[:, 1:-1][:, below] > 0.0)


def test_the_accurate_mode_bins_its_own_terms():
    first, second = belt(slice(0, 20)), belt(slice(20, 40))
    d = pairtrack.speed_distribution(*first, *second, v_esc=1.0, accuracy=1e-4)
    r = pairtrack.collision_probability(*first, *second, v_esc=1.0, accuracy=1e-4)
    np.testing.assert_array_equal(bits(d.p_coll), bits(r.p_coll))
    np.testing.assert_array_equal(bits(d.p_coll_error), bits(r.p_coll_error))
    assert np.count_nonzero(d.p_coll > 0) > 10
    np.testing.assert_allclose(d.impact.sum(axis=-1), r.p_coll, rtol=1e-12, atol=1e-300)
    classic = pairtrack.speed_distribution(*first, *second, v_esc=1.0)
    assert not np.array_equal(d.impact, classic.impact)  # other terms, other bins


def test_the_matrix_holds_the_pairs_bit_for_bit_whatever_the_threads():
    first, second = belt(slice(0, 7)), belt(slice(100, 111))
    m = pairtrack.speed_distribution(*first, *second, v_esc=2.0, matrix=True, threads=1)
    assert m.shape == (7, 11) and m.impact.shape == (7, 11, 162)
    columns = [c[:, None] for c in first]
    e = pairtrack.speed_distribution(*columns, *second, v_esc=2.0, threads=3)
    for got, want in ((e.impact, m.impact), (e.encounter, m.encounter), (e.p_coll, m.p_coll)):
        np.testing.assert_array_equal(bits(got), bits(want))
    results = [None, None]

    def work(k):
        results[k] = pairtrack.speed_distribution(*first, *second, v_esc=2.0, matrix=True)

    on_threads(work)
    for r in results:
        np.testing.assert_array_equal(bits(r.impact), bits(m.impact))


def test_the_result_indexes_pickles_and_converts():
    pandas = pytest.importorskip("pandas")
    m = pairtrack.speed_distribution(*belt(slice(0, 3)), *belt(slice(3, 7)), matrix=True,
                                     bins=(0.0, 20.0, 1.0))
    assert len(m) == 3 and m[1].shape == (4,) and m[1, 2].shape == ()
    np.testing.assert_array_equal(m[1, 2].impact, m.impact[1, 2])
    np.testing.assert_array_equal(m[m.p_coll > 0].impact, m.impact[m.p_coll > 0])
    assert m.lower[0] == -np.inf and m.upper[-1] == np.inf and list(m.edges) == list(range(21))
    for twin in (pickle.loads(pickle.dumps(m)), copy.deepcopy(m)):
        for name in ("impact", "encounter", "p_coll", "lower", "upper"):
            np.testing.assert_array_equal(getattr(twin, name), getattr(m, name))
    df = m.to_pandas()
    assert list(df.columns) == ["i", "j", "bin", "speed_min", "speed_max", "impact", "encounter"]
    assert len(df) == 3 * 4 * 22
    sums = df.groupby(["i", "j"])["impact"].sum().to_numpy().reshape(3, 4)
    np.testing.assert_allclose(sums, m.p_coll, rtol=1e-12)
    one = pairtrack.speed_distribution(2.7, 0.15, 10.0, 2.6, 0.12, 8.0)
    assert one.shape == () and one.impact.shape == (162,)
    with pytest.raises(TypeError):
        len(one)


@pytest.mark.parametrize("bins, message", [
    ((0.0, 40.0), r"\(min, max, step\)"),
    ((0.0, "40", 1.0), "three real numbers"),
    ((10.0, 5.0, 1.0), "maximum must be above the minimum"),
    ((0.0, 40.0, 0.0), "step must be above 0"),
    ((-1.0, 40.0, 1.0), "minimum must be 0 or more"),
    ((0.0, float("inf"), 1.0), "finite"),
])
def test_bad_bins_are_refused(bins, message):
    with pytest.raises(ValueError, match=message):
        pairtrack.speed_distribution(2.7, 0.15, 10.0, 2.6, 0.12, 8.0, bins=bins)


def test_populations_of_a_matrix_must_be_columns():
    with pytest.raises(ValueError, match="population 2"):
        pairtrack.speed_distribution(*belt(slice(0, 3)), BELT.a[:2], BELT.e[:3], BELT.inc[:3],
                                     matrix=True)
