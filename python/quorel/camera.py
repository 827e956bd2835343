"""The camera: settings, single frames, streams, trigger mode, files."""

from __future__ import annotations

import asyncio
import contextlib
import ctypes
import os
import select
import struct
import time
from dataclasses import dataclass
from typing import (
    Any,
    AsyncIterator,
    Dict,
    Iterator,
    List,
    Mapping,
    Optional,
    Tuple,
    Union,
)

import numpy as np

from . import _lib
from .errors import QuorelError
from .frames import REPORTED_TO_BITS, BufferPool, FrameBuffer, FrameMeta, StreamStats

PathLike = Union[str, "os.PathLike[str]"]
Frame = Tuple[np.ndarray, FrameMeta]

SENSOR_WIDTH = 3488
SENSOR_HEIGHT = 2616

# Filter identifiers of Quorel_GetFilterValue / Quorel_SetFilterValue, by the
# names the command-line tool uses.
FILTER_IDS: Dict[str, int] = {
    "brightness": 1,
    "contrast": 2,
    "hue": 3,
    "saturation": 4,
    "sharpness": 5,
    "bayer-gain-rgb": 6,
    "bayer-gain-red": 7,
    "bayer-gain-green": 8,
    "bayer-gain-blue": 9,
    "bayer-gain-auto": 10,
    "gamma": 11,
    "bayer-mode": 12,
    "global-gain": 13,
    "color-gain-red": 14,
    "color-gain-green1": 15,
    "color-gain-green2": 16,
    "color-gain-blue": 17,
    "exposure": 18,
    "gray-mode": 19,
    "gray-gain-r": 20,
    "gray-gain-g1": 21,
    "gray-gain-g2": 22,
    "gray-gain-b": 23,
    "gray-offset-r": 24,
    "gray-offset-g1": 25,
    "gray-offset-g2": 26,
    "gray-offset-b": 27,
    "gray-auto-gain": 28,
}

# File types of Quorel_SaveImage by name, and by file suffix.
FILE_TYPES: Dict[str, int] = {
    "bmp": 0,
    "raw": 1,
    "jpeg": 2,
    "jpeg100": 2,
    "jpeg70": 3,
    "jpeg20": 4,
    "png": 5,
    "tiff": 6,
}
_SUFFIX_TYPES = {".bmp": 0, ".raw": 1, ".jpg": 2, ".jpeg": 2, ".png": 5, ".tif": 6, ".tiff": 6}

_SUBSAMPLE_DIVISORS = {0: 1, 1: 2, 2: 4, 17: 2, 18: 4}
_TRANSFER_STOPPED = 13
_AVI_TOTAL_FRAMES_OFFSET = 48  # dwTotalFrames of the 'avih' main header


@dataclass(frozen=True)
class CameraDescription:
    """One camera found by :func:`list_cameras`."""

    unit: int
    name: str


@dataclass(frozen=True)
class CaptureWindow:
    """The part of the sensor that is read: origin and size in sensor pixels."""

    x: int
    y: int
    width: int
    height: int


def _name_key(name: str) -> str:
    return name.lower().replace("_", "-")


def list_cameras() -> List[CameraDescription]:
    """The cameras present, by unit number and device name."""
    lib = _lib.load()
    handle = lib.Quorel_Initialize(None)
    if handle == 0:
        raise QuorelError(0, "Quorel_Initialize")
    try:
        found = []
        name = ctypes.create_string_buffer(256)
        for unit in range(32):
            if lib.Quorel_GetDeviceName(handle, unit, name, len(name)) == 1:
                found.append(CameraDescription(unit, name.value.decode("utf-8", "replace")))
        while lib.Quorel_GetLastError(handle) != 0:  # the absent units' codes
            pass
        return found
    finally:
        lib.Quorel_Release(handle)


class Filters(Mapping[str, int]):
    """The image-filter, gain and exposure values by name (``cam.filters``).

    Names are those of the command-line tool (``"gamma"``,
    ``"bayer-gain-red"``, ``"gray-offset-b"``...); underscores may stand for
    hyphens. Reading and assigning go straight to the library.
    """

    def __init__(self, camera: "Camera") -> None:
        self._camera = camera

    def _id(self, name: str) -> int:
        key = _name_key(name)
        if key not in FILTER_IDS:
            raise KeyError(name)
        return FILTER_IDS[key]

    def __getitem__(self, name: str) -> int:
        return self._camera._get_filter(self._id(name))

    def __setitem__(self, name: str, value: int) -> None:
        self._camera._set_filter(self._id(name), value)

    def __iter__(self) -> Iterator[str]:
        return iter(FILTER_IDS)

    def __len__(self) -> int:
        return len(FILTER_IDS)


class Camera:
    """One camera, opened for the life of the object (or of a ``with`` block).

    ``Camera(unit)`` opens unit ``unit`` (0 to 31). The camera previews
    without a window; frames reach Python as numpy arrays. Close it with
    :meth:`close` or by leaving the ``with`` block; every method raises
    :class:`QuorelError` when the library reports a failure.

    Thread context: one thread at a time per camera object.
    """

    def __init__(self, unit: int = 0) -> None:
        self._lib = _lib.load()
        self._notify = self._lib.QuorelHost_CreateMessageWindow()
        self._handle = self._lib.Quorel_Initialize(self._notify)
        if self._handle == 0:
            self._lib.QuorelHost_DestroyWindow(self._notify)
            raise QuorelError(0, "Quorel_Initialize", detail="no camera object could be created")
        self.unit = unit
        self.filters = Filters(self)
        try:
            # Initialisation opens unit 0; another unit is switched to. A
            # missing unit, or a failed initialisation (whose code stands in
            # the history), fails here.
            if unit != 0:
                self._call("Quorel_SetDeviceNumber", unit)
            else:
                name = ctypes.create_string_buffer(256)
                self._call("Quorel_GetDeviceName", 0, name, len(name))
            self._call("Quorel_SetPreviewWindow", None, 0, 0, 0, 0)
            # What initialisation mended by itself (a stored capture window
            # that no longer fits) is no failure of a later call.
            self._take_codes()
        except BaseException:
            self.close()
            raise

    # --- lifecycle ---

    def close(self) -> None:
        """Stops any acquisition and releases the camera. Idempotent."""
        if getattr(self, "_handle", 0):
            self._lib.Quorel_StopPreview(self._handle)
            self._lib.Quorel_Release(self._handle)
            self._handle = 0
            self._lib.QuorelHost_DestroyWindow(self._notify)

    def __enter__(self) -> "Camera":
        return self

    def __exit__(self, *exc: Any) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:
            pass

    @property
    def handle(self) -> int:
        """The library's handle of this camera (for calls through ctypes)."""
        if not self._handle:
            raise QuorelError(0, "Quorel_Initialize", detail="the camera is closed")
        return self._handle

    # --- calls and errors ---

    def _take_codes(self) -> List[int]:
        codes = []
        while True:
            code = self._lib.Quorel_GetLastError(self._handle) if self._handle else 0
            if code == 0:
                break
            codes.append(code)
        # The same codes were posted to the notification window; nobody reads
        # them there.
        msg = _lib.HostMsg()
        while self._lib.QuorelHost_PeekMessage(self._notify, ctypes.byref(msg)) == 1:
            pass
        return codes

    def _fail(self, export: str, detail: str = "") -> QuorelError:
        codes = self._take_codes()
        return QuorelError(codes[0] if codes else 0, export, codes, detail)

    def _call(self, export: str, *args: Any) -> int:
        result = getattr(self._lib, export)(self.handle, *args)
        if result != 1:
            raise self._fail(export)
        return result

    def _get(self, export: str, *args: Any) -> int:
        ok = ctypes.c_int(0)
        value = getattr(self._lib, export)(self.handle, *args, ctypes.byref(ok))
        if ok.value != 1:
            raise self._fail(export)
        return int(value)

    def _get_filter(self, filter_id: int) -> int:
        return self._get("Quorel_GetFilterValue", filter_id)

    def _set_filter(self, filter_id: int, value: int) -> None:
        self._call("Quorel_SetFilterValue", filter_id, int(value))

    # --- information ---

    def info(self) -> Dict[str, Any]:
        """Identity and ranges of the camera: unit, name, sensor size, the
        gain and exposure ranges and the library version."""
        info = _lib.CameraInfo()
        info.size = ctypes.sizeof(info)
        self._call("Quorel_GetCameraInfo", ctypes.byref(info))
        name = ctypes.create_string_buffer(256)
        self._call("Quorel_GetDeviceName", self.unit, name, len(name))
        return {
            "unit": self.unit,
            "name": name.value.decode("utf-8", "replace"),
            "sensor_width": info.width,
            "sensor_height": info.height,
            "global_gain_range": (info.globalGainMin, info.globalGainMax),
            "color_gain_range": (info.colorGainMin, info.colorGainMax),
            "exposure_range": (info.exposureMin, info.exposureMax),
            "library_version": self._lib.Quorel_GetDllVersion(),
        }

    # --- settings ---

    @property
    def color_mode(self) -> int:
        """Bits per pixel of delivered images: 8, 16 (12-bit gray), 24, 32,
        48 or 64. Takes effect when the next acquisition starts."""
        reported = self._lib.Quorel_GetColorMode(self.handle)
        if reported not in REPORTED_TO_BITS:
            raise self._fail("Quorel_GetColorMode")
        return REPORTED_TO_BITS[reported]

    @color_mode.setter
    def color_mode(self, bits: int) -> None:
        self._call("Quorel_SetColorMode", int(bits))

    @property
    def exposure_us(self) -> int:
        """Exposure time in microseconds (the sensor's real time, rounded to lines)."""
        return self._get("Quorel_GetRealExposureTime")

    @exposure_us.setter
    def exposure_us(self, microseconds: int) -> None:
        self._call("Quorel_SetRealExposureTime", int(microseconds))

    @property
    def exposure_lines(self) -> int:
        """Exposure time in sensor lines."""
        return self._get_filter(FILTER_IDS["exposure"])

    @exposure_lines.setter
    def exposure_lines(self, lines: int) -> None:
        self._set_filter(FILTER_IDS["exposure"], lines)

    @property
    def global_gain(self) -> int:
        """Analog global gain (stored with the four colour gains of the
        settings; the sensor's colour-gain registers keep their values)."""
        return self._get_filter(FILTER_IDS["global-gain"])

    @global_gain.setter
    def global_gain(self, value: int) -> None:
        self._set_filter(FILTER_IDS["global-gain"], value)

    @property
    def color_gains(self) -> Dict[str, int]:
        """Analog colour gains: ``{"red", "green1", "green2", "blue"}``."""
        return {key: self._get_filter(FILTER_IDS[f"color-gain-{key}"]) for key in ("red", "green1", "green2", "blue")}

    @color_gains.setter
    def color_gains(self, gains: Mapping[str, int]) -> None:
        for key, value in gains.items():
            if f"color-gain-{key}" not in FILTER_IDS:
                raise KeyError(key)
            self._set_filter(FILTER_IDS[f"color-gain-{key}"], value)

    @property
    def capture_window(self) -> CaptureWindow:
        """The sensor area read: ``CaptureWindow(x, y, width, height)``.
        Assign a CaptureWindow or an ``(x, y, width, height)`` tuple."""
        values = [ctypes.c_int(0) for _ in range(6)]
        self._call("Quorel_GetCaptureWindowEx", *[ctypes.byref(v) for v in values])
        _, x, width, _, y, height = (v.value for v in values)
        return CaptureWindow(x, y, width, height)

    @capture_window.setter
    def capture_window(self, window: Union[CaptureWindow, Tuple[int, int, int, int]]) -> None:
        x, y, width, height = (
            (window.x, window.y, window.width, window.height) if isinstance(window, CaptureWindow) else window
        )
        self._call("Quorel_SetCaptureWindowEx", SENSOR_WIDTH, int(x), int(width), SENSOR_HEIGHT, int(y), int(height))

    @property
    def sub_sample(self) -> int:
        """Sub-sampling code: 0 full, 1/2 half/quarter by skipping, 17/18 by binning."""
        return int(self._lib.Quorel_GetSubSample(self.handle))

    @sub_sample.setter
    def sub_sample(self, code: int) -> None:
        self._call("Quorel_SetSubSample", int(code))

    @property
    def wait_time(self) -> int:
        """Milliseconds the preview worker waits between frames (default 10)."""
        return int(self._lib.Quorel_GetWaitTime(self.handle))

    @wait_time.setter
    def wait_time(self, milliseconds: int) -> None:
        self._call("Quorel_SetWaitTime", int(milliseconds))

    @property
    def mirror_h(self) -> bool:
        """Horizontal mirroring on the sensor."""
        return self._lib.Quorel_GetMirrorH(self.handle) != 0

    @mirror_h.setter
    def mirror_h(self, on: bool) -> None:
        self._call("Quorel_SetMirrorH", 1 if on else 0)

    @property
    def mirror_v(self) -> bool:
        """Vertical mirroring on the sensor."""
        return self._lib.Quorel_GetMirrorV(self.handle) != 0

    @mirror_v.setter
    def mirror_v(self, on: bool) -> None:
        self._call("Quorel_SetMirrorV", 1 if on else 0)

    @property
    def image_size(self) -> Tuple[int, int]:
        """(width, height) of delivered images: the capture window divided by
        the sub-sampling."""
        window = self.capture_window
        divisor = _SUBSAMPLE_DIVISORS.get(self.sub_sample, 1)
        return window.width // divisor, window.height // divisor

    # --- metadata and statistics ---

    def frame_meta(self) -> FrameMeta:
        """The metadata of the frame last delivered (``QuorelStream_GetFrameMeta``)."""
        meta = _lib.FrameMetaStruct()
        meta.size = ctypes.sizeof(meta)
        self._call("QuorelStream_GetFrameMeta", ctypes.byref(meta))
        return FrameMeta._from_struct(meta)

    def statistics(self) -> StreamStats:
        """Stream counters since the acquisition started or the last reset."""
        stats = _lib.StreamStatsStruct()
        stats.size = ctypes.sizeof(stats)
        self._call("QuorelStream_GetStatistics", ctypes.byref(stats))
        return StreamStats._from_struct(stats)

    def reset_statistics(self) -> None:
        """Starts the counters and the mean rate afresh."""
        self._call("QuorelStream_ResetStatistics")

    # --- frames ---

    def _new_buffer(self) -> FrameBuffer:
        width, height = self.image_size
        return FrameBuffer(width, height, self.color_mode)

    def snap(self, rgb: bool = False) -> Frame:
        """Reads one frame now and returns ``(image, meta)``.

        The image is H x W ``uint8`` for 8 bits, H x W ``uint16`` for 16 bits
        (12-bit values), H x W x 3 for 24 and 48 bits and H x W x 4 for 32 and
        64 bits (``uint8`` or ``uint16``), top row first, channels in the
        library's blue, green, red order; ``rgb=True`` gives red, green, blue.
        Not while a stream or trigger mode runs.
        """
        buffer = self._new_buffer()
        self._call("Quorel_SnapShot", buffer.address, buffer.nbytes, 1)
        return buffer.array(rgb), self.frame_meta()

    def _latest(self, rgb: bool, pool: Optional[BufferPool] = None) -> Optional[Frame]:
        """The image Quorel_GetImage copies now with its own metadata.

        The metadata is read before and after the copy; the copy is taken
        under the library's frame lock, so equal sequence numbers prove that
        image and metadata belong together. None when frames kept arriving
        during every attempt.
        """
        before = self.frame_meta()
        for _ in range(8):
            if pool is None:
                buffer = FrameBuffer(before.width, before.height, before.bits_per_pixel)
            else:
                buffer = pool.take(before.width, before.height, before.bits_per_pixel)
            self._call("Quorel_GetImage", buffer.address, buffer.nbytes, 1)
            after = self.frame_meta()
            if after.sequence == before.sequence:
                return buffer.array(rgb), after
            before = after
        return None

    def _drain_frames(self, window: int) -> bool:
        """Empties a frame window; True when it announced a new frame.

        Raises QuorelError when the transfer stopped.
        """
        msg = _lib.HostMsg()
        announced = False
        while self._lib.QuorelHost_PeekMessage(window, ctypes.byref(msg)) == 1:
            if msg.message != _lib.WM_FRAME:
                continue
            if msg.wParam:
                announced = True
            elif msg.lParam == _TRANSFER_STOPPED:
                # The message goes out before the worker records the code,
                # so the code comes from the message.
                raise QuorelError(_TRANSFER_STOPPED, "Quorel_CallBackPreview", detail="the transfer stopped while streaming")
            # lParam 5 or 8: a frame the library could not deliver; its
            # error stays in the history and the stream goes on.
        return announced

    @contextlib.contextmanager
    def _frame_window(self) -> Iterator[int]:
        window = self._lib.QuorelHost_CreateMessageWindow()
        if not window:
            raise QuorelError(4, "QuorelHost_CreateMessageWindow")
        try:
            yield window
        finally:
            self._lib.Quorel_StopPreview(self._handle)
            self._lib.QuorelHost_DestroyWindow(window)
            # The stop has joined the worker: what it recorded belongs to
            # this stream, not to the next failing call.
            self._take_codes()

    def stream(self, count: Optional[int] = None, timeout: Optional[float] = 5.0, rgb: bool = False) -> Iterator[Frame]:
        """Streams frames as ``(image, meta)`` pairs.

        Runs the library's callback preview into a message window and waits
        on its event descriptor. Each image is a fresh array copied under the
        library's frame lock, so no later frame ever writes into an array the
        caller holds. A caller slower than the camera gets the newest frame
        each time: the frames in between show as gaps in ``meta.sequence``
        and in :meth:`statistics`.

        Args:
            count: frames to yield, or None for no limit.
            timeout: seconds to wait for each frame (None: no limit); raises
                TimeoutError when it passes.
            rgb: channels in red, green, blue order.

        The preview stops when the iterator ends or is closed (leaving a
        ``for`` loop early closes it).
        """
        with self._frame_window() as window:
            poller = select.poll()
            poller.register(self._lib.QuorelHost_GetEventFd(window), select.POLLIN)
            self._call("Quorel_CallBackPreview", window, None, 0, 1)
            last = 0
            delivered = 0
            pool = BufferPool()
            while count is None or delivered < count:
                deadline = None if timeout is None else time.monotonic() + timeout
                frame = None
                while frame is None:
                    remaining = None if deadline is None else max(0.0, deadline - time.monotonic())
                    if not poller.poll(None if remaining is None else int(remaining * 1000) + 1):
                        if deadline is not None and time.monotonic() >= deadline:
                            raise TimeoutError(f"no frame within {timeout} s")
                        continue
                    if not self._drain_frames(window):
                        continue
                    frame = self._latest(rgb, pool)
                    if frame is not None and frame[1].sequence == last:
                        frame = None  # announced again after it was taken
                last = frame[1].sequence
                delivered += 1
                yield frame

    async def astream(
        self, count: Optional[int] = None, timeout: Optional[float] = 5.0, rgb: bool = False
    ) -> AsyncIterator[Frame]:
        """The asyncio form of :meth:`stream`: ``async for image, meta in cam.astream()``.

        The message window's event descriptor is watched with
        ``loop.add_reader``, so the event loop runs other tasks between
        frames. Raises TimeoutError (asyncio's too) when no frame comes in
        time.
        """
        loop = asyncio.get_running_loop()
        with self._frame_window() as window:
            fd = self._lib.QuorelHost_GetEventFd(window)
            ready = asyncio.Event()
            loop.add_reader(fd, ready.set)
            try:
                self._call("Quorel_CallBackPreview", window, None, 0, 1)
                last = 0
                delivered = 0
                pool = BufferPool()
                while count is None or delivered < count:
                    try:
                        await asyncio.wait_for(ready.wait(), timeout)
                    except asyncio.TimeoutError:
                        raise TimeoutError(f"no frame within {timeout} s") from None
                    ready.clear()
                    if not self._drain_frames(window):
                        continue
                    frame = self._latest(rgb, pool)
                    if frame is None or frame[1].sequence == last:
                        continue
                    last = frame[1].sequence
                    delivered += 1
                    yield frame
            finally:
                loop.remove_reader(fd)

    @contextlib.contextmanager
    def trigger_mode(self, rgb: bool = False) -> Iterator["TriggerSession"]:
        """Externally triggered frames::

            with cam.trigger_mode() as trig:
                image, meta = trig.wait(timeout=2.0)

        The camera waits for its trigger input (``quorel.sim.trigger()`` on
        the virtual camera); leaving the block stops trigger mode.
        """
        with self._frame_window() as window:
            self._call("Quorel_Trigger", window, None, 0, 1)
            yield TriggerSession(self, window, rgb)

    # --- files ---

    def save(self, path: PathLike, fmt: Optional[str] = None) -> None:
        """Saves the last image: ``fmt`` is bmp, raw, jpeg (jpeg100), jpeg70,
        jpeg20, png or tiff, or None to choose by the file's suffix."""
        if fmt is None:
            suffix = os.path.splitext(os.fspath(path))[1].lower()
            if suffix not in _SUFFIX_TYPES:
                raise ValueError(f"cannot tell the file type from '{path}'; give fmt")
            file_type = _SUFFIX_TYPES[suffix]
        else:
            if fmt.lower() not in FILE_TYPES:
                raise ValueError(f"unknown file type '{fmt}'")
            file_type = FILE_TYPES[fmt.lower()]
        self._call("Quorel_SaveImage", os.fsencode(path), file_type)

    def record(self, path: PathLike, seconds: float) -> int:
        """Records an uncompressed AVI file of about ``seconds`` and returns
        the number of frames in it. Blocks until the file is finished."""
        milliseconds = max(1, int(round(seconds * 1000)))
        self._call("Quorel_Record", os.fsencode(path), milliseconds, 0)
        try:
            give_up = time.monotonic() + seconds + 10.0
            while time.monotonic() < give_up:
                time.sleep(0.05)
                codes = self._take_codes()
                if codes:
                    raise QuorelError(codes[0], "Quorel_Record", codes, "while recording")
                if _avi_total_frames(path) > 0:
                    break
        finally:
            # Stopping also finishes a recording that has not ended by itself.
            self._lib.Quorel_StopPreview(self._handle)
        return _avi_total_frames(path)


class TriggerSession:
    """Frames of a running trigger mode (see :meth:`Camera.trigger_mode`)."""

    def __init__(self, camera: Camera, window: int, rgb: bool) -> None:
        self._camera = camera
        self._window = window
        self._rgb = rgb
        self._fd = camera._lib.QuorelHost_GetEventFd(window)
        self._last = 0

    def wait(self, timeout: float) -> Frame:
        """The next triggered frame; TimeoutError when none comes within
        ``timeout`` seconds."""
        deadline = time.monotonic() + timeout
        poller = select.poll()
        poller.register(self._fd, select.POLLIN)
        while True:
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not poller.poll(int(remaining * 1000) + 1):
                if time.monotonic() >= deadline:
                    raise TimeoutError(f"no triggered frame within {timeout} s")
                continue
            if not self._camera._drain_frames(self._window):
                continue
            frame = self._camera._latest(self._rgb)
            if frame is not None and frame[1].sequence != self._last:
                self._last = frame[1].sequence
                return frame


def _avi_total_frames(path: PathLike) -> int:
    try:
        with open(path, "rb") as file:
            header = file.read(_AVI_TOTAL_FRAMES_OFFSET + 4)
    except OSError:
        return 0
    if len(header) < _AVI_TOTAL_FRAMES_OFFSET + 4 or header[:4] != b"RIFF":
        return 0
    return int(struct.unpack_from("<I", header, _AVI_TOTAL_FRAMES_OFFSET)[0])


__all__ = [
    "Camera",
    "CameraDescription",
    "CaptureWindow",
    "Filters",
    "Frame",
    "TriggerSession",
    "list_cameras",
    "FILTER_IDS",
    "FILE_TYPES",
]

