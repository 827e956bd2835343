/*
 * QuorelSim.h - the virtual 470KX camera.
 *
 * A software model of the camera behind the same driver channel as the real
 * one. It is selected by QUOREL_DRIVER=sim in the environment, or by
 * QuorelSim_Enable before the first Quorel_Initialize, and configured by a
 * "key=value;key=value" string (QUOREL_SIM, or the argument of
 * QuorelSim_Enable): units=0,3  fps=max|sensor|N  scene=chart|image:FILE|raw:FILE
 * seed=N  noise=N  defects=N  trigger=MS
 */
#ifndef QUOREL_SIM_H
#define QUOREL_SIM_H

#include "QuorelSdk_470KX_PLU.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Selects and configures the virtual camera; 1, or 0 for a configuration
 * that does not parse (a message says why on stderr). */
QUOREL_API int QuorelSim_Enable(const char *config);
/* One external trigger pulse for a unit; 1 or 0. */
QUOREL_API int QuorelSim_Trigger(int unit);
/* Plugs (1) or unplugs (0) a unit; 1 or 0. */
QUOREL_API int QuorelSim_SetPresent(int unit, int present);
/* Makes the unit misbehave: "short-frame", "fail-frame", "stall=MS",
 * "fail-register"; 1 or 0. */
QUOREL_API int QuorelSim_InjectFault(int unit, const char *fault);

#ifdef __cplusplus
}
#endif

#endif /* QUOREL_SIM_H */
