// Configuration files (8-byte records) as Quorel_LoadConfigFile reads them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "FuzzFile.h"
#include "settings/ConfigurationList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string &path = quorel::fuzz::WriteScratch(data, size, ".cfg");
  quorel::ConfigurationList list;
  const int loaded = list.LoadFile(path.c_str());
  if (loaded != 0 && list.Size() > size / 8) std::abort();
  return 0;
}
