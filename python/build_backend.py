"""PEP 517 build backend of the pairtrack Python module: configures the project with CMake,
builds the target pairtrack_python for the running interpreter, and packs the extension and
its type stub into a wheel. Only the standard library is used, so `pip install .` works
without network access (pyproject.toml declares no build requirements).

Environment: CMAKE_BUILD_PARALLEL_LEVEL (build jobs, default: all cores), PAIRTRACK_CMAKE_ARGS
(extra arguments for the CMake configure step, split on blanks).
"""
import base64
import glob
import hashlib
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tempfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def _version():
    text = open(os.path.join(ROOT, "CMakeLists.txt")).read()
    return re.search(r"project\(pairtrack VERSION ([0-9.]+)", text).group(1)


def _tag():
    impl = f"cp{sys.version_info.major}{sys.version_info.minor}"
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return f"{impl}-{impl}-{platform}"


def _metadata():
    return (f"Metadata-Version: 2.1\nName: pairtrack\nVersion: {_version()}\n"
            "Summary: Intrinsic collision probabilities and impact speeds of orbit pairs, and "
            "the pairtrack file formats\nRequires-Python: >=3.9\nRequires-Dist: numpy\n")


def _build_extension(build_dir):
    configure = ["cmake", "-S", ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
                 "-DPAIRTRACK_BUILD_TESTS=OFF", "-DPAIRTRACK_BUILD_BENCH=OFF",
                 "-DPAIRTRACK_PYTHON=ON", f"-DPython_EXECUTABLE={sys.executable}"]
    configure += os.environ.get("PAIRTRACK_CMAKE_ARGS", "").split()
    subprocess.run(configure, check=True)
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
    subprocess.run(["cmake", "--build", build_dir, "--target", "pairtrack_python", "-j", jobs],
                   check=True)
    package = os.path.join(build_dir, "python", "pairtrack")
    if not glob.glob(os.path.join(package, "_core*.so")):
        raise RuntimeError("the CMake build made no pairtrack module (is pybind11 installed?)")
    return package


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}\n"


def get_requires_for_build_wheel(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    info = f"pairtrack-{_version()}.dist-info"
    os.makedirs(os.path.join(metadata_directory, info), exist_ok=True)
    with open(os.path.join(metadata_directory, info, "METADATA"), "w") as f:
        f.write(_metadata())
    return info


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    build_dir = tempfile.mkdtemp(prefix="pairtrack-wheel-")
    try:
        package = _build_extension(build_dir)
        info = f"pairtrack-{_version()}.dist-info"
        files = {f"pairtrack/{name}": open(os.path.join(package, name), "rb").read()
                 for name in sorted(os.listdir(package))
                 if os.path.isfile(os.path.join(package, name))}
        files.update({
            f"{info}/METADATA": _metadata().encode(),
            f"{info}/WHEEL": (f"Wheel-Version: 1.0\nGenerator: pairtrack build_backend\n"
                              f"Root-Is-Purelib: false\nTag: {_tag()}\n").encode(),
        })
        record = "".join(_record_line(name, data) for name, data in files.items())
        record += f"{info}/RECORD,,\n"
        files[f"{info}/RECORD"] = record.encode()
        wheel = f"pairtrack-{_version()}-{_tag()}.whl"
        with zipfile.ZipFile(os.path.join(wheel_directory, wheel), "w",
                             zipfile.ZIP_DEFLATED) as z:
            for name, data in files.items():
                z.writestr(name, data)
        return wheel
    finally:
        shutil.rmtree(build_dir, ignore_errors=True)
