"""Streams: numbering, timestamps and rate, a slow consumer, faults, asyncio."""

from __future__ import annotations

import asyncio
import time
from typing import Callable, List

import numpy as np
import pytest

import quorel

FPS = 100
# The paced rate of the 200-frame stream: slow enough that a loaded machine
# rarely serves a frame a whole period late (the camera then starts its
# schedule afresh, which lowers the rate but never raises it).
PACED_FPS = 40


def test_200_frames_in_order_at_the_configured_rate(open_camera: Callable[..., quorel.Camera]) -> None:
    cam = open_camera(f"fps={PACED_FPS}")
    cam.color_mode = 24
    cam.wait_time = 0
    metas: List[quorel.FrameMeta] = []
    held = []
    for image, meta in cam.stream(count=200, timeout=5.0):
        assert image.shape == (meta.height, meta.width, 3)
        metas.append(meta)
        if len(held) < 8:
            held.append((image, image.copy()))
    sequences = [m.sequence for m in metas]
    stamps = [m.timestamp_ns for m in metas]
    assert all(b > a for a, b in zip(sequences, sequences[1:])), "sequence numbers strictly increase"
    assert all(b > a for a, b in zip(stamps, stamps[1:])), "timestamps increase"
    # Completion times of numbered frames follow the camera's pace, whatever
    # frames were skipped: the mean spacing per sequence step is the period,
    # never shorter, and longer only by the lateness of a busy machine.
    spacing = (stamps[-1] - stamps[0]) / (sequences[-1] - sequences[0]) / 1e9
    assert 0.97 / PACED_FPS <= spacing <= 1.5 / PACED_FPS
    # Arrays kept by the caller were never written again.
    for image, copy in held:
        assert np.array_equal(image, copy)
    stats = cam.statistics()
    assert stats.completed >= sequences[-1]
    assert stats.delivered >= len(metas)
    assert stats.failed_transfers == stats.short_frames == stats.timeouts == stats.copy_failures == 0


def test_a_slow_consumer_loses_frames_and_sees_the_loss(open_camera: Callable[..., quorel.Camera]) -> None:
    cam = open_camera(f"fps={FPS}")
    cam.color_mode = 8
    cam.wait_time = 0
    sequences = []
    for _, meta in cam.stream(count=12):
        sequences.append(meta.sequence)
        time.sleep(0.05)  # five camera frames per frame taken
    stats = cam.statistics()
    gaps = sum(b - a - 1 for a, b in zip(sequences, sequences[1:]))
    assert gaps >= 11 * 2, sequences
    # Every numbered frame the consumer did not get was completed by the
    # camera and either dropped unconverted or superseded before it was taken.
    assert stats.completed >= sequences[-1]
    assert stats.completed - len(sequences) >= gaps
    assert stats.delivered + stats.dropped <= stats.completed
    assert stats.dropped > 0 or stats.delivered > len(sequences)


def test_a_failed_transfer_ends_the_stream_with_code_13(open_camera: Callable[..., quorel.Camera]) -> None:
    cam = open_camera(f"fps={FPS}")
    cam.color_mode = 8
    with pytest.raises(quorel.QuorelError) as raised:
        for n, _ in enumerate(cam.stream(timeout=5.0)):
            if n == 2:
                quorel.sim.inject_fault(0, "fail-frame")
    assert raised.value.code == 13
    assert raised.value.name == "QUOREL_ERR_TRANSFER_STOPPED"
    assert raised.value.export == "Quorel_CallBackPreview"
    assert cam.statistics().failed_transfers == 1


def test_asyncio_stream_leaves_the_loop_free(open_camera: Callable[..., quorel.Camera]) -> None:
    cam = open_camera(f"fps={FPS}")
    cam.color_mode = 16

    async def run() -> tuple:
        ticks = 0
        done = asyncio.Event()

        async def ticker() -> None:
            nonlocal ticks
            while not done.is_set():
                ticks += 1
                await asyncio.sleep(0.001)

        task = asyncio.create_task(ticker())
        sequences = []
        async for image, meta in cam.astream(count=20, timeout=5.0):
            assert image.dtype == np.uint16 and image.shape == (meta.height, meta.width)
            sequences.append(meta.sequence)
        done.set()
        await task
        return sequences, ticks

    sequences, ticks = asyncio.run(run())
    assert len(sequences) == 20
    assert all(b > a for a, b in zip(sequences, sequences[1:]))
    assert ticks > 20, "the event loop ran other tasks while waiting for frames"
    # The stream stopped the preview: a snapshot is allowed again.
    cam.snap()
