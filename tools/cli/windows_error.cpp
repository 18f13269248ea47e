#include "windows_error.h"

#include <windows.h>

#include <cstdio>

namespace cli {

std::string WindowsError(unsigned long code) {
    char number[32];
    std::snprintf(number, sizeof number, "Windows error %lu", code);
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(code), 0,
                   text, sizeof text, nullptr);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? number : std::string(number) + ": " + message;
}

}  // namespace cli
