"""Single frames: shapes and types per colour mode, the bytes the C API
copies, and the metadata that comes with them."""

from __future__ import annotations

import ctypes

import numpy as np

import quorel
from conftest import HEIGHT, WIDTH

MODES = {
    8: ((HEIGHT, WIDTH), np.uint8),
    16: ((HEIGHT, WIDTH), np.uint16),
    24: ((HEIGHT, WIDTH, 3), np.uint8),
    32: ((HEIGHT, WIDTH, 4), np.uint8),
    48: ((HEIGHT, WIDTH, 3), np.uint16),
    64: ((HEIGHT, WIDTH, 4), np.uint16),
}


def test_every_colour_mode_gives_its_shape_type_and_metadata(camera: quorel.Camera) -> None:
    sequences = []
    for bits, (shape, dtype) in MODES.items():
        camera.color_mode = bits
        image, meta = camera.snap()
        assert image.shape == shape and image.dtype == dtype, bits
        assert (meta.width, meta.height, meta.bits_per_pixel) == (WIDTH, HEIGHT, bits)
        assert meta.status == quorel.FRAME_COMPLETE
        sequences.append(meta.sequence)
        if dtype == np.uint16:
            assert int(image.max()) <= 4095, "12-bit samples are not scaled"
        assert int(image.max()) > 0, "the chart is not black"
        if image.ndim == 3:
            rgb, _ = camera.snap(rgb=True)
            assert rgb.shape == shape
        # Each snapshot outside capture mode is an acquisition of one frame.
    assert sequences == [1] * len(MODES)


def test_snap_equals_the_bytes_quorel_getimage_copies(camera: quorel.Camera) -> None:
    camera.color_mode = 24
    image, meta = camera.snap()
    stride = (WIDTH * 3 + 3) & ~3
    top_down = (ctypes.c_ubyte * (stride * HEIGHT))()
    bottom_up = (ctypes.c_ubyte * (stride * HEIGHT))()
    lib = quorel._lib.load()
    assert lib.Quorel_GetImage(camera.handle, ctypes.addressof(top_down), len(top_down), 1) == 1
    assert lib.Quorel_GetImage(camera.handle, ctypes.addressof(bottom_up), len(bottom_up), 0) == 1
    rows = np.frombuffer(top_down, dtype=np.uint8).reshape(HEIGHT, stride)[:, : WIDTH * 3]
    assert np.array_equal(image.reshape(HEIGHT, WIDTH * 3), rows)
    flipped = np.frombuffer(bottom_up, dtype=np.uint8).reshape(HEIGHT, stride)[::-1, : WIDTH * 3]
    assert np.array_equal(image.reshape(HEIGHT, WIDTH * 3), flipped), "row 0 is the top line"
    assert camera.frame_meta() == meta
    # Channels: the library stores blue, green, red; rgb=True reverses them.
    rgb, _ = camera.snap(rgb=True)
    assert np.array_equal(rgb, image[..., ::-1])


def test_capture_mode_numbers_snapshots_and_counts_them(camera: quorel.Camera) -> None:
    camera.color_mode = 8
    lib = quorel._lib.load()
    assert lib.Quorel_Capture(camera.handle) == 1
    metas = [camera.snap()[1] for _ in range(3)]
    assert [m.sequence for m in metas] == [1, 2, 3]
    assert metas[0].timestamp_ns < metas[1].timestamp_ns < metas[2].timestamp_ns
    stats = camera.statistics()
    assert (stats.completed, stats.delivered, stats.dropped, stats.failed_transfers) == (3, 3, 0, 0)
    camera.reset_statistics()
    assert camera.statistics().completed == 0
    camera.snap()
    assert camera.statistics().completed == 1
    assert camera.frame_meta().sequence == 4, "a reset does not renumber frames"
