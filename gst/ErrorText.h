// Library error codes as the element's messages name them.
#pragma once

#include <string>

namespace quorel::gst {

// "error 13 (QUOREL_ERR_TRANSFER_STOPPED: transfer stopped)", from the
// library's one table of error codes.
std::string DescribeError(int code);

}  // namespace quorel::gst
