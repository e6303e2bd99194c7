"""The instruction-set level of the batch kernels: chosen once per process,
forced by MORVANE_SIMD no higher than the processor allows."""

import ctypes
import os
import subprocess
import sys

import pytest

HOOKS = os.environ.get("MORVANE_TESTHOOKS")
pytestmark = pytest.mark.skipif(
    not HOOKS, reason="MORVANE_TESTHOOKS is not set to the path of libmorvane_testhooks.so")

PROBE = ("import ctypes, sys; lib = ctypes.CDLL(sys.argv[1]); "
         "lib.morvane_test_simd_level.restype = ctypes.c_char_p; print(lib.morvane_test_simd_level().decode())")


def supported_levels():
    lib = ctypes.CDLL(HOOKS)
    buf = ctypes.create_string_buffer(64)
    lib.morvane_test_supported_levels(buf, 64)
    return buf.value.decode().split()


@pytest.mark.parametrize("value", [None, "scalar", "avx2", "avx512", "AVX2", "neon", ""])
def test_forced_level(value):
    env = dict(os.environ)
    env.pop("MORVANE_SIMD", None)
    if value is not None:
        env["MORVANE_SIMD"] = value
    chosen = subprocess.run([sys.executable, "-c", PROBE, HOOKS], env=env, capture_output=True, text=True,
                            check=True).stdout.strip()
    levels = supported_levels()
    assert levels[0] == "scalar"
    assert chosen == (value if value in levels else levels[-1])
