#!/usr/bin/env python3
"""Frames per second of ``cam.stream()`` against the C callback example.

Both stream full frames (3488 x 2616) in 24-bit mode from the virtual camera
at its highest frame rate, in the same run and alternately, so that both see
the same machine load. Each rate is counted from the first to the last frame.

    QUOREL_LIBRARY=build/libQuorelSdk_470KX_PLU.so \\
        /usr/bin/python3 python/bench/bench_stream.py --example build/examples/callback_poll

Prints both rates per round, their medians and the ratio Python / C.
"""

from __future__ import annotations

import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))

import quorel  # noqa: E402

BITS = 24


def environment(scratch: str) -> dict:
    env = dict(os.environ)
    env["QUOREL_DRIVER"] = "sim"
    env["QUOREL_SIM"] = "fps=max"
    env["QUOREL_REGISTRY"] = os.path.join(scratch, "registry.reg")
    env["QUOREL_SHM_NAME"] = f"/quorel_bench_stream_{os.getpid()}"
    return env


def c_rate(example: str, frames: int, env: dict) -> float:
    out = subprocess.run([example, str(frames), str(BITS)], env=env, check=True, capture_output=True, text=True).stdout
    match = re.search(r"(\d+) frames, ([0-9.]+) fps", out)
    if not match:
        raise RuntimeError(f"no rate in the example's output:\n{out[-500:]}")
    return float(match.group(2))


def python_rate(frames: int) -> float:
    with quorel.Camera() as cam:
        cam.color_mode = BITS
        stamps = []
        for image, _meta in cam.stream(count=frames, timeout=10.0):
            stamps.append(time.monotonic())
            assert image.shape == (2616, 3488, 3)
    return (len(stamps) - 1) / (stamps[-1] - stamps[0])


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--example", required=True, help="path of the built callback_poll example")
    parser.add_argument("--frames", type=int, default=40, help="frames per measurement (default 40)")
    parser.add_argument("--rounds", type=int, default=3, help="alternating rounds (default 3)")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as scratch:
        env = environment(scratch)
        # The package reads the same settings as the example.
        for key in ("QUOREL_DRIVER", "QUOREL_SIM", "QUOREL_REGISTRY", "QUOREL_SHM_NAME"):
            os.environ[key] = env[key]
        c_rates, py_rates = [], []
        for round_number in range(1, args.rounds + 1):
            c_rates.append(c_rate(args.example, args.frames, env))
            py_rates.append(python_rate(args.frames))
            print(f"round {round_number}: C example {c_rates[-1]:.2f} fps, cam.stream() {py_rates[-1]:.2f} fps")
        c_median = statistics.median(c_rates)
        py_median = statistics.median(py_rates)
        print(f"median: C example {c_median:.2f} fps, cam.stream() {py_median:.2f} fps")
        print(f"ratio cam.stream() / C example: {py_median / c_median:.3f} (goal >= 0.9)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
