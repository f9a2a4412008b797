#!/usr/bin/python3
"""pair_matrix from Python against the C++ library call on the same 10^6 pairs.

    scripts/python_bench.py [BUILD_DIR] [--pairs N] [--repeats R]

Builds a main-belt-like population (a 1.5-4.5 AU, e 0-0.4, i 0-35 degrees; fixed seed), writes
it for build/bench/api_pair_matrix, and times pairtrack.pair_matrix and
pairtrack::collision_pair_matrix on the same sqrt(N) x sqrt(N) pairs, on one thread and on all
threads, alternating the two sides; the fastest of R calls of each is reported, with the ratio
Python / C++ of the pairs per second and a check that both computed the same bits.
Needs the targets pairtrack_python and api_pair_matrix.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

import numpy as np


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--pairs", type=int, default=1_000_000)
    parser.add_argument("--repeats", type=int, default=3)
    args = parser.parse_args()
    sys.path.insert(0, os.path.join(args.build, "python"))
    import pairtrack

    side = int(round(args.pairs ** 0.5))
    rng = np.random.default_rng(2026)
    orbits = np.column_stack([rng.uniform(1.5, 4.5, 2 * side), rng.uniform(0.0, 0.4, 2 * side),
                              rng.uniform(0.0, 35.0, 2 * side)])
    orbits1, orbits2 = orbits[:side], orbits[side:]
    exe = os.path.join(args.build, "bench", "api_pair_matrix")
    cores = os.cpu_count() or 1
    print(f"pair_matrix, {side} x {side} = {side * side} pairs, fastest of {args.repeats}, "
          f"{cores} cores")
    print(f"{'threads':>8} {'C++ pairs/s':>14} {'Python pairs/s':>15} {'Python/C++':>11}  same bits")
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "orbits.bin")
        with open(path, "wb") as f:
            f.write(np.array([side, side], dtype=np.int64).tobytes())
            f.write(np.ascontiguousarray(orbits).tobytes())
        for threads in sorted({1, cores}):
            cpp_best, py_best, cpp_xor, py_xor = 1e300, 1e300, None, None
            for _ in range(args.repeats):
                out = subprocess.run([exe, path, str(threads), "1"], capture_output=True,
                                     text=True, check=True).stdout.split()
                cpp_best = min(cpp_best, float(out[0]))
                cpp_xor = int(out[1], 16)
                start = time.perf_counter()
                r = pairtrack.pair_matrix(orbits1, orbits2, threads=threads)
                py_best = min(py_best, time.perf_counter() - start)
                py_xor = int(np.bitwise_xor.reduce(r.p_coll.ravel().view(np.uint64)))
            pairs = side * side
            print(f"{threads:>8} {pairs / cpp_best:>14.0f} {pairs / py_best:>15.0f} "
                  f"{cpp_best / py_best:>11.3f}  {cpp_xor == py_xor}")


if __name__ == "__main__":
    main()
