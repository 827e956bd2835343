// The virtual camera's C entry points. No exception leaves them.
#include <cstdio>
#include <string>

#include "QuorelSim.h"
#include "device/DriverChannel.h"
#include "device/SimDriverBackend.h"

using quorel::SimDriverBackend;

extern "C" {

QUOREL_API int QuorelSim_Enable(const char *config) {
  try {
    std::string error;
    if (!SimDriverBackend::Instance()->Configure(config != nullptr ? config : "", &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 0;
    }
    quorel::SelectSimDriver(true);
    return 1;
  } catch (...) {
    return 0;
  }
}

QUOREL_API int QuorelSim_Trigger(int unit) {
  try {
    auto camera = SimDriverBackend::Instance()->Unit(unit);
    if (!camera || !camera->Present()) return 0;
    camera->Trigger();
    return 1;
  } catch (...) {
    return 0;
  }
}

QUOREL_API int QuorelSim_SetPresent(int unit, int present) {
  try {
    auto camera = SimDriverBackend::Instance()->Unit(unit);
    if (!camera) return 0;
    camera->SetPresent(present != 0);
    return 1;
  } catch (...) {
    return 0;
  }
}

QUOREL_API int QuorelSim_InjectFault(int unit, const char *fault) {
  try {
    auto camera = SimDriverBackend::Instance()->Unit(unit);
    if (!camera || fault == nullptr) return 0;
    return camera->InjectFault(fault) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
