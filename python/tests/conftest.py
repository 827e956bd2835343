"""Every test runs the virtual camera, with settings and the device table of
its own, against the library named by QUOREL_LIBRARY (the build tree's)."""

from __future__ import annotations

import os
import sys
import tempfile
from pathlib import Path
from typing import Callable, Iterator

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent.parent))

_scratch = tempfile.TemporaryDirectory(prefix="quorel-pytest-")
os.environ["QUOREL_DRIVER"] = "sim"
os.environ["QUOREL_REGISTRY"] = os.path.join(_scratch.name, "registry.reg")
os.environ["QUOREL_SHM_NAME"] = f"/quorel_pytest_{os.getpid()}"

import quorel  # noqa: E402

# A small window keeps every colour mode fast; 256 x 192 is valid for the
# sensor and for every sub-sampling.
WIDTH = 256
HEIGHT = 192


def pytest_configure(config: pytest.Config) -> None:
    if not os.environ.get(quorel.LIBRARY_ENV):
        raise pytest.UsageError(f"set {quorel.LIBRARY_ENV} to the library under test")


@pytest.fixture
def open_camera(tmp_path: Path) -> Iterator[Callable[..., quorel.Camera]]:
    """Opens cameras on a freshly configured virtual camera, with default
    settings (a settings file of the test's own) and a small capture window,
    and closes them after the test."""
    opened = []
    os.environ["QUOREL_REGISTRY"] = str(tmp_path / "registry.reg")

    def _open(config: str = "fps=max", unit: int = 0, small: bool = True) -> quorel.Camera:
        quorel.sim.enable(config)
        cam = quorel.Camera(unit)
        opened.append(cam)
        if small:
            cam.capture_window = (0, 0, WIDTH, HEIGHT)
        return cam

    yield _open
    for cam in opened:
        cam.close()


@pytest.fixture
def camera(open_camera: Callable[..., quorel.Camera]) -> quorel.Camera:
    return open_camera()
