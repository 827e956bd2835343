// The calling frame shared by every export: look the handle up, return the
// export's failure value for an unknown handle (recording nothing, since
// there is no camera to record into), otherwise forward to the camera object
// and return its result unchanged. No exception leaves the library.
#pragma once

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "api/CSdkChain.h"
#include "camera/CQuorel.h"
#include "platform/DebugLog.h"

namespace quorel {

// Argument text of the api:3 log lines. Input strings are shown (cut at 200
// characters); every other pointer, output buffers included, only by address.
inline void AppendArgument(std::string &out, int value) {
  out += std::to_string(value);
}
inline void AppendArgument(std::string &out, const char *text) {
  if (text == nullptr) {
    out += "NULL";
    return;
  }
  const std::string_view view(text);
  out.append("\"").append(view.substr(0, 200)).append(view.size() > 200 ? "...\"" : "\"");
}
inline void AppendArgument(std::string &out, const wchar_t *text) {
  if (text == nullptr) {
    out += "NULL";
    return;
  }
  out += "L\"";
  size_t n = 0;
  for (; text[n] != L'\0' && n < 200; ++n)
    out.push_back(text[n] >= 0x20 && text[n] < 0x7F ? static_cast<char>(text[n]) : '?');
  out += text[n] != L'\0' ? "...\"" : "\"";
}
template <typename T>
void AppendArgument(std::string &out, T *pointer) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", static_cast<const void *>(pointer));
  out += text;
}

// "fileName=\"a.png\", fileType=5" from the stringised parameter names
// ("fileName, fileType") and their values.
template <typename... Args>
std::string FormatArguments(std::string_view names, const Args &...args) {
  std::string out;
  auto one = [&](const auto &value) {
    const size_t comma = names.find(',');
    std::string_view name = names.substr(0, comma);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    names = comma == std::string_view::npos ? std::string_view{} : names.substr(comma + 1);
    out.append(", ").append(name).append("=");
    AppendArgument(out, value);
  };
  (one(args), ...);
  return out;
}

inline std::string NoArguments() {
  return {};
}

// `describe` gives the arguments after the handle (", name=value..."); it runs
// only when the api log is on at level 3.
template <typename Operation, typename Describe = std::string (*)()>
int ForwardToCamera(const char *exportName, int handle, int failureValue, Operation &&operation,
                    Describe &&describe = NoArguments) noexcept {
  try {
    std::shared_ptr<CQuorel> camera = CSdkChain::Instance().Lookup(handle);
    if (camera == nullptr) {
      if (LogEnabled(LogCategory::kApi, 2)) LogPrint(LogCategory::kApi, 2, "%s: unknown handle %d", exportName, handle);
      return failureValue;
    }
    const int result = operation(*camera);
    if (LogEnabled(LogCategory::kApi, 3)) {
      LogPrint(LogCategory::kApi, 3, "%s(h=%d%s) = %d", exportName, handle, describe().c_str(), result);
    }
    return result;
  } catch (const std::exception &error) {
    LogPrint(LogCategory::kApi, 1, "%s: internal failure: %s", exportName, error.what());
  } catch (...) {
    LogPrint(LogCategory::kApi, 1, "%s: internal failure", exportName);
  }
  return failureValue;
}

}  // namespace quorel

// Defines an export that forwards to one camera operation; the export's
// parameters after the handle, named after `expr`, appear in the api log.
#define QUOREL_FORWARD(failure, expr, ...)                                                                  \
  return quorel::ForwardToCamera(__func__, handle, failure, [&]([[maybe_unused]] quorel::CQuorel &camera) { \
    return (expr);                                                                                          \
  } __VA_OPT__(, [&] { return quorel::FormatArguments(#__VA_ARGS__, __VA_ARGS__); }))
