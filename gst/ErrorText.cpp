#include "ErrorText.h"

#include "platform/ErrorCodes.h"

namespace quorel::gst {

std::string DescribeError(int code) {
  return "error " + std::to_string(code) + " (" + ErrorCodeName(code) + ": " + ErrorCodeMeaning(code) + ")";
}

}  // namespace quorel::gst
