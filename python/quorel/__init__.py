"""Python access to the 470KX camera library, with frames as numpy arrays.

    import quorel

    with quorel.Camera() as cam:
        cam.color_mode = 24
        image, meta = cam.snap()           # H x W x 3 uint8, blue-green-red
        for image, meta in cam.stream(count=100):
            print(meta.sequence, meta.timestamp_ns, image.shape)
        print(cam.statistics())

The package is pure Python over the C library (ctypes). It finds the library
through the ``QUOREL_LIBRARY`` environment variable, next to its installation
prefix, or through the system loader. ``QUOREL_DRIVER=sim`` (or
:func:`quorel.sim.enable`) selects the virtual camera.
"""

from . import sim
from ._lib import FRAME_COMPLETE, FRAME_SHORT, LIBRARY_ENV
from .camera import (
    FILE_TYPES,
    FILTER_IDS,
    Camera,
    CameraDescription,
    CaptureWindow,
    Filters,
    Frame,
    TriggerSession,
    list_cameras,
)
from .errors import ERROR_CODES, QuorelError, error_meaning, error_name
from .frames import FrameMeta, StreamStats

__version__ = "1.0.0"

__all__ = [
    "Camera",
    "CameraDescription",
    "CaptureWindow",
    "ERROR_CODES",
    "FILE_TYPES",
    "FILTER_IDS",
    "FRAME_COMPLETE",
    "FRAME_SHORT",
    "Filters",
    "Frame",
    "FrameMeta",
    "LIBRARY_ENV",
    "QuorelError",
    "StreamStats",
    "TriggerSession",
    "error_meaning",
    "error_name",
    "list_cameras",
    "sim",
]
