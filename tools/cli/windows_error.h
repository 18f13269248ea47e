// A Windows error code as a line can name it.
#pragma once

#include <string>

namespace cli {

// "Windows error 5: Access is denied", or the bare number.
std::string WindowsError(unsigned long code);

}  // namespace cli
