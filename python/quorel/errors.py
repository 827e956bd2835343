"""The library's error codes and the exception that carries them."""

from __future__ import annotations

from typing import Dict, Sequence, Tuple

# code: (name, meaning), as in QuorelSdk_470KX_PLU.h.
ERROR_CODES: Dict[int, Tuple[str, str]] = {
    0: ("QUOREL_ERR_NONE", "no error"),
    1: ("QUOREL_ERR_NOT_READY", "not ready or not allowed now"),
    2: ("QUOREL_ERR_NO_CAMERA", "camera not available"),
    3: ("QUOREL_ERR_THREAD", "thread not started"),
    4: ("QUOREL_ERR_WINDOW", "window not created"),
    5: ("QUOREL_ERR_MEMORY", "memory or buffer"),
    6: ("QUOREL_ERR_DEVICE", "device access failed"),
    7: ("QUOREL_ERR_GEOMETRY", "capture geometry invalid"),
    8: ("QUOREL_ERR_FRAME", "frame not obtained"),
    9: ("QUOREL_ERR_ARGUMENT", "invalid argument"),
    10: ("QUOREL_ERR_UNUSED", "not used"),
    11: ("QUOREL_ERR_NOT_SUPPORTED", "not supported"),
    12: ("QUOREL_ERR_FILE", "file error"),
    13: ("QUOREL_ERR_TRANSFER_STOPPED", "transfer stopped"),
}


def error_name(code: int) -> str:
    """The symbolic name of an error code (``"QUOREL_ERR_UNKNOWN"`` for others)."""
    return ERROR_CODES.get(code, ("QUOREL_ERR_UNKNOWN", ""))[0]


def error_meaning(code: int) -> str:
    """A short English meaning of an error code."""
    return ERROR_CODES.get(code, ("", "unknown error"))[1]


class QuorelError(Exception):
    """A library call failed.

    Attributes:
        code: the error code the call recorded (0 when it recorded none, as
            for an invalid handle).
        name: the code's symbolic name, e.g. ``"QUOREL_ERR_ARGUMENT"``.
        export: the C function that failed, e.g. ``"Quorel_SetColorMode"``.
        codes: every code the call left in the camera's error history,
            newest first (``code`` is the first of them).
    """

    def __init__(self, code: int, export: str, codes: Sequence[int] = (), detail: str = "") -> None:
        self.code = code
        self.name = error_name(code)
        self.export = export
        self.codes = tuple(codes) if codes else (code,)
        message = f"{export} failed: error {code} {self.name} ({error_meaning(code)})"
        if detail:
            message += f": {detail}"
        super().__init__(message)
