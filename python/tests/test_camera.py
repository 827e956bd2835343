"""Settings, errors, trigger mode, files and the library's lookup."""

from __future__ import annotations

import ctypes
import os
import subprocess
import sys
from pathlib import Path
from typing import Callable

import pytest

import quorel


def test_settings_read_back(camera: quorel.Camera) -> None:
    camera.color_mode = 48
    assert camera.color_mode == 48
    camera.capture_window = quorel.CaptureWindow(16, 8, 320, 240)
    assert camera.capture_window == quorel.CaptureWindow(16, 8, 320, 240)
    camera.sub_sample = 17
    assert camera.image_size == (160, 120)
    camera.mirror_h = True
    assert camera.mirror_h and not camera.mirror_v
    camera.filters["gamma"] = 120
    camera.filters["gray_offset_b"] = -7
    assert camera.filters["gamma"] == 120 and camera.filters["gray-offset-b"] == -7
    with pytest.raises(KeyError):
        camera.filters["no-such-filter"]
    camera.global_gain = 40
    assert camera.global_gain == 40
    camera.color_gains = {"blue": 50, "red": 20}
    assert camera.color_gains["blue"] == 50 and camera.color_gains["red"] == 20
    camera.exposure_lines = 500
    assert camera.exposure_lines == 500
    camera.exposure_us = 20000
    assert camera.exposure_us == pytest.approx(20000, rel=0.05)
    info = camera.info()
    assert (info["sensor_width"], info["sensor_height"]) == (3488, 2616)
    assert info["name"] == quorel.list_cameras()[0].name


def test_errors_carry_code_name_and_export(open_camera: Callable[..., quorel.Camera], tmp_path: Path) -> None:
    cam = open_camera()
    with pytest.raises(quorel.QuorelError) as raised:
        cam.color_mode = 13
    assert (raised.value.code, raised.value.name, raised.value.export) == (9, "QUOREL_ERR_ARGUMENT", "Quorel_SetColorMode")
    cam.snap()
    with pytest.raises(quorel.QuorelError) as raised:
        cam.save(tmp_path / "missing" / "x.png")
    assert raised.value.export == "Quorel_SaveImage"
    with pytest.raises(quorel.QuorelError) as raised:
        cam.record(tmp_path / "missing" / "x.avi", 1.0)
    assert (raised.value.code, raised.value.name, raised.value.export) == (12, "QUOREL_ERR_FILE", "Quorel_Record")
    # A snapshot while a stream runs is refused: not allowed now.
    stream = cam.stream(count=None)
    next(stream)
    with pytest.raises(quorel.QuorelError) as raised:
        cam.snap()
    assert (raised.value.code, raised.value.name) == (1, "QUOREL_ERR_NOT_READY")
    stream.close()
    # Records of a wrong size are refused with code 9, never overrun.
    lib = quorel._lib.load()
    meta = quorel._lib.FrameMetaStruct()
    meta.size = 8
    assert lib.QuorelStream_GetFrameMeta(cam.handle, ctypes.byref(meta)) == 0
    assert lib.Quorel_GetLastError(cam.handle) == 9
    assert lib.QuorelStream_GetStatistics(cam.handle, None) == 0
    assert lib.Quorel_GetLastError(cam.handle) == 9
    assert lib.QuorelStream_ResetStatistics(0) == 0
    with pytest.raises(quorel.QuorelError) as raised:
        open_camera("units=0", unit=3)
    assert raised.value.code == 2 and raised.value.export == "Quorel_SetDeviceNumber"


def test_trigger_wait_times_out_then_takes_the_triggered_frame(camera: quorel.Camera) -> None:
    camera.color_mode = 24
    with camera.trigger_mode() as trig:
        with pytest.raises(TimeoutError):
            trig.wait(timeout=0.3)
        quorel.sim.trigger(0)
        image, meta = trig.wait(timeout=10.0)
        assert meta.sequence == 1 and image.shape == (192, 256, 3)
        quorel.sim.trigger(0)
        assert trig.wait(timeout=10.0)[1].sequence == 2
    stats = camera.statistics()
    assert (stats.completed, stats.delivered) == (2, 2)


def test_save_and_record_write_their_files(camera: quorel.Camera, tmp_path: Path) -> None:
    camera.color_mode = 24
    camera.snap()
    camera.save(tmp_path / "frame.png")
    camera.save(tmp_path / "frame.any", "bmp")
    assert (tmp_path / "frame.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert (tmp_path / "frame.any").read_bytes()[:2] == b"BM"
    with pytest.raises(ValueError):
        camera.save(tmp_path / "frame.xyz")
    frames = camera.record(tmp_path / "clip.avi", 0.3)
    assert frames > 0
    assert (tmp_path / "clip.avi").read_bytes()[8:12] == b"AVI "


def test_a_library_named_by_the_environment_must_load(tmp_path: Path) -> None:
    script = "import quorel, quorel._lib as l\ntry:\n    l.load()\nexcept OSError as e:\n    print('refused:', e)\n"
    env = dict(os.environ, QUOREL_LIBRARY=str(tmp_path / "absent.so"))
    out = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True, text=True, check=True,
                         cwd=Path(quorel.__file__).parent.parent).stdout
    assert "refused: QUOREL_LIBRARY=" in out
