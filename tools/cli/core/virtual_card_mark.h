// How a CG400D32.dll read from its file is told to be the virtual card: by
// the control calls that only it exports (virtual-card/vcard_control.h).
#pragma once

#include "core/pe_image.h"

namespace cli {

inline bool IsVirtualCard(const pe::Image &image) {
    return pe::HasExport(image, "VcReset") && pe::HasExport(image, "VcGetStats");
}

}  // namespace cli
