// What the virtual card saw and delivered: its call log, figures and frames.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "vcard_control.h"

namespace vt {

// The virtual card's log.
std::vector<VcLogEntry> CardLog();
std::vector<VcLogEntry> CardCalls(VcCall call);
std::string DescribeLog();

int CountCalls(VcCall call);
VcStats CardStats();
// The frame the card delivered last, as many bytes as it was.
std::vector<uint8_t> LastFrame();
// Bytes a pixel takes in the frames the card delivers in `mode`.
constexpr int BytesPerPixel(int mode) { return mode == 0 ? 1 : mode == 1 ? 3 : 2; }
// The preview thread, found through its first card call. Vorlane keeps its
// own handle until the close, so the thread opens even when it has ended.
HANDLE OpenPreviewThread();

}  // namespace vt
