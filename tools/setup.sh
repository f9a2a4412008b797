#!/usr/bin/env bash
# Installs what building and testing pairtrack needs, when it is missing:
# a C++20 compiler, CMake, Ninja, GoogleTest, Google Benchmark, matplotlib for the report plot, and
# pybind11, NumPy, pytest and the Python headers for the Python module (pandas, mypy, nbclient
# and ipykernel for its tests), CLI11 for the command lines, Open MPI for pairtrack-mpi, and
# mkdocs for the manual in docs/ (Debian packages).
# Safe to run repeatedly; does nothing on a machine that has everything.
set -euo pipefail

need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v g++ >/dev/null 2>&1 || need+=(g++)
command -v make >/dev/null 2>&1 || need+=(make)
# The CMake presets build with Ninja, which compiles a target's files while the libraries it
# links are still being built (Make waits for them).
command -v ninja >/dev/null 2>&1 || need+=(ninja-build)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
[ -x /usr/bin/time ] || need+=(time)
[ -f /usr/lib/python3/dist-packages/matplotlib/__init__.py ] || need+=(python3-matplotlib)
[ -f /usr/include/pybind11/pybind11.h ] || need+=(pybind11-dev)
[ -f /usr/lib/python3/dist-packages/numpy/__init__.py ] || need+=(python3-numpy)
[ -f /usr/lib/python3/dist-packages/pytest/__init__.py ] || need+=(python3-pytest)
ls /usr/include/python3*/Python.h >/dev/null 2>&1 || need+=(python3-dev)
[ -f /usr/include/CLI/CLI.hpp ] || need+=(libcli11-dev)
# Run manifests: SHA-256 from OpenSSL's libcrypto, JSON from nlohmann-json.
[ -f /usr/include/openssl/evp.h ] || need+=(libssl-dev)
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)
command -v mpirun >/dev/null 2>&1 || need+=(openmpi-bin)
command -v mpicxx >/dev/null 2>&1 || need+=(libopenmpi-dev)
# The Python package's tests: pandas (to_pandas), mypy (stubtest), and nbclient with its kernel
# to execute the quick-start notebook.
[ -f /usr/lib/python3/dist-packages/pandas/__init__.py ] || need+=(python3-pandas)
[ -f /usr/lib/python3/dist-packages/mypy/stubtest.py ] || need+=(python3-mypy)
# The tree's formatting and static checks (scripts/check_style.sh).
command -v clang-format-14 >/dev/null 2>&1 || need+=(clang-format-14)
command -v run-clang-tidy-14 >/dev/null 2>&1 || need+=(clang-tidy-14)
[ -f /usr/lib/python3/dist-packages/nbclient/__init__.py ] || need+=(python3-nbclient)
[ -f /usr/lib/python3/dist-packages/nbformat/__init__.py ] || need+=(python3-nbformat)
[ -f /usr/lib/python3/dist-packages/ipykernel/__init__.py ] || need+=(python3-ipykernel)
command -v mkdocs >/dev/null 2>&1 || need+=(mkdocs)
for extra in "$@"; do need+=("$extra"); done

if [ ${#need[@]} -gt 0 ]; then
  missing=()
  for p in "${need[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}" >&2
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
fi
