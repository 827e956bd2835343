"""Loading the camera library and declaring the C functions the package calls.

The library is looked for, in this order:

1. the file named by the environment variable ``QUOREL_LIBRARY`` (a build
   tree's ``libQuorelSdk_470KX_PLU.so``, for instance);
2. next to the installation prefix the package lives under
   (``<prefix>/lib`` and ``<prefix>/lib/<multiarch>``), which finds a library
   installed by ``cmake --install`` into the same prefix as the package;
3. the system loader (``ldconfig`` paths, ``LD_LIBRARY_PATH``).
"""

from __future__ import annotations

import ctypes
import os
import sys
import sysconfig
import threading
from pathlib import Path
from typing import List, Optional

LIBRARY_ENV = "QUOREL_LIBRARY"
SONAME = "libQuorelSdk_470KX_PLU.so.1"
LIBRARY_NAMES = (SONAME, "libQuorelSdk_470KX_PLU.so")

HWND = ctypes.c_void_p
WPARAM = ctypes.c_size_t
LPARAM = ctypes.c_ssize_t

WM_FRAME = 0x8002
WM_ERROR = 0x8003

FRAME_COMPLETE = 0
FRAME_SHORT = 1


class HostMsg(ctypes.Structure):
    """``QuorelHostMsg`` of QuorelHost.h."""

    _fields_ = [
        ("hwnd", HWND),
        ("message", ctypes.c_uint),
        ("wParam", WPARAM),
        ("lParam", LPARAM),
    ]


class FrameInfo(ctypes.Structure):
    """``QuorelFrameInfo``: the record a frame message points at (32 bytes)."""

    _fields_ = [
        ("size", ctypes.c_int32),
        ("width", ctypes.c_int32),
        ("height", ctypes.c_int32),
        ("bitCount", ctypes.c_int32),
        ("frameRate", ctypes.c_int32),
        ("reserved", ctypes.c_int32),
        ("buffer", ctypes.c_void_p),
    ]


class CameraInfo(ctypes.Structure):
    """``QuorelCameraInfo`` (36 bytes)."""

    _fields_ = [
        ("size", ctypes.c_int32),
        ("width", ctypes.c_int32),
        ("height", ctypes.c_int32),
        ("globalGainMin", ctypes.c_int32),
        ("globalGainMax", ctypes.c_int32),
        ("colorGainMin", ctypes.c_int32),
        ("colorGainMax", ctypes.c_int32),
        ("exposureMin", ctypes.c_int32),
        ("exposureMax", ctypes.c_int32),
    ]


class FrameMetaStruct(ctypes.Structure):
    """``QuorelFrameMeta`` of QuorelStream.h."""

    _fields_ = [
        ("size", ctypes.c_uint32),
        ("status", ctypes.c_uint32),
        ("sequence", ctypes.c_uint64),
        ("timestampNs", ctypes.c_uint64),
        ("width", ctypes.c_int32),
        ("height", ctypes.c_int32),
        ("bitsPerPixel", ctypes.c_int32),
        ("reserved", ctypes.c_int32),
    ]


class StreamStatsStruct(ctypes.Structure):
    """``QuorelStreamStats`` of QuorelStream.h."""

    _fields_ = [
        ("size", ctypes.c_uint32),
        ("reserved", ctypes.c_uint32),
        ("completed", ctypes.c_uint64),
        ("delivered", ctypes.c_uint64),
        ("dropped", ctypes.c_uint64),
        ("shortFrames", ctypes.c_uint64),
        ("failedTransfers", ctypes.c_uint64),
        ("timeouts", ctypes.c_uint64),
        ("copyFailures", ctypes.c_uint64),
        ("currentRate", ctypes.c_double),
        ("meanRate", ctypes.c_double),
    ]


_c_int = ctypes.c_int
_p_int = ctypes.POINTER(ctypes.c_int)
_p_uchar = ctypes.c_void_p  # image buffers are passed as raw addresses

# name: (result, argument types). Every function the package calls is here,
# so that a missing export fails at load time with its name.
_PROTOTYPES = {
    "Quorel_GetDllVersion": (_c_int, []),
    "Quorel_Initialize": (_c_int, [HWND]),
    "Quorel_Release": (_c_int, [_c_int]),
    "Quorel_GetLastError": (_c_int, [_c_int]),
    "Quorel_EnumDevice": (_c_int, [_c_int, ctypes.c_void_p]),
    "Quorel_GetDeviceName": (_c_int, [_c_int, _c_int, ctypes.c_char_p, _c_int]),
    "Quorel_SetDeviceNumber": (_c_int, [_c_int, _c_int]),
    "Quorel_GetCameraInfo": (_c_int, [_c_int, ctypes.POINTER(CameraInfo)]),
    "Quorel_CallBackPreview": (_c_int, [_c_int, HWND, _p_uchar, _c_int, _c_int]),
    "Quorel_Capture": (_c_int, [_c_int]),
    "Quorel_SnapShot": (_c_int, [_c_int, _p_uchar, _c_int, _c_int]),
    "Quorel_Trigger": (_c_int, [_c_int, HWND, _p_uchar, _c_int, _c_int]),
    "Quorel_StopPreview": (_c_int, [_c_int]),
    "Quorel_GetImage": (_c_int, [_c_int, _p_uchar, _c_int, _c_int]),
    "Quorel_SetPreviewWindow": (_c_int, [_c_int, HWND, _c_int, _c_int, _c_int, _c_int]),
    "Quorel_SaveImage": (_c_int, [_c_int, ctypes.c_char_p, _c_int]),
    "Quorel_Record": (_c_int, [_c_int, ctypes.c_char_p, _c_int, _c_int]),
    "Quorel_SetColorMode": (_c_int, [_c_int, _c_int]),
    "Quorel_GetColorMode": (_c_int, [_c_int]),
    "Quorel_SetSubSample": (_c_int, [_c_int, _c_int]),
    "Quorel_GetSubSample": (_c_int, [_c_int]),
    "Quorel_SetCaptureWindowEx": (_c_int, [_c_int] * 7),
    "Quorel_GetCaptureWindowEx": (_c_int, [_c_int] + [_p_int] * 6),
    "Quorel_SetWaitTime": (_c_int, [_c_int, _c_int]),
    "Quorel_GetWaitTime": (_c_int, [_c_int]),
    "Quorel_SetMirrorH": (_c_int, [_c_int, _c_int]),
    "Quorel_SetMirrorV": (_c_int, [_c_int, _c_int]),
    "Quorel_GetMirrorH": (_c_int, [_c_int]),
    "Quorel_GetMirrorV": (_c_int, [_c_int]),
    "Quorel_SetRealExposureTime": (_c_int, [_c_int, _c_int]),
    "Quorel_GetRealExposureTime": (_c_int, [_c_int, _p_int]),
    "Quorel_GetFilterValue": (_c_int, [_c_int, _c_int, _p_int]),
    "Quorel_SetFilterValue": (_c_int, [_c_int, _c_int, _c_int]),
    "QuorelHost_CreateMessageWindow": (HWND, []),
    "QuorelHost_DestroyWindow": (_c_int, [HWND]),
    "QuorelHost_PeekMessage": (_c_int, [HWND, ctypes.POINTER(HostMsg)]),
    "QuorelHost_WaitMessage": (_c_int, [HWND, ctypes.POINTER(HostMsg), _c_int]),
    "QuorelHost_GetEventFd": (_c_int, [HWND]),
    "QuorelSim_Enable": (_c_int, [ctypes.c_char_p]),
    "QuorelSim_Trigger": (_c_int, [_c_int]),
    "QuorelSim_SetPresent": (_c_int, [_c_int, _c_int]),
    "QuorelSim_InjectFault": (_c_int, [_c_int, ctypes.c_char_p]),
    "QuorelStream_GetFrameMeta": (_c_int, [_c_int, ctypes.POINTER(FrameMetaStruct)]),
    "QuorelStream_GetStatistics": (_c_int, [_c_int, ctypes.POINTER(StreamStatsStruct)]),
    "QuorelStream_ResetStatistics": (_c_int, [_c_int]),
}

_lock = threading.Lock()
_library: Optional[ctypes.CDLL] = None


def candidate_paths() -> List[str]:
    """The places the library is looked for, in order (see the module text)."""
    candidates: List[str] = []
    named = os.environ.get(LIBRARY_ENV)
    if named:
        candidates.append(named)
    prefixes = []
    # The package sits in <prefix>/lib/pythonX.Y/site-packages/quorel (or
    # .../dist-packages/quorel): walk up to the prefix.
    here = Path(__file__).resolve().parent
    for parent in here.parents:
        if parent.name in ("site-packages", "dist-packages"):
            prefixes.append(parent.parent.parent.parent if parent.parent.name.startswith("python") else parent.parent)
            break
    for prefix in (sys.prefix, sysconfig.get_config_var("prefix") or ""):
        if prefix:
            prefixes.append(Path(prefix))
    multiarch = sysconfig.get_config_var("MULTIARCH") or ""
    for prefix in prefixes:
        for libdir in (["lib", f"lib/{multiarch}"] if multiarch else ["lib"]):
            for name in LIBRARY_NAMES:
                path = prefix / libdir / name
                if str(path) not in candidates:
                    candidates.append(str(path))
    return candidates


def load() -> ctypes.CDLL:
    """The loaded library, with every function the package uses declared.

    Raises OSError naming the places searched when no library loads.
    """
    global _library
    with _lock:
        if _library is not None:
            return _library
        tried: List[str] = []
        library: Optional[ctypes.CDLL] = None
        named = os.environ.get(LIBRARY_ENV)
        for path in candidate_paths():
            # A library named by the environment must load: falling back to
            # another copy would test or run something else than was asked.
            if path != named and not os.path.exists(path):
                continue
            try:
                library = ctypes.CDLL(path)
                break
            except OSError as error:
                if path == named:
                    raise OSError(f"{LIBRARY_ENV}={named} does not load: {error}") from error
                tried.append(f"{path}: {error}")
        if library is None:
            for name in LIBRARY_NAMES:
                try:
                    library = ctypes.CDLL(name)
                    break
                except OSError as error:
                    tried.append(f"{name}: {error}")
        if library is None:
            raise OSError(
                "the Quorel camera library was not found; set "
                f"{LIBRARY_ENV} to the path of {SONAME}. Tried: " + "; ".join(tried or candidate_paths())
            )
        for name, (restype, argtypes) in _PROTOTYPES.items():
            function = getattr(library, name)
            function.restype = restype
            function.argtypes = argtypes
        _library = library
        return library
