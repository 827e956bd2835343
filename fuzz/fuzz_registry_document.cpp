// The settings file's text: parsing never crashes, and a document that parses
// writes out to text that parses to the same keys and values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/RegistryDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  auto doc = quorel::RegistryDocument::Parse(text);
  if (!doc) return 0;
  const std::string written = doc->Serialize();
  auto again = quorel::RegistryDocument::Parse(written);
  if (!again) std::abort();  // our own output must parse
  const auto &a = doc->Keys();
  const auto &b = again->Keys();
  if (a.size() != b.size()) std::abort();
  for (size_t k = 0; k < a.size(); ++k) {
    if (a[k].path != b[k].path || a[k].entries.size() != b[k].entries.size()) std::abort();
    for (size_t e = 0; e < a[k].entries.size(); ++e) {
      const auto &x = a[k].entries[e];
      const auto &y = b[k].entries[e];
      if (x.kind != y.kind || x.name != y.name || x.dword != y.dword || x.raw != y.raw) std::abort();
      if (x.kind == quorel::RegistryDocument::Entry::Kind::kDword &&
          doc->QueryDword(a[k].path, x.name) != again->QueryDword(b[k].path, y.name)) {
        std::abort();
      }
    }
  }
  if (again->Serialize() != written) std::abort();
  return 0;
}
