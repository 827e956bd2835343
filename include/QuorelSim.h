/**
 * \file QuorelSim.h
 * \brief The virtual 470KX camera.
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

/** Selects and configures the virtual camera for cameras initialised from
 * now on. Any thread.
 * \param config "key=value;..." as QUOREL_SIM, e.g. "units=0,3;fps=30"
 * \return 1, or 0 for a configuration that does not parse (a message says
 *         why on stderr). */
QUOREL_API int QuorelSim_Enable(const char *config);
/** One external trigger pulse for a unit (see Quorel_Trigger).
 * \param unit unit 0 to 31
 * \return 1, or 0 for an absent unit. */
QUOREL_API int QuorelSim_Trigger(int unit);
/** Plugs in or unplugs a unit; unplugging a streaming unit stops its
 * transfer (code 13 in the frame messages).
 * \param unit unit 0 to 31
 * \param present 1 plugs in, 0 unplugs
 * \return 1, or 0 for a unit out of range. */
QUOREL_API int QuorelSim_SetPresent(int unit, int present);
/** Makes the unit misbehave.
 * \param unit unit 0 to 31
 * \param fault "short-frame", "fail-frame", "stall=MS" or "fail-register"
 * \return 1, or 0 for an unknown fault or unit. */
QUOREL_API int QuorelSim_InjectFault(int unit, const char *fault);

#ifdef __cplusplus
}
#endif

#endif /* QUOREL_SIM_H */
