"""Frame metadata, stream statistics and the layout of images in memory."""

from __future__ import annotations

import sys
from dataclasses import dataclass
from typing import List, Tuple

import numpy as np

from . import _lib

# Bits per pixel of each colour mode -> (channels, sample type). Colour
# pixels are stored blue, green, red (then a fourth sample for 32 and 64
# bits); 16-bit samples hold 12-bit values 0 to 4095.
LAYOUTS = {
    8: (1, np.uint8),
    16: (1, np.uint16),
    24: (3, np.uint8),
    32: (4, np.uint8),
    48: (3, np.uint16),
    64: (4, np.uint16),
}

# Quorel_GetColorMode reports the significant bits; the modes are set by
# their storage bits.
REPORTED_TO_BITS = {8: 8, 12: 16, 24: 24, 32: 32, 44: 48, 60: 64}


@dataclass(frozen=True)
class FrameMeta:
    """The identity of one delivered frame.

    Attributes:
        sequence: frames the camera completed since the acquisition started,
            this one included (1 is the first). A gap between two frames a
            caller received counts the frames it never saw.
        timestamp_ns: ``CLOCK_MONOTONIC`` time in nanoseconds at which the
            frame's transfer completed (comparable with
            ``time.monotonic_ns()``).
        width, height: the delivered image in pixels.
        bits_per_pixel: 8, 16, 24, 32, 48 or 64.
        status: ``FRAME_COMPLETE`` (0), or ``FRAME_SHORT`` (1) for a complete
            frame read again after a short transfer.
    """

    sequence: int
    timestamp_ns: int
    width: int
    height: int
    bits_per_pixel: int
    status: int

    @property
    def short(self) -> bool:
        """True when a short transfer preceded this frame."""
        return self.status == _lib.FRAME_SHORT

    @classmethod
    def _from_struct(cls, meta: _lib.FrameMetaStruct) -> "FrameMeta":
        return cls(
            sequence=int(meta.sequence),
            timestamp_ns=int(meta.timestampNs),
            width=int(meta.width),
            height=int(meta.height),
            bits_per_pixel=int(meta.bitsPerPixel),
            status=int(meta.status),
        )


@dataclass(frozen=True)
class StreamStats:
    """Counters since the acquisition started or the last reset.

    Attributes:
        completed: frames the camera's transfer completed.
        delivered: frames the library delivered to the application.
        dropped: completed frames overwritten before the library took them.
        short_frames: short transfers.
        failed_transfers: frame reads that failed.
        timeouts: frame waits that timed out.
        copy_failures: copies into the application's buffer that failed.
        current_rate: frames per second delivered over the last second.
        mean_rate: frames per second delivered since the start or reset.
    """

    completed: int
    delivered: int
    dropped: int
    short_frames: int
    failed_transfers: int
    timeouts: int
    copy_failures: int
    current_rate: float
    mean_rate: float

    @classmethod
    def _from_struct(cls, stats: _lib.StreamStatsStruct) -> "StreamStats":
        return cls(
            completed=int(stats.completed),
            delivered=int(stats.delivered),
            dropped=int(stats.dropped),
            short_frames=int(stats.shortFrames),
            failed_transfers=int(stats.failedTransfers),
            timeouts=int(stats.timeouts),
            copy_failures=int(stats.copyFailures),
            current_rate=float(stats.currentRate),
            mean_rate=float(stats.meanRate),
        )


def stride_of(width: int, bits: int) -> int:
    """Bytes per image row: width x bytes per pixel raised to a multiple of 4."""
    return (width * (bits // 8) + 3) & ~3


def image_bytes(width: int, height: int, bits: int) -> int:
    """Bytes of a whole image of this size and depth, row padding included."""
    return stride_of(width, bits) * height


class FrameBuffer:
    """Memory for one image as the library writes it, and its numpy view."""

    def __init__(self, width: int, height: int, bits: int) -> None:
        if bits not in LAYOUTS:
            raise ValueError(f"unsupported bits per pixel {bits}")
        self.width = width
        self.height = height
        self.bits = bits
        self.stride = stride_of(width, bits)
        self.nbytes = self.stride * height
        self.raw = np.empty(self.nbytes, dtype=np.uint8)

    @property
    def address(self) -> int:
        return int(self.raw.ctypes.data)

    def array(self, rgb: bool = False) -> np.ndarray:
        """The image as H x W (one channel) or H x W x C, top row first.

        The array shares the buffer's memory (no copy), so each buffer is
        handed out once. With ``rgb`` the first three channels come in red,
        green, blue order: a view for three channels, a copy for four.
        """
        channels, dtype = LAYOUTS[self.bits]
        rows = self.raw.reshape(self.height, self.stride)[:, : self.width * (self.bits // 8)]
        image = rows.view(dtype)
        if channels > 1:
            image = image.reshape(self.height, self.width, channels)
        if rgb and channels == 3:
            image = image[..., ::-1]
        elif rgb and channels == 4:
            image = image[..., [2, 1, 0, 3]]
        return image


def shape_of(width: int, height: int, bits: int) -> Tuple[int, ...]:
    """The shape of the array for an image of this size and depth."""
    channels = LAYOUTS[bits][0]
    return (height, width) if channels == 1 else (height, width, channels)


class BufferPool:
    """Frame buffers used again once the caller has let go of their arrays.

    A stream hands out a new array per frame. Copying into memory touched
    before is several times faster than into fresh pages, and the copy runs
    under the library's frame lock, so buffers are reused, but only one that
    no array handed out still refers to: a frame the caller holds is never
    written again.
    """

    def __init__(self, keep: int = 4) -> None:
        self._keep = keep
        self._buffers: List[FrameBuffer] = []

    def take(self, width: int, height: int, bits: int) -> FrameBuffer:
        """A buffer of this geometry that nothing outside the pool refers to."""
        self._buffers = [b for b in self._buffers if (b.width, b.height, b.bits) == (width, height, bits)]
        for buffer in self._buffers:
            # References: the buffer's attribute and getrefcount's argument.
            if sys.getrefcount(buffer.raw) <= 2:
                return buffer
        buffer = FrameBuffer(width, height, bits)
        if len(self._buffers) < self._keep:
            self._buffers.append(buffer)
        return buffer
