// Loading a configuration file (pairs of 32-bit words) into the camera object.
// Needs no device object: it works on a camera whose initialisation failed.
#include "camera/CQuorel.h"
#include "platform/WideString.h"
#include "settings/ConfigurationList.h"

namespace quorel {

int CQuorel::LoadConfigFile(const char *fileName) {
  if (fileName == nullptr) return 0;
  return config_->LoadFile(fileName);
}

int CQuorel::LoadConfigFileW(const wchar_t *fileName) {
  char narrow[1024];
  if (!WideToUtf8(fileName, narrow)) {
    ReportError(kErrFile, "Quorel_LoadConfigFileW");
    return 0;
  }
  return LoadConfigFile(narrow);
}

}  // namespace quorel
