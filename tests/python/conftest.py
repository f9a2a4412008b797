"""Shared helpers of the Python module's tests: where the data and the reference tools are,
random orbit pairs of every overlap configuration, and the reference kernel's bits."""
import os
import subprocess
import sys
import threading

import numpy as np
import pytest

SOURCE = os.environ.get("PAIRTRACK_SOURCE_DIR",
                        os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
EXAMPLES = os.path.join(SOURCE, "examples")
PROBE = os.environ.get("PAIRTRACK_KERNEL_PROBE", "")
HISTORY_EXE = os.environ.get("PAIRTRACK_HISTORY_EXE", "")


def random_partner_pairs(rng, n):
    """n pairs (a1, e1, i1, a2, e2, i2) in AU and degrees. Orbit 2 is a main-belt-like body;
    orbit 1 comes from families that reach every configuration: touching ranges (aphelion at
    perihelion, equal apsides, with nudges from 0 to 1e-9), the same range, the same orbit or
    plane, far away (disjoint), and ordinary crossing or nested orbits; eccentricities from
    circular to 0.97 and inclinations from planar to retrograde."""
    def ecc():
        kind = rng.integers(4)
        return [0.0, 10.0 ** rng.uniform(-15, -5), rng.uniform(0.4, 0.97), rng.uniform(0, 0.4)][kind]

    def inc():
        kind = rng.integers(4)
        return [0.0, rng.uniform(57.3, 180.0), 90.0, rng.uniform(0, 35)][kind]

    def nudge():
        kind = rng.integers(3)
        return [1.0, 1.0 + rng.uniform(-8, 8) * 2.220446049250313e-16,
                1.0 + rng.uniform(-1e-9, 1e-9)][kind]

    rows = []
    for _ in range(n):
        a2, e2, i2 = rng.uniform(1.5, 4.5), ecc(), inc()
        q, big_q = a2 * (1 - e2), a2 * (1 + e2)
        e, i = ecc(), inc()
        family = rng.integers(10)
        if family == 0:
            o1 = (q / (1 + e) * nudge(), e, i)
        elif family == 1:
            o1 = (big_q / (1 - e) * nudge(), e, i)
        elif family == 2:
            o1 = (big_q / (1 + e) * nudge(), e, i)
        elif family == 3:
            o1 = (q / (1 - e) * nudge(), e, i)
        elif family == 4:
            o1 = (a2 * nudge(), e2 * nudge(), i)
        elif family == 5:
            o1 = (a2, e2, i2) if rng.integers(2) == 0 else (rng.uniform(1.5, 4.5), e, i2)
        elif family == 6:
            o1 = (rng.uniform(6, 40), rng.uniform(0, 0.3), i)
        else:
            o1 = (rng.uniform(1.5, 4.5), e, i)
        rows.append((*o1, a2, e2, i2))
    return np.array(rows, dtype=np.float64)


def reference(pairs, v_esc, tmp_path):
    """The program's reference kernel (gaussorb, 10 x 10 nodes) on each pair: (cases, outputs)
    with outputs of shape (n, 4) holding p_coll, v_rel_mean, v_rel_rms, v_imp_mean."""
    if not PROBE:
        pytest.fail("PAIRTRACK_KERNEL_PROBE is not set (run the tests through CTest)")
    text = "".join(" ".join(float.hex(float(x)) for x in (*row, v_esc)) + "\n" for row in pairs)
    out = tmp_path / "reference.txt"
    subprocess.run([PROBE, "pairs", str(out)], input=text, text=True, check=True,
                   stdout=subprocess.DEVNULL)
    cases, values = [], []
    for line in out.read_text().splitlines():
        fields = line.split()
        cases.append(int(fields[0]))
        values.append([float.fromhex(x) for x in fields[1:]])
    return np.array(cases), np.array(values, dtype=np.float64).reshape(-1, 4)


def bits(x):
    """The bit patterns of a float64 array, for exact comparison (NaNs included)."""
    return np.ascontiguousarray(x, dtype=np.float64).view(np.uint64)


def on_threads(work, n=2):
    """Runs work(0) .. work(n - 1) on n threads at once and waits for all of them."""
    threads = [threading.Thread(target=work, args=(k,)) for k in range(n)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


def history_tool(*args):
    if not HISTORY_EXE:
        pytest.fail("PAIRTRACK_HISTORY_EXE is not set (run the tests through CTest)")
    return subprocess.run([HISTORY_EXE, *args], capture_output=True, text=True)
