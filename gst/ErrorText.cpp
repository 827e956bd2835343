#include "ErrorText.h"

#include "QuorelErrorText.h"

namespace quorel::gst {

std::string DescribeError(int code) {
  return "error " + std::to_string(code) + " (" + error_text::Name(code) + ": " + error_text::Meaning(code) + ")";
}

}  // namespace quorel::gst
