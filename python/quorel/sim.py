"""Controls of the virtual camera, for tests and demonstrations.

The virtual camera answers in place of a real one when the environment holds
``QUOREL_DRIVER=sim`` or when :func:`enable` runs before the first camera is
opened. Its configuration is a ``key=value;key=value`` string, e.g.
``"units=0,3;fps=50;scene=chart"`` (``QUOREL_SIM`` in the environment).
"""

from __future__ import annotations

from . import _lib
from .errors import QuorelError


def _check(result: int, export: str) -> None:
    if result != 1:
        raise QuorelError(9, export, detail="refused by the virtual camera")


def enable(config: str = "") -> None:
    """Selects and configures the virtual camera (before the first camera opens)."""
    _check(_lib.load().QuorelSim_Enable(config.encode()), "QuorelSim_Enable")


def trigger(unit: int = 0) -> None:
    """One external trigger pulse for a unit."""
    _check(_lib.load().QuorelSim_Trigger(unit), "QuorelSim_Trigger")


def set_present(unit: int, present: bool) -> None:
    """Plugs (True) or unplugs (False) a unit."""
    _check(_lib.load().QuorelSim_SetPresent(unit, 1 if present else 0), "QuorelSim_SetPresent")


def inject_fault(unit: int, fault: str) -> None:
    """Makes a unit misbehave once: ``"short-frame"``, ``"fail-frame"``,
    ``"stall=MS"`` or ``"fail-register"``."""
    _check(_lib.load().QuorelSim_InjectFault(unit, fault.encode()), "QuorelSim_InjectFault")
