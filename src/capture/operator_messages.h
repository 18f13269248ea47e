// The texts the operator sees, in the Chinese code page 936 (GBK), shown with
// MessageBoxA so that they read correctly on a Chinese Windows.
#pragma once

#include <windows.h>

namespace messages {

// "图像采集卡初始化错误!" (initialisation of the capture card failed)
constexpr char kCardInitFailed[] =
    "\xCD\xBC\xCF\xF1\xB2\xC9\xBC\xAF\xBF\xA8\xB3\xF5\xCA\xBC\xBB\xAF\xB4\xED\xCE\xF3\x21";

// "内存分配失败，请退出程序并重新进入!" (memory allocation failed; quit and restart)
constexpr char kAllocationFailed[] =
    "\xC4\xDA\xB4\xE6\xB7\xD6\xC5\xE4\xCA\xA7\xB0\xDC\xA3\xAC\xC7\xEB\xCD\xCB\xB3\xF6\xB3\xCC"
    "\xD0\xF2\xB2\xA2\xD6\xD8\xD0\xC2\xBD\xF8\xC8\xEB\x21";

// "内存不足，请退出程序并重新进入!" (not enough memory; quit and restart)
constexpr char kOutOfMemory[] =
    "\xC4\xDA\xB4\xE6\xB2\xBB\xD7\xE3\xA3\xAC\xC7\xEB\xCD\xCB\xB3\xF6\xB3\xCC\xD0\xF2\xB2\xA2"
    "\xD6\xD8\xD0\xC2\xBD\xF8\xC8\xEB\x21";

// "提示" (notice)
constexpr char kNoticeCaption[] = "\xCC\xE1\xCA\xBE";

// Modal, no owner window, OK only. A null caption shows the system's default.
inline void Show(const char *text, const char *caption) {
    MessageBoxA(nullptr, text, caption, MB_OK);
}

}  // namespace messages
